// The Player in a real physics scene: mouse look, Left Control, jumping and
// the shared fixed step; and the rules decided by what its capsule touches:
// the pressure plate, the labyrinth's goal and the guard.

#include "tests/support/PhysicsStage.h"

#include "app/PlayerHitReport.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <cmath>

using namespace physics_test;

namespace {

// A player dropped 0.39 above a wide floor and stepped until it stands on it.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        stage.addFloor();
        player = stage.addPlayer(glm::vec3(0.0f, 1.3f, 0.0f));
    }
    void settle() {
        for (int i = 0; i < 200 && !player->isOnGround(); ++i) stage.run(1);
        ASSERT_TRUE(player->isOnGround());
        ASSERT_NEAR(player->getPosition().y, kRestingCentre, 0.002f);
    }
    Stage stage;
    Player* player = nullptr;
};

}  // namespace

// The first cursor event only records where the cursor is; later ones turn by
// the difference (600 pixels a radian), and the view stops short of the poles.
TEST_F(PlayerTest, MouseLookTurnsByTheDifferenceAndStopsShortOfThePoles) {
    player->onMouse(400.0, 300.0);
    EXPECT_DOUBLE_EQ(player->getAzimuth(), 0.0);
    player->onMouse(700.0, 300.0);
    EXPECT_NEAR(player->getAzimuth(), 0.5, 1e-7);
    EXPECT_NEAR(player->getFront().z, std::sin(0.5), 1e-6);
    EXPECT_NEAR(glm::dot(player->getFront(), player->getRight()), 0.0f, 1e-6f);
    player->onMouse(700.0, 300.0 + 10000.0);
    EXPECT_DOUBLE_EQ(player->getPolar(), 3.1405926535897932);
    EXPECT_FALSE(std::isnan(player->getRight().x));
    player->onMouse(700.0, 300.0 - 10000.0);
    EXPECT_DOUBLE_EQ(player->getPolar(), 0.001);
    gameOver = true;  // over: the view no longer turns
    const glm::vec3 front = player->getFront();
    player->onMouse(0.0, 0.0);
    EXPECT_EQ(player->getFront(), front);
}

// Each press crouches once with the feet kept on the floor; a second press or
// a release without a press (Control held when play began) changes nothing,
// so the capsule and the total height always agree.
TEST_F(PlayerTest, LeftControlCrouchesOncePerPressAndKeepsTheFeetOnTheFloor) {
    settle();
    const float foot = player->getPosition().y - 0.9f;
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE);
    EXPECT_FLOAT_EQ(player->getTotalHeight(), 1.8f);
    EXPECT_FLOAT_EQ(player->getController()->getHeight(), 1.4f);
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    EXPECT_FLOAT_EQ(player->getTotalHeight(), 1.1f);
    EXPECT_FLOAT_EQ(player->getController()->getHeight(), 0.7f);
    EXPECT_NEAR(player->getPosition().y - 0.55f, foot, 1e-5f);

    // Crouched, the player walks with the smaller capsule and stand-in.
    stage.run(30, {GLFW_KEY_W});
    EXPECT_NEAR(player->getPosition().x, 1.0f, 1e-4f);
    EXPECT_NEAR(player->getPosition().y - 0.55f, foot, 0.002f);
    btVector3 lo, hi;
    player->getStandIn()->getAabb(lo, hi);
    EXPECT_NEAR(hi.y() - lo.y(), 1.1f * 0.8f, 0.05f);

    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE);
    EXPECT_FLOAT_EQ(player->getTotalHeight(), 1.8f);
    EXPECT_FLOAT_EQ(player->getController()->getHeight(), 1.4f);
    EXPECT_NEAR(player->getPosition().y - 0.9f, foot, 0.002f);
    gameOver = true;
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    EXPECT_FLOAT_EQ(player->getTotalHeight(), 1.8f);
}

// Space adds 3.5 m/s only on the ground, once; the flight then follows
// gravity back to the floor.
TEST_F(PlayerTest, JumpsOnlyFromTheGroundAndFallsBackUnderGravity) {
    const Player::KeyState space = [](int key) { return key == GLFW_KEY_SPACE; };
    player->processInput(space, 0.01);
    EXPECT_FLOAT_EQ(player->getVelocity().y, -0.981f);  // airborne: gravity only
    settle();
    // Standing still, the player is on the ground every other step (a step on
    // the ground wants no vertical motion, so it touches nothing).
    stage.run(1);
    EXPECT_FALSE(player->isOnGround());
    stage.run(1);
    ASSERT_TRUE(player->isOnGround());
    const float before = player->getVelocity().y;
    player->processInput(space, 0.01);
    player->processInput(space, 0.01);
    EXPECT_FLOAT_EQ(player->getVelocity().y, before + 3.5f);

    // Stepped at 1/60 s: up v^2 / 2g less v dt / 2, and down again in about 2v / g.
    const float start = player->getPosition().y, v = before + 3.5f;
    float highest = start;
    int airborneSteps = 0;
    for (; airborneSteps < 200 && (airborneSteps == 0 || !player->isOnGround()); ++airborneSteps) {
        stage.run(1);
        highest = std::max(highest, player->getPosition().y);
    }
    EXPECT_NEAR(highest - start, v * v / (2.0f * 9.81f) - v / 120.0f, 0.003f);
    EXPECT_NEAR(airborneSteps / 60.0f, 2.0f * v / 9.81f, 0.04f);
    EXPECT_NEAR(player->getPosition().y, kRestingCentre, 0.002f);
}

