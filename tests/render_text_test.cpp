// Fonts and text with the game's own font on a real GL context: the glyph
// atlas, the quads a Text builds, alignment, rebuild rules, and text drawn
// through the "font" program and read back.

#include "render/Camera.h"
#include "render/Font.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/Shader.h"
#include "render/Text.h"
#include "tests/support/GlContext.h"
#include "tests/support/RenderTarget.h"

#include <gtest/gtest.h>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

const char* const kFontPath = "assets/fonts/VT323-Regular.ttf";
constexpr unsigned int kGameFontSize = 256;

// One quad of a text mesh: its four corners in the order the mesh stores them
// (top-left, top-right, bottom-left, bottom-right), as (x, y, u, v).
struct Quad {
    float x[4], y[4], u[4], v[4];
    float left() const { return x[0]; }
    float top() const { return y[0]; }
    float width() const { return x[1] - x[0]; }
    float height() const { return y[0] - y[2]; }
};

std::vector<Quad> quadsOf(Text& text) {
    EXPECT_EQ(text.getMeshes().size(), 1u);
    Mesh* mesh = text.getMeshes().front();
    std::vector<Quad> quads;
    const float* v = mesh->getVertices();
    for (int q = 0; q < mesh->getVertexCount() / 4; ++q) {
        Quad quad{};
        for (int c = 0; c < 4; ++c) {
            const float* vertex = v + (q * 4 + c) * kFloatsPerVertex;
            quad.x[c] = vertex[0];
            quad.y[c] = vertex[1];
            quad.u[c] = vertex[6];
            quad.v[c] = vertex[7];
        }
        quads.push_back(quad);
    }
    return quads;
}

// The game's font, loaded once on one context for the whole suite.
class TextTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        context = new GlContext(160, 64);
        if (!context->ok()) {
            return;
        }
        fonts = new FontManager();
        fonts->loadFont("VT323", kFontPath, kGameFontSize);
    }
    static void TearDownTestSuite() {
        delete fonts;
        fonts = nullptr;
        delete context;
        context = nullptr;
    }
    void SetUp() override {
        if (context->displayMissing()) {
            GTEST_SKIP() << context->reason();
        }
        ASSERT_TRUE(context->ok()) << context->reason();
        font = fonts->getFont("VT323");
    }

    std::unique_ptr<Text> makeText(const std::string& s, float x = 0.0f, float y = 0.0f,
                                   float sx = 1.0f, float sy = 1.0f,
                                   TextAlignment vertical = TextAlignment::Top,
                                   TextAlignment horizontal = TextAlignment::Left) {
        return std::make_unique<Text>("text", font, s, x, y, sx, sy, vertical, horizontal);
    }

    static GlContext* context;
    static FontManager* fonts;
    Font* font = nullptr;
};

GlContext* TextTest::context = nullptr;
FontManager* TextTest::fonts = nullptr;

// The atlas fits the driver and holds each glyph's bitmap unskewed: rows of
// odd widths are only read right with tightly packed unpacking.
TEST_F(TextTest, AtlasFitsAndHoldsTheRasterisedGlyphs) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    EXPECT_LE(font->atlasWidth, maxSize);
    GLint unpack = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpack);
    EXPECT_EQ(unpack, 1);

    std::vector<uint8_t> atlas(static_cast<std::size_t>(font->atlasWidth) * font->atlasHeight);
    glBindTexture(GL_TEXTURE_2D, font->texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, atlas.data());

    int oddWidths = 0;
    for (char c : std::string("AgW7%i|~")) {
        ASSERT_EQ(FT_Load_Char(font->face, static_cast<FT_ULong>(c), FT_LOAD_RENDER), 0);
        const FT_Bitmap& bitmap = font->face->glyph->bitmap;
        const Glyph& g = font->glyphs[static_cast<int>(c)];
        ASSERT_EQ(g.width, static_cast<float>(bitmap.width)) << c;
        ASSERT_EQ(g.height, static_cast<float>(bitmap.rows)) << c;
        oddWidths += bitmap.width % 4 != 0 ? 1 : 0;
        const int left = static_cast<int>(g.texX * font->atlasWidth + 0.5f);
        int mismatches = 0;
        for (unsigned row = 0; row < bitmap.rows; ++row) {
            for (unsigned col = 0; col < bitmap.width; ++col) {
                const uint8_t expected = bitmap.buffer[row * bitmap.pitch + col];
                const uint8_t actual = atlas[row * font->atlasWidth + left + col];
                mismatches += expected != actual ? 1 : 0;
            }
        }
        EXPECT_EQ(mismatches, 0) << "glyph '" << c << "'";
    }
    EXPECT_GT(oddWidths, 0) << "the sample should include widths that are not a multiple of 4";
}

