// The physics scene on real Bullet: the registry, the guard's patrol and the
// labyrinth door driven by the fixed step, and the contact reports.

#include "tests/physics_test_support.h"

#include "app/GameState.h"
#include "app/SceneCollisionCallback.h"
#include "physics/PhysicsUserData.h"
#include "physics/Player.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace physics_test;

namespace {

constexpr float kFar = 1e-4f;

void expectNear(const glm::vec3& actual, const glm::vec3& expected, float tolerance, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

class PhysicsSceneTest : public ::testing::Test {
protected:
    void SetUp() override {
        pressurePlatePressed = false;
        gameOver = false;
        gameWon = false;
        endMessage = "...";
        currentPlayer = nullptr;
    }
    void TearDown() override { SetUp(); }

    void stepFrames(PhysicsScene& scene, int frames) {
        for (int i = 0; i < frames; ++i) {
            scene.update(scene.getFixedTimeStep());
        }
    }
};

}  // namespace

TEST_F(PhysicsSceneTest, RegistryKeepsFirstBodyAndRefusesUnknownNames) {
    Objects objects;
    PhysicsWorld world;
    PhysicsScene* scene = world.createScene(nullptr);
    PhysicsMaterial* material = defaultMaterial(world);
    StaticRigidBody* first = world.bodyBuilder.setObject(objects.make("a", glm::vec3(0.0f)))
                                 .setMaterial(material)
                                 .createStaticBox(1, 1, 1);
    StaticRigidBody* second = world.bodyBuilder.setObject(objects.make("b", glm::vec3(0.0f)))
                                  .setMaterial(material)
                                  .createStaticBox(1, 1, 1);
    LogCapture log;
    scene->addPhysicsObject("wall 1", first);
    scene->addPhysicsObject("wall 1", second);
    EXPECT_NE(log.stdout_().find("[WARNING] PhysicsObject wall 1 already exists!"), std::string::npos);
    EXPECT_EQ(scene->getPhysicsObject("wall 1"), first);
    // The refused body stays with the caller and never enters the world.
    EXPECT_EQ(scene->getDynamicsWorld()->getNumCollisionObjects(), 1);
    delete second;

    try {
        scene->getPhysicsObject("wall1");
        FAIL() << "an unknown name must throw";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "No physics object with name wall1 found.");
    }
    EXPECT_NE(log.stderr_().find("[ERROR] No physics object with name wall1 found."), std::string::npos);
}

// The first segment runs from where the guard was built to row 0 in 2 s; each
// later row is reached exactly when its segment ends; row 11 wraps to row 0.
TEST_F(PhysicsSceneTest, GuardPatrolTimingAndWrap) {
    Objects objects;
    PhysicsWorld world;
    PhysicsScene* scene = world.createScene(nullptr);
    const glm::vec3 start(8.9f, 1.10005f, -5.23823f);
    addScriptedBodies(world, *scene, objects, start);
    btRigidBody* guard = scene->getPhysicsObject("guard")->getActor();
    const std::vector<GuardWaypoint>& rows = scene->getGuardWaypoints();
    ASSERT_EQ(rows.size(), 12u);

    stepFrames(*scene, 60);  // 1 s: half way to row 0
    expectNear(targetOf(guard), glm::mix(start, rows[0].position, 0.5f), 1e-3f, "half way");
    EXPECT_EQ(scene->getGuardWaypointIndex(), 0);
    // The body itself is one step behind its target.
    const float stepLength = 4.0f / 2.0f * scene->getFixedTimeStep();
    EXPECT_NEAR(positionOf(guard).x, targetOf(guard).x - stepLength, 1e-3f);

    stepFrames(*scene, 60);  // 2 s: at row 0
    expectNear(targetOf(guard), rows[0].position, kFar, "row 0");

    // Rows 1 to 11 take 12 s (row 10 takes two); check each arrival.
    float elapsed = 2.0f;
    for (int row = 1; row < 12; ++row) {
        stepFrames(*scene, static_cast<int>(rows[row].duration * 60.0f + 0.5f));
        elapsed += rows[row].duration;
        expectNear(targetOf(guard), rows[row].position, kFar, "row " + std::to_string(row));
        btTransform target;
        guard->getMotionState()->getWorldTransform(target);
        const btQuaternion q = target.getRotation();
        const glm::quat expected = glm::normalize(rows[row].rotation);
        EXPECT_NEAR(std::abs(q.w() * expected.w + q.x() * expected.x + q.y() * expected.y + q.z() * expected.z),
                    1.0f, 1e-4f)
            << "rotation of row " << row;
    }
    EXPECT_FLOAT_EQ(elapsed, 14.0f);

    // One more second: back on the way to row 0, half way from row 11.
    stepFrames(*scene, 60);
    EXPECT_EQ(scene->getGuardWaypointIndex(), 0);
    expectNear(targetOf(guard), glm::mix(rows[11].position, rows[0].position, 0.5f), 1e-3f, "wrapped");
}

