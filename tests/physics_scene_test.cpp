// The physics scene on real Bullet: the guard's patrol and the labyrinth door
// driven by the fixed step, the rule judging contacts, and the focus ray.

#include "tests/support/PhysicsStage.h"

#include "app/SceneCollisionCallback.h"

namespace {

void expectAt(const btTransform& pose, const glm::vec3& expected, float tolerance, const std::string& what) {
    EXPECT_LE(glm::distance(toGlm(pose.getOrigin()), expected), tolerance) << what;
}

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

// The rule counts only a first touch of the current player and the guard, in
// either order; lost touches, null user data and empty reports are ignored.
// The real guard walking into a still player is scripted in the game runs.
TEST(PhysicsScene, GuardRuleCountsOnlyAFirstTouchOfTheCurrentPlayer) {
    Stage stage;
    const btCollisionObject* floor = stage.addFloor()->getActor();
    const btCollisionObject* guard = stage.guard->getActor();
    const btCollisionObject* standIn = stage.addPlayer(glm::vec3(0.0f, 1.0f, 0.0f))->getStandIn();
    const ContactPair touch{ContactPairFlag::ActorPairHasFirstTouch}, lost{ContactPairFlag::ActorPairLostTouch};
    SceneCollisionCallback rule;
    auto judge = [&](const btCollisionObject* a, const btCollisionObject* b, const ContactPair* pair, uint32_t n) {
        gameOver = false;
        rule.onContact(ContactPairHeader{{a, b}}, pair, n);
        return gameOver;
    };
    EXPECT_FALSE(judge(guard, standIn, &lost, 1) || judge(guard, standIn, nullptr, 0) ||
                 judge(nullptr, guard, &touch, 1) || judge(floor, standIn, &touch, 1));
    EXPECT_TRUE(judge(guard, standIn, &touch, 1));
    EXPECT_EQ(endMessage, "You were hit by the guard!");
    EXPECT_TRUE(judge(standIn, guard, &touch, 1));
    currentPlayer = nullptr;
    EXPECT_FALSE(judge(standIn, guard, &touch, 1)) << "only the current player is the player";
}

// The player at (0, 1, 0) looks along +x from an eye 0.7 above its centre. In
// front: a box without the query flag, a wall seen from behind, a wall seen
// from the front, a crate beyond reach, and a ledge below the eye that only
// the crouched eye sees. (The door and its locks are aimed at in the game run.)
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
    StaticRigidBody* front = wall("front", 1.0f, {0, 2, 1, 0, 3, 2});
    StaticRigidBody* crate = stage.staticBox("crate", glm::vec3(1.5f, 1.7f, 0.0f), glm::vec3(0.2f, 1.0f, 1.0f));
    StaticRigidBody* ledge = stage.staticBox("ledge", glm::vec3(0.8f, 1.0f, 0.0f), glm::vec3(0.2f, 0.2f, 1.0f));
    Player* player = stage.addPlayer(glm::vec3(0.0f, 1.0f, 0.0f));

    PhysicsQueryFilterCallback filter;
    EXPECT_EQ(stage.scene->raycast(1.25f, filter), front);
    filter.ignored.insert(front);
    EXPECT_EQ(stage.scene->raycast(1.25f, filter), nullptr);
    EXPECT_EQ(stage.scene->raycast(2.0f, filter), crate);
    EXPECT_EQ(filter.ignored.size(), 1u) << "the caller's filter gained the player";
    player->onKey(GLFW_KEY_LEFT_CONTROL, GLFW_PRESS);  // the crouched eye (1.0) sees the ledge
    EXPECT_EQ(stage.scene->raycast(1.25f, filter), ledge);
}
