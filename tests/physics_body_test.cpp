// Bodies made by the builder on real Bullet, from hand-made Objects and GL
// meshes: shape kinds and sizes, shape flags, poses, copy-back, kinematic
// bodies and the meshes that cannot become shapes.

#include "tests/physics_test_support.h"
#include "tests/support/GlContext.h"

#include "physics/PhysicsUserData.h"

#include <gtest/gtest.h>

using namespace physics_test;

namespace {

class PhysicsBodyTest : public GlTest {};

btVector3 aabbMin(btRigidBody* body) {
    btVector3 lo, hi;
    body->getAabb(lo, hi);
    return lo;
}

btVector3 aabbMax(btRigidBody* body) {
    btVector3 lo, hi;
    body->getAabb(lo, hi);
    return hi;
}

// The first object a ray from `from` to `to` meets in the scene's world.
const btCollisionObject* rayHit(PhysicsScene& scene, const btVector3& from, const btVector3& to) {
    btCollisionWorld::ClosestRayResultCallback result(from, to);
    scene.getDynamicsWorld()->rayTest(from, to, result);
    return result.hasHit() ? result.m_collisionObject : nullptr;
}

}  // namespace

// Shape flags decide the group, the mask and the query flag; every create
// resets the builder; the body's user data is the body.
TEST_F(PhysicsBodyTest, BuilderFlagsResetAndUserData) {
    Objects objects;
    PhysicsWorld world;
    PhysicsMaterial* material = defaultMaterial(world);
    BodyBuilder& builder = world.bodyBuilder;
    EXPECT_EQ(builder.getShapeFlags(), 9);

    builder.setObject(objects.make("sink", glm::vec3(1.0f, 2.0f, 3.0f))).setMaterial(material);
    builder.addShapeFlags(PhysicsShapeFlag::SceneQueryShape);
    EXPECT_EQ(builder.getShapeFlags(), 11);
    std::unique_ptr<DynamicRigidBody> sink(builder.createDynamicBox(0.564537f, 1.02574f, 0.564537f));
    EXPECT_EQ(builder.getObject(), nullptr);
    EXPECT_EQ(builder.getMaterial(), nullptr);
    EXPECT_EQ(builder.getShapeFlags(), 9);
    EXPECT_EQ(sink->getRigidActor()->group, CollisionGroup::Dynamic);
    EXPECT_EQ(sink->getRigidActor()->mask, CollisionMask::Dynamic);
    EXPECT_TRUE(isSceneQuery(sink->getActor()));
    EXPECT_EQ(physicsObjectOf(sink->getActor()), sink.get());
    EXPECT_EQ(playerOf(sink->getActor()), nullptr);
    EXPECT_EQ(sink->getName(), "sink");

    std::unique_ptr<DynamicRigidBody> lock(
        builder.setShapeFlags(PhysicsShapeFlag::SceneQueryShape | PhysicsShapeFlag::Visualization)
            .setMaterial(material)
            .setObject(objects.make("lock1", glm::vec3(0.0f)))
            .createDynamicBox(0.0001f, 0.092232f, 0.168031f));
    EXPECT_EQ(lock->getRigidActor()->group, CollisionGroup::QueryOnly);
    EXPECT_EQ(lock->getRigidActor()->mask, 0);
    EXPECT_TRUE(isSceneQuery(lock->getActor()));
    EXPECT_FLOAT_EQ(lock->getActor()->getCollisionShape()->getMargin(), 0.0f);

    std::unique_ptr<StaticRigidBody> wall(
        builder.setObject(objects.make("wall 3", glm::vec3(0.0f))).setMaterial(material).createStaticBox(1, 1, 1));
    EXPECT_EQ(wall->getRigidActor()->group, CollisionGroup::Static);
    EXPECT_EQ(wall->getRigidActor()->mask, CollisionMask::Static);
    EXPECT_FALSE(isSceneQuery(wall->getActor()));
    EXPECT_TRUE(wall->getActor()->isStaticObject());

    // The kinematic switch moves a simulated body into the kinematic group.
    sink->setKinematic(true);
    EXPECT_TRUE(sink->isKinematic());
    EXPECT_EQ(sink->getRigidActor()->group, CollisionGroup::Kinematic);
    EXPECT_EQ(sink->getRigidActor()->mask, CollisionMask::Kinematic);
    EXPECT_NE(sink->getActor()->getCollisionFlags() & btCollisionObject::CF_NO_CONTACT_RESPONSE, 0);
    EXPECT_EQ(sink->getActor()->getActivationState(), DISABLE_DEACTIVATION);
}

