// The physics scene on real Bullet: the guard's patrol and the labyrinth door
// driven by the fixed step, the contact reports and the rule judging them, and
// the focus ray.

#include "tests/support/PhysicsStage.h"

#include "app/SceneCollisionCallback.h"

namespace {

void expectAt(const btTransform& pose, const glm::vec3& expected, float tolerance, const std::string& what) {
    EXPECT_LE(glm::distance(toGlm(pose.getOrigin()), expected), tolerance) << what;
}

// The guard's patrol as the level's design gives it: seconds to reach the
// stop, x and z at the height 1.10005, and the rotation (x, y, z, w).
struct PatrolStop {
    float seconds, x, z;
    glm::vec4 xyzw;
};
const PatrolStop kPatrol[12] = {
    {2, 12.9f, -5.23823f, {0.707f, 0, 0, -0.707f}},   {1, 12.9f, -5.23823f, {0.5f, -0.5f, -0.5f, -0.5f}},
    {1, 12.9f, -2.15f, {0.5f, -0.5f, -0.5f, -0.5f}},  {1, 12.9f, -2.15f, {0, -0.707f, -0.707f, 0}},
    {1, 15.0f, -2.15f, {0, -0.707f, -0.707f, 0}},     {1, 15.0f, -2.15f, {0.5f, -0.5f, -0.5f, -0.5f}},
    {1, 15.0f, 0.0f, {0.5f, -0.5f, -0.5f, -0.5f}},    {1, 15.0f, 0.0f, {0, -0.707f, -0.707f, 0}},
    {1, 17.4494f, 0.0f, {0, -0.707f, -0.707f, 0}},    {1, 17.4494f, 0.0f, {-0.5f, -0.5f, -0.5f, 0.5f}},
    {2, 17.4494f, -5.23823f, {-0.5f, -0.5f, -0.5f, 0.5f}}, {1, 17.4494f, -5.23823f, {0.707f, 0, 0, -0.707f}},
};

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

// The first segment runs from where the guard was built to stop 0 in 2 s, the
// body a step behind its target; each later stop of the patrol is reached in
// order, at its place and turned as it says, exactly when its segment ends;
// after stop 11 the patrol wraps to stop 0. The labyrinth door waits for the
// plate, then rises (and turns level) to its open pose in 2 s and stays there.
TEST(PhysicsScene, GuardPatrolAndLabyrinthDoorFollowTheClock) {
    const glm::vec3 start(8.9f, 1.10005f, -5.23823f);
    const glm::vec3 shut(21.6903f, 1.5f, -2.59875f), open(21.6903f, 5.5f, -2.59875f);
    Stage stage(start, shut);
    btRigidBody* guard = stage.guard->getActor();
    btRigidBody* door = stage.door->getActor();
    door->getWorldTransform().setRotation(btQuaternion(btVector3(0, 1, 0), 0.3f));
    door->getMotionState()->setWorldTransform(door->getWorldTransform());
    auto stop = [](int row) { return glm::vec3(kPatrol[row].x, 1.10005f, kPatrol[row].z); };

    stage.run(60);
    expectAt(targetOf(guard), glm::mix(start, stop(0), 0.5f), 1e-3f, "half way");
    EXPECT_NEAR(guard->getWorldTransform().getOrigin().x(), targetOf(guard).getOrigin().x() - 2.0f / 60.0f, 1e-3f);
    for (int row = 0; row < 12; ++row) {
        // Stepped until the patrol moves on: the target of the segment's last
        // step is the stop (to the few micrometres the float clock leaves when
        // the next segment starts within that step), and the segment lasted
        // the stop's seconds.
        ASSERT_EQ(stage.scene->getGuardWaypointIndex(), row) << "the stops are reached in order";
        btTransform last;
        int steps = row == 0 ? 60 : 0;
        for (; stage.scene->getGuardWaypointIndex() == row && steps < 300; ++steps) {
            last = targetOf(guard);
            stage.run(1);
        }
        EXPECT_NEAR(steps, kPatrol[row].seconds * 60.0f, 1.0f) << "stop " << row;
        expectAt(last, stop(row), 2e-5f, "stop " + std::to_string(row));
        // The same rotation (a quaternion and its negative turn alike).
        const btQuaternion q = last.getRotation();
        const glm::vec4 xyzw = glm::normalize(kPatrol[row].xyzw);
        EXPECT_NEAR(std::abs(glm::dot(glm::vec4(q.x(), q.y(), q.z(), q.w()), xyzw)), 1.0f, 2e-6f) << "stop " << row;
    }
    stage.run(59);  // the step that wrapped round was the first of 60
    EXPECT_EQ(stage.scene->getGuardWaypointIndex(), 0);
    expectAt(targetOf(guard), glm::mix(stop(11), stop(0), 0.5f), 1e-3f, "wrapped");

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
// touch. Statics never pair with kinematic bodies.
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
}

// The rule counts only a first touch (flags exactly 4) of the current player
// and the guard, with either of them first in the pair, judged by the first
// pair of a report; lost touches, a first touch with another flag, other
// bodies, null user data and empty reports are ignored.
TEST(PhysicsScene, GuardRuleCountsOnlyAFirstTouchOfTheCurrentPlayer) {
    Stage stage;
    const btCollisionObject* floor = stage.addFloor()->getActor();
    const btCollisionObject* guard = stage.guard->getActor();
    const btCollisionObject* standIn = stage.addPlayer(glm::vec3(0.0f, 1.0f, 0.0f))->getStandIn();
    const ContactPair touch{ContactPairFlag::ActorPairHasFirstTouch}, lost{ContactPairFlag::ActorPairLostTouch};
    const ContactPair touchAndLost{ContactPairFlag::ActorPairHasFirstTouch | ContactPairFlag::ActorPairLostTouch};
    SceneCollisionCallback rule;
    for (bool guardFirst : {true, false}) {
        // Judges a report on the guard's side `other` and the player's side `player`, in this round's order.
        auto judge = [&](const btCollisionObject* other, const btCollisionObject* player,
                         std::vector<ContactPair> pairs) {
            gameOver = false;
            endMessage = "...";
            const ContactPairHeader header{{guardFirst ? other : player, guardFirst ? player : other}};
            rule.onContact(header, pairs.data(), static_cast<uint32_t>(pairs.size()));
            return gameOver;
        };
        const std::string order = guardFirst ? "guard first" : "player first";
        EXPECT_TRUE(judge(guard, standIn, {touch})) << order;
        EXPECT_EQ(endMessage, "You were hit by the guard!") << order;
        EXPECT_FALSE(gameWon) << order;
        EXPECT_TRUE(judge(guard, standIn, {touch, lost})) << order << ": the first pair decides";
        EXPECT_FALSE(judge(guard, standIn, {lost, touch})) << order << ": the first pair decides";
        EXPECT_FALSE(judge(guard, standIn, {lost})) << order;
        EXPECT_FALSE(judge(guard, standIn, {touchAndLost})) << order;
        EXPECT_FALSE(judge(guard, standIn, {})) << order;
        EXPECT_FALSE(judge(floor, standIn, {touch})) << order;
        EXPECT_FALSE(judge(nullptr, standIn, {touch})) << order;
        EXPECT_FALSE(judge(guard, floor, {touch})) << order;
        EXPECT_FALSE(judge(guard, nullptr, {touch})) << order;
        EXPECT_EQ(endMessage, "...") << order;
    }
    currentPlayer = nullptr;
    for (bool guardFirst : {true, false}) {
        gameOver = false;
        rule.onContact(ContactPairHeader{{guardFirst ? guard : standIn, guardFirst ? standIn : guard}}, &touch, 1);
        EXPECT_FALSE(gameOver) << "only the current player is the player";
    }
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

// The player's eye at (0, 1.7, 0) looks along +x with a reach of 1.25. A box
// is hit where the ray enters it: a 0.4 box turned 45 degrees is seen when
// its nearest edge is 2 mm within reach, not 2 mm beyond it, nor when the ray
// passes 3 mm beside its corner; of two boxes 5 mm apart the nearer is seen,
// either way round.
TEST(FocusRay, BoxesAreHitWhereTheRayEntersThem) {
    Stage stage;
    stage.addPlayer(glm::vec3(0.0f, 1.0f, 0.0f));
    StaticRigidBody* chest = stage.staticBox("chest", glm::vec3(0.0f, 1.7f, 5.0f), glm::vec3(0.4f));
    DynamicRigidBody* plate = stage.dynamicBox("plate", glm::vec3(0.0f, 1.7f, -5.0f), glm::vec3(0.0001f, 0.1f, 0.2f),
                                               PhysicsShapeFlag::SceneQueryShape | PhysicsShapeFlag::Visualization);
    auto place = [&](PhysicsObject* body, const glm::vec3& at, float turn = 0.0f) {
        body->getActor()->setWorldTransform(
            btTransform(btQuaternion(btVector3(0, 1, 0), turn), btVector3(at.x, at.y, at.z)));
        stage.scene->getDynamicsWorld()->updateSingleAabb(body->getActor());
    };
    auto seen = [&] { return stage.scene->raycast(1.25f, PhysicsQueryFilterCallback()); };
    const float corner = 0.2f * std::sqrt(2.0f);  // centre to edge of the turned box
    for (auto [x, z, hit] : {std::tuple{1.248f + corner, 0.0f, true}, std::tuple{1.252f + corner, 0.0f, false},
                             std::tuple{1.0f, corner - 0.003f, true}, std::tuple{1.0f, corner + 0.003f, false}}) {
        place(chest, glm::vec3(x, 1.7f, z), SIMD_PI / 4);
        EXPECT_EQ(seen(), hit ? chest : nullptr) << x << ", " << z;
    }
    for (auto [plateFace, chestFace] : {std::pair{1.0f, 1.1f}, std::pair{1.0f, 1.005f}, std::pair{1.005f, 1.0f}}) {
        place(chest, glm::vec3(chestFace + 0.2f, 1.7f, 0.0f));
        place(plate, glm::vec3(plateFace + 0.00005f, 1.7f, 0.0f));
        EXPECT_EQ(seen(), plateFace < chestFace ? static_cast<PhysicsObject*>(plate) : chest)
            << plateFace << " and " << chestFace;
    }
}
