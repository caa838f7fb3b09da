// The level as the player sees it: the real cell.fbx with the sky, drawn by
// the real renderer under Xvfb and read back (test-output/level_*.png,
// lock_*.png and poster_*.png in the build tree), and the combination locks on it.

#include "app/GameState.h"
#include "app/Lock.h"
#include "app/LockCode.h"
#include "render/Bone.h"
#include "render/Font.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/Text.h"
#include "tests/support/RenderFixture.h"

#include <GLFW/glfw3.h>
#include <stb/stb_image.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <stdexcept>

namespace {

// CIELAB (D65) of a window colour, taken as sRGB 0-255.
glm::vec3 cielab(const glm::vec3& rgb) {
    glm::vec3 c, f;
    for (int i = 0; i < 3; ++i) c[i] = rgb[i] <= 10.31f ? rgb[i] / 3294.6f : std::pow((rgb[i] / 255 + 0.055f) / 1.055f, 2.4f);
    const glm::vec3 xyz = glm::mat3(0.4339f, 0.2126f, 0.0177f, 0.3762f, 0.7152f, 0.1095f, 0.1899f, 0.0722f, 0.8728f) * c;
    for (int i = 0; i < 3; ++i) f[i] = xyz[i] > 0.008856f ? std::cbrt(xyz[i]) : 7.787f * xyz[i] + 16.0f / 116.0f;
    return {116 * f.y - 16, 500 * (f.x - f.y), 200 * (f.y - f.z)};
}

// At the game's window size, so that textures are sampled at the mip levels a
// player sees; with the world's digit labels as the game makes them: "font3D",
// white, the font at 256 so labels scale by 1/256.
class LevelViewTest : public RenderFixture {
protected:
    LevelViewTest() : RenderFixture(1280, 720) {}
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
        return pixelOf(camera->getViewProjection(), point, width, height);
    }
};

}  // namespace

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
    for (int i = 0; i < 4; ++i) {
        locks[i] = dynamic_cast<Lock*>(world->get("lock" + std::to_string(i + 1)));
        ASSERT_NE(locks[i], nullptr);
        locks[i]->setSolution(kLockCode[i]);
        locks[i]->updateLabel();
    }
    // Seen from in front of the door, typing the code changes every lock's digit on its face on the screen.
    const glm::vec3 middle = (locks[1]->getPosition() + locks[2]->getPosition()) * 0.5f;
    camera->setPositionAndFront(middle - glm::vec3(0.55f, 0.0f, 0.0f), {1.0f, 0.0f, 0.0f});
    const std::vector<uint8_t> zeros = frame("lock_zeros");
    // In focus a lock stands out: beside its digit its face is at least 3 times as bright (r + g + b) as
    // an unlit neighbour's, and on both faces the white digit stays far brighter than the face around it.
    locks[1]->setSelected(true);
    const std::vector<uint8_t> focused = frame("lock_focused");
    locks[1]->setSelected(false);
    const auto sum = [&](const glm::ivec2& p) { const Rgba c = at(focused, p.x, p.y); return c.r + c.g + c.b; };
    float face[2] = {0.0f, 0.0f};
    for (int k = 0; k < 2; ++k) {
        const glm::ivec2 c = onScreen(locks[k + 1]->getPosition() + glm::vec3(0.0f, 0.0f, 0.055f));
        for (int i = 0; i < 7 * 7; ++i) face[k] += sum(c + glm::ivec2(i % 7 - 3, i / 7 - 3)) / 49.0f;
        int digit = 0;
        for (int i = 0; i < 41 * 41; ++i) {
            digit += sum(onScreen(locks[k + 1]->getPosition()) + glm::ivec2(i % 41 - 20, i / 41 - 20)) > face[k] + 250;
        }
        EXPECT_GT(digit, 40) << "lock" << k + 2 << "'s digit on a face of " << face[k];
    }
    EXPECT_GE(face[0], 3.0f * face[1]) << "focused " << face[0] << ", unlit " << face[1];
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
        for (int i = 0; i < 25 * 25; ++i) {
            const Rgba a = at(zeros, c.x - 12 + i % 25, c.y - 12 + i / 25), b = at(code, c.x - 12 + i % 25, c.y - 12 + i / 25);
            changed += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b) > 60;
        }
        EXPECT_GT(changed, 2) << lock->getName() << "'s label did not change";
    }
    // Once the game is over the dial is fixed (the open door is the game run's to check).
    locks[0]->setSelected(true);
    gameOver = true;
    locks[0]->onKey(GLFW_KEY_5, GLFW_PRESS);
    EXPECT_EQ(locks[0]->getDigit(), kLockCode[0]);
    // A lock outside a rendered scene cannot show its digit, and says so.
    Lock loose("lock9");
    testing::internal::CaptureStderr();
    EXPECT_THROW(loose.updateLabel(), std::runtime_error);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Lock lock9"), std::string::npos);
    loose.draw();  // no label, no meshes: nothing to do
}

