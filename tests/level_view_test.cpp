// The level as the player sees it: the real cell.fbx loaded into a world
// scene with the sky, drawn by the real renderer (contour pass included)
// under Xvfb and read back from the window. The frames are saved as
// test-output/level_*.png in the build tree.

#include "app/GameState.h"
#include "app/Settings.h"
#include "render/Bone.h"
#include "render/Camera.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/ModelLoader.h"
#include "render/Object.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "render/Skybox.h"
#include "tests/support/GlContext.h"
#include "tests/support/RenderTarget.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 256;
constexpr int kHeight = 144;

const std::vector<std::string> kSkyFaces = {
    "assets/textures/cubemap/right.jpg", "assets/textures/cubemap/left.jpg",
    "assets/textures/cubemap/top.jpg",   "assets/textures/cubemap/bottom.jpg",
    "assets/textures/cubemap/front.jpg", "assets/textures/cubemap/back.jpg",
};

// Where the player's eye starts: standing capsule centre 1.3, eye 0.7 above.
const glm::vec3 kStartEye(0.0f, 1.3f + 0.7f, 0.0f);

double luminance(const Rgba& p) {
    return 0.299 * p.r + 0.587 * p.g + 0.114 * p.b;
}

class LevelViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        context = std::make_unique<GlContext>(kWidth, kHeight);
        if (context->displayMissing()) {
            GTEST_SKIP() << context->reason();
        }
        ASSERT_TRUE(context->ok()) << context->reason();
        glEnable(GL_DEPTH_TEST);
        glEnable(GL_CULL_FACE);
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
        glEnable(GL_BLEND);
        glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
        nearPlane = 0.1f;
        farPlane = 100.0f;
        globalBrightness = 1.0f;
        gameOver = false;
        frameDeltaTime = 0.0;
        rootBone = nullptr;

        renderer = std::make_unique<Renderer>(context->window(), kWidth, kHeight);
        ShaderManager& shaders = renderer->getShaderManager();
        shaders.load("phong", "assets/shaders/phong");
        shaders.load("skybox", "assets/shaders/skybox");
        loader = std::make_unique<ModelLoader>(renderer.get());
        camera = std::make_unique<Camera>(60.0, static_cast<double>(kWidth) / kHeight, 0.1, 100.0);
        mainCamera = camera.get();
        world = std::make_unique<Scene>(loader.get());
        world->setSkybox(kSkyFaces, shaders.get("skybox"));
        world->loadModel("assets/models/cell.fbx");
        world->setCamera(camera.get());
        renderer->addScene(world.get());
    }

    void TearDown() override {
        gameOver = false;
        frameDeltaTime = 0.0;
        mainCamera = nullptr;
        if (world) {
            delete world->getSkybox();
            for (const auto& entry : world->getObjects()) {
                delete entry.second;
            }
            for (Light* light : world->getLights()) {
                delete light;
            }
        }
        world.reset();
        loader.reset();
        renderer.reset();
        context.reset();
        rootBone = nullptr;
    }

    // One frame onto the window, read back and saved.
    std::vector<uint8_t> frame(const std::string& name) {
        renderer->clear();
        renderer->render();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << name;
        std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        savePng("level_" + name, pixels, kWidth, kHeight);
        return pixels;
    }

    Rgba at(const std::vector<uint8_t>& pixels, int x, int y) const { return pixelAt(pixels, kWidth, x, y); }

    std::unique_ptr<GlContext> context;
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<ModelLoader> loader;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Scene> world;
};

int differingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int threshold) {
    int n = 0;
    for (size_t i = 0; i + 3 < a.size(); i += 4) {
        const int d = std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2]);
        n += d > threshold ? 1 : 0;
    }
    return n;
}

}  // namespace