// A box of full extents (5, 0.1, 5) at a turned Object is a box of half
// extents (2.5, 0.05, 2.5) at that pose; copy-back writes the pose minus the
// offset; a static body never moves its Object.
TEST_F(PhysicsBodyTest, BoxPoseAndCopyBack) {
    Objects objects;
    PhysicsWorld world;
    PhysicsScene* scene = world.createScene(nullptr);
    addScriptedBodies(world, *scene, objects);
    PhysicsMaterial* material = world.getMaterial("default");
    const glm::quat turn = glm::angleAxis(glm::radians(90.0f), glm::vec3(0.0f, 1.0f, 0.0f));
    Object* ceilingObject = objects.make("ceiling", glm::vec3(1.0f, 3.0f, -2.0f), turn);
    StaticRigidBody* ceiling = world.bodyBuilder.setObject(ceilingObject).setMaterial(material)
                                   .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                   .createStaticBox(5.0f, 0.1f, 5.0f);
    scene->addPhysicsObject("ceiling", ceiling);
    const auto* box = static_cast<const btBoxShape*>(ceiling->getActor()->getCollisionShape());
    const btVector3 half = box->getHalfExtentsWithMargin();
    EXPECT_FLOAT_EQ(half.x(), 2.5f);
    EXPECT_FLOAT_EQ(half.y(), 0.05f);
    EXPECT_FLOAT_EQ(half.z(), 2.5f);
    const btQuaternion q = ceiling->getActor()->getWorldTransform().getRotation();
    EXPECT_NEAR(q.y(), turn.y, 1e-6f);
    EXPECT_NEAR(q.w(), turn.w, 1e-6f);
    EXPECT_EQ(rayHit(*scene, btVector3(1.0f, 10.0f, -2.0f), btVector3(1.0f, 0.0f, -2.0f)), ceiling->getActor());
    EXPECT_NEAR(aabbMax(ceiling->getActor()).y(), 3.05f, 1e-3f);

    Object* sinkObject = objects.make("sink", glm::vec3(0.0f, 10.0f, 0.0f));
    DynamicRigidBody* sink =
        world.bodyBuilder.setObject(sinkObject).setMaterial(material).createDynamicBox(0.5f, 0.5f, 0.5f);
    scene->addPhysicsObject("sink", sink);
    sink->setOffset(glm::vec3(0.0f, 0.5f, 0.0f));
    sink->getActor()->setAngularVelocity(btVector3(0.0f, 2.0f, 0.0f));
    scene->update(0.5);  // four steps
    scene->syncObjects();
    const btTransform pose = sink->getActor()->getWorldTransform();
    EXPECT_FLOAT_EQ(sinkObject->getPosition().y, pose.getOrigin().y() - 0.5f);
    EXPECT_LT(sinkObject->getPosition().y, 9.5f);
    EXPECT_FLOAT_EQ(sinkObject->getRotation().y, pose.getRotation().y());
    EXPECT_FLOAT_EQ(sinkObject->getRotation().w, pose.getRotation().w());
    EXPECT_GT(std::abs(sinkObject->getRotation().y), 0.01f);
    EXPECT_EQ(ceilingObject->getPosition(), glm::vec3(1.0f, 3.0f, -2.0f));
}

