// The physics scene on real Bullet: the registry, the guard's patrol and the
// labyrinth door driven by the fixed step, the contact reports and the rule
// judging them, and the focus ray.

#include "tests/support/PhysicsStage.h"

#include "app/SceneCollisionCallback.h"
#include "physics/PhysicsUserData.h"

#include <GLFW/glfw3.h>
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

using namespace physics_test;

namespace {

void expectNear(const glm::vec3& actual, const glm::vec3& expected, float tolerance, const std::string& what) {
    EXPECT_LE(glm::distance(actual, expected), tolerance) << what;
}

// Records every report and hands it on to the game's own rule.
class RecordingCallback : public ContactReportCallback {
public:
    struct Report {
        const btCollisionObject* first;
        const btCollisionObject* second;
        uint16_t flags;
        std::string messageAfter;
    };
    void onContact(const ContactPairHeader& header, const ContactPair* pairs, uint32_t pairCount) override {
        rule.onContact(header, pairs, pairCount);
        reports.push_back(Report{header.actors[0], header.actors[1], pairs[0].flags, endMessage});
    }
    // Reports about the pair (a, b) in either order.
    std::vector<Report> between(const btCollisionObject* a, const btCollisionObject* b) const {
        std::vector<Report> found;
        for (const Report& r : reports) {
            if ((r.first == a && r.second == b) || (r.first == b && r.second == a)) found.push_back(r);
        }
        return found;
    }
    std::vector<Report> reports;
    SceneCollisionCallback rule;
};

class FocusRayTest : public GlTest {};

}  // namespace

TEST(PhysicsScene, RegistryKeepsTheFirstBodyAndRefusesUnknownNames) {
    Stage stage;
    LogCapture log;
    StaticRigidBody* first = stage.staticBox("wall 1", glm::vec3(0.0f), glm::vec3(1.0f));
    std::unique_ptr<StaticRigidBody> second(
        stage.world.bodyBuilder.setObject(stage.object("wall 1", glm::vec3(0.0f))).createStaticBox(1, 1, 1));
    stage.scene->addPhysicsObject("wall 1", second.get());
    EXPECT_TRUE(log.saysOut("[WARNING] PhysicsObject wall 1 already exists!"));
    EXPECT_EQ(stage.scene->getPhysicsObject("wall 1"), first);
    EXPECT_EQ(stage.scene->getDynamicsWorld()->getNumCollisionObjects(), 3);  // the refused body stays out
    try {
        stage.scene->getPhysicsObject("wall1");
        FAIL() << "an unknown name must throw";
    } catch (const std::runtime_error& error) {
        EXPECT_STREQ(error.what(), "No physics object with name wall1 found.");
    }
    EXPECT_TRUE(log.saysErr("[ERROR] No physics object with name wall1 found."));
}

// The first segment runs from where the guard was built to row 0 in 2 s; each
// later row is reached, turned as the row says, exactly when its segment
// ends; after row 11 the patrol wraps to row 0.
TEST(PhysicsScene, GuardPatrolTimingAndWrap) {
    const glm::vec3 start(8.9f, 1.10005f, -5.23823f);
    Stage stage(start);
    btRigidBody* guard = stage.guard->getActor();
    const std::vector<GuardWaypoint>& rows = stage.scene->getGuardWaypoints();
    ASSERT_EQ(rows.size(), 12u);

    stage.run(60);
    expectNear(targetOf(guard), glm::mix(start, rows[0].position, 0.5f), 1e-3f, "half way");
    // The body itself is one step behind its target.
    EXPECT_NEAR(positionOf(guard).x, targetOf(guard).x - 2.0f * stage.scene->getFixedTimeStep(), 1e-3f);
    stage.run(60);
    expectNear(targetOf(guard), rows[0].position, 1e-4f, "row 0");

    float elapsed = 2.0f;
    for (int row = 1; row < 12; ++row) {
        stage.run(static_cast<int>(rows[row].duration * 60.0f + 0.5f));
        elapsed += rows[row].duration;
        expectNear(targetOf(guard), rows[row].position, 1e-4f, "row " + std::to_string(row));
        btTransform target;
        guard->getMotionState()->getWorldTransform(target);
        const btQuaternion q = target.getRotation();
        const glm::quat expected = glm::normalize(rows[row].rotation);
        EXPECT_NEAR(std::abs(glm::dot(glm::quat(q.w(), q.x(), q.y(), q.z()), expected)), 1.0f, 1e-4f) << row;
    }
    EXPECT_FLOAT_EQ(elapsed, 14.0f);
    stage.run(60);
    EXPECT_EQ(stage.scene->getGuardWaypointIndex(), 0);
    expectNear(targetOf(guard), glm::mix(rows[11].position, rows[0].position, 0.5f), 1e-3f, "wrapped");
}

