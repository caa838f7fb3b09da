// The renderer as a person sees it: frames rendered into a real window under
// Xvfb and read back. The images of each run are saved as PNG files under
// the build tree (test-output/renderer_*.png).

#include "app/GameState.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "render/Camera.h"
#include "render/Font.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/Object.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "render/Skybox.h"
#include "render/Text.h"
#include "tests/support/GlContext.h"
#include "tests/support/RenderTarget.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 160;
constexpr int kHeight = 120;

const std::vector<std::string> kSkyFaces = {
    "assets/textures/cubemap/right.jpg", "assets/textures/cubemap/left.jpg",
    "assets/textures/cubemap/top.jpg",   "assets/textures/cubemap/bottom.jpg",
    "assets/textures/cubemap/front.jpg", "assets/textures/cubemap/back.jpg",
};

// The contour colour of the post-process pass, in bytes.
bool isContour(const Rgba& p) {
    return p.r <= 16 && p.g <= 16 && p.b <= 24;
}
bool isWhite(const Rgba& p) {
    return p.r == 255 && p.g == 255 && p.b == 255;
}

class RendererTest : public ::testing::Test {
protected:
    void SetUp() override {
        context = std::make_unique<GlContext>(kWidth, kHeight);
        if (context->displayMissing()) {
            GTEST_SKIP() << context->reason();
        }
        ASSERT_TRUE(context->ok()) << context->reason();
        // The game's baseline state and settings.
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        nearPlane = 0.1f;
        farPlane = 100.0f;
        globalBrightness = 1.0f;
        gameOver = glassesPickedUp = glassesOn = false;

        testing::internal::CaptureStderr();
        renderer = std::make_unique<Renderer>(context->window(), kWidth, kHeight);
        ShaderManager& shaders = renderer->getShaderManager();
        shaders.load("phong", "assets/shaders/phong");
        shaders.load("skybox", "assets/shaders/skybox");
        shaders.load("font", "assets/shaders/font");
        const std::string err = testing::internal::GetCapturedStderr();
        ASSERT_EQ(err, "") << "building the renderer and its programs logged errors";

        camera = std::make_unique<Camera>(60.0, static_cast<double>(kWidth) / kHeight, 0.1, 100.0);
        camera->setPositionAndFront({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f});
        mainCamera = camera.get();
        world = std::make_unique<Scene>(nullptr);
        world->setCamera(camera.get());
        overlay = std::make_unique<Scene>(nullptr);
        overlay->setCamera(camera.get());
    }

    void TearDown() override {
        gameOver = glassesPickedUp = glassesOn = false;
        mainCamera = nullptr;
        if (world) {
            delete world->getSkybox();
        }
        for (Object* object : owned) {
            delete object;
        }
        overlay.reset();
        world.reset();
        renderer.reset();
        context.reset();
    }

    // The world scene's sky and the overlay's text, as the game shows them.
    void addSkyAndText() {
        world->setSkybox(kSkyFaces, renderer->getShaderManager().get("skybox"));
        renderer->getFontManager().loadFont("VT323", "assets/fonts/VT323-Regular.ttf", 64);
        Font* font = renderer->getFontManager().getFont("VT323");
        MaterialManager& materials = overlay->getMaterialManager();
        materials.create("text", renderer->getShaderManager().get("font"));
        materials.get("text")->setColor(0.0f, 0.0f, 0.0f, 1.0f);
        materials.get("text")->setTexture(kDiffuseTextureUnit, font->texture);
        owned.push_back(overlay->createText("label", "text", font, "Hi", -0.95f, 0.95f, 2.0f / kWidth,
                                            2.0f / kHeight, TextAlignment::Top, TextAlignment::Left));
    }

