#include "tests/support/GlContext.h"

#include <cstdlib>

namespace {

std::string glfwReason(const char* what) {
    const char* description = nullptr;
    glfwGetError(&description);
    return std::string(what) + (description ? description : "unknown");
}

// Initialises GLFW on first use; false (with the reason) if that fails.
bool glfwReady(std::string& reason) {
    static const bool ready = [] {
        if (glfwInit() == GLFW_FALSE) {
            return false;
        }
        std::atexit(glfwTerminate);
        return true;
    }();
    if (!ready) {
        reason = glfwReason("glfwInit failed: ");
    }
    return ready;
}

}  // namespace

GlContext::GlContext(int width, int height) {
    const char* display = std::getenv("DISPLAY");
    if (display == nullptr || display[0] == '\0') {
        displayMissing_ = true;
        reason_ = "no X display (DISPLAY is not set); run the tests under Xvfb";
        return;
    }
    if (!glfwReady(reason_)) {
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
    const GLenum status = glewInit();
    if (status != GLEW_OK) {
        reason_ = std::string("glewInit failed: ") + reinterpret_cast<const char*>(glewGetErrorString(status));
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

std::vector<uint8_t> readBackBuffer(int width, int height) {
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 4);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
    return pixels;
}

void GlTest::SetUp() {
    context_ = new GlContext();
    if (context_->displayMissing()) {
        GTEST_SKIP() << context_->reason();
    }
    ASSERT_TRUE(context_->ok()) << context_->reason();
}

void GlTest::TearDown() {
    delete context_;
    context_ = nullptr;
}
