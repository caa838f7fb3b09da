#include "render/Font.h"

#include "app/Logger.h"
#include "render/AssetFile.h"
#include "render/Mesh.h"

#include <cmath>
#include <cstdlib>
#include <stdexcept>

namespace {

constexpr int kFirstPrintable = 32;
constexpr int kLastPrintable = 127;
constexpr int kAtlasGap = 2;  // empty pixels after every glyph

// The length of the text up to its first NUL.
std::size_t visibleLength(const std::string& text) {
    const std::size_t nul = text.find('\0');
    return nul == std::string::npos ? text.size() : nul;
}

// A font the game cannot show text with ends the program, as without text
// the game cannot be played.
[[noreturn]] void failToLoad(const std::string& path) {
    Logger::error("Failed to load font " + path);
    std::exit(1);
}

}  // namespace

Font::Font(FT_Library& library, const std::string& path, unsigned int size) {
    if (!isRegularFile(path) || FT_New_Face(library, path.c_str(), 0, &face) != 0) {
        failToLoad(path);
    }
    FT_Set_Pixel_Sizes(face, 0, size);

    // Measuring pass: the atlas holds every loaded glyph side by side.
    int32_t width = 0;
    int32_t height = 0;
    int inkedGlyphs = 0;
    for (int c = kFirstPrintable; c <= kLastPrintable; ++c) {
        if (FT_Load_Char(face, static_cast<FT_ULong>(c), FT_LOAD_RENDER) != 0) {
            Logger::error("Failed to load ascii character " + std::to_string(c));
            continue;
        }
        const FT_Bitmap& bitmap = face->glyph->bitmap;
        width += static_cast<int32_t>(bitmap.width) + kAtlasGap;
        if (static_cast<int32_t>(bitmap.rows) > height) {
            height = static_cast<int32_t>(bitmap.rows);
        }
        inkedGlyphs += bitmap.width > 0 && bitmap.rows > 0;
    }
    // A cut-off file still opens as a face, and its glyphs all load, but
    // empty: every text would be silently missing. A font with no printable
    // glyph to show is a font that cannot be loaded.
    if (inkedGlyphs == 0) {
        failToLoad(path);
    }
    atlasWidth = width;
    atlasHeight = height;

    GLint maxTextureSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize);
    if (atlasWidth > maxTextureSize || atlasHeight > maxTextureSize) {
        Logger::error("Font atlas of " + path + " is " + std::to_string(atlasWidth) + "x" +
                      std::to_string(atlasHeight) + " pixels, more than GL_MAX_TEXTURE_SIZE (" +
                      std::to_string(maxTextureSize) + "); its text will not show");
    }

    glActiveTexture(GL_TEXTURE0);
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RED, atlasWidth, atlasHeight, 0, GL_RED, GL_UNSIGNED_BYTE,
                 nullptr);
    // Glyph rows are tightly packed bytes; every later upload relies on this too.
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);

    // Placing pass.
    int32_t x = 0;
    for (int c = kFirstPrintable; c <= kLastPrintable; ++c) {
        if (FT_Load_Char(face, static_cast<FT_ULong>(c), FT_LOAD_RENDER) != 0) {
            continue;
        }
        const FT_GlyphSlot slot = face->glyph;
        const FT_Bitmap& bitmap = slot->bitmap;
        if (bitmap.width > 0 && bitmap.rows > 0) {
            glTexSubImage2D(GL_TEXTURE_2D, 0, x, 0, static_cast<GLsizei>(bitmap.width),
                            static_cast<GLsizei>(bitmap.rows), GL_RED, GL_UNSIGNED_BYTE,
                            bitmap.buffer);
        }
        Glyph& g = glyphs[c];
        g.advanceX = static_cast<float>(slot->advance.x >> 6);
        g.advanceY = static_cast<float>(slot->advance.y >> 6);
        g.width = static_cast<float>(bitmap.width);
        g.height = static_cast<float>(bitmap.rows);
        g.bearingX = static_cast<float>(slot->bitmap_left);
        g.bearingY = static_cast<float>(slot->bitmap_top);
        g.texX = static_cast<float>(x) / static_cast<float>(atlasWidth);
        x += static_cast<int32_t>(bitmap.width) + kAtlasGap;
    }
}

