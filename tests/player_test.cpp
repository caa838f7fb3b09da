// The Player in a real physics scene: Left Control, jumping and the shared
// fixed step; and the plate and goal rules decided by what its capsule touches.

#include "tests/support/PhysicsStage.h"

#include "app/PlayerHitReport.h"

namespace {

// A player dropped 0.39 above a wide floor and stepped until it stands on it.
class PlayerTest : public ::testing::Test {
protected:
    void SetUp() override {
        stage.addFloor();
        player = stage.addPlayer(glm::vec3(0.0f, 1.3f, 0.0f));
        for (int i = 0; i < 200 && !player->isOnGround(); ++i) stage.run(1);
        ASSERT_NEAR(player->getPosition().y, kRestingCentre, 0.002f);
    }
    Stage stage;
    Player* player = nullptr;
};

}  // namespace

// Each press crouches once with the feet kept on the floor; a second press or
// a release without a press (Control held when play began) changes nothing,
// so the capsule and the total height always agree. Crouched, the player
// walks with the smaller capsule and stand-in.
TEST_F(PlayerTest, LeftControlCrouchesOncePerPressAndKeepsTheFeetOnTheFloor) {
    const float foot = player->getPosition().y - 0.9f;
    auto expectHeights = [&](float total, float capsule, float centreAboveFoot, float tolerance) {
        EXPECT_FLOAT_EQ(player->getTotalHeight(), total);
        EXPECT_FLOAT_EQ(player->getController()->getHeight(), capsule);
        EXPECT_NEAR(player->getPosition().y - centreAboveFoot, foot, tolerance);
    };
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE);
    expectHeights(1.8f, 1.4f, 0.9f, 1e-5f);
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    stage.run(30, {GLFW_KEY_W});
    expectHeights(1.1f, 0.7f, 0.55f, 0.002f);
    btVector3 lo, hi;
    player->getStandIn()->getAabb(lo, hi);
    EXPECT_NEAR(hi.y() - lo.y(), 1.1f * 0.8f, 0.05f);
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE);
    expectHeights(1.8f, 1.4f, 0.9f, 0.002f);
}

// Space adds 3.5 m/s only on the ground, once; the flight then follows
// gravity back to the floor.
TEST_F(PlayerTest, JumpsOnlyFromTheGroundAndFallsBackUnderGravity) {
    const Player::KeyState space = [](int key) { return key == GLFW_KEY_SPACE; };
    // Standing still, the player is on the ground every other step (a step on
    // the ground wants no vertical motion, so it touches nothing).
    stage.run(1);
    if (player->isOnGround()) stage.run(1);
    EXPECT_FALSE(player->isOnGround());
    const float falling = player->getVelocity().y;
    player->processInput(space, 0.01);
    EXPECT_FLOAT_EQ(player->getVelocity().y, falling);  // airborne: no jump
    stage.run(1);
    ASSERT_TRUE(player->isOnGround());
    const float before = player->getVelocity().y;
    player->processInput(space, 0.01);
    player->processInput(space, 0.01);
    const float v = before + 3.5f;
    EXPECT_FLOAT_EQ(player->getVelocity().y, v);

    // Stepped at 1/60 s: up v^2 / 2g less v dt / 2, and down again in about 2v / g.
    const float start = player->getPosition().y;
    float highest = start;
    int steps = 0;
    for (; steps == 0 || (steps < 200 && !player->isOnGround()); ++steps, stage.run(1)) {
        highest = std::max(highest, player->getPosition().y);
    }
    EXPECT_NEAR(highest - start, v * v / (2.0f * 9.81f) - v / 120.0f, 0.003f);
    EXPECT_NEAR(steps / 60.0f, 2.0f * v / 9.81f, 0.04f);
}

// A frame too short for a step keeps its motion for the next.
TEST_F(PlayerTest, FramesWithoutAStepKeepTheGatheredMotion) {
    const Player::KeyState forward = [](int key) { return key == GLFW_KEY_W; };
    const glm::vec3 start = player->getPosition();
    for (bool stepped : {false, true}) {
        player->processInput(forward, 0.01);
        EXPECT_EQ(stage.scene->update(0.01), stepped);
    }
    EXPECT_NEAR(player->getPosition().x - start.x, 0.04f, 1e-5f);

}

// Walking along +x over the pressure plate (0.02 high, climbed by the step
// offset) to the goal's block: the plate opens the way, the goal wins with
// the elapsed time, and after that the keys no longer move the player. Hits
// on the player's own stand-in or on bodies without user data are ignored.
TEST(PlayerRules, WalkingOverThePlateToTheGoalWins) {
    Stage stage;
    stage.addFloor(glm::vec3(10.0f, 0.0f, -3.0f), 30.0f);
    stage.staticBox("pressure_plate", glm::vec3(1.5f, 0.01f, 0.0f), glm::vec3(1.0f, 0.02f, 1.0f));
    stage.staticBox("labyrinth_goal", glm::vec3(4.0f, 0.5f, 0.0f), glm::vec3(1.0f));
    Player* player = stage.addPlayer(glm::vec3(0.0f, 0.91f, 0.0f));
    PlayerHitReport report;
    btCollisionObject anonymous;
    for (const btCollisionObject* object : std::vector<const btCollisionObject*>{nullptr, &anonymous, player->getStandIn()}) {
        report.onShapeHit(ControllerShapeHit{object});
    }
    EXPECT_FALSE(gameOver);
    timeRemaining = timeLimit - 187.25f;
    int frames = 0;
    for (; !pressurePlatePressed && frames < 120; ++frames) stage.run(1, {GLFW_KEY_W});
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
