// The Player in a real physics scene: mouse look, the movement keys, Left
// Control, jumping, the shared fixed step, and hits that carry no level body. The plate, the goal and the guard
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

// The first cursor event only records the position; then 300 pixels right
// turn the view half a radian towards +z, and the polar angle stops short of
// the poles at 0.001 and pi - 0.001 (moving the cursor down looks down); the
// azimuth stays within one turn. Once the game is over the mouse does nothing.
TEST_F(PlayerTest, MouseLookRecordsTheFirstEventTurnsByTheDifferenceAndStopsShortOfThePoles) {
    EXPECT_FLOAT_EQ(player->getFront().x, 1.0f);
    EXPECT_NEAR(player->getFront().y, -0.0000036732051f, 1e-10f);
    EXPECT_FLOAT_EQ(player->getRight().z, 1.0f);
    player->onMouse(400.0, 300.0);
    EXPECT_DOUBLE_EQ(player->getPolar(), 1.5708);
    EXPECT_DOUBLE_EQ(player->getAzimuth(), 0.0);
    player->onMouse(700.0, 300.0);
    EXPECT_NEAR(player->getAzimuth(), 0.5, 1e-7);
    EXPECT_NEAR(player->getFront().z, std::sin(0.5), 1e-6);
    EXPECT_NEAR(glm::length(player->getFront()), 1.0f, 1e-6f);
    EXPECT_NEAR(glm::dot(player->getFront(), player->getRight()), 0.0f, 1e-6f);
    player->onMouse(700.0, 360.0);  // 0.1 radian down
    EXPECT_NEAR(player->getPolar(), 1.6708, 1e-7);
    EXPECT_NEAR(player->getFront().y, std::cos(1.6708), 1e-6);

    player->onMouse(700.0, 300.0 + 10000.0);
    EXPECT_DOUBLE_EQ(player->getPolar(), 3.1405926535897932);
    EXPECT_LT(player->getFront().y, -0.99f);
    EXPECT_FALSE(std::isnan(player->getRight().x));
    player->onMouse(700.0, 300.0 - 10000.0);
    EXPECT_DOUBLE_EQ(player->getPolar(), 0.001);
    EXPECT_GT(player->getFront().y, 0.99f);
    player->onMouse(700.0 + 1e5, 300.0 - 10000.0);
    EXPECT_LT(std::fabs(player->getAzimuth()), 6.283185307179586);

    gameOver = true;
    const glm::vec3 front = player->getFront();
    player->onMouse(0.0, 0.0);
    EXPECT_EQ(player->getFront(), front);
}

// Held for half a second of fixed steps on open floor, looking along +x
// (right is +z) and then along +z (right is -x): W walks forward at 2 m/s
// and runs at 4 with Left Shift, S steps back at 1 m/s with or without it,
// D strafes right and A left at the forward speeds, W with S leaves 1 m/s.
// Once the game is over the keys move nothing.
TEST_F(PlayerTest, MovementKeysWalkRunStepBackAndStrafeAtTheirSpeeds) {
    struct Case {
        std::set<int> held;
        float forward, right;  // metres per second along the view and to its right
    };
    const int W = GLFW_KEY_W, A = GLFW_KEY_A, S = GLFW_KEY_S, D = GLFW_KEY_D, shift = GLFW_KEY_LEFT_SHIFT;
    const Case cases[] = {
        {{W}, 2, 0},  {{W, shift}, 4, 0}, {{S}, -1, 0},  {{S, shift}, -1, 0}, {{D}, 0, 2},
        {{D, shift}, 0, 4}, {{A}, 0, -2}, {{A, shift}, 0, -4}, {{W, S}, 1, 0}, {{}, 0, 0},
    };
    const glm::dvec3 origin = player->getController()->getPosition();
    player->onMouse(0.0, 0.0);
    for (double azimuth : {0.0, 1.5707963267948966}) {
        player->onMouse((azimuth - player->getAzimuth()) / 0.0016666667328940497, 0.0);
        const glm::vec3 front(std::cos(azimuth), 0.0f, std::sin(azimuth)), right(-front.z, 0.0f, front.x);
        for (const Case& c : cases) {
            player->getController()->setPosition(origin);
            stage.run(30, c.held);
            const glm::vec3 moved = player->getPosition() - glm::vec3(origin);
            const glm::vec3 expected = (front * c.forward + right * c.right) * 0.5f;
            EXPECT_NEAR(moved.x, expected.x, 2e-3f) << "azimuth " << azimuth << ", case " << &c - cases;
            EXPECT_NEAR(moved.z, expected.z, 2e-3f) << "azimuth " << azimuth << ", case " << &c - cases;
            EXPECT_NEAR(moved.y, 0.0f, 2e-3f) << "azimuth " << azimuth << ", case " << &c - cases;
        }
    }
    gameOver = true;
    player->getController()->setPosition(origin);
    stage.run(30, {W});
    const glm::vec3 after = player->getPosition();
    EXPECT_EQ(glm::distance(glm::vec2(after.x, after.z), glm::vec2(origin.x, origin.z)), 0.0f);
}

// Each press crouches once with the feet kept on the floor; a second press or
// a release without a press (Control held when play began) changes nothing,
// so the capsule and the total height always agree. Crouched, the player
// walks and steps back at the standing speeds with the smaller capsule and
// stand-in.
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
    const float x = player->getPosition().x;
    stage.run(30, {GLFW_KEY_W});
    EXPECT_NEAR(player->getPosition().x - x, 1.0f, 2e-3f) << "crouched, walking is still 2 m/s";
    stage.run(30, {GLFW_KEY_S, GLFW_KEY_LEFT_SHIFT});
    EXPECT_NEAR(player->getPosition().x - x, 0.5f, 2e-3f) << "and stepping back 1 m/s";
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
