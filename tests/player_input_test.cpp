// The Player in a real physics scene: mouse look, Left Control, and jumping,
// falling and walking through the fixed step.

#include "tests/physics_test_support.h"

#include "app/GameState.h"
#include "physics/Player.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <set>

using namespace physics_test;

namespace {

constexpr float floorTop = 0.0f;
// A capsule (cylinder 1.4, radius 0.2) at rest hovers the contact offset above the floor.
constexpr float restingCentre = floorTop + 0.01f + 0.2f + 0.7f;

Player::KeyState keys(std::set<int> held) {
    return [held](int key) { return held.count(key) > 0; };
}

class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        gameOver = false;
        gameWon = false;
        pressurePlatePressed = false;
        endMessage = "...";
        scene = world.createScene(nullptr);
        addScriptedBodies(world, *scene, objects);
        material = world.getMaterial("default");
        StaticRigidBody* floor = world.bodyBuilder.setObject(objects.make("floor", glm::vec3(0.0f, floorTop - 0.05f, 0.0f)))
                                     .setMaterial(material)
                                     .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                     .createStaticBox(40.0f, 0.1f, 40.0f);
        scene->addPhysicsObject("floor", floor);
        player = std::make_unique<Player>(scene, material, 1.4f, 0.2f, glm::vec3(0.0f, 1.3f, 0.0f));
        scene->setPlayer(player.get());
    }

    void TearDown() override {
        scene->setPlayer(nullptr);
        player.reset();
        gameOver = false;
    }

    // One fixed step per call.
    void step(int steps = 1) {
        for (int i = 0; i < steps; ++i) {
            ASSERT_TRUE(scene->update(scene->getFixedTimeStep()));
        }
    }

    // Steps until the capsule has landed on the floor.
    void settle() {
        for (int i = 0; i < 200 && !player->isOnGround(); ++i) {
            step();
        }
        ASSERT_TRUE(player->isOnGround());
        ASSERT_NEAR(player->getPosition().y, restingCentre, 0.002f);
    }

    Objects objects;
    PhysicsWorld world;
    PhysicsScene* scene = nullptr;
    PhysicsMaterial* material = nullptr;
    std::unique_ptr<Player> player;
};

TEST_F(PlayerTest, MouseLookRecordsTheFirstEventTurnsByTheDifferenceAndStopsShortOfThePoles) {
    EXPECT_FLOAT_EQ(player->getFront().x, 1.0f);
    EXPECT_NEAR(player->getFront().y, -0.0000036732051f, 1e-10f);
    EXPECT_FLOAT_EQ(player->getRight().z, 1.0f);

    player->onMouse(400.0, 300.0);
    EXPECT_DOUBLE_EQ(player->getPolar(), 1.5708);
    EXPECT_DOUBLE_EQ(player->getAzimuth(), 0.0);

    // 300 pixels right turns the view half a radian towards +z (right).
    player->onMouse(700.0, 300.0);
    EXPECT_NEAR(player->getAzimuth(), 0.5, 1e-7);
    EXPECT_NEAR(player->getFront().z, std::sin(0.5), 1e-6);
    EXPECT_NEAR(glm::length(player->getFront()), 1.0f, 1e-6f);
    EXPECT_NEAR(glm::dot(player->getFront(), player->getRight()), 0.0f, 1e-6f);

    // Far down, then far up: the polar angle stops at the limits, front never turns vertical.
    player->onMouse(700.0, 300.0 + 10000.0);
    EXPECT_DOUBLE_EQ(player->getPolar(), 3.1405926535897932);
    EXPECT_LT(player->getFront().y, -0.99f);
    EXPECT_FALSE(std::isnan(player->getRight().x));
    player->onMouse(700.0, 300.0 - 10000.0);
    EXPECT_DOUBLE_EQ(player->getPolar(), 0.001);

    gameOver = true;
    const glm::vec3 front = player->getFront();
    player->onMouse(0.0, 0.0);
    EXPECT_EQ(player->getFront(), front);
}