// Glyph quads: each letter covers its atlas rectangle, counter-clockwise
// from +z; spaces advance the pen and emit nothing; letters share a baseline.
TEST_F(TextTest, LettersAreQuadsOverTheirAtlasRectanglesAndSpacesOnlyAdvance) {
    auto text = makeText("A B", 10.0f, 20.0f, 0.5f, 0.25f);
    const Glyph& a = font->glyphs['A'];
    const Glyph& space = font->glyphs[' '];
    const Glyph& b = font->glyphs['B'];
    const std::vector<Quad> quads = quadsOf(*text);
    ASSERT_EQ(quads.size(), 2u);
    const Quad& q = quads[0];
    EXPECT_FLOAT_EQ(q.left(), 10.0f);
    EXPECT_FLOAT_EQ(q.top(), 20.0f);
    EXPECT_FLOAT_EQ(q.width(), 0.5f * a.width);
    EXPECT_FLOAT_EQ(q.height(), 0.25f * a.height);
    EXPECT_FLOAT_EQ(q.u[0], a.texX);
    EXPECT_FLOAT_EQ(q.u[1], a.texX + a.width / font->atlasWidth);
    EXPECT_FLOAT_EQ(q.v[0], 0.0f);
    EXPECT_FLOAT_EQ(q.v[2], a.height / font->atlasHeight);
    EXPECT_FLOAT_EQ(quads[1].left(), 10.0f + 0.5f * (a.advanceX + space.advanceX + b.bearingX - a.bearingX));
    EXPECT_FLOAT_EQ(quads[1].top() - 0.25f * b.bearingY, q.top() - 0.25f * a.bearingY);

    Mesh* mesh = text->getMeshes().front();
    ASSERT_EQ(mesh->getIndexCount(), 12);
    const GLuint* i = mesh->getIndices();
    EXPECT_EQ(i[6], 4u);
    for (int t = 0; t < 2; ++t) {
        const float ax = q.x[i[3 * t]], ay = q.y[i[3 * t]];
        const float bx = q.x[i[3 * t + 1]], by = q.y[i[3 * t + 1]];
        const float cx = q.x[i[3 * t + 2]], cy = q.y[i[3 * t + 2]];
        EXPECT_GT((bx - ax) * (cy - ay) - (by - ay) * (cx - ax), 0.0f) << "triangle " << t;
    }
}

TEST_F(TextTest, AlignmentsPlaceTheMeasuredBoxOnTheAnchor) {
    const std::string s = "Tollbrook";
    const std::pair<float, float> size = font->measureText(s);
    ASSERT_GT(size.first, 0.0f);
    ASSERT_GT(size.second, 0.0f);
    const float x = 3.0f, y = -2.0f, sx = 0.01f, sy = 0.02f;

    struct Case {
        TextAlignment vertical, horizontal;
        float left, top;
    };
    const Case cases[] = {
        {TextAlignment::Center, TextAlignment::Center, x - sx * size.first / 2,
         y + sy * size.second / 2},
        {TextAlignment::Top, TextAlignment::Left, x, y},
        {TextAlignment::Left, TextAlignment::Top, x, y},
        {TextAlignment::Bottom, TextAlignment::Right, x - sx * size.first, y + sy * size.second},
    };
    for (const Case& c : cases) {
        auto text = makeText(s, x, y, sx, sy, c.vertical, c.horizontal);
        const std::vector<Quad> quads = quadsOf(*text);
        ASSERT_FALSE(quads.empty());
        float minX = quads[0].left(), maxX = quads[0].left() + quads[0].width();
        float minY = quads[0].top() - quads[0].height(), maxY = quads[0].top();
        for (const Quad& q : quads) {
            minX = std::min(minX, q.left());
            maxX = std::max(maxX, q.left() + q.width());
            minY = std::min(minY, q.top() - q.height());
            maxY = std::max(maxY, q.top());
        }
        SCOPED_TRACE("vertical " + std::to_string(static_cast<int>(c.vertical)) + ", horizontal " +
                     std::to_string(static_cast<int>(c.horizontal)));
        EXPECT_NEAR(quads[0].left(), c.left, 1e-5f);
        EXPECT_NEAR(quads[0].top(), c.top, 1e-5f);
        // The measure is the quads' extent, so the box really sits where the alignment says.
        EXPECT_NEAR(maxX - minX, sx * size.first, 1e-5f);
        EXPECT_NEAR(maxY - minY, sy * size.second, 1e-5f);
    }
}

