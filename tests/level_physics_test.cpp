// The level's physics built from the real cell.fbx on real Bullet: the
// registry and the kinds of body, the cell door swinging on its hinge with
// the locks fixed to it, and the player held in by the cell.

#include "tests/support/PhysicsStage.h"

#include "app/Game.h"
#include "app/Lock.h"
#include "physics/CharacterController.h"

#include <glm/gtc/type_ptr.hpp>

#include <map>

// 23 registered bodies; scripted bodies kinematic, locks seen by rays only;
// untouched, the door stays shut; one step of 500 N swings it about its
// hinge past 90 degrees within a few seconds, the locks riding along.
TEST(LevelPhysics, RegistryBodyKindsAndThePushedDoorSwingsCarryingTheLocks) {
    START_GAME(driver, 96, 64);
    PhysicsScene* physics = driver->game->physicsScene;
    auto poseOf = [&](const std::string& name) { return physics->getPhysicsObject(name)->getActor()->getWorldTransform(); };
    for (const char* name : {"sink", "glasses", "bed", "door", "guard", "lock1", "lock2", "lock3", "lock4", "toilet",
                             "chair", "floor", "labyrinth", "labyrinthEnd", "labyrinthGoal", "labyrinthDoor",
                             "pressurePlate", "ceiling", "doorFrame", "wall 1", "wall 3", "wall 2", "wall 4"}) {
        EXPECT_NO_THROW(physics->getPhysicsObject(name)) << name;
    }
    EXPECT_EQ(physics->getDynamicsWorld()->getNumCollisionObjects(), 23 + 1) << "the bodies and the player's stand-in";
    LogCapture log;  // the unknown name's error line
    EXPECT_THROW(physics->getPhysicsObject("labyrinth_goal"), std::runtime_error);
    EXPECT_EQ(physics->getPhysicsObject("labyrinthGoal")->getName(), "labyrinth_goal");
    EXPECT_EQ(physics->getPhysicsObject("guard")->getName(), "Armature");
    for (const char* name : {"guard", "labyrinthDoor"}) {
        EXPECT_TRUE(dynamic_cast<DynamicRigidBody&>(*physics->getPhysicsObject(name)).isKinematic()) << name;
    }
    for (const char* name : {"lock1", "lock2", "lock3", "lock4"}) {
        EXPECT_EQ(physics->getPhysicsObject(name)->getRigidActor()->group, CollisionGroup::QueryOnly) << name;
    }
    const btCollisionShape* wall3 = physics->getPhysicsObject("wall 3")->getActor()->getCollisionShape();
    ASSERT_EQ(wall3->getShapeType(), BOX_SHAPE_PROXYTYPE);
    EXPECT_NEAR(static_cast<const btBoxShape*>(wall3)->getHalfExtentsWithMargin().z(), 5.39277f / 2, 1e-5f);

    const btTransform shut = poseOf("door");
    for (int i = 0; i < 120; ++i) physics->update(1.0 / 60.0 + 1e-9);
    EXPECT_LT(poseOf("door").getOrigin().distance(shut.getOrigin()), 0.01f);

    btRigidBody* door = physics->getPhysicsObject("door")->getActor();
    door->activate();
    door->applyCentralForce(btVector3(500.0f, 0.0f, 0.0f));
    const btVector3 doorAnchor(0.087101f, -1.00483f, -0.403107f);
    const btVector3 hingeWorld = shut * doorAnchor;
    const btVector3 axis = quatRotate(shut.getRotation(), btVector3(0.0f, 1.0f, 0.0f));
    const float lockZ[] = {-0.386346f, -0.185373f, 0.016015f, 0.217536f};
    const btTransform lockAnchor(btQuaternion::getIdentity(), btVector3(0.0f, 0.045494f, -0.084016f));
    float widest = 0.0f;
    for (int frame = 1; frame <= 60 * 6; ++frame) {
        physics->update(1.0 / 60.0 + 1e-9);
        const btTransform pose = poseOf("door");
        const btQuaternion turn = pose.getRotation() * shut.getRotation().inverse();
        const float angle = turn.getAngleShortestPath();
        widest = std::max(widest, angle);
        // Only about the hinge: the turn's axis is the door's edge, the anchor stays put.
        if (angle > 0.05f) {
            EXPECT_GT(std::abs(turn.getAxis().dot(axis)), 0.999f) << "frame " << frame;
        }
        EXPECT_LT((pose * doorAnchor).distance(hingeWorld), 0.01f) << "frame " << frame;
        for (int i = 0; frame % 60 == 0 && i < 4; ++i) {
            const btTransform expected =
                pose * btTransform(btQuaternion::getIdentity(), btVector3(-0.074142f, 0.337119f, lockZ[i])) *
                lockAnchor.inverse();
            const btTransform lock = poseOf("lock" + std::to_string(i + 1));
            EXPECT_LT(lock.getOrigin().distance(expected.getOrigin()), 0.005f) << "lock " << i + 1;
            EXPECT_LT(lock.getRotation().angleShortestPath(expected.getRotation()), 0.01f) << "lock " << i + 1;
        }
    }
    EXPECT_GT(widest, SIMD_HALF_PI);
}

