// The renderer as a person sees it: frames rendered into a real window under
// Xvfb and read back (saved as test-output/renderer_*.png in the build tree).

#include "app/GameState.h"
#include "render/Font.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/Object.h"
#include "tests/support/Process.h"
#include "tests/support/RenderFixture.h"

#include <GLFW/glfw3.h>
#include <stb/stb_image_write.h>

#include <filesystem>
#include <functional>

namespace {

bool isContour(const Rgba& p) { return p.r <= 16 && p.g <= 16 && p.b <= 24; }
bool isWhite(const Rgba& p) { return p.r == 255 && p.g == 255 && p.b == 255; }

class RendererTest : public RenderFixture {
protected:
    RendererTest() : RenderFixture(160, 120) {}
    // The overlay with black text in the top-left corner, over the sky.
    void addSkyAndText() {
        renderer->addOverlayScene(overlay.get());
        world->setSkybox(kSkyFaces, renderer->getShaderManager().get("skybox"));
        Font* font = gameFont(64);
        overlay->getMaterialManager().create("text", renderer->getShaderManager().get("font"));
        Material* text = overlay->getMaterialManager().get("text");
        text->setColor(0.0f, 0.0f, 0.0f, 1.0f);
        text->setTexture(kDiffuseTextureUnit, font->texture);
        overlay->createText("label", "text", font, "Hi", -0.95f, 0.95f, 2.0f / width, 2.0f / height,
                            TextAlignment::Top, TextAlignment::Left);
    }
    // A grey cube 3 units ahead, turned to show three faces, lit from the upper left.
    void addLitCube() {
        world->getMaterialManager().create("grey", renderer->getShaderManager().get("phong"));
        Material* grey = world->getMaterialManager().get("grey");
        grey->setColorRgb(0.8f, 0.8f, 0.8f);
        grey->setKa(0.2f);
        grey->setKs(0.2f);
        grey->setAlpha(16.0f);
        Cube* cube = new Cube("cube", 1.2f, 1.2f, 1.2f);
        cube->getMeshes()[0]->setMaterial(grey);
        cube->setPosition({0.0f, 0.0f, -3.0f});
        cube->rotate({25.0f, 35.0f, 0.0f});
        world->addObject("cube", cube);
        world->addLight(new PointLight({-3.0f, 3.0f, 1.0f}, glm::vec3(1.0f), {1, 0, 0}));
    }
    // Pixels in [x0, x1) x [y0, y1) that match.
    template <typename Predicate>
    int count(const std::vector<uint8_t>& pixels, Predicate match, int x0 = 0, int y0 = 0, int x1 = 1 << 20,
              int y1 = 1 << 20) const {
        int n = 0;
        for (int i = 0; i < width * height; ++i) {
            const int x = i % width, y = i / width;
            n += x >= x0 && x < x1 && y >= y0 && y < y1 && match(at(pixels, x, y));
        }
        return n;
    }
    int darkTextPixels(const std::vector<uint8_t>& pixels) const {
        return count(pixels, [](const Rgba& p) { return p.r + p.g + p.b < 60; }, 0, height - 25, 40, height);
    }
    void press(int key) { renderer->handleKey(key, GLFW_PRESS); }
};

}  // namespace

TEST_F(RendererTest, TheSkyFillsAnEmptySceneAndF5HidesTheOverlay) {
    addSkyAndText();
    const std::vector<uint8_t> pixels = frame("renderer_sky");
    // No clear colour left in the lower half (only the sun is as white, up
    // high); the sky at the far plane has no contours outside the text.
    EXPECT_EQ(count(pixels, isWhite, 0, 0, width, height / 2), 0);
    EXPECT_EQ(count(pixels, isContour, 50, 0) + count(pixels, isContour, 0, 0, 50, height - 42), 0);
    EXPECT_GT(at(pixels, width / 2, height - 25).b, at(pixels, width / 2, height - 25).r) << "blue sky above";
    EXPECT_GT(darkTextPixels(pixels), 20) << "the overlay text is missing";
    // Glyph coverage is the text's alpha: the H's left stem is narrow, not a filled box.
    const auto dark = [&](int x) { const Rgba p = at(pixels, x, height - 12); return p.r + p.g + p.b < 60; };
    int left = 0, right = 0;
    for (left = 0; left < 40 && !dark(left); ++left) {
    }
    for (right = left; right < 40 && dark(right); ++right) {
    }
    EXPECT_TRUE(right - left > 0 && right - left < 9) << "stem " << left << ".." << right;
    press(GLFW_KEY_F5);
    EXPECT_EQ(darkTextPixels(frame("renderer_sky_f5")), 0);
    gameOver = true;  // the overlay is always shown once the game is over
    EXPECT_EQ(frame("renderer_sky_f5_game_over"), pixels);
}

