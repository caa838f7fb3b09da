#pragma once

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

// A real OpenGL 4.5 core-profile context on a small hidden GLFW window, made
// current on the calling thread. GLFW is initialised once per process and
// terminated at exit: initialising and terminating it around every test made
// long runs of GL tests lose their X display.
class GlContext {
public:
    explicit GlContext(int width = 64, int height = 64);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    // False when no display is available (the reason says why) or the
    // context could not be created.
    bool ok() const { return window_ != nullptr; }
    bool displayMissing() const { return displayMissing_; }
    const std::string& reason() const { return reason_; }
    GLFWwindow* window() const { return window_; }

private:
    GLFWwindow* window_ = nullptr;
    bool displayMissing_ = false;
    std::string reason_;
};

// The GL state the game sets at start-up: depth test, back-face culling and
// alpha blending.
void applyGameGlState();

// The window's back buffer as RGBA, bottom row first.
std::vector<uint8_t> readBackBuffer(int width, int height);

// A test fixture that provides a GlContext. Without a display the test is
// skipped; with a display, a context that cannot be created fails the test.
class GlTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    GLFWwindow* window() const { return context_ ? context_->window() : nullptr; }

private:
    GlContext* context_ = nullptr;
};