TEST_F(PlayerTest, LeftControlCrouchesOncePerPressAndKeepsTheFeetOnTheFloor) {
    settle();
    EXPECT_FLOAT_EQ(player->getTotalHeight(), 1.8f);
    const float foot = player->getPosition().y - 0.9f;

    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    EXPECT_TRUE(player->isCrouched());
    EXPECT_FLOAT_EQ(player->getTotalHeight(), 1.1f);
    EXPECT_FLOAT_EQ(player->getController()->getHeight(), 0.7f);
    EXPECT_NEAR(player->getPosition().y - 0.55f, foot, 1e-5f);

    // A repeat, a second press and other keys change nothing.
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_REPEAT);
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    player->onKey(GLFW_KEY_RIGHT_CONTROL, GLFW_RELEASE);
    EXPECT_FLOAT_EQ(player->getTotalHeight(), 1.1f);
    EXPECT_FLOAT_EQ(player->getController()->getHeight(), 0.7f);

    // Crouched, the player walks on the floor with the smaller capsule and stand-in.
    player->processInput(keys({GLFW_KEY_W}), 0.5);
    step(10);
    EXPECT_NEAR(player->getPosition().x, 1.0f, 1e-4f);
    EXPECT_NEAR(player->getPosition().y - 0.55f, foot, 0.002f);
    btVector3 standInMin, standInMax;
    player->getStandIn()->getAabb(standInMin, standInMax);
    EXPECT_NEAR(standInMax.y() - standInMin.y(), 1.1f * 0.8f, 0.05f);

    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE);
    EXPECT_FALSE(player->isCrouched());
    EXPECT_FLOAT_EQ(player->getTotalHeight(), 1.8f);
    EXPECT_NEAR(player->getPosition().y - 0.9f, foot, 0.002f);

    // A release without a press (Control held when play began) changes nothing.
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE);
    EXPECT_FLOAT_EQ(player->getTotalHeight(), 1.8f);
    EXPECT_FLOAT_EQ(player->getController()->getHeight(), 1.4f);

    gameOver = true;
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    EXPECT_FALSE(player->isCrouched());
    EXPECT_FLOAT_EQ(player->getTotalHeight(), 1.8f);
}

TEST_F(PlayerTest, JumpsOnlyFromTheGroundAndFallsBackUnderGravity) {
    // Airborne at the start: Space does nothing.
    player->processInput(keys({GLFW_KEY_SPACE}), 0.01);
    EXPECT_FLOAT_EQ(player->getVelocity().y, -0.981f);
    EXPECT_FALSE(player->isOnGround());

    settle();
    // Standing still, the player is on the ground every other step (a step
    // on the ground wants no vertical motion, so it touches nothing).
    step();
    EXPECT_FALSE(player->isOnGround());
    step();
    ASSERT_TRUE(player->isOnGround());
    const float before = player->getVelocity().y;
    player->processInput(keys({GLFW_KEY_SPACE}), 0.01);
    EXPECT_FLOAT_EQ(player->getVelocity().y, before + 3.5f);
    EXPECT_FALSE(player->isOnGround());
    // Held, it adds nothing more until the player is back on the ground.
    player->processInput(keys({GLFW_KEY_SPACE}), 0.01);
    EXPECT_FLOAT_EQ(player->getVelocity().y, before + 3.5f);

    // The flight of a body thrown up at that speed, sampled at the fixed step.
    const double dt = scene->getFixedTimeStep();
    double v = before + 3.5, y = 0.0, peak = 0.0;
    int flightSteps = 0;
    do {
        v -= 9.81 * dt;
        y += v * dt;
        peak = std::max(peak, y);
        ++flightSteps;
    } while (y > -0.01);

    const float start = player->getPosition().y;
    float highest = start;
    int airborneSteps = 0;
    do {
        step();
        highest = std::max(highest, player->getPosition().y);
        ++airborneSteps;
    } while (!player->isOnGround() && airborneSteps < 200);
    EXPECT_NEAR(highest - start, peak, 0.002);
    EXPECT_NEAR(airborneSteps, flightSteps, 1);
    EXPECT_NEAR(player->getPosition().y, restingCentre, 0.002f);
}

TEST_F(PlayerTest, FramesWithoutAStepKeepTheGatheredMotionAndSubStepsShareIt) {
    settle();
    const float x0 = player->getPosition().x;
    // A frame too short for a step: the keys of that frame still count later.
    player->processInput(keys({GLFW_KEY_W}), 0.01);
    EXPECT_FALSE(scene->update(0.01));
    EXPECT_NEAR(player->getDisplacement().x, 0.02f, 1e-6f);
    player->processInput(keys({GLFW_KEY_W}), 0.01);
    EXPECT_TRUE(scene->update(0.01));
    EXPECT_NEAR(player->getPosition().x - x0, 0.04f, 1e-5f);
    EXPECT_EQ(player->getDisplacement(), glm::vec3(0.0f));

    // Two steps in one frame: the frame's motion is shared between them.
    player->processInput(keys({GLFW_KEY_D}), 0.05);
    const float z0 = player->getPosition().z;
    EXPECT_TRUE(scene->update(2.0 * scene->getFixedTimeStep() - scene->getAccumulator() + 1e-9));
    EXPECT_NEAR(player->getPosition().z - z0, 0.1f, 1e-5f);
    EXPECT_NEAR(player->getPosition().y, restingCentre, 0.002f);
}

}  // namespace
