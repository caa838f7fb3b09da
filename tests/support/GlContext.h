#pragma once

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A real OpenGL 4.5 core-profile context on a small hidden GLFW window, made
// current on the calling thread. GLFW is initialised once per process: doing
// it around every test made long runs of GL tests lose their X display.
class GlContext {
public:
    explicit GlContext(int width = 64, int height = 64);
    ~GlContext();
    GlContext(const GlContext&) = delete;
    GlContext& operator=(const GlContext&) = delete;

    // False when there is no display or no context (the reason says why).
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

// A fixture with a GlContext: skipped without a display, failed without a context.
class GlTest : public ::testing::Test {
protected:
    void SetUp() override {
        context_ = std::make_unique<GlContext>();
        if (context_->displayMissing()) GTEST_SKIP() << context_->reason();
        ASSERT_TRUE(context_->ok()) << context_->reason();
    }
    void TearDown() override { context_.reset(); }
    GLFWwindow* window() const { return context_ ? context_->window() : nullptr; }

private:
    std::unique_ptr<GlContext> context_;
};
