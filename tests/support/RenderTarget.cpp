#include "tests/support/RenderTarget.h"

#include <stb/stb_image_write.h>

#include <algorithm>
#include <filesystem>

RenderTarget::RenderTarget(int width, int height) : width_(width), height_(height) {
    glGenFramebuffers(1, &fbo_);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glGenTextures(2, colour_);
    for (int i = 0; i < 2; ++i) {
        glBindTexture(GL_TEXTURE_2D, colour_[i]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                     nullptr);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0 + i, GL_TEXTURE_2D,
                               colour_[i], 0);
    }
    glGenTextures(1, &depth_);
    glBindTexture(GL_TEXTURE_2D, depth_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0, GL_DEPTH_COMPONENT,
                 GL_FLOAT, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth_, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

RenderTarget::~RenderTarget() {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo_);
    glDeleteTextures(2, colour_);
    glDeleteTextures(1, &depth_);
}

void RenderTarget::bindAndClear(float r, float g, float b, float a) {
    glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
    const GLenum buffers[2] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
    glDrawBuffers(2, buffers);
    glViewport(0, 0, width_, height_);
    glClearColor(r, g, b, a);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

std::vector<uint8_t> RenderTarget::read(int attachment) const {
    std::vector<uint8_t> pixels(static_cast<std::size_t>(width_) * height_ * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
    glReadBuffer(GL_COLOR_ATTACHMENT0 + attachment);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

Rgba pixelAt(const std::vector<uint8_t>& pixels, int width, int x, int y) {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 4;
    return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
}

std::string testOutputDir() {
    const std::filesystem::path dir =
        std::filesystem::path(TOLLBROOK_EXE).parent_path() / "test-output";
    std::filesystem::create_directories(dir);
    return dir.string();
}

std::string savePng(const std::string& name, const std::vector<uint8_t>& pixels, int width,
                    int height) {
    const std::string path = testOutputDir() + "/" + name + ".png";
    // GL rows run bottom-up, PNG rows top-down.
    const std::size_t stride = static_cast<std::size_t>(width) * 4;
    std::vector<uint8_t> flipped(pixels.size());
    for (int row = 0; row < height; ++row) {
        std::copy_n(pixels.begin() + static_cast<std::ptrdiff_t>(stride * (height - 1 - row)),
                    stride, flipped.begin() + static_cast<std::ptrdiff_t>(stride * row));
    }
    stbi_write_png(path.c_str(), width, height, 4, flipped.data(), static_cast<int>(stride));
    return path;
}
