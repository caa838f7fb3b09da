// The capsule controller on real Bullet geometry: a triangle-mesh floor with
// internal edges, a wall, a low step and a knee-high box.

#include "physics/CharacterController.h"
#include "physics/PhysicsUserData.h"

#include <btBulletCollisionCommon.h>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace {

constexpr float radius = 0.2f;
constexpr float height = 1.4f;
// Resting on the floor at y = 0: the capsule hovers contactOffset above it.
constexpr double restingCentreY = 0.01 + 0.2 + 0.7;

class RecordingReport : public ControllerHitReport {
public:
    void onShapeHit(const ControllerShapeHit& hit) override { hits.push_back(hit); }
    bool touched(const btCollisionObject* object) const {
        for (const ControllerShapeHit& hit : hits) {
            if (hit.object == object) {
                return true;
            }
        }
        return false;
    }
    std::vector<ControllerShapeHit> hits;
};

class ControllerWorld : public ::testing::Test {
protected:
    void SetUp() override {
        // A 20 x 20 floor of 1 x 1 quads, two triangles each.
        floorMesh = std::make_unique<btTriangleMesh>();
        for (int i = -10; i < 10; ++i) {
            for (int k = -10; k < 10; ++k) {
                const btVector3 a(i, 0, k), b(i + 1, 0, k), c(i + 1, 0, k + 1), d(i, 0, k + 1);
                floorMesh->addTriangle(a, d, c);
                floorMesh->addTriangle(a, c, b);
            }
        }
        shapes.push_back(std::make_unique<btBvhTriangleMeshShape>(floorMesh.get(), true));
        floor = addObject(shapes.back().get(), btVector3(0, 0, 0), true);
        // A wall whose face is the plane x = 2.9.
        wall = addBox(btVector3(0.1f, 1.0f, 5.0f), btVector3(3.0f, 1.0f, 0.0f), true);
        // A step 0.08 high covering -4 < z < -2.
        step = addBox(btVector3(1.0f, 0.04f, 1.0f), btVector3(0.0f, 0.04f, -3.0f), true);
        // A box 0.4 high whose face is the plane x = -2.5.
        block = addBox(btVector3(0.5f, 0.2f, 1.0f), btVector3(-3.0f, 0.2f, 0.0f), true);
        // A body that answers no queries, in the way of a walk towards +z.
        ghost = addBox(btVector3(1.0f, 1.0f, 0.1f), btVector3(0.0f, 1.0f, 2.0f), false);
        world.updateAabbs();
        controller = std::make_unique<CharacterController>(&world, glm::dvec3(0.0, 1.3, 0.0), radius, height, &report);
    }

    void TearDown() override {
        for (auto& object : objects) {
            world.removeCollisionObject(object.get());
        }
    }

    btCollisionObject* addObject(btCollisionShape* shape, const btVector3& position, bool sceneQuery) {
        objects.push_back(std::make_unique<btCollisionObject>());
        btCollisionObject* object = objects.back().get();
        object->setCollisionShape(shape);
        object->setWorldTransform(btTransform(btQuaternion::getIdentity(), position));
        setSceneQuery(*object, sceneQuery);
        world.addCollisionObject(object, CollisionGroup::Static, CollisionMask::Static);
        return object;
    }

    btCollisionObject* addBox(const btVector3& halfExtents, const btVector3& position, bool sceneQuery) {
        shapes.push_back(std::make_unique<btBoxShape>(halfExtents));
        return addObject(shapes.back().get(), position, sceneQuery);
    }

    // Moves in equal parts until the capsule rests on something; returns the flags of the last move.
    uint8_t walk(const glm::vec3& perMove, int moves) {
        uint8_t flags = 0;
        for (int i = 0; i < moves; ++i) {
            flags = controller->move(perMove, 0.0f, 1.0f / 60.0f);
        }
        return flags;
    }

    void land() {
        ASSERT_EQ(walk(glm::vec3(0.0f, -0.1f, 0.0f), 10) & ControllerCollisionFlag::CollisionDown,
                  ControllerCollisionFlag::CollisionDown);
        report.hits.clear();
    }

    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher{&configuration};
    btDbvtBroadphase broadphase;
    btCollisionWorld world{&dispatcher, &broadphase, &configuration};
    std::unique_ptr<btTriangleMesh> floorMesh;
    std::vector<std::unique_ptr<btCollisionShape>> shapes;
    std::vector<std::unique_ptr<btCollisionObject>> objects;
    btCollisionObject* floor = nullptr;
    btCollisionObject* wall = nullptr;
    btCollisionObject* step = nullptr;
    btCollisionObject* block = nullptr;
    btCollisionObject* ghost = nullptr;
    RecordingReport report;
    std::unique_ptr<CharacterController> controller;
};

