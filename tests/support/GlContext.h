#pragma once

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <glm/glm.hpp>
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

// The GL state the game sets at start-up: depth test, back-face culling and alpha blending.
void applyGameGlState();

// Render tests draw into the window's back buffer and read it back as RGBA,
// bottom row first. Clearing binds it, sets the viewport and clears colour
// to (r, g, b, 1) and depth to 1.
void clearWindow(int width, int height, float r, float g, float b);
std::vector<uint8_t> readBackBuffer(int width, int height);
// Where a point of the world lands in a width x height picture drawn with
// this view-projection, in pixels (bottom row first, as read back).
glm::ivec2 pixelOf(const glm::mat4& viewProjection, const glm::vec3& point, int width, int height);

// The RGBA pixel at (x, y), y counted from the bottom row.
struct Rgba {
    int r, g, b, a;
};
Rgba pixelAt(const std::vector<uint8_t>& pixels, int width, int x, int y);

// Writes RGBA pixels (bottom row first) as test-output/<name>.png beside the
// game's executable, for a person to look at. Returns the file's path.
std::string savePng(const std::string& name, const std::vector<uint8_t>& pixels, int width, int height);

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
