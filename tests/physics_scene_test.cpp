// The physics scene on real Bullet: the guard's patrol and the labyrinth door
// driven by the fixed step, the contact reports and the rule judging them, and
// the focus ray.

#include "tests/support/PhysicsStage.h"

#include "app/SceneCollisionCallback.h"

namespace {

void expectAt(const btTransform& pose, const glm::vec3& expected, float tolerance, const std::string& what) {
    EXPECT_LE(glm::distance(toGlm(pose.getOrigin()), expected), tolerance) << what;
}

// Records the reports about one pair and hands every report on to the game's rule.
class RecordingCallback : public ContactReportCallback {
public:
    void onContact(const ContactPairHeader& header, const ContactPair* pairs, uint32_t pairCount) override {
        rule.onContact(header, pairs, pairCount);
        const std::set<const btCollisionObject*> actors{header.actors[0], header.actors[1]};
        if (actors == watched) reports.emplace_back(pairs[0].flags, endMessage);
    }
    std::set<const btCollisionObject*> watched;
    std::vector<std::pair<uint16_t, std::string>> reports;  // flags, and the end message after the rule
    SceneCollisionCallback rule;
};

class FocusRayTest : public GlTest {};

}  // namespace

// The first segment runs from where the guard was built to row 0 in 2 s, the
// body a step behind its target; each later row is reached, turned as the row
// says, exactly when its segment ends; after row 11 the patrol wraps to row 0.
// The labyrinth door waits for the plate, then rises (and turns level) to its
// open pose in 2 s and stays there.
TEST(PhysicsScene, GuardPatrolAndLabyrinthDoorFollowTheClock) {
    const glm::vec3 start(8.9f, 1.10005f, -5.23823f);
    const glm::vec3 shut(21.6903f, 1.5f, -2.59875f), open(21.6903f, 5.5f, -2.59875f);
    Stage stage(start, shut);
    btRigidBody* guard = stage.guard->getActor();
    btRigidBody* door = stage.door->getActor();
    door->getWorldTransform().setRotation(btQuaternion(btVector3(0, 1, 0), 0.3f));
    door->getMotionState()->setWorldTransform(door->getWorldTransform());
    const std::vector<GuardWaypoint>& rows = stage.scene->getGuardWaypoints();
    ASSERT_EQ(rows.size(), 12u);

    stage.run(60);
    expectAt(targetOf(guard), glm::mix(start, rows[0].position, 0.5f), 1e-3f, "half way");
    EXPECT_NEAR(guard->getWorldTransform().getOrigin().x(), targetOf(guard).getOrigin().x() - 2.0f / 60.0f, 1e-3f);
    stage.run(60);
    expectAt(targetOf(guard), rows[0].position, 1e-4f, "row 0");
    for (int row = 1; row < 12; ++row) {
        stage.run(static_cast<int>(rows[row].duration * 60.0f + 0.5f));
        expectAt(targetOf(guard), rows[row].position, 1e-4f, "row " + std::to_string(row));
        const btQuaternion q = targetOf(guard).getRotation();
        EXPECT_NEAR(std::abs(glm::dot(glm::quat(q.w(), q.x(), q.y(), q.z()), glm::normalize(rows[row].rotation))),
                    1.0f, 1e-4f) << row;
    }
    stage.run(60);
    EXPECT_EQ(stage.scene->getGuardWaypointIndex(), 0);
    expectAt(targetOf(guard), glm::mix(rows[11].position, rows[0].position, 0.5f), 1e-3f, "wrapped");

    expectAt(door->getWorldTransform(), shut, 0.0f, "waiting");
    expectAt(targetOf(door), shut, 0.0f, "no target before the plate");
    pressurePlatePressed = true;
    stage.run(60);
    expectAt(targetOf(door), glm::mix(shut, open, 0.5f), 1e-3f, "half way");
    stage.run(61);  // two seconds, and the step that applies the last target
    expectAt(door->getWorldTransform(), open, 1e-4f, "open");
    EXPECT_NEAR(std::abs(door->getWorldTransform().getRotation().w()), 1.0f, 1e-5f);
    stage.run(120);
    expectAt(door->getWorldTransform(), open, 1e-4f, "stays open");
}

// The guard walks its first segment through a player standing still: one
// first touch (the player is hit), then, once it has walked on, one lost
// touch. Statics never pair with kinematic bodies. The rule counts only a
// first touch of the current player and the guard, in either order; null
// user data and empty reports are ignored.
TEST(PhysicsScene, GuardWalkingIntoStillPlayerIsReportedOnceThenLost) {
    auto* recorder = new RecordingCallback();
    Stage stage(glm::vec3(9.9f, 1.10005f, -5.23823f), glm::vec3(50.0f, 5.5f, 50.0f), recorder);
    const btCollisionObject* floor = stage.addFloor(glm::vec3(11.0f, 0.0f, -4.0f), 20.0f)->getActor();
    Player* player = stage.addPlayer(glm::vec3(11.4f, 0.9f, -5.23823f));
    const btCollisionObject *guard = stage.guard->getActor(), *standIn = player->getStandIn();
    recorder->watched = {guard, standIn};
    stage.run(30);
    EXPECT_TRUE(recorder->reports.empty());
    stage.run(60 * 6);
    ASSERT_EQ(recorder->reports.size(), 2u) << "the guard must touch the player once and leave";
    EXPECT_EQ(recorder->reports[0].first, ContactPairFlag::ActorPairHasFirstTouch);
    EXPECT_EQ(recorder->reports[0].second, "You were hit by the guard!");
    EXPECT_EQ(recorder->reports[1].first, ContactPairFlag::ActorPairLostTouch);
    recorder->watched = {guard, floor};
    recorder->reports.clear();
    stage.run(60);
    EXPECT_TRUE(recorder->reports.empty());

    const ContactPair touch{ContactPairFlag::ActorPairHasFirstTouch}, lost{ContactPairFlag::ActorPairLostTouch};
    auto judge = [&](const btCollisionObject* a, const btCollisionObject* b, const ContactPair* pair, uint32_t n) {
        gameOver = false;
        recorder->rule.onContact(ContactPairHeader{{a, b}}, pair, n);
        return gameOver;
    };
    EXPECT_FALSE(judge(guard, standIn, &lost, 1) || judge(guard, standIn, nullptr, 0) ||
                 judge(nullptr, guard, &touch, 1) || judge(floor, standIn, &touch, 1));
    EXPECT_TRUE(judge(guard, standIn, &touch, 1));
    currentPlayer = nullptr;
    EXPECT_FALSE(judge(standIn, guard, &touch, 1)) << "only the current player is the player";
}

// The player at (0, 1, 0) looks along +x from an eye 0.7 above its centre. In
// front: a box without the query flag, a wall seen from behind, the cell
// door, a lock behind it, a wall seen from the front, a crate beyond reach,
// and a ledge below the eye that only the crouched eye sees.
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
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);  // the crouched eye (1.0) sees the ledge
    EXPECT_EQ(stage.scene->raycast(1.25f, filter), ledge);
}