TEST_F(RendererTest, ALitCubeIsShadedWithContoursOnlyWhileF3IsOnAndF4F1SwitchTheView) {
    addLitCube();
    const std::vector<uint8_t> on = frame("renderer_cube_contours");
    int brightest = 0, darkest = 255 * 3, surface = 0;
    for (int i = 0; i < width * height; ++i) {
        const Rgba p = at(on, i % width, i / width);
        if (!isWhite(p) && !isContour(p)) {
            ++surface;
            brightest = std::max(brightest, p.r + p.g + p.b);
            darkest = std::min(darkest, p.r + p.g + p.b);
        }
    }
    EXPECT_GT(surface, 1000);
    EXPECT_GT(brightest - darkest, 150) << "the faces are not shaded";
    // The first pixel of a row that is not background is contour.
    for (int y = height / 2 - 10; y <= height / 2 + 10; y += 5) {
        int x = 0;
        while (x < width && isWhite(at(on, x, y))) {
            ++x;
        }
        ASSERT_LT(x, width) << "row " << y << " misses the cube";
        EXPECT_TRUE(isContour(at(on, x, y))) << "row " << y << ", x " << x;
    }
    EXPECT_GT(count(on, isContour), 100);
    press(GLFW_KEY_F3);
    const std::vector<uint8_t> off = frame("renderer_cube_no_contours");
    EXPECT_EQ(count(off, isContour), 0);
    // F4: the picture becomes the normals, unit vectors facing the eye.
    press(GLFW_KEY_F4);
    const Rgba n = at(frame("renderer_cube_normals"), width / 2, height / 2);
    const glm::vec3 decoded = glm::vec3(n.r, n.g, n.b) / 127.5f - glm::vec3(1.0f);
    EXPECT_NEAR(glm::length(decoded), 1.0f, 0.03f);
    EXPECT_GT(decoded.z, 0.3f);
    EXPECT_FALSE(n.r == n.g && n.g == n.b) << "still the grey image";
    // F1: wireframe leaves the faces' interiors empty; filled again afterwards.
    press(GLFW_KEY_F4);
    press(GLFW_KEY_F1);
    const std::vector<uint8_t> lines = frame("renderer_cube_wireframe");
    EXPECT_LT(count(lines, [](const Rgba& p) { return !isWhite(p); }), surface / 2);
    GLint mode[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_FILL);
}

TEST_F(RendererTest, TheGlassesFilterTheWorldRedButNotTheOverlayAndTheBlendIsRestored) {
    addSkyAndText();
    addLitCube();
    overlay->getMaterialManager().create("green", renderer->getShaderManager().get("UI"));
    overlay->getMaterialManager().get("green")->setColor(0.0f, 1.0f, 0.0f, 1.0f);
    overlay->createUIPlane("green", "green", 0.8f, -0.8f, 0.1f, 0.1f);
    const std::vector<uint8_t> plain = frame("renderer_glasses_off");
    glassesPickedUp = true;
    EXPECT_EQ(frame("renderer_glasses_carried"), plain) << "carrying the glasses must not tint the view";
    glassesOn = true;
    const std::vector<uint8_t> red = frame("renderer_glasses_on");
    for (int i = 0; i < width * height; i += 7) {
        const Rgba after = at(red, i % width, i / width);
        if (i / width > 30 && i / width < height - 30 && i % width > 50 && i % width < width - 50) {
            EXPECT_TRUE(after.r == at(plain, i % width, i / width).r && after.g + after.b == 0) << i;
        }
    }
    const Rgba square = at(red, width * 9 / 10, height / 10);
    EXPECT_TRUE(square.r == 0 && square.g == 255 && square.b == 0) << "the overlay keeps its colours";
    GLint source = 0, destination = 0;
    glGetIntegerv(GL_BLEND_SRC_RGB, &source);
    glGetIntegerv(GL_BLEND_DST_RGB, &destination);
    EXPECT_TRUE(source == GL_SRC_ALPHA && destination == GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST) && glIsEnabled(GL_CULL_FACE));
}

