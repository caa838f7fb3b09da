// The combination locks: which keys set a digit and when, the target digit,
// and the digit labels on the level's real locks, drawn under Xvfb (saved as
// test-output/lock_*.png in the build tree).

#include "app/GameState.h"
#include "app/Lock.h"
#include "app/LockCode.h"
#include "app/Settings.h"
#include "render/Bone.h"
#include "render/Camera.h"
#include "render/Font.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/ModelLoader.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "render/Text.h"
#include "tests/support/GlContext.h"
#include "tests/support/RenderTarget.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 192;
constexpr int kHeight = 108;

class LockTest : public ::testing::Test {
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
        nearPlane = 0.1f;
        farPlane = 100.0f;
        globalBrightness = 1.0f;
        gameOver = cellDoorOpened = false;

        renderer = std::make_unique<Renderer>(context->window(), kWidth, kHeight);
        renderer->getShaderManager().load("phong", "assets/shaders/phong");
        renderer->getShaderManager().load("font3D", "assets/shaders/font3D");
        renderer->getFontManager().loadFont("VT323", "assets/fonts/VT323-Regular.ttf", 256);  // as the game: labels scale by 1/256
        loader = std::make_unique<ModelLoader>(renderer.get());
        camera = std::make_unique<Camera>(60.0, static_cast<double>(kWidth) / kHeight, 0.1, 100.0);
        world = std::make_unique<Scene>(loader.get());
        world->setCamera(camera.get());
        // The world's text material, as the game makes it.
        world->getMaterialManager().create("text", renderer->getShaderManager().get("font3D"));
        Material* text = world->getMaterialManager().get("text");
        text->setColor(1.0f, 1.0f, 1.0f, 1.0f);
        text->setTexture(kDiffuseTextureUnit, renderer->getFontManager().getFont("VT323")->texture);
        renderer->addScene(world.get());
    }

    void TearDown() override {
        gameOver = cellDoorOpened = false;
        if (world) {
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

    std::vector<uint8_t> frame(const std::string& name) {
        renderer->clear();
        renderer->render();
        EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR)) << name;
        std::vector<uint8_t> pixels(static_cast<size_t>(kWidth) * kHeight * 4);
        glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
        glReadBuffer(GL_BACK);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data());
        savePng("lock_" + name, pixels, kWidth, kHeight);
        return pixels;
    }

    // Pixels of the label colour (near white) within r pixels of a point.
    int whiteNear(const std::vector<uint8_t>& pixels, const glm::vec3& point, int r) {
        const glm::vec4 clip = camera->getViewProjection() * glm::vec4(point, 1.0f);
        const int cx = static_cast<int>((clip.x / clip.w * 0.5f + 0.5f) * kWidth);
        const int cy = static_cast<int>((clip.y / clip.w * 0.5f + 0.5f) * kHeight);
        int n = 0;
        for (int y = std::max(0, cy - r); y < std::min(kHeight, cy + r + 1); ++y) {
            for (int x = std::max(0, cx - r); x < std::min(kWidth, cx + r + 1); ++x) {
                const Rgba p = pixelAt(pixels, kWidth, x, y);
                n += (p.r > 170 && p.g > 170 && p.b > 170) ? 1 : 0;
            }
        }
        return n;
    }

    std::unique_ptr<GlContext> context;
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<ModelLoader> loader;
    std::unique_ptr<Camera> camera;
    std::unique_ptr<Scene> world;
};

}  // namespace

TEST_F(LockTest, DigitsComeFromTheNumberKeysOnlyWhileFocusedAndPlaying) {
    Lock* lock = new Lock("lock1");
    world->addObject("lock1", lock);
    EXPECT_TRUE(lock->isSolved()) << "a dial at 0 matches a target of 0";
    lock->setSolution(7);
    EXPECT_FALSE(lock->isSolved());
    lock->updateLabel();
    ASSERT_NE(lock->getLabel(), nullptr);
    EXPECT_EQ(lock->getLabel()->getText(), "0");

    lock->onKey(GLFW_KEY_7, GLFW_PRESS);
    EXPECT_EQ(lock->getDigit(), 0u) << "not in focus";

    lock->setSelected(true);
    lock->onKey(GLFW_KEY_7, GLFW_PRESS);
    EXPECT_EQ(lock->getDigit(), 7u);
    EXPECT_EQ(lock->getLabel()->getText(), "7");
    EXPECT_TRUE(lock->isSolved());
    lock->onKey(GLFW_KEY_KP_3, GLFW_PRESS);
    EXPECT_EQ(lock->getDigit(), 3u);
    EXPECT_EQ(lock->getLabel()->getText(), "3");
    lock->onKey(GLFW_KEY_KP_0, GLFW_PRESS);
    EXPECT_EQ(lock->getDigit(), 0u);
    lock->onKey(GLFW_KEY_9, GLFW_PRESS);

    // Other keys, repeats and releases change nothing.
    // Just outside both digit ranges too: 47 and 58, 319 and 330.
    for (int key : {GLFW_KEY_A, GLFW_KEY_SPACE, GLFW_KEY_SLASH, 58, 319, GLFW_KEY_KP_DECIMAL}) {
        lock->onKey(key, GLFW_PRESS);
    }
    lock->onKey(GLFW_KEY_1, GLFW_REPEAT);
    lock->onKey(GLFW_KEY_2, GLFW_RELEASE);
    EXPECT_EQ(lock->getDigit(), 9u);
    EXPECT_EQ(lock->getLabel()->getText(), "9");

    // Once the game is over, or the door open, the dial is fixed.
    gameOver = true;
    lock->onKey(GLFW_KEY_4, GLFW_PRESS);
    gameOver = false;
    cellDoorOpened = true;
    lock->onKey(GLFW_KEY_5, GLFW_PRESS);
    EXPECT_EQ(lock->getDigit(), 9u);
}

