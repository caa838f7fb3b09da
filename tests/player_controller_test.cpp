// The capsule controller on real Bullet geometry: a triangle-mesh floor with
// internal edges, a wall, a low step, a knee-high box, slopes and edges.

#include "physics/CharacterController.h"
#include "physics/PhysicsUserData.h"

#include <btBulletCollisionCommon.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <vector>

namespace {

constexpr double kResting = 0.01 + 0.2 + 0.7;  // centre of a capsule resting on y = 0
constexpr uint8_t kDown = ControllerCollisionFlag::CollisionDown;
constexpr uint8_t kSides = ControllerCollisionFlag::CollisionSides;

struct RecordingReport : ControllerHitReport {
    void onShapeHit(const ControllerShapeHit& hit) override { hits.push_back(hit.object); }
    bool touched(const btCollisionObject* o) const { return std::find(hits.begin(), hits.end(), o) != hits.end(); }
    std::vector<const btCollisionObject*> hits;
};

// A collision world of static shapes.
struct ShapeWorld {
    ~ShapeWorld() { for (auto& object : objects) world.removeCollisionObject(object.get()); }
    btCollisionObject* add(btCollisionShape* shape, const btTransform& pose, bool sceneQuery = true) {
        shapes.emplace_back(shape);
        btCollisionObject* object = objects.emplace_back(std::make_unique<btCollisionObject>()).get();
        object->setCollisionShape(shape);
        object->setWorldTransform(pose);
        setSceneQuery(*object, sceneQuery);
        world.addCollisionObject(object, CollisionGroup::Static, CollisionMask::Static);
        world.updateAabbs();
        return object;
    }
    btCollisionObject* box(const btVector3& half, const btVector3& centre, bool sceneQuery = true) {
        return add(new btBoxShape(half), btTransform(btQuaternion::getIdentity(), centre), sceneQuery);
    }
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btCollisionWorld world{&dispatcher, &broadphase, &configuration};
    btTriangleMesh mesh;
    std::vector<std::unique_ptr<btCollisionShape>> shapes;
    std::vector<std::unique_ptr<btCollisionObject>> objects;
};

uint8_t walk(CharacterController& controller, const glm::vec3& perMove, int moves) {
    uint8_t flags = 0;
    for (int i = 0; i < moves; ++i) flags = controller.move(perMove, 0.0f, 1.0f / 60.0f);
    return flags;
}

}  // namespace