TEST_F(ControllerWorld, FallsOntoTheTriangleFloorAndRestsContactOffsetAboveIt) {
    // Falling 0.39 to the floor in steps of 0.1: the last one lands.
    EXPECT_EQ(controller->move(glm::vec3(0.0f, -0.1f, 0.0f), 0.0f, 0.1f), 0);
    EXPECT_TRUE(report.hits.empty());
    const uint8_t flags = walk(glm::vec3(0.0f, -0.1f, 0.0f), 4);
    EXPECT_EQ(flags, ControllerCollisionFlag::CollisionDown);
    EXPECT_NEAR(controller->getPosition().y, restingCentreY, 0.002);
    EXPECT_DOUBLE_EQ(controller->getPosition().x, 0.0);
    EXPECT_DOUBLE_EQ(controller->getPosition().z, 0.0);
    ASSERT_FALSE(report.hits.empty());
    EXPECT_EQ(report.hits.back().object, floor);
    EXPECT_NEAR(report.hits.back().worldNormal.y, 1.0f, 1e-3f);
    EXPECT_NEAR(report.hits.back().worldPos.y, 0.0, 2e-3);

    // Walking on it: every move touches the ground below and reports it.
    report.hits.clear();
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(controller->move(glm::vec3(0.033f, 0.0f, 0.021f), 0.0f, 0.1f), ControllerCollisionFlag::CollisionDown)
            << "move " << i;
    }
    EXPECT_NEAR(controller->getPosition().x, 0.99, 1e-4);
    EXPECT_NEAR(controller->getPosition().z, 0.63, 1e-4);
    EXPECT_NEAR(controller->getPosition().y, restingCentreY, 0.002);
    EXPECT_EQ(report.hits.size(), 30u);
    EXPECT_TRUE(report.touched(floor));

    // A zero move does nothing at all.
    report.hits.clear();
    const glm::dvec3 before = controller->getPosition();
    EXPECT_EQ(controller->move(glm::vec3(0.0f), 0.0f, 0.1f), 0);
    EXPECT_TRUE(report.hits.empty());
    EXPECT_EQ(controller->getPosition(), before);
}

TEST_F(ControllerWorld, SlidesAlongAWallAndIsBlockedByAKneeHighBox) {
    land();
    // Diagonally into the wall at x = 2.9: the x motion stops short, z goes on.
    uint8_t flags = walk(glm::vec3(0.1f, 0.0f, 0.05f), 40);
    EXPECT_EQ(flags, ControllerCollisionFlag::CollisionSides | ControllerCollisionFlag::CollisionDown);
    EXPECT_NEAR(controller->getPosition().x, 2.9 - 0.2 - 0.01, 0.003);
    EXPECT_NEAR(controller->getPosition().z, 2.0, 0.01);
    EXPECT_NEAR(controller->getPosition().y, restingCentreY, 0.002);
    EXPECT_TRUE(report.touched(wall));

    // Back to the middle, then towards the 0.4 box at x = -2.5: it stops there.
    controller->setPosition(glm::dvec3(0.0, restingCentreY, 0.0));
    report.hits.clear();
    flags = walk(glm::vec3(-0.1f, 0.0f, 0.0f), 40);
    EXPECT_EQ(flags, ControllerCollisionFlag::CollisionSides | ControllerCollisionFlag::CollisionDown);
    EXPECT_NEAR(controller->getPosition().x, -2.5 + 0.2 + 0.01, 0.003);
    EXPECT_NEAR(controller->getPosition().y, restingCentreY, 0.002);
    EXPECT_DOUBLE_EQ(controller->getPosition().z, 0.0);
    EXPECT_TRUE(report.touched(block));
}

TEST_F(ControllerWorld, ClimbsALowStepAndWalksThroughBodiesThatAnswerNoQueries) {
    land();
    walk(glm::vec3(0.0f, 0.0f, -0.05f), 60);
    EXPECT_NEAR(controller->getPosition().z, -3.0, 1e-4);
    EXPECT_NEAR(controller->getPosition().y, restingCentreY + 0.08, 0.002);
    EXPECT_TRUE(report.touched(step));

    // Off the step again and on through the body without the query flag.
    report.hits.clear();
    for (int i = 0; i < 100; ++i) {
        controller->move(glm::vec3(0.0f, -0.05f, 0.05f), 0.0f, 1.0f / 60.0f);
    }
    EXPECT_NEAR(controller->getPosition().z, 2.0, 1e-4);
    EXPECT_NEAR(controller->getPosition().y, restingCentreY, 0.002);
    EXPECT_FALSE(report.touched(ghost));
}

TEST_F(ControllerWorld, ResizingKeepsTheFeetAndAJumpUpDoesNotCountAsGround) {
    land();
    const glm::dvec3 foot = controller->getFootPosition();
    controller->resize(0.7f);
    EXPECT_NEAR(controller->getFootPosition().y, foot.y, 1e-12);
    EXPECT_NEAR(controller->getPosition().y, restingCentreY - 0.35, 1e-6);
    EXPECT_EQ(walk(glm::vec3(0.05f, -0.01f, 0.0f), 10), ControllerCollisionFlag::CollisionDown);
    EXPECT_NEAR(controller->getFootPosition().y, foot.y, 0.002);
    controller->resize(1.4f);
    EXPECT_NEAR(controller->getPosition().y, restingCentreY, 0.002);

    // Upward moves never report ground, even though the step offset is undone.
    EXPECT_EQ(controller->move(glm::vec3(0.05f, 0.05f, 0.0f), 0.0f, 1.0f / 60.0f), 0);
    EXPECT_NEAR(controller->getPosition().y, restingCentreY + 0.05, 0.002);
}

