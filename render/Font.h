#pragma once

#include <GL/glew.h>
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class Mesh;

// Metrics of one rasterised character, in atlas pixels.
struct Glyph {
    float advanceX = 0.0f;  // pen advance, whole pixels
    float advanceY = 0.0f;
    float width = 0.0f;     // bitmap size
    float height = 0.0f;
    float bearingX = 0.0f;  // bitmap_left
    float bearingY = 0.0f;  // bitmap_top: baseline up to the top row
    float texX = 0.0f;      // left edge in the atlas, 0 to 1
};

// One TrueType face at one pixel size: the printable ASCII characters
// rasterised side by side into a single-channel atlas, plus their metrics.
// The face and the atlas texture live until the process ends, so a Font may be
// copied freely.
class Font {
public:
    static constexpr int kGlyphCount = 128;

    // An empty font: no face, no atlas, all glyphs zero.
    Font() = default;

    // Opens the face and builds the atlas; a face that cannot be opened, or
    // has no printable glyph to show, ends the program with status 1. Needs a
    // current GL context.
    Font(FT_Library& library, const std::string& path, unsigned int size);

    // The glyph of a character; codes from 128 on have none and get the
    // all-zero glyph, so they draw nothing and do not move the pen.
    const Glyph& glyph(char c) const;

    // Width and height of the text's bitmaps in atlas pixels, up to the
    // first NUL.
    std::pair<float, float> measureText(const std::string& text) const;

    // A new list holding one new mesh with a quad per visible character; the
    // caller owns the mesh. The first glyph's left bitmap edge lands at
    // x + scaleX * offX and its top at y - scaleY * offY.
    std::vector<Mesh*> buildTextMesh(const std::string& text, float x, float y, float scaleX,
                                     float scaleY, float offX, float offY) const;

    FT_Face face = nullptr;
    int32_t atlasWidth = 0;
    int32_t atlasHeight = 0;
    Glyph glyphs[kGlyphCount] = {};
    GLuint texture = 0;  // the atlas, single channel
};

// The FreeType library and every font of the game, by name.
class FontManager {
public:
    // Starts FreeType; a failure ends the program with status 1.
    FontManager();

    // Builds and stores a font unless the name is taken (then only a warning).
    void loadFont(const std::string& name, const std::string& path, unsigned int size);

    // The stored font; an unknown name logs and throws std::runtime_error.
    Font* getFont(const std::string& name);

private:
    FT_Library library = nullptr;
    std::unordered_map<std::string, Font> fonts;
};