// It lands on a triangle floor and reports every hit, ground included; a zero
// move does nothing; it slides along a wall, is blocked by a 0.4 box, climbs
// a 0.08 step, passes bodies that answer no queries, and gets the down flag
// only from coming down, up from a head hit. (Resizing: the player's crouch.)
TEST(CharacterController, WalksTheRulesOnRealGeometry) {
    ShapeWorld w;
    for (int i = -10; i < 10; ++i) {  // 1 x 1 quads of two triangles each
        for (int k = -10; k < 10; ++k) {
            const btVector3 a(i, 0, k), b(i + 1, 0, k), c(i + 1, 0, k + 1), d(i, 0, k + 1);
            w.mesh.addTriangle(a, d, c);
            w.mesh.addTriangle(a, c, b);
        }
    }
    const btCollisionObject* floor = w.add(new btBvhTriangleMeshShape(&w.mesh, true), btTransform::getIdentity());
    const btCollisionObject* wall = w.box(btVector3(0.1f, 1.0f, 5.0f), btVector3(3.0f, 1.0f, 0.0f));  // face x = 2.9
    const btCollisionObject* step = w.box(btVector3(1.0f, 0.04f, 1.0f), btVector3(0.0f, 0.04f, -3.0f));
    const btCollisionObject* block = w.box(btVector3(0.5f, 0.2f, 1.0f), btVector3(-3.0f, 0.2f, 0.0f));  // x = -2.5
    const btCollisionObject* ghost = w.box(btVector3(1.0f, 1.0f, 0.1f), btVector3(0.0f, 1.0f, 2.0f), false);
    RecordingReport report;
    CharacterController controller(&w.world, glm::dvec3(0.0, 1.3, 0.0), 0.2f, 1.4f, &report);
    auto from = [&](const glm::vec3& perMove, int moves) {
        controller.setPosition(glm::dvec3(0.0, kResting, 0.0));
        return walk(controller, perMove, moves);
    };

    // Falling 0.39 in moves of 0.1: the fourth one lands, contact offset above the floor.
    EXPECT_EQ(walk(controller, glm::vec3(0.0f, -0.1f, 0.0f), 3), 0);
    EXPECT_TRUE(report.hits.empty());
    EXPECT_EQ(walk(controller, glm::vec3(0.0f, -0.1f, 0.0f), 1), kDown);
    EXPECT_NEAR(controller.getPosition().y, kResting, 0.002);
    EXPECT_EQ(report.hits, std::vector<const btCollisionObject*>{floor});
    // Walking over the internal edges: every move touches and reports the ground.
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(controller.move(glm::vec3(0.033f, 0.0f, 0.021f), 0.0f, 0.1f), kDown) << "move " << i;
    }
    EXPECT_NEAR(controller.getPosition().x, 0.99, 1e-4);
    EXPECT_NEAR(controller.getPosition().y, kResting, 0.002);
    EXPECT_EQ(report.hits.size(), 31u);
    const glm::dvec3 before = controller.getPosition();
    EXPECT_EQ(controller.move(glm::vec3(0.0f), 0.0f, 0.1f), 0);
    EXPECT_EQ(report.hits.size(), 31u);
    EXPECT_EQ(controller.getPosition(), before);

    // Diagonally into the wall: x stops short of it, z goes on.
    EXPECT_EQ(from(glm::vec3(0.1f, 0.0f, 0.05f), 40), kSides | kDown);
    EXPECT_NEAR(controller.getPosition().x, 2.9 - 0.2 - 0.01, 0.003);
    EXPECT_NEAR(controller.getPosition().z, 2.0, 0.01);
    EXPECT_TRUE(report.touched(wall));
    // The knee-high box stops it.
    EXPECT_EQ(from(glm::vec3(-0.1f, 0.0f, 0.0f), 40), kSides | kDown);
    EXPECT_NEAR(controller.getPosition().x, -2.5 + 0.2 + 0.01, 0.003);
    EXPECT_NEAR(controller.getPosition().y, kResting, 0.002);
    EXPECT_TRUE(report.touched(block));
    // Up the low step, down again and on through the body without the query flag.
    from(glm::vec3(0.0f, 0.0f, -0.05f), 60);
    EXPECT_NEAR(controller.getPosition().y, kResting + 0.08, 0.002);
    EXPECT_TRUE(report.touched(step));
    walk(controller, glm::vec3(0.0f, -0.05f, 0.05f), 100);
    EXPECT_NEAR(controller.getPosition().z, 2.0, 1e-4);
    EXPECT_NEAR(controller.getPosition().y, kResting, 0.002);
    EXPECT_FALSE(report.touched(ghost));

    // Upward moves never report ground; a ceiling 0.3 above the head stops a jump and reports up.
    w.box(btVector3(5.0f, 0.05f, 5.0f), btVector3(0.0f, 2.16f, 0.0f));
    EXPECT_EQ(controller.move(glm::vec3(0.0f, 0.5f, 0.0f), 0.0f, 0.1f), ControllerCollisionFlag::CollisionUp);
    EXPECT_NEAR(controller.getPosition().y + 0.7 + 0.2, 2.11 - 0.01, 0.002);
}

// Walking at 1 and 4 units per second towards a ramp of some angle or an edge
// of some height at x = 1: slopes up to the limit (45 degrees) are walked up,
// edges up to the step offset (and the round bottom's few centimetres) are
// climbed, and the step offset never perches the capsule on anything steeper
// or higher, however often it tries.
TEST(CharacterController, ClimbsSlopesUpToTheLimitAndEdgesLittleAboveTheStepOffset) {
    auto rise = [](bool ramp, float size, float perMove) {
        ShapeWorld w;
        w.box(btVector3(20.0f, 0.5f, 20.0f), btVector3(0.0f, -0.5f, 0.0f));
        if (ramp) {
            const btQuaternion tilt(btVector3(0, 0, 1), size * SIMD_RADS_PER_DEG);
            w.add(new btBoxShape(btVector3(5.0f, 0.5f, 2.0f)),
                  btTransform(tilt, btVector3(1, 0, 0) + quatRotate(tilt, btVector3(5.0f, -0.5f, 0))));
        } else {
            w.box(btVector3(5.0f, size / 2.0f, 2.0f), btVector3(6.0f, size / 2.0f, 0.0f));
        }
        CharacterController controller(&w.world, glm::dvec3(0.0, kResting, 0.0), 0.2f, 1.4f, nullptr);
        controller.move(glm::vec3(0.0f, -0.01f, 0.0f), 0.0f, 0.0f);
        const double start = controller.getPosition().y;
        walk(controller, glm::vec3(perMove, -0.003f, 0.0f), static_cast<int>(2.0f / perMove));
        return controller.getPosition().y - start;
    };
    for (float perMove : {1.0f / 60.0f, 4.0f / 60.0f}) {
        EXPECT_GT(rise(true, 44.0f, perMove), 0.8) << perMove;
        EXPECT_NEAR(rise(true, 46.0f, perMove), 0.0, 1e-3) << perMove;
        EXPECT_NEAR(rise(false, 0.12f, perMove), 0.12, 2e-3) << perMove;
        EXPECT_NEAR(rise(false, 0.17f, perMove), 0.0, 1e-3) << perMove;
    }
}