    // A grey cube 3 units ahead, turned to show three faces, lit from the
    // upper left.
    void addLitCube() {
        Shader* phong = renderer->getShaderManager().get("phong");
        world->getMaterialManager().create("grey", phong);
        Material* grey = world->getMaterialManager().get("grey");
        grey->setColorRgb(0.8f, 0.8f, 0.8f);
        grey->setKa(0.2f);
        grey->setKs(0.2f);
        grey->setAlpha(16.0f);
        Cube* cube = new Cube("cube", 1.2f, 1.2f, 1.2f);
        cube->getMeshes()[0]->setMaterial(grey);
        cube->setPosition({0.0f, 0.0f, -3.0f});
        cube->rotate({25.0f, 35.0f, 0.0f});
        owned.push_back(cube);
        world->addObject("cube", cube);
        light = std::make_unique<PointLight>(glm::vec3(-3.0f, 3.0f, 1.0f), glm::vec3(1.0f), glm::vec3(1, 0, 0));
        world->addLight(light.get());
    }

    // A plane of one colour on the overlay.
    void addOverlayPlane(const std::string& name, float r, float g, float b, float x, float y, float size) {
        MaterialManager& materials = overlay->getMaterialManager();
        materials.create(name, renderer->getShaderManager().get("UI"));
        materials.get(name)->setColor(r, g, b, 1.0f);
        owned.push_back(overlay->createUIPlane(name, name, x, y, size, size));
    }

    // Renders one frame onto the window and reads it back; saves it as a PNG.
    std::vector<uint8_t> frame(const std::string& name) {
        renderer->clear();
        renderer->render();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << name;
        std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        savePng("renderer_" + name, pixels, kWidth, kHeight);
        return pixels;
    }

    Rgba at(const std::vector<uint8_t>& pixels, int x, int y) const { return pixelAt(pixels, kWidth, x, y); }

    template <typename Predicate>
    int count(const std::vector<uint8_t>& pixels, Predicate predicate) const {
        int n = 0;
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                n += predicate(at(pixels, x, y)) ? 1 : 0;
            }
        }
        return n;
    }

    void press(int key) { renderer->handleKey(key, GLFW_PRESS); }

    std::unique_ptr<GlContext> context;
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Scene> world;
    std::unique_ptr<Scene> overlay;
    std::unique_ptr<PointLight> light;
    std::vector<Object*> owned;
};

}  // namespace

TEST_F(RendererTest, TheSkyFillsAnEmptySceneAndTheOverlayTextSitsOnTop) {
    renderer->addScene(world.get());
    renderer->addOverlayScene(overlay.get());
    addSkyAndText();
    const std::vector<uint8_t> pixels = frame("sky");

    // Nothing is left at the clear colour (only the sun is as white, up
    // high), and the sky, at the far plane everywhere, has no contours.
    const auto inText = [](int x, int y) { return x < 50 && y >= kHeight - 42; };
    int white = 0;
    int contour = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            white += (y < kHeight / 2 && isWhite(at(pixels, x, y))) ? 1 : 0;
            contour += (!inText(x, y) && isContour(at(pixels, x, y))) ? 1 : 0;
        }
    }
    EXPECT_EQ(white, 0);
    EXPECT_EQ(contour, 0);
    // Sky above, darker ground below.
    const Rgba top = at(pixels, kWidth / 2, kHeight - 25);
    const Rgba bottom = at(pixels, kWidth / 2, 3);
    EXPECT_GT(top.b, top.r) << "the upper half should be blue sky";
    EXPECT_GT(top.r + top.g + top.b, bottom.r + bottom.g + bottom.b);
    // The black text in the top-left corner.
    int dark = 0;
    for (int y = kHeight - 25; y < kHeight; ++y) {
        for (int x = 0; x < 40; ++x) {
            const Rgba p = at(pixels, x, y);
            dark += (p.r + p.g + p.b < 60) ? 1 : 0;
        }
    }
    EXPECT_GT(dark, 20) << "the overlay text is missing";

    // F5 hides the overlay, unless the game is over.
    press(GLFW_KEY_F5);
    const std::vector<uint8_t> hidden = frame("sky_f5");
    int darkHidden = 0;
    for (int y = kHeight - 25; y < kHeight; ++y) {
        for (int x = 0; x < 40; ++x) {
            const Rgba p = at(hidden, x, y);
            darkHidden += (p.r + p.g + p.b < 60) ? 1 : 0;
        }
    }
    EXPECT_EQ(darkHidden, 0);
    gameOver = true;
    const std::vector<uint8_t> over = frame("sky_f5_game_over");
    EXPECT_EQ(over, pixels);
}