// The player lands on the cell floor (y = 0); the door wall (x = 2.6) and the
// shut door hold it in. Standing 0.9 m before the door's body, facing it, the
// crosshair anywhere on a lock's visible face selects that lock. The glasses
// are in view from the start and within reach from a standing eye 0.8 m away.
TEST(LevelPhysics, PlayerLandsOnTheCellFloorAndTheWallAndTheShutDoorHoldItIn) {
    START_GAME(driver, 96, 64);
    const Player& player = *driver->game->player;
    PhysicsScene& physics = *driver->game->physicsScene;
    const glm::vec3 glasses = driver->bodyPosition("glasses");
    driver->wait(0.5, 0.05);  // settled on the floor at the start,
    // facing the door (+x), the glasses lie within 33 degrees of the view, nothing in front of them.
    EXPECT_GT(glm::normalize(glasses - driver->eye()).x, 0.84f);
    driver->lookAt(glasses);
    driver->frame(0.05);
    EXPECT_EQ(physics.raycast(6.0f, PhysicsQueryFilterCallback()), physics.getPhysicsObject("glasses"));
    driver->hold(GLFW_KEY_W);
    driver->hold(GLFW_KEY_LEFT_SHIFT);
    driver->wait(1.5, 0.05);  // ahead (+x) at z = 0 is the door wall, beside the opening
    EXPECT_NEAR(player.getPosition().y, kRestingCentre, 0.003f);
    EXPECT_NEAR(player.getPosition().x, 2.6f - 0.21f, 0.005f);
    ASSERT_TRUE(driver->walkTo(2.2f, 0.8f));
    driver->lookAlong(0.0);
    driver->hold(GLFW_KEY_W);
    driver->wait(1.0, 0.05);  // in front of the opening: the shut door is in the way
    EXPECT_LT(player.getPosition().x, 2.75f - 0.168f - 0.2f);
    EXPECT_GT(player.getPosition().x, 2.2f);
    const glm::vec3 door = driver->bodyPosition("door");
    driver->game->player->getController()->setPosition(glm::dvec3(door.x - 0.336435f / 2 - 0.9f, 0.91, door.z));
    driver->wait(0.3, 0.05);
    for (int i = 0; i < 4; ++i) {
        Lock& lock = *driver->game->locks[i];
        const Mesh& plate = *lock.getMeshes().at(0);
        glm::vec3 lo(1e9f), hi(-1e9f);
        for (int v = 0; v < plate.getVertexCount(); ++v) {
            const glm::vec3 p = glm::make_vec3(plate.getVertices() + v * kFloatsPerVertex);
            lo = glm::min(lo, p), hi = glm::max(hi, p);
        }
        for (int k = 0; k < 9; ++k) {  // corners, edge middles and centre, 5% in from the edges
            const glm::vec3 f(0.0f, 0.05f + 0.45f * (k / 3), 0.05f + 0.45f * (k % 3));
            driver->lookAt(glm::vec3(lock.getModelMatrix() * glm::vec4(glm::mix(lo, hi, f), 1.0f)));
            driver->frame(0.05);
            EXPECT_TRUE(lock.isSelected()) << "lock" << i + 1 << ", point " << k;
        }
    }
    // Standing 0.8 m from the glasses on the room's side, looking at them: the focus ray reaches them.
    const glm::vec2 away = -glm::normalize(glm::vec2(glasses.x, glasses.z)) * 0.8f;
    driver->game->player->getController()->setPosition(glm::dvec3(glasses.x + away.x, 0.91, glasses.z + away.y));
    driver->wait(0.3, 0.05);
    driver->lookAt(glasses);
    driver->frame(0.05);
    EXPECT_TRUE(driver->game->worldScene.get("glasses")->isSelected()) << glm::distance(driver->eye(), glasses);
}

