// The rules decided by what the player's capsule touches: the pressure plate,
// the labyrinth's goal and the guard, walked into in a real physics scene.

#include "tests/physics_test_support.h"

#include "app/GameState.h"
#include "app/PlayerHitReport.h"
#include "physics/Player.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <memory>
#include <set>

using namespace physics_test;

namespace {

class CollisionRulesTest : public ::testing::Test {
protected:
    void SetUp() override { resetState(); }
    void TearDown() override {
        if (player) {
            scene->setPlayer(nullptr);
            player.reset();
        }
        resetState();
    }

    static void resetState() {
        gameOver = false;
        gameWon = false;
        pressurePlatePressed = false;
        endMessage = "...";
        timeRemaining = timeLimit;
        currentPlayer = nullptr;
    }

    // A floor with a pressure plate on it at 1 < x < 2 and the goal's block
    // beyond it at x > 3.5; the guard starts where it is put and walks from
    // there towards the first stop of its patrol.
    void buildLevel(const glm::vec3& guardStart) {
        scene = world.createScene(nullptr);
        addScriptedBodies(world, *scene, objects, guardStart);
        material = world.getMaterial("default");
        auto add = [&](const std::string& name, const glm::vec3& centre, const glm::vec3& size) {
            StaticRigidBody* body = world.bodyBuilder.setObject(objects.make(name, centre))
                                        .setMaterial(material)
                                        .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                        .createStaticBox(size.x, size.y, size.z);
            scene->addPhysicsObject(name, body);
            return body;
        };
        add("floor", glm::vec3(10.0f, -0.05f, -3.0f), glm::vec3(30.0f, 0.1f, 30.0f));
        plate = add("pressure_plate", glm::vec3(1.5f, 0.01f, 0.0f), glm::vec3(1.0f, 0.02f, 1.0f));
        goal = add("labyrinth_goal", glm::vec3(4.0f, 0.5f, 0.0f), glm::vec3(1.0f, 1.0f, 1.0f));
        player = std::make_unique<Player>(scene, material, 1.4f, 0.2f, glm::vec3(0.0f, 0.91f, 0.0f));
        scene->setPlayer(player.get());
        currentPlayer = player.get();
    }

    // Holds the keys for a frame of one fixed step.
    void frame(std::set<int> held) {
        player->processInput([&held](int key) { return held.count(key) > 0; }, scene->getFixedTimeStep());
        scene->update(scene->getFixedTimeStep());
    }

    Objects objects;
    PhysicsWorld world;
    PhysicsScene* scene = nullptr;
    PhysicsMaterial* material = nullptr;
    std::unique_ptr<Player> player;
    StaticRigidBody* plate = nullptr;
    StaticRigidBody* goal = nullptr;
};

TEST_F(CollisionRulesTest, WalkingOverThePlateOpensTheWayAndReachingTheGoalWins) {
    buildLevel(glm::vec3(-50.0f, 1.10005f, -50.0f));
    timeRemaining = timeLimit - 187.25f;
    // Walk along +x: over the plate (0.02 high, climbed by the step offset) to the goal.
    int frames = 0;
    while (!pressurePlatePressed && frames < 120) {
        frame({GLFW_KEY_W});
        ++frames;
    }
    EXPECT_TRUE(pressurePlatePressed);
    EXPECT_GT(player->getPosition().x, 0.75f);  // the capsule's edge is over the plate
    EXPECT_FALSE(gameOver);
    while (!gameOver && frames < 240) {
        frame({GLFW_KEY_W});
        ++frames;
    }
    EXPECT_TRUE(gameOver);
    EXPECT_TRUE(gameWon);
    EXPECT_EQ(endMessage, "You escaped the prison in 03:07.250!");
    EXPECT_NEAR(player->getPosition().x, 3.5f - 0.21f, 0.003f);
    EXPECT_TRUE(pressurePlatePressed);

    // Over: the keys no longer move the player.
    const glm::vec3 end = player->getPosition();
    frame({GLFW_KEY_W});
    EXPECT_EQ(player->getDisplacement(), glm::vec3(0.0f));
    EXPECT_EQ(player->getPosition(), end);
}

TEST_F(CollisionRulesTest, RunningIntoTheGuardLoses) {
    // The guard's first segment walks it from here 1.74 further along -z, in 2 s.
    buildLevel(glm::vec3(12.9f, 1.10005f, -3.5f));
    player->getController()->setPosition(glm::dvec3(12.9, 0.91, -1.0));
    int frames = 0;
    while (!gameOver && frames < 120) {
        frame({GLFW_KEY_A, GLFW_KEY_LEFT_SHIFT});  // left is -z
        ++frames;
    }
    EXPECT_TRUE(gameOver);
    EXPECT_FALSE(gameWon);
    EXPECT_EQ(endMessage, "You hit the guard!");
    EXPECT_FALSE(pressurePlatePressed);
}

TEST_F(CollisionRulesTest, RulesGoByTheBoundObjectsNameAndTheLastRuleDecides) {
    buildLevel(glm::vec3(-50.0f, 1.10005f, -50.0f));
    PlayerHitReport report;
    ControllerShapeHit hit;

    // The player's own stand-in and a body without user data are no rule's business.
    hit.object = player->getStandIn();
    report.onShapeHit(hit);
    btCollisionObject anonymous;
    hit.object = &anonymous;
    report.onShapeHit(hit);
    hit.object = nullptr;
    report.onShapeHit(hit);
    hit.object = scene->getPhysicsObject("floor")->getActor();
    report.onShapeHit(hit);
    EXPECT_FALSE(gameOver);
    EXPECT_FALSE(pressurePlatePressed);
    EXPECT_EQ(endMessage, "...");

    // The plate is found by its Object name, not its registry name.
    hit.object = plate->getActor();
    report.onShapeHit(hit);
    report.onShapeHit(hit);
    EXPECT_TRUE(pressurePlatePressed);
    EXPECT_FALSE(gameOver);

    // A guard hit, then a goal hit in the same step: the goal wins.
    hit.object = scene->getPhysicsObject("guard")->getActor();
    report.onShapeHit(hit);
    EXPECT_TRUE(gameOver);
    EXPECT_FALSE(gameWon);
    EXPECT_EQ(endMessage, "You hit the guard!");
    timeRemaining = 0.5f;
    hit.object = goal->getActor();
    report.onShapeHit(hit);
    EXPECT_TRUE(gameWon);
    EXPECT_EQ(endMessage, "You escaped the prison in 09:59.500!");
    // And a guard hit after the goal replaces the message while the win stands.
    hit.object = scene->getPhysicsObject("guard")->getActor();
    report.onShapeHit(hit);
    EXPECT_TRUE(gameWon);
    EXPECT_EQ(endMessage, "You hit the guard!");
}

}  // namespace