// The labyrinth door waits for the plate, then rises (and turns level) to its
// open pose in 2 s and stays there.
TEST(PhysicsScene, LabyrinthDoorOpensTwoSecondsAfterThePlate) {
    const glm::vec3 shut(21.6903f, 1.5f, -2.59875f), open(21.6903f, 5.5f, -2.59875f);
    Stage stage(glm::vec3(-50.0f, 1.10005f, -50.0f), shut);
    btRigidBody* door = stage.door->getActor();
    door->getWorldTransform().setRotation(btQuaternion(btVector3(0, 1, 0), 0.3f));
    door->getMotionState()->setWorldTransform(door->getWorldTransform());

    stage.run(180);
    expectNear(positionOf(door), shut, 0.0f, "waiting");
    expectNear(targetOf(door), shut, 0.0f, "no target before the plate");
    pressurePlatePressed = true;
    stage.run(60);
    expectNear(targetOf(door), glm::mix(shut, open, 0.5f), 1e-3f, "half way");
    stage.run(61);  // two seconds, and the step that applies the last target
    expectNear(positionOf(door), open, 1e-4f, "open");
    EXPECT_NEAR(std::abs(door->getWorldTransform().getRotation().w()), 1.0f, 1e-5f);
    stage.run(120);
    expectNear(positionOf(door), open, 1e-4f, "stays open");
}

// The guard walks its first segment through a player standing still: one
// first touch (the player is hit), then, once it has walked on, one lost
// touch. Statics never pair with kinematic bodies.
TEST(PhysicsScene, GuardWalkingIntoStillPlayerIsReportedOnceThenLost) {
    auto* recorder = new RecordingCallback();
    Stage stage(glm::vec3(9.9f, 1.10005f, -5.23823f), glm::vec3(50.0f, 5.5f, 50.0f), recorder);
    const btCollisionObject* floor = stage.addFloor(glm::vec3(11.0f, 0.0f, -4.0f), 20.0f)->getActor();
    Player* player = stage.addPlayer(glm::vec3(11.4f, 0.9f, -5.23823f));
    stage.run(30);
    ASSERT_NEAR(player->getPosition().y, kRestingCentre, 0.02f);
    const btCollisionObject* guard = stage.guard->getActor();
    EXPECT_TRUE(recorder->between(guard, player->getStandIn()).empty());

    stage.run(60 * 6);
    const std::vector<RecordingCallback::Report> reports = recorder->between(guard, player->getStandIn());
    ASSERT_EQ(reports.size(), 2u) << "the guard must touch the player once and leave";
    EXPECT_EQ(reports[0].flags, ContactPairFlag::ActorPairHasFirstTouch);
    EXPECT_EQ(reports[0].messageAfter, "You were hit by the guard!");
    EXPECT_EQ(reports[1].flags, ContactPairFlag::ActorPairLostTouch);
    EXPECT_TRUE(gameOver);
    EXPECT_FALSE(gameWon);
    EXPECT_TRUE(recorder->between(guard, floor).empty());
}