// Codes below 32 and from 128 draw nothing and do not move the pen (the
// glyph table has 128 entries); nothing after a NUL; an empty text has one
// mesh without vertices. setText rebuilds only on change and keeps the material.
TEST_F(TextTest, CharactersWithoutGlyphsAndEmptyTextsDrawNothingAndSetTextRebuildsOnlyOnChange) {
    auto plain = makeText("AB");
    const std::vector<Quad> expected = quadsOf(*plain);
    for (const std::string& s : {std::string("A\tB"), std::string("A\x01\x1f" "B"), std::string("A\xc3\xa9" "B"),
                                 std::string("A\x80\xff" "B"), std::string("AB\0CD", 5)}) {
        auto text = makeText(s);
        const std::vector<Quad> quads = quadsOf(*text);
        ASSERT_EQ(quads.size(), 2u) << "variant of length " << s.size();
        for (int q = 0; q < 2; ++q) {
            EXPECT_FLOAT_EQ(quads[q].left(), expected[q].left());
            EXPECT_FLOAT_EQ(quads[q].u[0], expected[q].u[0]);
        }
        EXPECT_EQ(font->measureText(s), font->measureText("AB"));
    }
    EXPECT_EQ(quadsOf(*makeText("\x90" "AB")).size(), 2u);
    auto empty = makeText("");
    ASSERT_EQ(empty->getMeshes().size(), 1u);
    EXPECT_EQ(empty->getMeshes().front()->getIndexCount(), 0);
    EXPECT_EQ(font->measureText(""), std::make_pair(0.0f, 0.0f));

    Shader shader("assets/shaders/font.vsh", "assets/shaders/font.fsh");
    Material material(&shader);
    auto text = makeText("10:00");
    text->setMaterial(&material);
    Mesh* before = text->getMeshes().front();
    const GLuint vao = before->getVao();
    text->setText("10:00");
    EXPECT_EQ(text->getMeshes().front(), before);
    EXPECT_TRUE(glIsVertexArray(vao));
    text->setText("09:59");
    ASSERT_EQ(text->getMeshes().size(), 1u);
    EXPECT_EQ(text->getMeshes().front()->getMaterial(), &material);
    EXPECT_EQ(text->getMeshes().front()->getVertexCount(), 20);  // five glyphs
}