TEST_F(PhysicsSceneTest, LabyrinthDoorOpensTwoSecondsAfterThePlate) {
    Objects objects;
    PhysicsWorld world;
    PhysicsScene* scene = world.createScene(nullptr);
    const glm::vec3 shut(21.6903f, 1.5f, -2.59875f);
    const glm::quat turned = glm::angleAxis(0.3f, glm::vec3(0.0f, 1.0f, 0.0f));
    addScriptedBodies(world, *scene, objects, glm::vec3(-50.0f, 1.10005f, -50.0f),
                      glm::quat(-0.707f, 0.707f, 0.0f, 0.0f), shut);
    btRigidBody* door = scene->getPhysicsObject("labyrinthDoor")->getActor();
    door->getWorldTransform().setRotation(btQuaternion(turned.x, turned.y, turned.z, turned.w));
    door->getMotionState()->setWorldTransform(door->getWorldTransform());

    stepFrames(*scene, 180);
    expectNear(positionOf(door), shut, 0.0f, "waiting");
    expectNear(targetOf(door), shut, 0.0f, "no target before the plate");

    pressurePlatePressed = true;
    stepFrames(*scene, 60);
    expectNear(targetOf(door), glm::mix(shut, glm::vec3(21.6903f, 5.5f, -2.59875f), 0.5f), 1e-3f, "half way");
    stepFrames(*scene, 61);  // two seconds, and the step that applies the last target
    expectNear(positionOf(door), glm::vec3(21.6903f, 5.5f, -2.59875f), kFar, "open");
    const btQuaternion q = door->getWorldTransform().getRotation();
    EXPECT_NEAR(std::abs(q.w()), 1.0f, 1e-5f);

    stepFrames(*scene, 120);  // and it stays there
    expectNear(positionOf(door), glm::vec3(21.6903f, 5.5f, -2.59875f), kFar, "stays open");
}

namespace {

// Records every report and hands it on to the game's own rule.
class RecordingCallback : public ContactReportCallback {
public:
    struct Report {
        const btCollisionObject* first;
        const btCollisionObject* second;
        uint16_t flags;
        bool gameOverAfter;
        std::string messageAfter;
    };
    void onContact(const ContactPairHeader& header, const ContactPair* pairs, uint32_t pairCount) override {
        rule.onContact(header, pairs, pairCount);
        reports.push_back(Report{header.actors[0], header.actors[1], pairs[0].flags, gameOver, endMessage});
    }
    // Reports about the pair (a, b) in either order.
    std::vector<uint16_t> between(const btCollisionObject* a, const btCollisionObject* b) const {
        std::vector<uint16_t> flags;
        for (const Report& r : reports) {
            if ((r.first == a && r.second == b) || (r.first == b && r.second == a)) {
                flags.push_back(r.flags);
            }
        }
        return flags;
    }
    std::vector<Report> reports;
    SceneCollisionCallback rule;
};

}  // namespace

