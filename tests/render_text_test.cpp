// Fonts and text with the game's own font: the glyph atlas, the quads a Text
// builds, alignment and rebuild rules. Text is drawn and read back by the
// renderer tests (overlay) and the level view (world labels).

#include "render/Font.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/Shader.h"
#include "render/Text.h"
#include "tests/support/GlContext.h"
#include "tests/support/RenderTarget.h"

#include <array>
#include <memory>

namespace {

constexpr unsigned int kGameFontSize = 256;

// The quads of a text mesh: per quad its corners top-left, top-right,
// bottom-left, bottom-right as (x, y, u, v).
using Quad = std::array<glm::vec4, 4>;
std::vector<Quad> quadsOf(Text& text) {
    EXPECT_EQ(text.getMeshes().size(), 1u);
    Mesh* mesh = text.getMeshes().front();
    std::vector<Quad> quads(static_cast<size_t>(mesh->getVertexCount() / 4));
    for (size_t c = 0; c < quads.size() * 4; ++c) {
        const float* v = mesh->getVertices() + c * kFloatsPerVertex;
        quads[c / 4][c % 4] = {v[0], v[1], v[6], v[7]};
    }
    return quads;
}

constexpr int W = 160, H = 64;

// The game's font on a small window.
class TextTest : public ::testing::Test {
protected:
    void SetUp() override {
        context = std::make_unique<GlContext>(W, H);
        if (context->displayMissing()) {
            GTEST_SKIP() << context->reason();
        }
        ASSERT_TRUE(context->ok()) << context->reason();
        fonts = std::make_unique<FontManager>();
        fonts->loadFont("VT323", "assets/fonts/VT323-Regular.ttf", kGameFontSize);
        font = fonts->getFont("VT323");
    }
    void TearDown() override {
        fonts.reset();
        context.reset();
    }
    std::unique_ptr<Text> makeText(const std::string& s, float x = 0.0f, float y = 0.0f, float sx = 1.0f,
                                   float sy = 1.0f, TextAlignment vertical = TextAlignment::Top,
                                   TextAlignment horizontal = TextAlignment::Left) {
        return std::make_unique<Text>("text", font, s, x, y, sx, sy, vertical, horizontal);
    }
    std::unique_ptr<GlContext> context;
    std::unique_ptr<FontManager> fonts;
    Font* font = nullptr;
};

// The atlas fits the driver and holds each glyph's bitmap unskewed: rows of
// odd widths are only read right with tightly packed unpacking.
TEST_F(TextTest, AtlasFitsAndHoldsTheRasterisedGlyphs) {
    GLint maxSize = 0, unpack = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &unpack);
    EXPECT_LE(font->atlasWidth, maxSize);
    EXPECT_EQ(unpack, 1);
    std::vector<uint8_t> atlas(static_cast<std::size_t>(font->atlasWidth) * font->atlasHeight);
    glBindTexture(GL_TEXTURE_2D, font->texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RED, GL_UNSIGNED_BYTE, atlas.data());
    for (char c : std::string("AgW7%i|~")) {
        ASSERT_EQ(FT_Load_Char(font->face, static_cast<FT_ULong>(c), FT_LOAD_RENDER), 0);
        const FT_Bitmap& bitmap = font->face->glyph->bitmap;
        const Glyph& g = font->glyphs[static_cast<int>(c)];
        ASSERT_EQ(g.width, static_cast<float>(bitmap.width)) << c;
        ASSERT_EQ(g.height, static_cast<float>(bitmap.rows)) << c;
        const int left = static_cast<int>(g.texX * font->atlasWidth + 0.5f);
        int mismatches = 0;
        for (unsigned i = 0; i < bitmap.rows * bitmap.width; ++i) {
            const unsigned row = i / bitmap.width, col = i % bitmap.width;
            mismatches += bitmap.buffer[row * bitmap.pitch + col] != atlas[row * font->atlasWidth + left + col];
        }
        EXPECT_EQ(mismatches, 0) << "glyph '" << c << "'";
    }
}

// Each letter covers its atlas rectangle, counter-clockwise from +z; spaces
// advance the pen and emit nothing; letters share a baseline.
TEST_F(TextTest, LettersAreQuadsOverTheirAtlasRectanglesAndSpacesOnlyAdvance) {
    auto text = makeText("A B", 10.0f, 20.0f, 0.5f, 0.25f);
    const Glyph &a = font->glyphs['A'], &space = font->glyphs[' '], &b = font->glyphs['B'];
    const std::vector<Quad> quads = quadsOf(*text);
    ASSERT_EQ(quads.size(), 2u);
    const Quad& q = quads[0];
    const glm::vec4 topLeft(10.0f, 20.0f, a.texX, 0.0f);
    const glm::vec4 bottomRight(10.0f + 0.5f * a.width, 20.0f - 0.25f * a.height,
                                a.texX + a.width / font->atlasWidth, a.height / font->atlasHeight);
    EXPECT_LT(glm::length(q[0] - topLeft), 1e-4f);
    EXPECT_LT(glm::length(q[3] - bottomRight), 1e-4f);
    EXPECT_FLOAT_EQ(quads[1][0].x, 10.0f + 0.5f * (a.advanceX + space.advanceX + b.bearingX - a.bearingX));
    EXPECT_FLOAT_EQ(quads[1][0].y - 0.25f * b.bearingY, q[0].y - 0.25f * a.bearingY);
    Mesh* mesh = text->getMeshes().front();
    ASSERT_EQ(mesh->getIndexCount(), 12);
    const GLuint* i = mesh->getIndices();
    EXPECT_EQ(i[6], 4u);
    for (int t = 0; t < 2; ++t) {
        const glm::vec2 p = q[i[3 * t]], e1 = glm::vec2(q[i[3 * t + 1]]) - p, e2 = glm::vec2(q[i[3 * t + 2]]) - p;
        EXPECT_GT(e1.x * e2.y - e1.y * e2.x, 0.0f) << "triangle " << t;
    }
}

