#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <vector>

// An off-screen target for render tests, laid out like the game's own
// framebuffer: colour on attachment 0, normals on attachment 1 (both RGBA8)
// and a depth texture. Needs a current GL context.
class RenderTarget {
public:
    RenderTarget(int width, int height);
    ~RenderTarget();
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;

    // Binds the target, sets the viewport and clears both colour
    // attachments to the colour given and depth to 1.
    void bindAndClear(float r, float g, float b, float a);

    // RGBA pixels of one colour attachment, bottom row first.
    std::vector<uint8_t> read(int attachment = 0) const;

    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_;
    int height_;
    GLuint fbo_ = 0;
    GLuint colour_[2] = {0, 0};
    GLuint depth_ = 0;
};

// The RGBA pixel at (x, y), y counted from the bottom row.
struct Rgba {
    int r, g, b, a;
};
Rgba pixelAt(const std::vector<uint8_t>& pixels, int width, int x, int y);

// Where render tests leave their images: "test-output" beside the game's
// executable in the build tree. Created on first use.
std::string testOutputDir();

// Writes RGBA pixels (bottom row first, as GL reads them) as a PNG file in
// testOutputDir(), top row first. Returns the file's path.
std::string savePng(const std::string& name, const std::vector<uint8_t>& pixels, int width,
                    int height);
