#include "tests/support/GlContext.h"

#include <cstdlib>

namespace {

bool haveDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display != nullptr && display[0] != '\0';
}

}  // namespace

GlContext::GlContext(int width, int height) {
    if (!haveDisplay()) {
        displayMissing_ = true;
        reason_ = "no X display (DISPLAY is not set); run the tests under Xvfb";
        return;
    }
    if (glfwInit() == GLFW_FALSE) {
        const char* description = nullptr;
        glfwGetError(&description);
        reason_ = std::string("glfwInit failed: ") + (description ? description : "unknown");
        return;
    }
    glfwUp_ = true;

    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    window_ = glfwCreateWindow(width, height, "test", nullptr, nullptr);
    if (window_ == nullptr) {
        const char* description = nullptr;
        glfwGetError(&description);
        reason_ = std::string("no OpenGL 4.5 core context: ") + (description ? description : "unknown");
        return;
    }
    glfwMakeContextCurrent(window_);

    glewExperimental = GL_TRUE;
    const GLenum status = glewInit();
    if (status != GLEW_OK) {
        reason_ = std::string("glewInit failed: ") +
                  reinterpret_cast<const char*>(glewGetErrorString(status));
        glfwDestroyWindow(window_);
        window_ = nullptr;
        return;
    }
    // GLEW leaves an error behind on core profiles.
    glGetError();
}

GlContext::~GlContext() {
    if (window_ != nullptr) {
        glfwMakeContextCurrent(nullptr);
        glfwDestroyWindow(window_);
    }
    if (glfwUp_) {
        glfwTerminate();
    }
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