// The guard walks its first segment through a player standing still on the
// floor: one first touch (the player is hit), then, once it has walked on,
// one lost touch. Statics never pair with kinematic bodies.
TEST_F(PhysicsSceneTest, GuardWalkingIntoStillPlayerIsReportedOnceThenLost) {
    Objects objects;
    PhysicsWorld world;
    auto* recorder = new RecordingCallback();
    PhysicsScene scene(nullptr, recorder);
    // From 3 m before row 0, through the player 1.5 m before it; rows 1 and 2
    // then turn the guard and walk it away along z.
    const glm::vec3 start(9.9f, 1.10005f, -5.23823f);
    addScriptedBodies(world, scene, objects, start);
    PhysicsMaterial* material = world.getMaterial("default");
    StaticRigidBody* floor = world.bodyBuilder.setObject(objects.make("floor", glm::vec3(11.0f, -0.05f, -4.0f)))
                                 .setMaterial(material)
                                 .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                 .createStaticBox(20.0f, 0.1f, 20.0f);
    scene.addPhysicsObject("floor", floor);

    Player player(&scene, material, 1.4f, 0.2f, glm::vec3(11.4f, 0.9f, -5.23823f));
    scene.setPlayer(&player);
    currentPlayer = &player;
    stepFrames(scene, 30);  // settle on the floor
    ASSERT_NEAR(player.getPosition().y, 0.91f, 0.02f);
    const btCollisionObject* guard = scene.getPhysicsObject("guard")->getActor();
    const btCollisionObject* standIn = player.getStandIn();
    EXPECT_TRUE(recorder->between(guard, standIn).empty());
    EXPECT_FALSE(gameOver);

    stepFrames(scene, 60 * 6);
    const std::vector<uint16_t> flags = recorder->between(guard, standIn);
    ASSERT_EQ(flags.size(), 2u) << "the guard must touch the player once and leave";
    EXPECT_EQ(flags[0], ContactPairFlag::ActorPairHasFirstTouch);
    EXPECT_EQ(flags[1], ContactPairFlag::ActorPairLostTouch);
    for (const RecordingCallback::Report& r : recorder->reports) {
        if (r.flags == ContactPairFlag::ActorPairHasFirstTouch && (r.first == standIn || r.second == standIn)) {
            EXPECT_TRUE(r.gameOverAfter);
            EXPECT_EQ(r.messageAfter, "You were hit by the guard!");
        }
    }
    EXPECT_FALSE(gameWon);

    for (const RecordingCallback::Report& r : recorder->reports) {
        EXPECT_FALSE(r.first == floor->getActor() && r.second == guard);
        EXPECT_FALSE(r.first == guard && r.second == floor->getActor());
    }
    scene.setPlayer(nullptr);
}

TEST_F(PhysicsSceneTest, ContactRuleJudgesFirstTouchOfPlayerAndGuardOnly) {
    Objects objects;
    PhysicsWorld world;
    PhysicsMaterial* material = defaultMaterial(world);
    std::unique_ptr<StaticRigidBody> guard(world.bodyBuilder.setObject(objects.make("Armature", glm::vec3(0.0f)))
                                               .setMaterial(material)
                                               .createStaticBox(1, 1, 1));
    std::unique_ptr<StaticRigidBody> sink(world.bodyBuilder.setObject(objects.make("sink", glm::vec3(0.0f)))
                                              .setMaterial(material)
                                              .createStaticBox(1, 1, 1));
    int playerToken = 0;
    auto* player = reinterpret_cast<Player*>(&playerToken);
    btCollisionObject standIn;
    setUserData(standIn, player);
    btCollisionObject anonymous;
    currentPlayer = player;

    SceneCollisionCallback rule;
    struct Case {
        const btCollisionObject* first;
        const btCollisionObject* second;
        uint16_t flags;
        bool hit;
    };
    const btCollisionObject* g = guard->getActor();
    for (const Case& c : {Case{&standIn, g, 4, true}, Case{g, &standIn, 4, true}, Case{&standIn, g, 8, false},
                          Case{&standIn, g, 4 | 8, false}, Case{&standIn, g, 4 | 1, false},
                          Case{&standIn, sink->getActor(), 4, false}, Case{&anonymous, g, 4, false},
                          Case{g, &anonymous, 4, false}, Case{nullptr, g, 4, false}}) {
        gameOver = false;
        endMessage = "...";
        const ContactPairHeader header{{c.first, c.second}};
        const ContactPair pair{c.flags};
        rule.onContact(header, &pair, 1);
        EXPECT_EQ(gameOver, c.hit) << "flags " << c.flags;
        EXPECT_EQ(endMessage, c.hit ? "You were hit by the guard!" : "...");
    }

    // Only the first of several pairs counts; an empty report is ignored.
    gameOver = false;
    const ContactPairHeader header{{&standIn, g}};
    const ContactPair pairs[2] = {{8}, {4}};
    rule.onContact(header, pairs, 2);
    rule.onContact(header, nullptr, 0);
    EXPECT_FALSE(gameOver);

    // Without a current player nothing is the player.
    currentPlayer = nullptr;
    btCollisionObject nobody;
    const ContactPairHeader noPlayer{{&nobody, g}};
    const ContactPair touch{4};
    rule.onContact(noPlayer, &touch, 1);
    EXPECT_FALSE(gameOver);
}
