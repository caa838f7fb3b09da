#include "tests/support/RenderFixture.h"

#include "app/GameState.h"
#include "app/Settings.h"
#include "render/Bone.h"
#include "render/Font.h"
#include "render/Light.h"
#include "render/Object.h"
#include "render/Skybox.h"
#include "tests/support/GameDriver.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

const std::vector<std::string> kSkyFaces = {
    "assets/textures/cubemap/right.jpg", "assets/textures/cubemap/left.jpg",  "assets/textures/cubemap/top.jpg",
    "assets/textures/cubemap/bottom.jpg", "assets/textures/cubemap/front.jpg", "assets/textures/cubemap/back.jpg",
};

void expectNear(const glm::vec3& actual, const glm::vec3& expected, float tolerance) {
    EXPECT_TRUE(glm::all(glm::lessThanEqual(glm::abs(actual - expected), glm::vec3(tolerance))))
        << "(" << actual.x << ", " << actual.y << ", " << actual.z << ") instead of (" << expected.x << ", "
        << expected.y << ", " << expected.z << ")";
}

float maxDifference(const glm::mat4& a, const glm::mat4& b) {
    float worst = 0.0f;
    for (int i = 0; i < 16; ++i) worst = std::max(worst, std::fabs(a[i / 4][i % 4] - b[i / 4][i % 4]));
    return worst;
}

int occurrences(const std::string& text, const std::string& part) {
    int n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

int differingPixels(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, int threshold) {
    int n = 0;
    for (size_t i = 0; i + 3 < a.size() && i + 3 < b.size(); i += 4) {
        n += std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2]) > threshold;
    }
    return n;
}

static void resetGlobals() {  // as the game starts
    resetGameState();
    nearPlane = 0.1f, farPlane = 100.0f, globalBrightness = 1.0f;
    rootBone = nullptr;
}

void RenderFixture::SetUp() {
    context = std::make_unique<GlContext>(width, height);
    if (context->displayMissing()) GTEST_SKIP() << context->reason();
    ASSERT_TRUE(context->ok()) << context->reason();
    ASSERT_EQ(build(), "") << "building the renderer and its programs logged errors";
}

std::string RenderFixture::build() {
    applyGameGlState();
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    resetGlobals();
    testing::internal::CaptureStderr();
    renderer = std::make_unique<Renderer>(context->window(), width, height);
    for (const char* name : {"phong", "skybox", "font", "font3D"}) {
        renderer->getShaderManager().load(name, std::string("assets/shaders/") + name);
    }
    const std::string errors = testing::internal::GetCapturedStderr();
    loader = std::make_unique<ModelLoader>(renderer.get());
    camera = std::make_unique<Camera>(60.0, static_cast<double>(width) / height, 0.1, 100.0);
    camera->setPositionAndFront({0.0f, 0.0f, 0.0f}, {0.0f, 0.0f, -1.0f});
    mainCamera = camera.get();
    for (std::unique_ptr<Scene>* scene : {&world, &overlay}) {
        *scene = std::make_unique<Scene>(loader.get());
        (*scene)->setCamera(camera.get());
    }
    renderer->addScene(world.get());
    return errors;
}

void deleteContents(Scene& scene) {
    delete scene.getSkybox();
    for (const auto& entry : scene.getObjects()) delete entry.second;
    for (Light* light : scene.getLights()) delete light;
}

void RenderFixture::TearDown() {
    release();
    context.reset();
}

void RenderFixture::release() {
    for (std::unique_ptr<Scene>* scene : {&world, &overlay}) {
        if (*scene != nullptr) deleteContents(**scene), scene->reset();
    }
    loader.reset();
    renderer.reset();
    resetGlobals();
}

std::vector<uint8_t> RenderFixture::frame(const std::string& name) {
    renderer->clear();
    renderer->render();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << name;
    std::vector<uint8_t> pixels = readBackBuffer(width, height);
    savePng(name, pixels, width, height);
    return pixels;
}