TEST_F(ControllerWorld, AHeadHitStopsTheClimbAndReportsUp) {
    // A ceiling 2.0 above the floor: a jump from rest meets it after 0.09.
    addBox(btVector3(5.0f, 0.05f, 5.0f), btVector3(0.0f, 2.05f, 0.0f), true);
    world.updateAabbs();
    land();
    EXPECT_EQ(controller->move(glm::vec3(0.0f, 0.5f, 0.0f), 0.0f, 0.1f), ControllerCollisionFlag::CollisionUp);
    EXPECT_NEAR(controller->getPosition().y + 0.9, 2.0 - 0.01, 0.002);
}


// Walking at 1 and 4 units per second towards an obstacle whose near edge is
// at x = 1: a ramp tilted by some angle, or a box of some height. Returns how
// far the capsule rose.
double riseWalkingInto(bool ramp, float size, float perMove) {
    btDefaultCollisionConfiguration configuration;
    btCollisionDispatcher dispatcher(&configuration);
    btDbvtBroadphase broadphase;
    btCollisionWorld world(&dispatcher, &broadphase, &configuration);
    btBoxShape floorShape(btVector3(20.0f, 0.5f, 20.0f));
    btCollisionObject floor;
    floor.setCollisionShape(&floorShape);
    floor.setWorldTransform(btTransform(btQuaternion::getIdentity(), btVector3(0.0f, -0.5f, 0.0f)));
    setSceneQuery(floor, true);
    world.addCollisionObject(&floor);
    btBoxShape obstacleShape(ramp ? btVector3(5.0f, 0.5f, 2.0f) : btVector3(5.0f, size / 2.0f, 2.0f));
    btCollisionObject obstacle;
    obstacle.setCollisionShape(&obstacleShape);
    if (ramp) {
        const btQuaternion tilt(btVector3(0, 0, 1), size * SIMD_RADS_PER_DEG);
        obstacle.setWorldTransform(btTransform(tilt, btVector3(1, 0, 0) + quatRotate(tilt, btVector3(5.0f, -0.5f, 0))));
    } else {
        obstacle.setWorldTransform(btTransform(btQuaternion::getIdentity(), btVector3(6.0f, size / 2.0f, 0.0f)));
    }
    setSceneQuery(obstacle, true);
    world.addCollisionObject(&obstacle);
    world.updateAabbs();

    CharacterController controller(&world, glm::dvec3(0.0, restingCentreY, 0.0), radius, height, nullptr);
    controller.move(glm::vec3(0.0f, -0.01f, 0.0f), 0.0f, 0.0f);
    const double start = controller.getPosition().y;
    for (int i = 0; i < static_cast<int>(2.0f / perMove); ++i) {
        controller.move(glm::vec3(perMove, -0.003f, 0.0f), 0.0f, 1.0f / 60.0f);
    }
    world.removeCollisionObject(&obstacle);
    world.removeCollisionObject(&floor);
    return controller.getPosition().y - start;
}

TEST(ControllerLimits, ClimbsSlopesUpToTheSlopeLimitAndEdgesLittleAboveTheStepOffset) {
    for (float perMove : {1.0f / 60.0f, 4.0f / 60.0f}) {
        // Slopes: 44 degrees is walked up (about 1 over 2 s), 46 degrees stops the capsule at its foot.
        EXPECT_GT(riseWalkingInto(true, 30.0f, perMove), 0.5) << perMove;
        EXPECT_GT(riseWalkingInto(true, 44.0f, perMove), 0.8) << perMove;
        EXPECT_NEAR(riseWalkingInto(true, 46.0f, perMove), 0.0, 1e-3) << perMove;
        EXPECT_NEAR(riseWalkingInto(true, 60.0f, perMove), 0.0, 1e-3) << perMove;
        // Edges: up to the step offset (and the round bottom's few centimetres
        // more) are climbed; from 0.17 on, never, however often the capsule tries.
        EXPECT_NEAR(riseWalkingInto(false, 0.1f, perMove), 0.1, 2e-3) << perMove;
        EXPECT_NEAR(riseWalkingInto(false, 0.12f, perMove), 0.12, 2e-3) << perMove;
        EXPECT_NEAR(riseWalkingInto(false, 0.17f, perMove), 0.0, 1e-3) << perMove;
        EXPECT_NEAR(riseWalkingInto(false, 0.25f, perMove), 0.0, 1e-3) << perMove;
    }
}

}  // namespace
