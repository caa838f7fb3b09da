// The level's physics built from the real cell.fbx on real Bullet: the
// registry, the kinds of body, and the cell door swinging on its hinge with
// the locks fixed to it.

#include "tests/physics_test_support.h"
#include "tests/support/GlContext.h"

#include "app/GameState.h"
#include "app/LevelPhysics.h"
#include "physics/PhysicsUserData.h"
#include "render/Bone.h"
#include "render/Light.h"
#include "render/ModelLoader.h"
#include "render/Renderer.h"
#include "render/Scene.h"

#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>

using namespace physics_test;

namespace {

const char* const kRegistry[] = {"sink",      "glasses",      "bed",           "door",          "guard",
                                 "lock1",     "lock2",        "lock3",         "lock4",         "toilet",
                                 "chair",     "floor",        "labyrinth",     "labyrinthEnd",  "labyrinthGoal",
                                 "labyrinthDoor", "pressurePlate", "ceiling",  "doorFrame",     "wall 1",
                                 "wall 3",    "wall 2",       "wall 4"};

class LevelPhysicsTest : public ::testing::Test {
protected:
    void SetUp() override {
        context = std::make_unique<GlContext>(96, 64);
        if (context->displayMissing()) {
            GTEST_SKIP() << context->reason();
        }
        ASSERT_TRUE(context->ok()) << context->reason();
        renderer = std::make_unique<Renderer>(context->window(), 96, 64);
        renderer->getShaderManager().load("phong", "assets/shaders/phong");
        loader = std::make_unique<ModelLoader>(renderer.get());
        scene = std::make_unique<Scene>(loader.get());
        rootBone = nullptr;
        pressurePlatePressed = false;
        scene->loadModel("assets/models/cell.fbx");
        world = std::make_unique<PhysicsWorld>();
        physics = buildPhysicsScene(*scene, *world);
        ASSERT_NE(physics, nullptr);
    }

    void TearDown() override {
        world.reset();
        if (scene) {
            for (const auto& entry : scene->getObjects()) {
                delete entry.second;
            }
            for (Light* light : scene->getLights()) {
                delete light;
            }
        }
        scene.reset();
        loader.reset();
        renderer.reset();
        context.reset();
        rootBone = nullptr;
    }

    std::unique_ptr<GlContext> context;
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<ModelLoader> loader;
    std::unique_ptr<Scene> scene;
    std::unique_ptr<PhysicsWorld> world;
    PhysicsScene* physics = nullptr;
};

btTransform poseOf(PhysicsScene* physics, const std::string& name) {
    return physics->getPhysicsObject(name)->getActor()->getWorldTransform();
}

}  // namespace

TEST_F(LevelPhysicsTest, RegistryNamesAndBodyKinds) {
    for (const char* name : kRegistry) {
        EXPECT_NO_THROW(physics->getPhysicsObject(name)) << name;
    }
    EXPECT_EQ(physics->getDynamicsWorld()->getNumCollisionObjects(), 23);
    {
        LogCapture log;
        EXPECT_THROW(physics->getPhysicsObject("labyrinth_goal"), std::runtime_error);
    }
    EXPECT_EQ(physics->getPhysicsObject("labyrinthGoal")->getName(), "labyrinth_goal");
    EXPECT_EQ(physics->getPhysicsObject("guard")->getName(), "Armature");
    EXPECT_EQ(physics->getPhysicsObject("pressurePlate")->getName(), "pressure_plate");

    // Scripted bodies are kinematic before the first step; the locks are seen
    // by rays only; everything else is simulated and seen.
    for (const char* name : {"guard", "labyrinthDoor"}) {
        auto* body = dynamic_cast<DynamicRigidBody*>(physics->getPhysicsObject(name));
        ASSERT_NE(body, nullptr) << name;
        EXPECT_TRUE(body->isKinematic()) << name;
        EXPECT_EQ(body->getRigidActor()->group, CollisionGroup::Kinematic) << name;
    }
    for (const char* name : {"lock1", "lock2", "lock3", "lock4"}) {
        PhysicsObject* lock = physics->getPhysicsObject(name);
        EXPECT_EQ(lock->getRigidActor()->group, CollisionGroup::QueryOnly) << name;
        EXPECT_TRUE(isSceneQuery(lock->getActor())) << name;
    }
    EXPECT_NE(dynamic_cast<DynamicRigidBody*>(physics->getPhysicsObject("sink")), nullptr);
    EXPECT_NE(dynamic_cast<DynamicRigidBody*>(physics->getPhysicsObject("door")), nullptr);
    EXPECT_NE(dynamic_cast<StaticRigidBody*>(physics->getPhysicsObject("bed")), nullptr);
    EXPECT_TRUE(isSceneQuery(physics->getPhysicsObject("floor")->getActor()));

    // "wall 3" is a box; the other walls are their meshes.
    const btCollisionShape* wall3 = physics->getPhysicsObject("wall 3")->getActor()->getCollisionShape();
    ASSERT_EQ(wall3->getShapeType(), BOX_SHAPE_PROXYTYPE);
    const btVector3 half = static_cast<const btBoxShape*>(wall3)->getHalfExtentsWithMargin();
    EXPECT_NEAR(half.x(), 4.03241f / 2, 1e-5f);
    EXPECT_NEAR(half.y(), 0.369721f / 2, 1e-5f);
    EXPECT_NEAR(half.z(), 5.39277f / 2, 1e-5f);
    for (const char* name : {"wall 1", "wall 2", "wall 4"}) {
        EXPECT_NE(physics->getPhysicsObject(name)->getActor()->getCollisionShape()->getShapeType(),
                  BOX_SHAPE_PROXYTYPE)
            << name;
    }
}

