// The level as the player sees it: the real cell.fbx with the sky, drawn by
// the real renderer under Xvfb and read back (test-output/level_*.png and
// lock_*.png in the build tree), and the combination locks on it.

#include "app/GameState.h"
#include "app/Lock.h"
#include "app/LockCode.h"
#include "render/Bone.h"
#include "render/Font.h"
#include "render/Material.h"
#include "render/Text.h"
#include "tests/support/RenderFixture.h"

#include <GLFW/glfw3.h>

#include <cmath>
#include <stdexcept>

namespace {

double luminance(const Rgba& p) { return 0.299 * p.r + 0.587 * p.g + 0.114 * p.b; }

// With the world's digit labels as the game makes them: "font3D", white, the
// font at 256 so labels scale by 1/256.
class LevelViewTest : public RenderFixture {
protected:
    LevelViewTest() : RenderFixture(192, 108) {}
    void SetUp() override {
        RenderFixture::SetUp();
        if (IsSkipped() || HasFatalFailure()) {
            return;
        }
        world->getMaterialManager().create("text", renderer->getShaderManager().get("font3D"));
        Material* text = world->getMaterialManager().get("text");
        text->setColor(1.0f, 1.0f, 1.0f, 1.0f);
        text->setTexture(kDiffuseTextureUnit, gameFont(256)->texture);
    }
    // Where a point lands on the screen, in pixels.
    glm::ivec2 onScreen(const glm::vec3& point) const {
        const glm::vec4 clip = camera->getViewProjection() * glm::vec4(point, 1.0f);
        return {static_cast<int>((clip.x / clip.w * 0.5f + 0.5f) * width),
                static_cast<int>((clip.y / clip.w * 0.5f + 0.5f) * height)};
    }
};

}  // namespace

TEST_F(LevelViewTest, FromThePlayersStartTheCellIsLitAndTextured) {
    loadLevel();
    camera->setPositionAndFront({0.0f, 1.3f + 0.7f, 0.0f}, {1.0f, 0.0f, 0.0f});
    const std::vector<uint8_t> cell = frame("level_start");
    const int total = width * height;
    // Lit, neither black nor washed out.
    double sum = 0.0;
    int dark = 0, white = 0;
    for (int i = 0; i < total; ++i) {
        const double l = luminance(at(cell, i % width, i / width));
        sum += l;
        dark += l < 12.0;
        white += l > 250.0;
    }
    EXPECT_TRUE(sum / total > 50.0 && sum / total < 210.0) << "mean brightness " << sum / total;
    EXPECT_LT(dark, total / 5) << "contours aside, the cell is not black";
    EXPECT_LT(white, total / 10);
    // The textures reach the picture (and it is not the sky alone): with every
    // diffuse texture swapped for plain white, most of the picture changes.
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
    EXPECT_GT(differingPixels(cell, frame("level_start_untextured"), 30), total / 2);
    glDeleteTextures(1, &whiteTexture);
}

TEST_F(LevelViewTest, TheGuardWalksBetweenTwoFramesAndStandsStillOnceTheGameIsOver) {
    loadLevel();
    ASSERT_NE(rootBone, nullptr);
    // From the labyrinth corridor east of the guard, looking west at it.
    const glm::vec3 guard = rootBone->getPosition();
    camera->setPositionAndFront({guard.x + 3.0f, 1.2f, guard.z}, {-1.0f, 0.0f, 0.0f});
    const std::vector<uint8_t> first = frame("level_guard_0");
    frameDeltaTime = 0.3;
    const std::vector<uint8_t> second = frame("level_guard_1");
    EXPECT_GT(differingPixels(first, second, 30), width * height / 100) << "the walk moves the guard's limbs";
    gameOver = true;
    const std::vector<uint8_t> frozen = frame("level_guard_over_0");
    EXPECT_EQ(differingPixels(frozen, frame("level_guard_over_1"), 0), 0);
    EXPECT_EQ(differingPixels(second, frozen, 0), 0) << "frozen in its last pose";
}