TEST_F(LevelViewTest, FromThePlayersStartTheCellIsLitAndTextured) {
    camera->setPositionAndFront(kStartEye, {1.0f, 0.0f, 0.0f});
    const std::vector<uint8_t> cell = frame("start");

    // The same view with the sky alone: inside the cell almost nothing of it
    // may show.
    Scene skyOnly(loader.get());
    skyOnly.setSkybox(kSkyFaces, renderer->getShaderManager().get("skybox"));
    skyOnly.setCamera(camera.get());
    renderer->removeScene(world.get());
    renderer->addScene(&skyOnly);
    const std::vector<uint8_t> sky = frame("start_sky_only");
    delete skyOnly.getSkybox();
    renderer->removeScene(&skyOnly);
    renderer->addScene(world.get());
    const int total = kWidth * kHeight;
    EXPECT_GT(differingPixels(cell, sky, 30), total * 3 / 4) << "the cell hides the sky";

    // Lit, neither black nor washed out: the mean brightness, and how much of
    // the picture is near black or near white.
    double sum = 0.0;
    int dark = 0;
    int white = 0;
    double texture = 0.0;  // mean brightness step between neighbours
    int steps = 0;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            const double l = luminance(at(cell, x, y));
            sum += l;
            dark += l < 12.0 ? 1 : 0;
            white += l > 250.0 ? 1 : 0;
            if (x > 0) {
                const double d = std::fabs(l - luminance(at(cell, x - 1, y)));
                if (d < 40.0) {  // leave out the contour lines' edges
                    texture += d;
                    ++steps;
                }
            }
        }
    }
    const double mean = sum / total;
    texture /= steps;
    std::printf("level from the start: mean brightness %.1f of 255, %.1f%% near black, %.1f%% near white, "
                "neighbour step %.2f\n",
                mean, 100.0 * dark / total, 100.0 * white / total, texture);
    EXPECT_GT(mean, 50.0);
    EXPECT_LT(mean, 210.0);
    EXPECT_LT(dark, total / 5) << "contours aside, the cell is not black";
    EXPECT_LT(white, total / 10);

    // The textures reach the picture: with every diffuse texture swapped for
    // plain white, most of the picture changes.
    GLuint whiteTexture = 0;
    const uint8_t texel[4] = {255, 255, 255, 255};
    glGenTextures(1, &whiteTexture);
    glBindTexture(GL_TEXTURE_2D, whiteTexture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, texel);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    int textured = 0;
    for (const auto& entry : world->getMaterialManager().getMaterials()) {
        if (entry.second->hasTexture(kDiffuseTextureUnit)) {
            entry.second->setTexture(kDiffuseTextureUnit, whiteTexture);
            ++textured;
        }
    }
    EXPECT_GE(textured, 10);
    const std::vector<uint8_t> plain = frame("start_untextured");
    EXPECT_GT(differingPixels(cell, plain, 30), total / 2);
    glDeleteTextures(1, &whiteTexture);

    // The door ahead is in the middle of the picture, lit.
    const Rgba centre = at(cell, kWidth / 2, kHeight / 2);
    EXPECT_GT(luminance(centre), 30.0);
}

TEST_F(LevelViewTest, TheGuardWalksBetweenTwoFramesAndStandsStillOnceTheGameIsOver) {
    // From the labyrinth corridor east of the guard, looking west at it.
    ASSERT_NE(rootBone, nullptr);
    const glm::vec3 guard = rootBone->getPosition();
    camera->setPositionAndFront({guard.x + 3.0f, 1.2f, guard.z}, {-1.0f, 0.0f, 0.0f});

    const std::vector<uint8_t> first = frame("guard_0");
    frameDeltaTime = 0.3;
    const std::vector<uint8_t> second = frame("guard_1");
    const int changed = differingPixels(first, second, 30);
    EXPECT_GT(changed, kWidth * kHeight / 100) << "the walk moves the guard's limbs";

    gameOver = true;
    const std::vector<uint8_t> frozen1 = frame("guard_over_0");
    const std::vector<uint8_t> frozen2 = frame("guard_over_1");
    EXPECT_EQ(differingPixels(frozen1, frozen2, 0), 0);
    EXPECT_EQ(differingPixels(second, frozen1, 0), 0) << "frozen in its last pose";
}