// Convex hulls keep a thin skin; one shape per mesh; a triangle mesh keeps
// its own copy of the data and stays solid after the mesh is gone.
TEST_F(PhysicsBodyTest, MeshShapesPerMeshAndCopiedData) {
    Objects objects;
    PhysicsWorld world;
    PhysicsScene* scene = world.createScene(nullptr);
    addScriptedBodies(world, *scene, objects);
    PhysicsMaterial* material = world.getMaterial("default");

    Object* bed = objects.make("bed", glm::vec3(5.0f, 0.0f, 0.0f));
    bed->addMesh(makeBoxMesh(glm::vec3(-1.0f, 0.0f, -0.5f), glm::vec3(1.0f, 0.5f, 0.5f)));
    bed->addMesh(makeBoxMesh(glm::vec3(0.8f, 0.0f, -0.5f), glm::vec3(1.0f, 1.2f, 0.5f)));
    StaticRigidBody* hull = world.bodyBuilder.setObject(bed).setMaterial(material)
                                .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                .createStaticConvexMesh();
    ASSERT_NE(hull, nullptr);
    scene->addPhysicsObject("bed", hull);
    const btCollisionShape* shape = hull->getActor()->getCollisionShape();
    ASSERT_TRUE(shape->isCompound());
    const auto* compound = static_cast<const btCompoundShape*>(shape);
    ASSERT_EQ(compound->getNumChildShapes(), 2);
    EXPECT_TRUE(compound->getChildShape(0)->isConvex());
    // The hull is as large as its points plus a millimetre at most.
    EXPECT_NEAR(aabbMin(hull->getActor()).x(), 4.0f, 3e-3f);
    EXPECT_NEAR(aabbMax(hull->getActor()).y(), 1.2f, 3e-3f);
    btVector3 lo, hi;
    compound->getChildShape(0)->getAabb(btTransform::getIdentity(), lo, hi);
    EXPECT_NEAR(hi.y(), 0.5f, 3e-3f);

    Object* floorObject = objects.make("floor", glm::vec3(0.0f));
    floorObject->addMesh(makeFloorMesh(3.0f, 0.0f));
    StaticRigidBody* floor = world.bodyBuilder.setObject(floorObject).setMaterial(material)
                                 .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                 .createStaticTriangleMesh();
    ASSERT_NE(floor, nullptr);
    EXPECT_EQ(floor->getActor()->getCollisionShape()->getShapeType(), TRIANGLE_MESH_SHAPE_PROXYTYPE);
    scene->addPhysicsObject("floor", floor);
    // Free the mesh arrays: the body must not depend on them.
    for (Mesh* mesh : floorObject->getMeshes()) {
        delete mesh;
    }
    floorObject->getMeshes().clear();

    DynamicRigidBody* crate = world.bodyBuilder.setObject(objects.make("crate", glm::vec3(1.0f, 1.0f, 1.0f)))
                                  .setMaterial(material)
                                  .createDynamicBox(0.4f, 0.4f, 0.4f);
    scene->addPhysicsObject("crate", crate);
    for (int i = 0; i < 120; ++i) {
        scene->update(1.0 / 60.0 + 1e-9);
    }
    EXPECT_NEAR(crate->getActor()->getWorldTransform().getOrigin().y(), 0.2f, 0.03f);
}

TEST_F(PhysicsBodyTest, MeshesThatCannotBecomeShapesGiveNoBody) {
    Objects objects;
    PhysicsWorld world;
    PhysicsMaterial* material = defaultMaterial(world);

    Object* bare = objects.make("chair", glm::vec3(0.0f));
    Object* empty = objects.make("toilet", glm::vec3(0.0f));
    empty->addMesh(makeMesh({}, {}));
    Object* broken = objects.make("glasses", glm::vec3(0.0f));
    broken->addMesh(makeMesh({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {0, 1, 7}));
    Object* good = objects.make("bed", glm::vec3(0.0f));
    good->addMesh(makeBoxMesh(glm::vec3(0.0f), glm::vec3(1.0f)));

    struct Case {
        Object* object;
        bool triangles;
    };
    for (const Case& c : {Case{bare, true}, Case{bare, false}, Case{empty, true}, Case{empty, false},
                          Case{broken, true}}) {
        LogCapture log;
        world.bodyBuilder.setObject(c.object).setMaterial(material).addShapeFlags(PhysicsShapeFlag::SceneQueryShape);
        PhysicsObject* body = c.triangles ? static_cast<PhysicsObject*>(world.bodyBuilder.createStaticTriangleMesh())
                                          : world.bodyBuilder.createDynamicConvexMesh();
        EXPECT_EQ(body, nullptr) << c.object->getName();
        EXPECT_NE(log.stderr_().find("[ERROR] Error creating triangle mesh."), std::string::npos);
        // The failed chain is not reset.
        EXPECT_EQ(world.bodyBuilder.getObject(), c.object);
        EXPECT_EQ(world.bodyBuilder.getShapeFlags(), 11);
    }
    // The builder carries on with the next chain.
    std::unique_ptr<StaticRigidBody> body(
        world.bodyBuilder.setObject(good).setMaterial(material).createStaticTriangleMesh());
    EXPECT_NE(body, nullptr);
}
