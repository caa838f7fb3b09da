#include "tests/support/GlContext.h"

#include <stb/stb_image_write.h>

#include <cstdlib>
#include <filesystem>

GlContext::GlContext(int width, int height) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        displayMissing_ = true;
        reason_ = "no X display (DISPLAY is not set); run the tests under Xvfb";
        return;
    }
    const auto glfwReason = [](const char* what) {
        const char* description = nullptr;
        glfwGetError(&description);
        return std::string(what) + (description ? description : "unknown");
    };
    static const bool ready = glfwInit() == GLFW_TRUE && std::atexit(glfwTerminate) == 0;
    if (!ready) {
        reason_ = glfwReason("glfwInit failed: ");
        return;
    }
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    window_ = glfwCreateWindow(width, height, "test", nullptr, nullptr);
    if (window_ == nullptr) {
        reason_ = glfwReason("no OpenGL 4.5 core context: ");
        return;
    }
    glfwMakeContextCurrent(window_);
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) {
        reason_ = "glewInit failed";
        glfwDestroyWindow(window_);
        window_ = nullptr;
        return;
    }
    glGetError();  // GLEW leaves an error behind on core profiles.
}

GlContext::~GlContext() {
    if (window_ != nullptr) {
        glfwMakeContextCurrent(nullptr);
        glfwDestroyWindow(window_);
    }
}

void applyGameGlState() {
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
}

void clearWindow(int width, int height, float r, float g, float b) {
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glViewport(0, 0, width, height);
    glClearColor(r, g, b, 1.0f);
    glClearDepth(1.0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

std::vector<uint8_t> readBackBuffer(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

glm::ivec2 pixelOf(const glm::mat4& viewProjection, const glm::vec3& point, int width, int height) {
    const glm::vec4 clip = viewProjection * glm::vec4(point, 1.0f);
    return {static_cast<int>((clip.x / clip.w * 0.5f + 0.5f) * width),
            static_cast<int>((clip.y / clip.w * 0.5f + 0.5f) * height)};
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
