#include "tests/support/RenderTarget.h"

#include <GL/glew.h>
#include <stb/stb_image_write.h>

#include <filesystem>

void clearWindow(int width, int height, float r, float g, float b) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, width, height);
    glClearColor(r, g, b, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

Rgba pixelAt(const std::vector<uint8_t>& pixels, int width, int x, int y) {
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 4;
    return {pixels[i], pixels[i + 1], pixels[i + 2], pixels[i + 3]};
}

std::string savePng(const std::string& name, const std::vector<uint8_t>& pixels, int width, int height) {
    const std::filesystem::path dir = std::filesystem::path(TOLLBROOK_EXE).parent_path() / "test-output";
    std::filesystem::create_directories(dir);
    const std::string path = (dir / (name + ".png")).string();
    // GL rows run bottom-up, PNG rows top-down: write from the last row with a negative stride.
    const int stride = width * 4;
    stbi_write_png(path.c_str(), width, height, 4, pixels.data() + static_cast<std::size_t>(stride) * (height - 1),
                   -stride);
    return path;
}