TEST_F(RendererTest, ALitCubeIsShadedWithContoursOnlyWhileF3IsOn) {
    renderer->addScene(world.get());
    addLitCube();
    const std::vector<uint8_t> on = frame("cube_contours");

    // Shading: the visible faces differ clearly in brightness.
    int brightest = 0;
    int darkest = 255 * 3;
    int surface = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const Rgba p = at(on, x, y);
            if (isWhite(p) || isContour(p)) {
                continue;
            }
            ++surface;
            brightest = std::max(brightest, p.r + p.g + p.b);
            darkest = std::min(darkest, p.r + p.g + p.b);
        }
    }
    EXPECT_GT(surface, 1000);
    EXPECT_GT(brightest - darkest, 150) << "the faces are not shaded";

    // A dark line runs along the silhouette: scanning a row from the left,
    // the first pixel that is not background is contour.
    for (int y = kHeight / 2 - 10; y <= kHeight / 2 + 10; y += 5) {
        int x = 0;
        while (x < kWidth && isWhite(at(on, x, y))) {
            ++x;
        }
        ASSERT_LT(x, kWidth) << "row " << y << " misses the cube";
        EXPECT_TRUE(isContour(at(on, x, y))) << "row " << y << ", x " << x;
    }
    const int contourPixels = count(on, isContour);
    EXPECT_GT(contourPixels, 100);

    press(GLFW_KEY_F3);
    const std::vector<uint8_t> off = frame("cube_no_contours");
    EXPECT_EQ(count(off, isContour), 0);
    // The cube itself is unchanged away from its edges.
    const Rgba centreOn = at(on, kWidth / 2, kHeight / 2);
    const Rgba centreOff = at(off, kWidth / 2, kHeight / 2);
    EXPECT_EQ(centreOn.r, centreOff.r);
    EXPECT_EQ(centreOn.g, centreOff.g);

    // F4: the picture becomes the normals, unit vectors facing the eye.
    press(GLFW_KEY_F4);
    const std::vector<uint8_t> normals = frame("cube_normals");
    const Rgba n = at(normals, kWidth / 2, kHeight / 2);
    const glm::vec3 decoded(n.r / 255.0f * 2 - 1, n.g / 255.0f * 2 - 1, n.b / 255.0f * 2 - 1);
    EXPECT_NEAR(glm::length(decoded), 1.0f, 0.03f);
    EXPECT_GT(decoded.z, 0.3f);
    EXPECT_FALSE(n.r == n.g && n.g == n.b) << "still the grey image";

    // F1: wireframe leaves the faces' interiors empty.
    press(GLFW_KEY_F4);
    press(GLFW_KEY_F1);
    const std::vector<uint8_t> lines = frame("cube_wireframe");
    EXPECT_TRUE(isWhite(at(lines, kWidth / 2 + 6, kHeight / 2 + 6)) ||
                isWhite(at(lines, kWidth / 2 - 6, kHeight / 2 - 6)));
    EXPECT_LT(count(lines, [](const Rgba& p) { return !isWhite(p); }), surface / 2);
    // The polygon mode is back to filled for everything after the 3D passes.
    GLint mode[2] = {0, 0};
    glGetIntegerv(GL_POLYGON_MODE, mode);
    EXPECT_EQ(mode[0], GL_FILL);
}

