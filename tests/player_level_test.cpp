// The player in the real level (cell.fbx and its physics set-up): it lands on
// the floor, the cell's walls and its shut door hold it in.

#include "tests/physics_test_support.h"
#include "tests/support/GlContext.h"

#include "app/GameState.h"
#include "app/LevelPhysics.h"
#include "physics/Player.h"
#include "render/Bone.h"
#include "render/Light.h"
#include "render/ModelLoader.h"
#include "render/Renderer.h"
#include "render/Scene.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace physics_test;

namespace {

// The cell's floor is the plane y = 0; its inner wall faces are x = -2, x = 2.6,
// z = -2.1 and z = 2.1. A standing player hovers 0.01 above the floor.
constexpr float restingCentre = 0.01f + 0.2f + 0.7f;

class PlayerLevelTest : public ::testing::Test {
protected:
    void SetUp() override {
        gameOver = false;
        pressurePlatePressed = false;
        context = std::make_unique<GlContext>(96, 64);
        if (context->displayMissing()) {
            GTEST_SKIP() << context->reason();
        }
        ASSERT_TRUE(context->ok()) << context->reason();
        renderer = std::make_unique<Renderer>(context->window(), 96, 64);
        renderer->getShaderManager().load("phong", "assets/shaders/phong");
        loader = std::make_unique<ModelLoader>(renderer.get());
        scene = std::make_unique<Scene>(loader.get());
        rootBone = nullptr;
        scene->loadModel("assets/models/cell.fbx");
        world = std::make_unique<PhysicsWorld>();
        physics = buildPhysicsScene(*scene, *world);
        ASSERT_NE(physics, nullptr);
        player = std::make_unique<Player>(physics, world->getMaterial("default"), 1.4f, 0.2f,
                                          glm::vec3(0.0f, 1.3f, 0.0f));
        physics->setPlayer(player.get());
        currentPlayer = player.get();
    }

    void TearDown() override {
        if (physics != nullptr) {
            physics->setPlayer(nullptr);
        }
        player.reset();
        currentPlayer = nullptr;
        world.reset();
        if (scene) {
            for (const auto& entry : scene->getObjects()) {
                delete entry.second;
            }
            for (Light* light : scene->getLights()) {
                delete light;
            }
        }
        scene.reset();
        loader.reset();
        renderer.reset();
        context.reset();
        rootBone = nullptr;
        gameOver = false;
    }

    // Frames of one fixed step with the keys held.
    void walk(std::set<int> held, int frames) {
        for (int i = 0; i < frames; ++i) {
            player->processInput([&held](int key) { return held.count(key) > 0; }, physics->getFixedTimeStep());
            physics->update(physics->getFixedTimeStep());
        }
    }

    // Turns the view by a number of cursor pixels (600 pixels is one radian).
    void turn(double pixels) {
        player->onMouse(0.0, 0.0);
        player->onMouse(pixels, 0.0);
    }

    std::unique_ptr<GlContext> context;
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<ModelLoader> loader;
    std::unique_ptr<Scene> scene;
    std::unique_ptr<PhysicsWorld> world;
    PhysicsScene* physics = nullptr;
    std::unique_ptr<Player> player;
};

TEST_F(PlayerLevelTest, LandsOnTheCellFloorAndTheWallsAndTheShutDoorHoldItIn) {
    walk({}, 60);
    EXPECT_NEAR(player->getPosition().y, restingCentre, 0.003f);
    EXPECT_NEAR(player->getPosition().x, 0.0f, 1e-5f);

    // Ahead (+x) at z = 0 is the door wall, beside the opening.
    walk({GLFW_KEY_W, GLFW_KEY_LEFT_SHIFT}, 90);
    EXPECT_NEAR(player->getPosition().x, 2.6f - 0.21f, 0.005f);
    EXPECT_NEAR(player->getPosition().z, 0.0f, 0.01f);
    EXPECT_NEAR(player->getPosition().y, restingCentre, 0.003f);

    // Back off, sidestep in front of the opening and walk out: the shut door is in the way.
    walk({GLFW_KEY_S}, 30);
    EXPECT_NEAR(player->getPosition().x, 2.39f - 0.5f, 0.01f);
    walk({GLFW_KEY_D}, 24);  // 0.8 along +z
    EXPECT_NEAR(player->getPosition().z, 0.8f, 0.01f);
    walk({GLFW_KEY_W, GLFW_KEY_LEFT_SHIFT}, 60);
    EXPECT_LT(player->getPosition().x, 2.75f - 0.168f - 0.2f);
    EXPECT_GT(player->getPosition().x, 2.2f);
    EXPECT_NEAR(player->getPosition().y, restingCentre, 0.003f);

    // Back wall (-x), then the north wall (+z): never through a wall.
    turn(600.0 * 3.14159265);
    walk({GLFW_KEY_W, GLFW_KEY_LEFT_SHIFT}, 150);
    EXPECT_GT(player->getPosition().x, -2.0f + 0.2f);
    EXPECT_LT(player->getPosition().x, 0.0f);
    walk({GLFW_KEY_A, GLFW_KEY_LEFT_SHIFT}, 150);  // looking along -x, left is +z
    EXPECT_LT(player->getPosition().z, 2.1f - 0.2f);
    EXPECT_GT(player->getPosition().z, 0.8f);
    EXPECT_GE(player->getPosition().y, restingCentre - 0.003f);
    EXPECT_FALSE(gameOver);
}

}  // namespace
