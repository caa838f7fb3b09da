// The level's physics built from the real cell.fbx on real Bullet: the
// registry and the kinds of body, the cell door swinging on its hinge with
// the locks fixed to it, and the player held in by the cell.

#include "tests/support/PhysicsStage.h"

#include "app/Game.h"
#include "app/Lock.h"
#include "physics/CharacterController.h"

#include <glm/gtc/type_ptr.hpp>

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