// Only a first touch between the current player and the guard counts, in
// either order; null or foreign user data and empty reports are ignored.
TEST(PhysicsScene, ContactRuleJudgesFirstTouchOfPlayerAndGuardOnly) {
    Stage stage;
    StaticRigidBody* sink = stage.staticBox("sink", glm::vec3(0.0f), glm::vec3(1.0f));
    int playerToken = 0;
    auto* player = reinterpret_cast<Player*>(&playerToken);
    btCollisionObject standIn, anonymous;
    setUserData(standIn, player);
    currentPlayer = player;
    const btCollisionObject* g = stage.guard->getActor();
    SceneCollisionCallback rule;
    struct Case {
        const btCollisionObject* first;
        const btCollisionObject* second;
        uint16_t flags;
        bool hit;
    };
    for (const Case& c : {Case{&standIn, g, 4, true}, Case{g, &standIn, 4, true}, Case{&standIn, g, 8, false},
                          Case{&standIn, g, 4 | 8, false}, Case{&standIn, sink->getActor(), 4, false},
                          Case{&anonymous, g, 4, false}, Case{nullptr, g, 4, false}}) {
        gameOver = false;
        endMessage = "...";
        const ContactPair pair{c.flags};
        rule.onContact(ContactPairHeader{{c.first, c.second}}, &pair, 1);
        EXPECT_EQ(gameOver, c.hit) << "flags " << c.flags;
        EXPECT_EQ(endMessage, c.hit ? "You were hit by the guard!" : "...");
    }
    gameOver = false;
    const ContactPair pairs[2] = {{8}, {4}};  // only the first pair counts
    rule.onContact(ContactPairHeader{{&standIn, g}}, pairs, 2);
    rule.onContact(ContactPairHeader{{&standIn, g}}, nullptr, 0);
    currentPlayer = nullptr;  // without a current player nothing is the player
    rule.onContact(ContactPairHeader{{&standIn, g}}, &pairs[1], 1);
    EXPECT_FALSE(gameOver);
}

// The player at (0, 1, 0) looks along +x from an eye 0.7 above its centre. In
// front: a box without the query flag, a wall seen from behind, the cell
// door, a lock behind it, a wall seen from the front, a crate beyond reach,
// and a ledge below the eye that only the crouched eye (1.0) sees.
TEST_F(FocusRayTest, PassesIgnoredUnseenAndBackFacingBodiesAndFollowsTheEye) {
    Stage stage;
    auto wall = [&](const std::string& name, float x, std::vector<GLuint> winding) {
        Object* object = stage.object(name, glm::vec3(x, 1.7f, 0.0f));
        object->addMesh(makeMesh({{0, -0.5f, -0.5f}, {0, 0.5f, -0.5f}, {0, 0.5f, 0.5f}, {0, -0.5f, 0.5f}}, winding));
        return stage.add(stage.world.bodyBuilder.setObject(object).setMaterial(stage.material)
                             .setShapeFlags(Stage::kSeen).createStaticTriangleMesh());
    };
    stage.staticBox("plain", glm::vec3(0.15f, 1.7f, 0.0f), glm::vec3(0.05f, 1.0f, 1.0f), BodyBuilder::resetShapeFlags);
    wall("back", 0.25f, {0, 1, 2, 0, 2, 3});
    DynamicRigidBody* door = stage.dynamicBox("door", glm::vec3(0.5f, 1.7f, 0.0f), glm::vec3(0.1f, 1.0f, 1.0f));
    DynamicRigidBody* lock = stage.dynamicBox("lock1", glm::vec3(0.7f, 1.7f, 0.0f), glm::vec3(0.0001f, 0.09f, 0.17f),
                                              PhysicsShapeFlag::SceneQueryShape | PhysicsShapeFlag::Visualization);
    StaticRigidBody* front = wall("front", 1.0f, {0, 2, 1, 0, 3, 2});
    StaticRigidBody* crate = stage.staticBox("crate", glm::vec3(1.5f, 1.7f, 0.0f), glm::vec3(0.2f, 1.0f, 1.0f));
    StaticRigidBody* ledge = stage.staticBox("ledge", glm::vec3(0.8f, 1.0f, 0.0f), glm::vec3(0.2f, 0.2f, 1.0f));
    Player* player = stage.addPlayer(glm::vec3(0.0f, 1.0f, 0.0f));

    PhysicsQueryFilterCallback filter;
    EXPECT_EQ(stage.scene->raycast(1.25f, filter), door);
    filter.ignored.insert(door);
    EXPECT_EQ(stage.scene->raycast(1.25f, filter), lock);
    filter.ignored.insert(lock);
    EXPECT_EQ(stage.scene->raycast(1.25f, filter), front);
    filter.ignored.insert(front);
    EXPECT_EQ(stage.scene->raycast(1.25f, filter), nullptr);
    EXPECT_EQ(stage.scene->raycast(2.0f, filter), crate);
    EXPECT_EQ(filter.ignored.size(), 3u) << "the caller's filter gained the player";

    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);
    EXPECT_EQ(stage.scene->raycast(1.25f, filter), ledge);
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_RELEASE);
    EXPECT_EQ(stage.scene->raycast(1.25f, filter), nullptr);
}