TEST_F(RendererTest, KeysToggleOnPressOnlyAndNotAfterTheGameIsOverEscapeAlwaysCloses) {
    struct Flag {
        int key;
        bool (Renderer::*get)() const;
        bool initial;
    };
    const Flag flags[] = {{GLFW_KEY_F1, &Renderer::getWireframe, false}, {GLFW_KEY_F2, &Renderer::getCullFaces, true},
                          {GLFW_KEY_F3, &Renderer::getContours, true},    {GLFW_KEY_F4, &Renderer::getShowNormals, false},
                          {GLFW_KEY_F5, &Renderer::getShowOverlay, true}};
    Renderer& r = *renderer;
    for (const Flag& flag : flags) {
        EXPECT_EQ((r.*flag.get)(), flag.initial) << flag.key;
        r.handleKey(flag.key, GLFW_PRESS);
        r.handleKey(flag.key, GLFW_REPEAT);
        r.handleKey(flag.key, GLFW_RELEASE);
        EXPECT_EQ((r.*flag.get)(), !flag.initial) << flag.key;
    }
    r.handleKey(GLFW_KEY_ESCAPE, GLFW_RELEASE);
    EXPECT_FALSE(glfwWindowShouldClose(context->window()));
    gameOver = true;
    for (const Flag& flag : flags) {
        r.handleKey(flag.key, GLFW_PRESS);
        EXPECT_EQ((r.*flag.get)(), !flag.initial) << flag.key;
    }
    r.handleKey(GLFW_KEY_ESCAPE, GLFW_PRESS);
    EXPECT_TRUE(glfwWindowShouldClose(context->window()));
}

// The off-screen framebuffer Mesa must accept, and GL errors logged in Debug builds.
TEST_F(RendererTest, TheFramebufferIsCompleteAndGlErrorsAreLogged) {
    glBindFramebuffer(GL_FRAMEBUFFER, renderer->getFramebuffer().getFbo());
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    GLint attached = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME,
                                          &attached);
    EXPECT_EQ(static_cast<GLuint>(attached), renderer->getNormalTexture());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
#ifndef NDEBUG
    testing::internal::CaptureStderr();
    glBindTexture(GL_TEXTURE_2D, 0xFFFFFFu);  // not a texture name
    const std::string err = testing::internal::GetCapturedStderr();
    glGetError();
    EXPECT_NE(err.find("[ERROR] GL error"), std::string::npos) << err;
#endif
}

// The depth pre-pass only saves shading, and without its program (the file
// missing) the renderer draws without it: on the real level, from the start
// (the labyrinth hidden behind the cell wall) and inside the labyrinth (the
// guard, which it leaves out), every view is the same picture either way.
TEST_F(RendererTest, WithAndWithoutTheDepthPrePassEveryViewOfTheLevelIsTheSame) {
    const auto views = [&](const std::string& name) {
        loadLevel();
        // A crosshair, as the game's display has: its plane's matrix stays on the UI program.
        renderer->addOverlayScene(overlay.get());
        overlay->getMaterialManager().create("mark", renderer->getShaderManager().get("UI"));
        overlay->createUIPlane("crosshair", "mark", 0.0f, 0.0f, 0.02f, 0.02f);
        std::vector<std::vector<uint8_t>> pictures;
        const glm::vec3 places[2][2] = {{{0.0f, 1.6f, 0.0f}, {1.0f, 0.0f, 0.0f}},
                                        {{12.9f, 1.6f, -2.15f}, {0.0f, 0.0f, -1.0f}}};
        for (const auto& place : places) {
            camera->setPositionAndFront(place[0], place[1]);
            // Contours, then the normals view, culling off and wireframe on top.
            for (int key : {0, GLFW_KEY_F4, GLFW_KEY_F2, GLFW_KEY_F1}) {
                press(key);
                pictures.push_back(frame(name + std::to_string(pictures.size())));
            }
            for (int key : {GLFW_KEY_F4, GLFW_KEY_F2, GLFW_KEY_F1}) press(key);
        }
        return pictures;
    };
    const std::vector<std::vector<uint8_t>> with = views("renderer_level_");
    release();
    TempDir dir;
    linkGameAssets(dir, {"shaders/depthOnly.fsh"});
    const std::filesystem::path root = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    const std::string errors = build();
    const std::vector<std::vector<uint8_t>> without = views("renderer_level_without_pre_pass_");
    std::filesystem::current_path(root);
    EXPECT_NE(errors.find("Cannot read shader file assets/shaders/depthOnly.fsh"), std::string::npos) << errors;
    for (size_t i = 0; i < with.size(); ++i) EXPECT_EQ(differingPixels(with[i], without[i], 0), 0) << i;
}