// Text drawn through the overlay program: coloured pixels inside the measured
// box, none outside it.
TEST_F(TextTest, OverlayTextDrawsInsideItsBox) {
    constexpr int W = 160, H = 64;
    RenderTarget target(W, H);
    Shader shader("assets/shaders/font.vsh", "assets/shaders/font.fsh");
    Material material(&shader);
    material.setColor(1.0f, 0.5f, 0.0f, 1.0f);
    material.setTexture(kDiffuseTextureUnit, font->texture);

    // 40 pixels per em, centred in the target.
    const float sx = 2.0f * 40.0f / W / kGameFontSize;
    const float sy = 2.0f * 40.0f / H / kGameFontSize;
    auto text = makeText("Exit 42", 0.0f, 0.0f, sx, sy, TextAlignment::Center,
                         TextAlignment::Center);
    text->setMaterial(&material);

    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glDisable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    target.bindAndClear(0.0f, 0.0f, 0.2f, 1.0f);
    text->draw();
    const std::vector<uint8_t> pixels = target.read();
    savePng("text_overlay", pixels, W, H);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const std::pair<float, float> size = font->measureText("Exit 42");
    const float halfW = size.first * sx / 2.0f * W / 2.0f;  // in pixels
    const float halfH = size.second * sy / 2.0f * H / 2.0f;
    int inside = 0, outside = 0, full = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const Rgba p = pixelAt(pixels, W, x, y);
            if (p.r == 0 && p.g == 0) {
                continue;
            }
            // Colour (1, 0.5, 0) over (0, 0, 0.2), blended by coverage.
            EXPECT_NEAR(p.g, p.r / 2.0f, 1.0f) << "at " << x << "," << y;
            EXPECT_NEAR(p.b, 51.0f * (1.0f - p.r / 255.0f), 1.0f) << "at " << x << "," << y;
            const float dx = std::abs(x + 0.5f - W / 2.0f);
            const float dy = std::abs(y + 0.5f - H / 2.0f);
            (dx <= halfW + 1 && dy <= halfH + 1 ? inside : outside)++;
            full += p.r == 255 ? 1 : 0;
        }
    }
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inside, static_cast<int>(halfW * halfH * 4 * 0.15f));
    EXPECT_GT(full, 0) << "no pixel shows the text's full colour";
}

// Text in the world through the "font3D" program: a digit label seen by a
// camera, with its normal on the second output and depth written only where
// the glyph is.
TEST_F(TextTest, WorldTextDrawsFacingTheCamera) {
    constexpr int W = 160, H = 64;
    RenderTarget target(W, H);
    Shader shader("assets/shaders/font3D.vsh", "assets/shaders/font3D.fsh");
    Material material(&shader);
    material.setColor(1.0f, 1.0f, 1.0f, 1.0f);
    material.setTexture(kDiffuseTextureUnit, font->texture);

    // One unit per em, like the lock labels, two units in front of the eye.
    auto text = makeText("7", 0.0f, 0.0f, 1.0f / kGameFontSize, 1.0f / kGameFontSize,
                         TextAlignment::Center, TextAlignment::Center);
    text->setMaterial(&material);
    text->setPosition(glm::vec3(0.0f, 1.7f, -2.0f));
    Camera camera(60.0, static_cast<double>(W) / H, 0.1, 100.0);
    const glm::mat4 viewProjection = camera.getViewProjection();
    shader.setMat4("viewProjectionMatrix", 1, GL_FALSE, glm::value_ptr(viewProjection));

    glEnable(GL_DEPTH_TEST);
    glDepthFunc(GL_LESS);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_CULL_FACE);
    target.bindAndClear(0.0f, 0.0f, 0.0f, 1.0f);
    text->draw();
    const std::vector<uint8_t> colour = target.read();
    const std::vector<uint8_t> normals = target.read(1);
    savePng("text_world", colour, W, H);

    int lit = 0;
    for (int y = 0; y < H; ++y) {
        for (int x = 0; x < W; ++x) {
            const Rgba c = pixelAt(colour, W, x, y);
            if (c.r < 128) {
                continue;
            }
            ++lit;
            EXPECT_LT(std::abs(x - W / 2), 20) << "the label stands in the middle";
            const Rgba n = pixelAt(normals, W, x, y);
            if (c.r > 240) {
                EXPECT_NEAR(n.b, 255, 20) << "the label faces +z, towards the camera";
            }
        }
    }
    EXPECT_GT(lit, 30);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

}  // namespace

// A font file that cannot be opened ends the program with status 1 after its
// message. Runs in a re-executed child without a GL context.
TEST(FontLoadingDeathTest, MissingFontFileExitsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            FontManager manager;
            manager.loadFont("missing", "assets/fonts/missing.ttf", 32);
        },
        ::testing::ExitedWithCode(1), "Failed to load font assets/fonts/missing.ttf");
}