// The poster's inks are the colours that fill 2000 texels or more: the commonest is the paper, the one that
// leaves its red the door code's. Naked, close up and from the far wall, and blurred over up to 8 pixels on
// top, the door code stands no further from the paper around it (CIELAB) than the other codes on average;
// through the glasses it alone stays, dark against that paper.
TEST_F(LevelViewTest, OnlyTheRedGlassesSingleOutTheDoorCodeOnThePoster) {
    loadLevel();
    int tw = 0, th = 0, channels = 0, code = -1;
    stbi_uc* texels = stbi_load("assets/textures/poster.png", &tw, &th, &channels, 3);
    ASSERT_NE(texels, nullptr);
    std::vector<int> colour(tw * th);
    std::map<int, int> count;
    std::vector<std::pair<int, int>> inks;  // (texels, colour), the commonest first
    for (int i = 0; i < tw * th; ++i) ++count[colour[i] = texels[3 * i] << 16 | texels[3 * i + 1] << 8 | texels[3 * i + 2]];
    stbi_image_free(texels);
    for (const auto& c : count) c.second >= 2000 ? inks.push_back({c.second, c.first}) : void();
    std::sort(inks.rbegin(), inks.rend());
    const int paper = inks.at(0).second;
    for (const auto& ink : inks) code = ink.second >> 16 == paper >> 16 ? code : code == -1 ? ink.second : -2;
    ASSERT_TRUE(inks.size() >= 7 && code >= 0) << "paper and six codes, one and only one of them off the paper's red";
    // The quad's corners at texture coordinates (0, 0), (1, 0) and (0, 1).
    Object* poster = world->get("poster");
    const glm::mat4 model = poster->getModelMatrix();
    glm::vec3 corner[3];
    for (int v = 0; v < poster->getMeshes().at(0)->getVertexCount(); ++v) {
        const float* p = poster->getMeshes()[0]->getVertices() + v * kFloatsPerVertex;
        if (p[6] < 0.5f || p[7] < 0.5f) corner[p[6] > 0.5f ? 1 : p[7] > 0.5f ? 2 : 0] = model * glm::vec4(p[0], p[1], p[2], 1);
    }
    const glm::vec3 eu = corner[1] - corner[0], ev = corner[2] - corner[0], facing = glm::normalize(glm::cross(ev, eu));
    const auto blockOf = [this](int i, int s) { return i / width / s * ((width + s - 1) / s) + i % width / s; };
    const auto rgb = [](const std::vector<uint8_t>& p, int i) { return glm::vec3(p[4 * i], p[4 * i + 1], p[4 * i + 2]); };
    for (float distance : {1.0f, 4.1f}) {
        camera->setPositionAndFront(corner[0] + 0.5f * (eu + ev) + facing * distance, -facing);
        const std::string name = "poster_" + std::to_string(static_cast<int>(distance * 10)) + "dm";
        const std::vector<uint8_t> naked = frame(name);
        glassesPickedUp = glassesOn = true;
        const std::vector<uint8_t> filtered = frame(name + "_glasses");
        glassesPickedUp = glassesOn = false;
        // Each pixel's ink, from the texels that land in it, and the paper in its 64-pixel block (the lamp
        // shades the poster unevenly): naked under the block's number, through the glasses under its negative.
        std::vector<int> ink(width * height, -1);
        for (int t = 0; t < tw * th; ++t) {
            const glm::ivec2 p = onScreen(corner[0] + eu * ((t % tw + 0.5f) / tw) + ev * ((t / tw + 0.5f) / th));
            ink.at(p.y * width + p.x) = colour[t];
        }
        std::map<int, glm::vec4> field, through, around;
        for (int i = 0; i < width * height; ++i) {
            const int b = blockOf(i, 64);
            if (ink[i] == paper) field[b] += glm::vec4(rgb(naked, i), 1), field[-1 - b].x += filtered[4 * i];
        }
        for (int i = 0; i < width * height; ++i) {
            const glm::vec4 p = field[blockOf(i, 64)];
            if (ink[i] >= 0 && ink[i] != paper) {
                through[ink[i]] += glm::vec4(1 - filtered[4 * i] * p.w / field[-1 - blockOf(i, 64)].x, 0, 0, 1);
                around[ink[i]] += p / p.w;
            }
        }
        for (int s = 1; s <= 8; s *= 2) {
            std::vector<glm::vec3> block(static_cast<size_t>(blockOf(width * height - 1, s) + 1));
            std::map<int, glm::vec3> mean;
            for (int i = 0; i < width * height; ++i) block[blockOf(i, s)] += rgb(naked, i) / float(s * s);
            for (int i = 0; i < width * height; ++i) mean[ink[i]] += block[blockOf(i, s)];
            float decoys = 0.0f, salience = 0.0f;
            for (size_t k = 1; k < inks.size(); ++k) {
                const glm::vec4 t = through[inks[k].second], p = around[inks[k].second];
                const float dE = glm::length(cielab(mean[inks[k].second] / t.w) - cielab(glm::vec3(p) / t.w));
                inks[k].second == code ? salience = dE : decoys += dE / (inks.size() - 2);
                const bool dipsRight = inks[k].second == code ? t.x / t.w > 0.6f : std::fabs(t.x / t.w) < 0.03f;
                EXPECT_TRUE(s > 1 || dipsRight) << name << ": through the glasses ink " << k << " dips " << t.x / t.w;
            }
            EXPECT_LE(salience, decoys) << name << " blurred over " << s << " pixels";
        }
    }
}
