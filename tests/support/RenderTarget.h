#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Render tests draw into the current window's back buffer and read it back
// (readBackBuffer in GlContext.h). This binds it, sets the viewport and
// clears colour to (r, g, b, 1) and depth to 1.
void clearWindow(int width, int height, float r, float g, float b);

// The RGBA pixel at (x, y), y counted from the bottom row.
struct Rgba {
    int r, g, b, a;
};
Rgba pixelAt(const std::vector<uint8_t>& pixels, int width, int x, int y);

// Writes RGBA pixels (bottom row first) as test-output/<name>.png beside the
// game's executable, for a person to look at. Returns the file's path.
std::string savePng(const std::string& name, const std::vector<uint8_t>& pixels, int width, int height);