TEST_F(RendererTest, TheGlassesFilterTheWorldRedButNotTheOverlay) {
    renderer->addScene(world.get());
    renderer->addOverlayScene(overlay.get());
    addSkyAndText();
    addLitCube();
    addOverlayPlane("green", 0.0f, 1.0f, 0.0f, 0.8f, -0.8f, 0.1f);
    const std::vector<uint8_t> plain = frame("glasses_off");

    glassesPickedUp = true;
    const std::vector<uint8_t> notWorn = frame("glasses_carried");
    EXPECT_EQ(notWorn, plain) << "carrying the glasses must not tint the view";

    glassesOn = true;
    const std::vector<uint8_t> red = frame("glasses_on");
    // The 3D image keeps its red channel alone.
    for (int y = 30; y < kHeight - 30; y += 7) {
        for (int x = 50; x < kWidth - 50; x += 7) {
            const Rgba before = at(plain, x, y);
            const Rgba after = at(red, x, y);
            EXPECT_EQ(after.r, before.r) << x << "," << y;
            EXPECT_EQ(after.g, 0) << x << "," << y;
            EXPECT_EQ(after.b, 0) << x << "," << y;
        }
    }
    // The overlay's green square stays green.
    const Rgba square = at(red, static_cast<int>(kWidth * 0.9f), static_cast<int>(kHeight * 0.1f));
    EXPECT_EQ(square.r, 0);
    EXPECT_EQ(square.g, 255);
    EXPECT_EQ(square.b, 0);

    GLint source = 0;
    GLint destination = 0;
    glGetIntegerv(GL_BLEND_SRC_RGB, &source);
    glGetIntegerv(GL_BLEND_DST_RGB, &destination);
    EXPECT_EQ(source, GL_SRC_ALPHA);
    EXPECT_EQ(destination, GL_ONE_MINUS_SRC_ALPHA);
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));
}

TEST_F(RendererTest, KeysToggleOnPressOnlyAndNotAfterTheGameIsOver) {
    struct Flag {
        int key;
        bool (Renderer::*get)() const;
        bool initial;
    };
    const Flag flags[] = {
        {GLFW_KEY_F1, &Renderer::getWireframe, false},  {GLFW_KEY_F2, &Renderer::getCullFaces, true},
        {GLFW_KEY_F3, &Renderer::getContours, true},    {GLFW_KEY_F4, &Renderer::getShowNormals, false},
        {GLFW_KEY_F5, &Renderer::getShowOverlay, true},
    };
    Renderer& r = *renderer;
    for (const Flag& flag : flags) {
        EXPECT_EQ((r.*flag.get)(), flag.initial) << flag.key;
        r.handleKey(flag.key, GLFW_PRESS);
        EXPECT_EQ((r.*flag.get)(), !flag.initial) << flag.key;
        r.handleKey(flag.key, GLFW_REPEAT);
        r.handleKey(flag.key, GLFW_RELEASE);
        EXPECT_EQ((r.*flag.get)(), !flag.initial) << flag.key;
    }
    EXPECT_FALSE(glfwWindowShouldClose(context->window()));
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

TEST_F(RendererTest, SceneListsAndFrameStateWithoutScenes) {
    Scene other(nullptr);
    other.setCamera(camera.get());
    renderer->addScene(world.get());
    renderer->addScene(&other);
    renderer->addScene(world.get());
    EXPECT_EQ(world->getRenderer(), renderer.get());
    renderer->removeScene(world.get());
    EXPECT_EQ(renderer->getScenes(), (std::vector<Scene*>{&other}));
    renderer->removeScene(world.get());
    EXPECT_EQ(renderer->getScenes(), (std::vector<Scene*>{&other}));
    renderer->removeScene(&other);

    // Nothing to draw: the cleared framebuffer is composed onto the window.
    const std::vector<uint8_t> pixels = frame("empty");
    EXPECT_EQ(count(pixels, isWhite), kWidth * kHeight);

    // The framebuffer the renderer built is complete, with both colour
    // attachments.
    glBindFramebuffer(GL_FRAMEBUFFER, renderer->getFramebuffer().getFbo());
    EXPECT_EQ(glCheckFramebufferStatus(GL_FRAMEBUFFER), static_cast<GLenum>(GL_FRAMEBUFFER_COMPLETE));
    GLint attached = 0;
    glGetFramebufferAttachmentParameteriv(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1,
                                          GL_FRAMEBUFFER_ATTACHMENT_OBJECT_NAME, &attached);
    EXPECT_EQ(static_cast<GLuint>(attached), renderer->getNormalTexture());
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
}

#ifndef NDEBUG
TEST_F(RendererTest, DebugBuildsLogGlErrorsAsTheyHappen) {
    testing::internal::CaptureStderr();
    glBindTexture(GL_TEXTURE_2D, 0xFFFFFFu);  // not a texture name
    const std::string err = testing::internal::GetCapturedStderr();
    glGetError();
    EXPECT_NE(err.find("[ERROR] GL error"), std::string::npos) << err;
}
#endif
