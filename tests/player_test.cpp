// The Player in a real physics scene: Left Control, jumping, the shared fixed
// step, and hits that carry no level body. The plate, the goal and the guard
// are walked into by the scripted game runs.

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
    auto expectHeights = [&](float total, float capsule, float centreAboveFoot) {
        EXPECT_FLOAT_EQ(player->getTotalHeight(), total);
        EXPECT_FLOAT_EQ(player->getController()->getHeight(), capsule);
        EXPECT_NEAR(player->getPosition().y - centreAboveFoot, foot, 0.002f);
    };
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE);
    expectHeights(1.8f, 1.4f, 0.9f);
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    stage.run(30, {GLFW_KEY_W});
    expectHeights(1.1f, 0.7f, 0.55f);
    btVector3 lo, hi;
    player->getStandIn()->getAabb(lo, hi);
    EXPECT_NEAR(hi.y() - lo.y(), 1.1f * 0.8f, 0.05f);
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE);
    expectHeights(1.8f, 1.4f, 0.9f);
}

// Space adds 3.5 m/s only on the ground, once; the flight then follows
// gravity back to the floor.
TEST_F(PlayerTest, JumpsOnlyFromTheGroundAndFallsBackUnderGravity) {
    const Player::KeyState space = [](int key) { return key == GLFW_KEY_SPACE; };
    // Standing still, the player is on the ground every other step (a step on
    // the ground wants no vertical motion, so it touches nothing).
    stage.run(1);
    if (player->isOnGround()) stage.run(1);
    ASSERT_FALSE(player->isOnGround());
    const float falling = player->getVelocity().y;
    player->processInput(space, 0.01);
    EXPECT_FLOAT_EQ(player->getVelocity().y, falling);  // airborne: no jump
    stage.run(1);
    ASSERT_TRUE(player->isOnGround());
    const float v = player->getVelocity().y + 3.5f;
    player->processInput(space, 0.01);
    player->processInput(space, 0.01);
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

// A frame too short for a step keeps its motion for the next. Hits on no
// body, on one without user data or on the player's own stand-in are ignored.
TEST_F(PlayerTest, FramesWithoutAStepKeepTheMotionAndBarHitsAreIgnored) {
    const glm::vec3 start = player->getPosition();
    for (bool stepped : {false, true}) {
        player->processInput([](int key) { return key == GLFW_KEY_W; }, 0.01);
        EXPECT_EQ(stage.scene->update(0.01), stepped);
    }
    EXPECT_NEAR(player->getPosition().x - start.x, 0.04f, 1e-5f);

    PlayerHitReport report;
    btCollisionObject anonymous;
    for (const btCollisionObject* object : std::vector<const btCollisionObject*>{nullptr, &anonymous, player->getStandIn()}) {
        report.onShapeHit(ControllerShapeHit{object});
    }
    EXPECT_FALSE(gameOver || pressurePlatePressed);
}