// The cell door's material is a compliant contact: the door's body has no
// restitution but a contact spring of stiffness 0.1 and damping 1000; the
// other bodies keep the default material's restitution 0.2. All bodies but
// the locks answer queries; the locks answer queries only, collide with
// nothing and have no skin. The guard and the labyrinth door are kinematic,
// never asleep, and take no contact response.
TEST(LevelPhysics, DoorMaterialLockBodiesAndScriptedBodiesAsBuilt) {
    START_GAME(driver, 96, 64);
    PhysicsScene& physics = *driver->game->physicsScene;
    auto actorOf = [&](const std::string& name) { return physics.getPhysicsObject(name)->getActor(); };
    const PhysicsMaterial& material = *driver->physicsWorld.getMaterial("door");
    EXPECT_TRUE(material.getFlag(PhysicsMaterialFlag::CompliantContact));
    EXPECT_FLOAT_EQ(material.getRestitution(), -0.1f);
    EXPECT_FLOAT_EQ(material.getDamping(), 1000.0f);
    const btRigidBody* door = actorOf("door");
    EXPECT_NE(door->getCollisionFlags() & btCollisionObject::CF_HAS_CONTACT_STIFFNESS_DAMPING, 0);
    EXPECT_FLOAT_EQ(door->getContactStiffness(), 0.1f);
    EXPECT_FLOAT_EQ(door->getContactDamping(), 1000.0f);
    EXPECT_FLOAT_EQ(door->getRestitution(), 0.0f);
    EXPECT_FLOAT_EQ(door->getFriction(), 0.2f);
    for (const char* name : {"sink", "floor", "doorFrame", "guard"}) {
        EXPECT_EQ(actorOf(name)->getCollisionFlags() & btCollisionObject::CF_HAS_CONTACT_STIFFNESS_DAMPING, 0) << name;
        EXPECT_FLOAT_EQ(actorOf(name)->getRestitution(), 0.2f) << name;
        EXPECT_FLOAT_EQ(actorOf(name)->getFriction(), 0.2f) << name;
    }

    for (const char* name : {"sink", "glasses", "bed", "door", "guard", "toilet", "chair", "floor", "labyrinth",
                             "labyrinthEnd", "labyrinthGoal", "labyrinthDoor", "pressurePlate", "ceiling", "doorFrame",
                             "wall 1", "wall 3", "wall 2", "wall 4"}) {
        EXPECT_TRUE(isSceneQuery(actorOf(name))) << name;
        EXPECT_NE(actorOf(name)->getBroadphaseHandle()->m_collisionFilterMask, 0) << name;
    }
    for (const char* name : {"lock1", "lock2", "lock3", "lock4"}) {
        EXPECT_TRUE(isSceneQuery(actorOf(name))) << name;
        EXPECT_EQ(actorOf(name)->getBroadphaseHandle()->m_collisionFilterMask, 0) << name;
        EXPECT_EQ(actorOf(name)->getCollisionShape()->getMargin(), 0.0f) << name;
    }
    for (const char* name : {"guard", "labyrinthDoor"}) {
        const btRigidBody* body = actorOf(name);
        EXPECT_TRUE(body->isKinematicObject()) << name;
        EXPECT_NE(body->getCollisionFlags() & btCollisionObject::CF_NO_CONTACT_RESPONSE, 0) << name;
        EXPECT_EQ(body->getActivationState(), DISABLE_DEACTIVATION) << name;
    }
}