// The measured box sits where the alignment puts it (the two alignments may come in either order).
TEST_F(TextTest, AlignmentsPlaceTheMeasuredBoxOnTheAnchor) {
    const std::pair<float, float> size = font->measureText("Tollbrook");
    const float x = 3.0f, y = -2.0f, sx = 0.01f, sy = 0.02f, w = sx * size.first, h = sy * size.second;
    ASSERT_GT(w * h, 0.0f);
    struct Case { TextAlignment vertical, horizontal; float left, top; };
    for (const Case& c : {Case{TextAlignment::Center, TextAlignment::Center, x - w / 2, y + h / 2},
                          Case{TextAlignment::Left, TextAlignment::Top, x, y},
                          Case{TextAlignment::Bottom, TextAlignment::Right, x - w, y + h}}) {
        const std::vector<Quad> quads = quadsOf(*makeText("Tollbrook", x, y, sx, sy, c.vertical, c.horizontal));
        ASSERT_FALSE(quads.empty());
        glm::vec2 low(1e9f), high(-1e9f);
        for (const Quad& q : quads) {
            low = glm::min(low, glm::vec2(q[2]));
            high = glm::max(high, glm::vec2(q[1]));
        }
        SCOPED_TRACE(static_cast<int>(c.vertical));
        EXPECT_NEAR(quads[0][0].x, c.left, 1e-5f);
        EXPECT_NEAR(quads[0][0].y, c.top, 1e-5f);
        EXPECT_NEAR(high.x - low.x, w, 1e-5f);
        EXPECT_NEAR(high.y - low.y, h, 1e-5f);
    }
}

// Codes below 32 and from 128 draw nothing and do not move the pen (the
// glyph table has 128 entries); nothing after a NUL; an empty text has one
// mesh without vertices. setText rebuilds only on change and keeps the material.
TEST_F(TextTest, CharactersWithoutGlyphsAndEmptyTextsDrawNothingAndSetTextRebuildsOnlyOnChange) {
    const std::vector<Quad> expected = quadsOf(*makeText("AB"));
    for (const std::string& s : {std::string("A\t\x01\x1f" "B"), std::string("A\xc3\xa9\x80\xff" "B"),
                                 std::string("AB\0CD", 5)}) {
        EXPECT_EQ(quadsOf(*makeText(s)), expected) << "variant of length " << s.size();
        EXPECT_EQ(font->measureText(s), font->measureText("AB"));
    }
    EXPECT_EQ(makeText("")->getMeshes().at(0)->getIndexCount(), 0);
    EXPECT_EQ(font->measureText(""), std::make_pair(0.0f, 0.0f));
    Shader shader("assets/shaders/font.vsh", "assets/shaders/font.fsh");
    Material material(&shader);
    auto text = makeText("10:00", -0.8f, 0.6f, 0.5f / W, 0.5f / H);  // the size of the game's hints
    text->setMaterial(&material);
    Mesh* before = text->getMeshes().front();
    text->setText("10:00");
    EXPECT_EQ(text->getMeshes().front(), before);
    text->setText("09:59");
    ASSERT_EQ(text->getMeshes().size(), 1u);
    EXPECT_EQ(text->getMeshes().front()->getMaterial(), &material);
    EXPECT_EQ(text->getMeshes().front()->getVertexCount(), 20);  // five glyphs
    // Drawn white over mid-grey it keeps its colour inside a dark rim, so it reads over white as over black.
    material.setColor(1.0f, 1.0f, 1.0f, 1.0f);
    material.setTexture(kDiffuseTextureUnit, font->texture);
    applyGameGlState();
    clearWindow(W, H, 0.5f, 0.5f, 0.5f);
    text->draw();
    const std::vector<uint8_t> pixels = readBackBuffer(W, H);
    int white = 0, dark = 0;
    for (size_t i = 0; i < pixels.size(); i += 4) {
        const int sum = pixels[i] + pixels[i + 1] + pixels[i + 2];
        white += sum > 735, dark += sum < 45;
    }
    EXPECT_TRUE(white > 400 && dark > 200) << white << " white and " << dark << " dark pixels";
}

}  // namespace

// A font file that cannot be opened ends the program with status 1 after its
// message. Runs in a re-executed child without a GL context.
TEST(FontLoadingDeathTest, MissingFontFileExitsWithStatusOne) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(FontManager().loadFont("missing", "assets/fonts/missing.ttf", 32), ::testing::ExitedWithCode(1),
                "Failed to load font assets/fonts/missing.ttf");
}