// Digits come from the number keys only while a lock is focused and the game
// is on, and show on the lock's face.
TEST_F(LevelViewTest, TheLevelsLocksTakeDigitsAndShowThemOnTheirFaces) {
    world->loadModel("assets/models/cell.fbx");
    Lock* locks[4];
    testing::internal::CaptureStdout();
    for (int i = 0; i < 4; ++i) {
        locks[i] = dynamic_cast<Lock*>(world->get("lock" + std::to_string(i + 1)));
        ASSERT_NE(locks[i], nullptr);
        locks[i]->setSolution(kLockCode[i]);
        locks[i]->updateLabel();
    }
    // All four labels are called "test": the scene keeps the first.
    EXPECT_EQ(occurrences(testing::internal::GetCapturedStdout(), "Object test already exists!"), 3);
    EXPECT_EQ(world->get("test"), locks[0]->getLabel());
    // Each label hangs just in front of its lock's face (the -x side, into the cell), facing the same way.
    for (Lock* lock : locks) {
        ASSERT_NE(lock->getLabel(), nullptr);
        const glm::mat4 model = lock->getLabel()->getModelMatrix();
        const glm::vec3 expected = glm::vec3(lock->getModelMatrix() * glm::vec4(-0.0025f, 0, 0, 1));
        EXPECT_LT(glm::length(glm::vec3(model[3]) - expected), 1e-5f) << lock->getName();
        EXPECT_LT(glm::normalize(glm::vec3(model * glm::vec4(0, 0, 1, 0))).x, -0.99f) << lock->getName();
    }
    // Seen from in front of the door, typing the code changes every lock's digit on the screen.
    const glm::vec3 middle = (locks[1]->getPosition() + locks[2]->getPosition()) * 0.5f;
    camera->setPositionAndFront(middle - glm::vec3(0.55f, 0.0f, 0.0f), {1.0f, 0.0f, 0.0f});
    const std::vector<uint8_t> zeros = frame("lock_zeros");
    locks[0]->onKey(GLFW_KEY_1, GLFW_PRESS);
    EXPECT_EQ(locks[0]->getDigit(), 0u) << "not in focus";
    // Other keys (just outside both digit ranges too), repeats and releases change nothing.
    locks[0]->setSelected(true);
    for (int key : {GLFW_KEY_A, GLFW_KEY_SLASH, 58, 319, GLFW_KEY_KP_DECIMAL}) {
        locks[0]->onKey(key, GLFW_PRESS);
    }
    locks[0]->onKey(GLFW_KEY_1, GLFW_REPEAT);
    locks[0]->onKey(GLFW_KEY_2, GLFW_RELEASE);
    EXPECT_EQ(locks[0]->getDigit(), 0u);
    const int digitKeys[4] = {GLFW_KEY_0, GLFW_KEY_KP_0, GLFW_KEY_0, GLFW_KEY_KP_0};
    for (unsigned i = 0; i < 4; ++i) {
        locks[i]->setSelected(true);
        locks[i]->onKey(digitKeys[i] + static_cast<int>(kLockCode[i]), GLFW_PRESS);
        locks[i]->setSelected(false);
        EXPECT_TRUE(locks[i]->isSolved());
        EXPECT_EQ(locks[i]->getLabel()->getText(), std::to_string(kLockCode[i]));
    }
    const std::vector<uint8_t> code = frame("lock_code");
    for (Lock* lock : locks) {
        const glm::ivec2 c = onScreen(lock->getPosition());
        int changed = 0;
        for (int i = 0; i < 13 * 13; ++i) {
            const Rgba a = at(zeros, c.x - 6 + i % 13, c.y - 6 + i / 13), b = at(code, c.x - 6 + i % 13, c.y - 6 + i / 13);
            changed += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 60;
        }
        EXPECT_GT(changed, 2) << lock->getName() << "'s label did not change";
    }
    // Once the game is over, or the door open, the dial is fixed.
    locks[0]->setSelected(true);
    gameOver = true;
    locks[0]->onKey(GLFW_KEY_5, GLFW_PRESS);
    gameOver = false;
    cellDoorOpened = true;
    locks[0]->onKey(GLFW_KEY_6, GLFW_PRESS);
    EXPECT_EQ(locks[0]->getDigit(), kLockCode[0]);
    // A lock outside a rendered scene cannot show its digit, and says so.
    Lock loose("lock9");
    testing::internal::CaptureStderr();
    EXPECT_THROW(loose.updateLabel(), std::runtime_error);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Lock lock9"), std::string::npos);
    loose.draw();  // no label, no meshes: nothing to do
}