// Each frame that steps the physics copies the poses to the Objects that are
// drawn: the doors at rest stay as the level placed them; the cell door
// swinging open, the guard on its patrol and the labyrinth door rising are
// drawn where their bodies are, turned as they are.
TEST(LevelPhysics, FramesCopyThePosesToTheDrawnDoorGuardAndLabyrinthDoor) {
    START_GAME(driver, 96, 64);
    PhysicsScene& physics = *driver->game->physicsScene;
    const char* const names[] = {"door", "guard", "labyrinthDoor"};
    std::map<std::string, glm::vec3> start;
    for (const char* name : names) start[name] = physics.getPhysicsObject(name)->getObject()->getPosition();
    // At rest, a frame draws the doors where and as turned as the level placed them.
    std::map<std::string, glm::quat> placed;
    for (const char* name : {"door", "labyrinthDoor"}) {
        placed[name] = physics.getPhysicsObject(name)->getObject()->getRotation();
    }
    driver->frame(0.05);
    for (const char* name : {"door", "labyrinthDoor"}) {
        const Object& object = *physics.getPhysicsObject(name)->getObject();
        EXPECT_LT(glm::distance(object.getPosition(), start[name]), 1e-3f) << name;
        EXPECT_NEAR(std::abs(glm::dot(object.getRotation(), placed[name])), 1.0f, 1e-5f) << name;
    }
    pressurePlatePressed = true;
    btRigidBody* door = physics.getPhysicsObject("door")->getActor();
    door->activate();
    door->applyCentralForce(btVector3(500.0f, 0.0f, 0.0f));
    // 3.5 s: the guard turns at its first stop, then walks half its next leg.
    for (int frame = 0; frame < 70; ++frame) {
        driver->frame(0.05);
        for (const char* name : names) {
            const btTransform pose = physics.getPhysicsObject(name)->getActor()->getWorldTransform();
            const btQuaternion q = pose.getRotation();
            const Object& object = *physics.getPhysicsObject(name)->getObject();
            EXPECT_EQ(object.getPosition(), toGlm(pose.getOrigin())) << name << ", frame " << frame;
            EXPECT_EQ(object.getRotation(), glm::quat(q.w(), q.x(), q.y(), q.z())) << name << ", frame " << frame;
        }
    }
    for (const char* name : names) {
        EXPECT_GT(glm::distance(physics.getPhysicsObject(name)->getObject()->getPosition(), start[name]), 0.1f) << name;
    }
}

// The frame hands the held keys and its own length to the player: from the
// start in the cell, looking along +x, W walks 2 m/s, S with Left Shift steps
// back 1 m/s, D strafes right (+z) at 2 m/s and A with Left Shift runs left
// at 4 m/s.
TEST(LevelPhysics, TheFrameMovesThePlayerByTheHeldKeys) {
    START_GAME(driver, 96, 64);
    const Player& player = *driver->game->player;
    driver->wait(0.5, 0.05);
    driver->lookAlong(0.0);
    struct Leg {
        std::set<int> held;
        double seconds;
        glm::vec2 moved;  // x and z
    };
    const Leg legs[] = {
        {{GLFW_KEY_W}, 0.5, {1.0f, 0.0f}},
        {{GLFW_KEY_S, GLFW_KEY_LEFT_SHIFT}, 0.5, {-0.5f, 0.0f}},
        {{GLFW_KEY_D}, 0.25, {0.0f, 0.5f}},
        {{GLFW_KEY_A, GLFW_KEY_LEFT_SHIFT}, 0.25, {0.0f, -1.0f}},
    };
    for (const Leg& leg : legs) {
        const glm::vec3 from = player.getPosition();
        for (int key : leg.held) driver->hold(key);
        driver->wait(leg.seconds, 0.05);
        for (int key : leg.held) driver->release(key);
        driver->frame(0.05);  // the keys' last motion is made by this frame's step
        const glm::vec3 to = player.getPosition();
        EXPECT_NEAR(to.x - from.x, leg.moved.x, 0.01f) << "leg " << &leg - legs;
        EXPECT_NEAR(to.z - from.z, leg.moved.y, 0.01f) << "leg " << &leg - legs;
    }
}