// Only what hides everything behind it may lay its depth down first: a
// colour with alpha below 1, or a texture with any texel's alpha below 255
// (or one given by name, whose alpha is unknown), is drawn as translucent,
// over what lies behind it. Seen in the triangles the frame draws (the
// pre-pass draws an opaque box a second time) and, for the clearly
// translucent ones, in the wall that shows through the box.
TEST_F(RendererTest, OnlyOpaqueColoursAndTexturesGoIntoTheDepthPrePass) {
    TempDir dir;
    // An 8 x 8 image file, every texel's alpha as given but the last one's.
    const auto texture = [&](const std::string& name, int alpha, int last) {
        std::vector<unsigned char> rgba(8 * 8 * 4, 200);
        for (size_t i = 3; i < rgba.size(); i += 4) rgba[i] = static_cast<unsigned char>(alpha);
        rgba[rgba.size() - 1] = static_cast<unsigned char>(last);
        const std::string path = (dir.path() / name).string();
        EXPECT_NE(stbi_write_png(path.c_str(), 8, 8, 4, rgba.data(), 8 * 4), 0);
        return path;
    };
    Shader* phong = renderer->getShaderManager().get("phong");
    MaterialManager& materials = world->getMaterialManager();
    materials.create("wall", phong);
    materials.get("wall")->setColorRgb(0.1f, 0.2f, 0.9f);
    Cube* wall = new Cube("a_wall", 6.0f, 6.0f, 0.2f);  // drawn first: its name comes first
    wall->getMeshes()[0]->setMaterial(materials.get("wall"));
    wall->setPosition({0.0f, 0.0f, -6.0f});
    world->addObject("a_wall", wall);
    Cube* box = new Cube("b_box", 1.0f, 1.0f, 1.0f);
    box->setPosition({0.0f, 0.0f, -3.0f});
    world->addObject("b_box", box);
    world->addLight(new PointLight({0.0f, 2.0f, 0.0f}, glm::vec3(1.0f), {1, 0, 0}));
    const auto textured = [&](const char* file, int alpha, int last) {
        return [&texture, file, alpha, last](Material& m) {
            m.addTexture(texture(file, alpha, last), kDiffuseTextureUnit, GL_LINEAR, GL_LINEAR);
        };
    };
    struct Case {
        const char* what;
        std::function<void(Material&)> dress;
        bool opaque, seeThrough;
    };
    const Case cases[] = {
        {"colour alpha 1", [](Material& m) { m.setColorRgb(0.9f, 0.3f, 0.1f); }, true, false},
        {"colour alpha 0.5", [](Material& m) { m.setColor(0.9f, 0.3f, 0.1f, 0.5f); }, false, true},
        {"colour alpha 0.999", [](Material& m) { m.setColor(0.9f, 0.3f, 0.1f, 0.999f); }, false, false},
        {"texture alpha 255", textured("solid.png", 255, 255), true, false},
        {"texture alpha 128", textured("half.png", 128, 128), false, true},
        {"texture with one texel 254", textured("one.png", 255, 254), false, false},
        {"texture given by name",
         [&](Material& m) {
             const GLuint id = phong->loadTexture(texture("named.png", 255, 255), GL_LINEAR, GL_LINEAR);
             m.setTexture(kDiffuseTextureUnit, id);
         },
         false, false},
    };
    // Triangles of one frame, and the pixel in the middle, where the box is.
    const auto draw = [&](Rgba* middle) {
        GLuint query = 0, triangles = 0;
        glGenQueries(1, &query);
        renderer->clear();
        glBeginQuery(GL_PRIMITIVES_GENERATED, query);
        renderer->render();
        glEndQuery(GL_PRIMITIVES_GENERATED);
        glGetQueryObjectuiv(query, GL_QUERY_RESULT, &triangles);
        glDeleteQueries(1, &query);
        *middle = at(readBackBuffer(width, height), width / 2, height / 2);
        return static_cast<int>(triangles);
    };
    for (const Case& c : cases) {
        materials.create(c.what, phong);
        c.dress(*materials.get(c.what));
        box->getMeshes()[0]->setMaterial(materials.get(c.what));
        Rgba withWall{}, alone{};
        box->setHidden(true);
        const int without = draw(&withWall);
        box->setHidden(false);
        EXPECT_EQ(draw(&withWall) - without, c.opaque ? 24 : 12) << c.what << ": twelve triangles, twice if opaque";
        wall->setHidden(true);
        draw(&alone);
        wall->setHidden(false);
        if (c.seeThrough) {
            const int change =
                std::abs(withWall.r - alone.r) + std::abs(withWall.g - alone.g) + std::abs(withWall.b - alone.b);
            EXPECT_GT(change, 60) << c.what << ": the wall must show through";
        }
    }
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}