// Untouched, the door stays shut for seconds; one step of 500 N swings it
// about its hinge past 90 degrees within a few seconds, the hinge anchor stays
// put, and the locks ride along at their offsets.
TEST_F(LevelPhysicsTest, PushedDoorSwingsOnItsHingeCarryingTheLocks) {
    const btTransform shut = poseOf(physics, "door");
    for (int i = 0; i < 120; ++i) {
        physics->update(1.0 / 60.0 + 1e-9);
    }
    EXPECT_LT(poseOf(physics, "door").getRotation().angleShortestPath(shut.getRotation()), 0.01f);
    EXPECT_LT(poseOf(physics, "door").getOrigin().distance(shut.getOrigin()), 0.01f);

    btRigidBody* door = physics->getPhysicsObject("door")->getActor();
    door->activate();
    door->applyCentralForce(btVector3(500.0f, 0.0f, 0.0f));

    const btVector3 doorAnchor(0.087101f, -1.00483f, -0.403107f);
    const btVector3 hingeWorld = shut * doorAnchor;
    const btVector3 axis = quatRotate(shut.getRotation(), btVector3(0.0f, 1.0f, 0.0f));
    float widest = 0.0f;
    float secondsToRightAngle = -1.0f;
    for (int frame = 1; frame <= 60 * 6; ++frame) {
        physics->update(1.0 / 60.0 + 1e-9);
        const btTransform pose = poseOf(physics, "door");
        const btQuaternion turn = pose.getRotation() * shut.getRotation().inverse();
        const float angle = turn.getAngleShortestPath();
        widest = std::max(widest, angle);
        if (secondsToRightAngle < 0.0f && angle > SIMD_HALF_PI) {
            secondsToRightAngle = frame / 60.0f;
        }
        // Only about the hinge: the turn's axis is the door's vertical edge,
        // and the anchor does not move.
        if (angle > 0.05f) {
            EXPECT_GT(std::abs(turn.getAxis().dot(axis)), 0.999f) << "frame " << frame;
        }
        EXPECT_LT((pose * doorAnchor).distance(hingeWorld), 0.01f) << "frame " << frame;

        if (frame % 30 == 0) {
            for (int i = 0; i < 4; ++i) {
                const float z[] = {-0.386346f, -0.185373f, 0.016015f, 0.217536f};
                const btTransform expected = pose * btTransform(btQuaternion::getIdentity(),
                                                                btVector3(-0.074142f, 0.337119f, z[i])) *
                                             btTransform(btQuaternion::getIdentity(),
                                                         btVector3(0.0f, 0.045494f, -0.084016f))
                                                 .inverse();
                const btTransform lock = poseOf(physics, "lock" + std::to_string(i + 1));
                EXPECT_LT(lock.getOrigin().distance(expected.getOrigin()), 0.005f) << "lock " << i + 1;
                EXPECT_LT(lock.getRotation().angleShortestPath(expected.getRotation()), 0.01f) << "lock " << i + 1;
            }
        }
    }
    EXPECT_GT(widest, SIMD_HALF_PI);
    EXPECT_GT(secondsToRightAngle, 0.0f);
    std::printf("door: past 90 degrees after %.2f s, widest %.1f degrees\n", secondsToRightAngle,
                widest * 57.29578f);
}