// A frame too short for a step keeps its motion for the next; a frame of two
// steps shares its motion between them.
TEST_F(PlayerTest, FramesWithoutAStepKeepTheGatheredMotionAndSubStepsShareIt) {
    settle();
    const Player::KeyState forward = [](int key) { return key == GLFW_KEY_W; };
    const float x0 = player->getPosition().x;
    player->processInput(forward, 0.01);
    EXPECT_FALSE(stage.scene->update(0.01));
    EXPECT_NEAR(player->getDisplacement().x, 0.02f, 1e-6f);
    player->processInput(forward, 0.01);
    EXPECT_TRUE(stage.scene->update(0.01));
    EXPECT_NEAR(player->getPosition().x - x0, 0.04f, 1e-5f);
    EXPECT_EQ(player->getDisplacement(), glm::vec3(0.0f));

    player->processInput([](int key) { return key == GLFW_KEY_D; }, 0.05);
    const float z0 = player->getPosition().z;
    const float step = stage.scene->getFixedTimeStep();
    EXPECT_TRUE(stage.scene->update(2.0 * step - stage.scene->getAccumulator() + 1e-9));
    EXPECT_NEAR(player->getPosition().z - z0, 0.1f, 1e-5f);
    EXPECT_NEAR(player->getPosition().y, kRestingCentre, 0.002f);
}

// Walking along +x over the pressure plate (0.02 high, climbed by the step
// offset) to the goal's block: the plate opens the way, the goal wins with
// the elapsed time, and after that the keys no longer move the player.
TEST(PlayerRules, WalkingOverThePlateToTheGoalWins) {
    Stage stage;
    stage.addFloor(glm::vec3(10.0f, 0.0f, -3.0f), 30.0f);
    stage.staticBox("pressure_plate", glm::vec3(1.5f, 0.01f, 0.0f), glm::vec3(1.0f, 0.02f, 1.0f));
    stage.staticBox("labyrinth_goal", glm::vec3(4.0f, 0.5f, 0.0f), glm::vec3(1.0f));
    Player* player = stage.addPlayer(glm::vec3(0.0f, 0.91f, 0.0f));
    // Hits on the player's own stand-in or on bodies without user data are no rule's business.
    PlayerHitReport report;
    btCollisionObject anonymous;
    for (const btCollisionObject* object :
         std::initializer_list<const btCollisionObject*>{nullptr, &anonymous, player->getStandIn()}) {
        report.onShapeHit(ControllerShapeHit{object});
    }
    EXPECT_FALSE(gameOver);
    timeRemaining = timeLimit - 187.25f;
    int frames = 0;
    for (; !pressurePlatePressed && frames < 120; ++frames) stage.run(1, {GLFW_KEY_W});
    EXPECT_TRUE(pressurePlatePressed);
    EXPECT_GT(player->getPosition().x, 0.75f);  // the capsule's edge is over the plate
    EXPECT_FALSE(gameOver);
    for (; !gameOver && frames < 240; ++frames) stage.run(1, {GLFW_KEY_W});
    EXPECT_TRUE(gameWon);
    EXPECT_EQ(endMessage, "You escaped the prison in 03:07.250!");
    EXPECT_NEAR(player->getPosition().x, 3.5f - 0.21f, 0.003f);
    const glm::vec3 end = player->getPosition();
    stage.run(1, {GLFW_KEY_W});
    EXPECT_EQ(player->getPosition(), end);
}

// Running sideways into the guard on its first segment loses.
TEST(PlayerRules, RunningIntoTheGuardLoses) {
    Stage stage(glm::vec3(12.9f, 1.10005f, -3.5f));
    stage.addFloor(glm::vec3(10.0f, 0.0f, -3.0f), 30.0f);
    stage.addPlayer(glm::vec3(12.9f, 0.91f, -1.0f));
    for (int frames = 0; !gameOver && frames < 120; ++frames) stage.run(1, {GLFW_KEY_A, GLFW_KEY_LEFT_SHIFT});
    EXPECT_TRUE(gameOver);
    EXPECT_FALSE(gameWon);
    EXPECT_EQ(endMessage, "You hit the guard!");
}