TEST_F(LockTest, ALockOutsideARenderedSceneCannotShowItsDigit) {
    Lock loose("lock9");
    testing::internal::CaptureStderr();
    EXPECT_THROW(loose.updateLabel(), std::runtime_error);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Lock lock9"), std::string::npos);
    EXPECT_EQ(loose.getLabel(), nullptr);
    loose.draw();  // no label, no meshes: nothing to do
}

TEST_F(LockTest, TheLevelsLocksShowTheirDigitsOnTheirFaces) {
    world->loadModel("assets/models/cell.fbx");
    Lock* locks[4];
    testing::internal::CaptureStdout();
    for (int i = 0; i < 4; ++i) {
        locks[i] = dynamic_cast<Lock*>(world->get("lock" + std::to_string(i + 1)));
        ASSERT_NE(locks[i], nullptr);
        locks[i]->setSolution(kLockCode[i]);
        locks[i]->updateLabel();
    }
    const std::string out = testing::internal::GetCapturedStdout();
    // All four labels are called "test": the scene keeps the first.
    EXPECT_EQ(world->get("test"), locks[0]->getLabel());
    size_t warnings = 0;
    for (size_t at = out.find("Object test already exists!"); at != std::string::npos;
         at = out.find("Object test already exists!", at + 1)) {
        ++warnings;
    }
    EXPECT_EQ(warnings, 3u);

    // Each label hangs just in front of its lock's face (the lock's -x side,
    // which looks into the cell) and faces the same way.
    for (Lock* lock : locks) {
        Text* label = lock->getLabel();
        ASSERT_NE(label, nullptr);
        EXPECT_EQ(label->getParent(), lock);
        const glm::mat4 model = label->getModelMatrix();
        const glm::vec3 expected = glm::vec3(lock->getModelMatrix() * glm::vec4(-0.0025f, 0, 0, 1));
        EXPECT_LT(glm::length(glm::vec3(model[3]) - expected), 1e-5f) << lock->getName();
        const glm::vec3 facing = glm::normalize(glm::vec3(model * glm::vec4(0, 0, 1, 0)));
        EXPECT_LT(facing.x, -0.99f) << lock->getName();
    }
    for (unsigned i = 0; i < 4; ++i) {
        EXPECT_EQ(kLockCode[i] == 0, locks[i]->isSolved());
    }

    // Seen from inside the cell in front of the door, every lock shows a
    // digit; typing the code changes every label.
    const glm::vec3 middle = (locks[1]->getPosition() + locks[2]->getPosition()) * 0.5f;
    camera->setPositionAndFront(middle - glm::vec3(0.55f, 0.0f, 0.0f), {1.0f, 0.0f, 0.0f});
    const std::vector<uint8_t> zeros = frame("zeros");
    for (Lock* lock : locks) {
        EXPECT_GT(whiteNear(zeros, lock->getPosition(), 6), 3) << lock->getName() << " shows no digit";
    }
    const int digitKeys[4] = {GLFW_KEY_0, GLFW_KEY_KP_0, GLFW_KEY_0, GLFW_KEY_KP_0};
    for (unsigned i = 0; i < 4; ++i) {
        locks[i]->setSelected(true);
        locks[i]->onKey(digitKeys[i] + static_cast<int>(kLockCode[i]), GLFW_PRESS);
        locks[i]->setSelected(false);
        EXPECT_TRUE(locks[i]->isSolved());
        EXPECT_EQ(locks[i]->getLabel()->getText(), std::to_string(kLockCode[i]));
    }
    const std::vector<uint8_t> code = frame("code");
    for (Lock* lock : locks) {
        const glm::vec4 clip = camera->getViewProjection() * glm::vec4(lock->getPosition(), 1.0f);
        const int cx = static_cast<int>((clip.x / clip.w * 0.5f + 0.5f) * kWidth);
        const int cy = static_cast<int>((clip.y / clip.w * 0.5f + 0.5f) * kHeight);
        int changed = 0;
        for (int y = cy - 6; y <= cy + 6; ++y) {
            for (int x = cx - 6; x <= cx + 6; ++x) {
                const Rgba a = pixelAt(zeros, kWidth, x, y);
                const Rgba b = pixelAt(code, kWidth, x, y);
                changed += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 60 ? 1 : 0;
            }
        }
        EXPECT_GT(changed, 2) << lock->getName() << "'s label did not change";
    }
}