const Glyph& Font::glyph(char c) const {
    static const Glyph none{};
    const unsigned char code = static_cast<unsigned char>(c);
    return code < kGlyphCount ? glyphs[code] : none;
}

std::pair<float, float> Font::measureText(const std::string& text) const {
    const std::size_t length = visibleLength(text);
    if (length == 0) {
        return {0.0f, 0.0f};
    }
    const Glyph& first = glyph(text[0]);
    float penX = 0.0f;
    float penY = 0.0f;
    float right = 0.0f;
    float bottom = 0.0f;
    for (std::size_t i = 0; i < length; ++i) {
        const Glyph& g = glyph(text[i]);
        right = penX + g.bearingX + g.width;
        bottom = -penY - g.bearingY + g.height;
        penX += g.advanceX;
        penY += g.advanceY;
    }
    return {std::fabs(right - first.bearingX), std::fabs(bottom - first.bearingY)};
}

std::vector<Mesh*> Font::buildTextMesh(const std::string& text, float x, float y, float scaleX,
                                       float scaleY, float offX, float offY) const {
    const std::size_t length = visibleLength(text);
    GLuint* indices = new GLuint[length * 6];
    float* vertices = new float[length * 4 * kFloatsPerVertex];
    if (length == 0) {
        return {Mesh::create(0, indices, 0, vertices)};
    }

    const Glyph& first = glyph(text[0]);
    float penX = x - scaleX * first.bearingX;
    float penY = y - scaleY * first.bearingY;
    const float atlasW = static_cast<float>(atlasWidth);
    const float atlasH = static_cast<float>(atlasHeight);

    int vertexCount = 0;
    int indexCount = 0;
    for (std::size_t i = 0; i < length; ++i) {
        const Glyph& g = glyph(text[i]);
        const float left = penX + scaleX * g.bearingX + scaleX * offX;
        const float top = penY + scaleY * g.bearingY - scaleY * offY;
        const float w = scaleX * g.width;
        const float h = scaleY * g.height;
        penX += scaleX * g.advanceX;
        penY += scaleY * g.advanceY;
        if (w == 0.0f || h == 0.0f) {
            continue;
        }

        const float u0 = g.texX;
        const float u1 = g.texX + g.width / atlasW;
        const float v1 = g.height / atlasH;
        const float corners[4][4] = {
            {left, top, u0, 0.0f},          // top-left
            {left + w, top, u1, 0.0f},      // top-right
            {left, top - h, u0, v1},        // bottom-left
            {left + w, top - h, u1, v1},    // bottom-right
        };
        for (const auto& corner : corners) {
            float* v = vertices + vertexCount * kFloatsPerVertex;
            v[0] = corner[0];
            v[1] = corner[1];
            v[2] = 0.0f;
            v[3] = 0.0f;
            v[4] = 0.0f;
            v[5] = 0.0f;
            v[6] = corner[2];
            v[7] = corner[3];
            ++vertexCount;
        }
        const GLuint b = static_cast<GLuint>(vertexCount - 4);
        const GLuint quad[6] = {b + 0, b + 3, b + 1, b + 0, b + 2, b + 3};
        for (GLuint index : quad) {
            indices[indexCount++] = index;
        }
    }
    return {Mesh::create(indexCount, indices, vertexCount, vertices)};
}

FontManager::FontManager() {
    if (FT_Init_FreeType(&library) != 0) {
        Logger::error("ERROR::FREETYPE: Could not init FreeType Library");
        std::exit(1);
    }
}

void FontManager::loadFont(const std::string& name, const std::string& path, unsigned int size) {
    if (fonts.count(name) != 0) {
        Logger::log("Font " + name + " already exists!", WARNING);
        return;
    }
    fonts.emplace(name, Font(library, path, size));
    Logger::log("Loaded font " + name + " from " + path, DEBUG);
}

Font* FontManager::getFont(const std::string& name) {
    const auto found = fonts.find(name);
    if (found == fonts.end()) {
        const std::string message = "No font with name " + name + " found.";
        Logger::error(message);
        throw std::runtime_error(message);
    }
    return &found->second;
}
