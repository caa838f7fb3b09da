// The focus ray on real Bullet from a real player: what it passes through,
// what it returns, and where the eye is.

#include "tests/physics_test_support.h"
#include "tests/support/GlContext.h"

#include "app/GameState.h"
#include "physics/Player.h"

#include <gtest/gtest.h>

using namespace physics_test;

namespace {

class PhysicsRaycastTest : public GlTest {
protected:
    void SetUp() override {
        GlTest::SetUp();
        gameOver = false;
    }
};

// A square in the plane x = 0 (half size 0.5), facing -x or +x.
Mesh* makeWallMesh(bool facingMinusX) {
    if (facingMinusX) {
        return makeMesh({{0, -0.5f, -0.5f}, {0, 0.5f, -0.5f}, {0, 0.5f, 0.5f}, {0, -0.5f, 0.5f}}, {0, 2, 1, 0, 3, 2});
    }
    return makeMesh({{0, -0.5f, -0.5f}, {0, 0.5f, -0.5f}, {0, 0.5f, 0.5f}, {0, -0.5f, 0.5f}}, {0, 1, 2, 0, 2, 3});
}

}  // namespace

// The player at (0, 1, 0) looks along +x from an eye 0.7 above its centre.
// In front of it: a box without the query flag, a wall seen from behind, the
// cell door, a lock behind it, a wall seen from the front, and a crate
// beyond the ray's reach.
TEST_F(PhysicsRaycastTest, PassesIgnoredAndUnseenBodiesAndKeepsCallersFilter) {
    Objects objects;
    PhysicsWorld world;
    PhysicsScene* scene = world.createScene(nullptr);
    addScriptedBodies(world, *scene, objects);
    PhysicsMaterial* material = world.getMaterial("default");
    BodyBuilder& builder = world.bodyBuilder;
    const float eyeY = 1.7f;

    StaticRigidBody* plain = builder.setObject(objects.make("plain", glm::vec3(0.15f, eyeY, 0.0f)))
                                 .setMaterial(material)
                                 .createStaticBox(0.05f, 1.0f, 1.0f);
    Object* backObject = objects.make("back", glm::vec3(0.25f, eyeY, 0.0f));
    backObject->addMesh(makeWallMesh(false));
    StaticRigidBody* back = builder.setObject(backObject).setMaterial(material)
                                .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                .createStaticTriangleMesh();
    DynamicRigidBody* door = builder.setObject(objects.make("door", glm::vec3(0.5f, eyeY, 0.0f)))
                                 .setMaterial(material)
                                 .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                 .createDynamicBox(0.1f, 1.0f, 1.0f);
    DynamicRigidBody* lock = builder.setObject(objects.make("lock1", glm::vec3(0.7f, eyeY, 0.0f)))
                                 .setMaterial(material)
                                 .setShapeFlags(PhysicsShapeFlag::SceneQueryShape | PhysicsShapeFlag::Visualization)
                                 .createDynamicBox(0.0001f, 0.092232f, 0.168031f);
    Object* frontObject = objects.make("front", glm::vec3(1.0f, eyeY, 0.0f));
    frontObject->addMesh(makeWallMesh(true));
    StaticRigidBody* front = builder.setObject(frontObject).setMaterial(material)
                                 .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                 .createStaticTriangleMesh();
    StaticRigidBody* crate = builder.setObject(objects.make("crate", glm::vec3(1.5f, eyeY, 0.0f)))
                                 .setMaterial(material)
                                 .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                 .createStaticBox(0.2f, 1.0f, 1.0f);
    for (PhysicsObject* body : std::initializer_list<PhysicsObject*>{plain, back, door, lock, front, crate}) {
        scene->addPhysicsObject(body->getName(), body);
    }

    Player player(scene, material, 1.4f, 0.2f, glm::vec3(0.0f, 1.0f, 0.0f));
    scene->setPlayer(&player);

    PhysicsQueryFilterCallback filter;
    EXPECT_EQ(scene->raycast(1.25f, filter), door);
    filter.ignored.insert(door);
    EXPECT_EQ(scene->raycast(1.25f, filter), lock);
    filter.ignored.insert(lock);
    EXPECT_EQ(scene->raycast(1.25f, filter), front);
    filter.ignored.insert(front);
    EXPECT_EQ(scene->raycast(1.25f, filter), nullptr);
    EXPECT_EQ(scene->raycast(2.0f, filter), crate);

    // The caller's set holds what the caller put in, never the player.
    EXPECT_EQ(filter.ignored.size(), 3u);
    EXPECT_EQ(filter.ignored.count(&player), 0u);
    scene->setPlayer(nullptr);
}

// Crouching lowers the eye with the capsule's top: a ledge at the crouched eye
// height is seen only while crouched.
TEST_F(PhysicsRaycastTest, CrouchingLowersTheEye) {
    Objects objects;
    PhysicsWorld world;
    PhysicsScene* scene = world.createScene(nullptr);
    addScriptedBodies(world, *scene, objects);
    PhysicsMaterial* material = world.getMaterial("default");
    // Standing: bottom 0.1, centre 1.0, eye 1.7. Crouched: centre 0.65, eye 1.0.
    StaticRigidBody* ledge = world.bodyBuilder.setObject(objects.make("ledge", glm::vec3(0.8f, 1.0f, 0.0f)))
                                 .setMaterial(material)
                                 .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                 .createStaticBox(0.2f, 0.2f, 1.0f);
    scene->addPhysicsObject("ledge", ledge);
    Player player(scene, material, 1.4f, 0.2f, glm::vec3(0.0f, 1.0f, 0.0f));
    scene->setPlayer(&player);

    EXPECT_EQ(scene->raycast(1.25f, PhysicsQueryFilterCallback()), nullptr);
    player.onKey(341, 1);
    EXPECT_FLOAT_EQ(player.getTotalHeight(), 1.1f);
    EXPECT_EQ(scene->raycast(1.25f, PhysicsQueryFilterCallback()), ledge);
    player.onKey(341, 0);
    EXPECT_EQ(scene->raycast(1.25f, PhysicsQueryFilterCallback()), nullptr);
    scene->setPlayer(nullptr);
}
