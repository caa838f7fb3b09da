#include "app/LevelPhysics.h"

#include "app/Logger.h"
#include "physics/PhysicsMaterial.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsScene.h"
#include "physics/PhysicsUserData.h"
#include "physics/PhysicsWorld.h"
#include "render/Bone.h"
#include "render/Scene.h"

#include <btBulletDynamicsCommon.h>

#include <array>
#include <utility>
#include <vector>

namespace {

constexpr PhysicsShapeFlags kQueryShape = PhysicsShapeFlag::SceneQueryShape;
// The locks are seen by the focus ray but take no part in collisions.
constexpr PhysicsShapeFlags kLockShapeFlags = PhysicsShapeFlag::SceneQueryShape | PhysicsShapeFlag::Visualization;

const std::array<float, 4> kLockAnchorZ = {-0.386346f, -0.185373f, 0.016015f, 0.217536f};

// A joint frame at an anchor whose z axis (Bullet's hinge axis) is the
// body's y axis, the door's vertical edge.
btTransform hingeFrame(const btVector3& anchor) {
    return btTransform(btQuaternion(btVector3(1.0f, 0.0f, 0.0f), -SIMD_HALF_PI), anchor);
}

}  // namespace

PhysicsScene* buildPhysicsScene(Scene& scene, PhysicsWorld& world) {
    world.createMaterial("default", 0.2f, 0.2f, 0.2f);
    world.createMaterial("door", 0.2f, 0.2f, 0.0f);
    world.getMaterial("door")->setFlag(PhysicsMaterialFlag::CompliantContact, true);
    world.getMaterial("door")->setRestitution(-0.1f);
    world.getMaterial("door")->setDamping(1000.0f);

    PhysicsScene* physicsScene = world.createScene(scene.getModelLoader());

    BodyBuilder& builder = world.bodyBuilder;
    PhysicsMaterial* defaultMaterial = world.getMaterial("default");
    auto start = [&](const std::string& name, PhysicsMaterial* material) -> BodyBuilder& {
        return builder.setObject(scene.getObject(name)).setMaterial(material).addShapeFlags(kQueryShape);
    };
    auto startLock = [&](const std::string& name) -> BodyBuilder& {
        return builder.setObject(scene.getObject(name)).setMaterial(world.getMaterial("default"))
            .setShapeFlags(kLockShapeFlags);
    };

    DynamicRigidBody* sink = start("sink", defaultMaterial).createDynamicBox(0.564537f, 1.02574f, 0.564537f);
    StaticRigidBody* bed = start("bed", world.getMaterial("default")).createStaticConvexMesh();
    DynamicRigidBody* door = start("door", world.getMaterial("door")).createDynamicBox(0.336435f, 1.93715f, 0.756214f);
    DynamicRigidBody* lock1 = startLock("lock1").createDynamicBox(0.0001f, 0.092232f, 0.168031f);
    DynamicRigidBody* lock2 = startLock("lock2").createDynamicBox(0.0001f, 0.092232f, 0.168031f);
    DynamicRigidBody* lock3 = startLock("lock3").createDynamicBox(0.0001f, 0.092232f, 0.168031f);
    DynamicRigidBody* lock4 = startLock("lock4").createDynamicBox(0.0001f, 0.092232f, 0.168031f);
    StaticRigidBody* floor = start("floor", world.getMaterial("default")).createStaticTriangleMesh();
    StaticRigidBody* ceiling = start("ceiling", world.getMaterial("default")).createStaticBox(5.0f, 0.1f, 5.0f);
    StaticRigidBody* labyrinth = start("labyrinth", world.getMaterial("default")).createStaticTriangleMesh();
    StaticRigidBody* labyrinthEnd = start("labyrinth_end", world.getMaterial("default")).createStaticTriangleMesh();
    StaticRigidBody* labyrinthGoal = start("labyrinth_goal", world.getMaterial("default")).createStaticTriangleMesh();
    DynamicRigidBody* labyrinthDoor =
        start("labyrinth_door", world.getMaterial("default")).createDynamicConvexMesh();
    if (labyrinthDoor != nullptr) {
        labyrinthDoor->setKinematic(true);
    }
    StaticRigidBody* pressurePlate =
        start("pressure_plate", world.getMaterial("default")).createStaticTriangleMesh();
    StaticRigidBody* doorFrame = start("door frame", world.getMaterial("default")).createStaticTriangleMesh();
    StaticRigidBody* wall1 = start("wall 1", world.getMaterial("default")).createStaticTriangleMesh();
    StaticRigidBody* wall2 = start("wall 2", world.getMaterial("default")).createStaticTriangleMesh();
    StaticRigidBody* wall4 = start("wall 4", world.getMaterial("default")).createStaticTriangleMesh();
    StaticRigidBody* wall3 = start("wall 3", world.getMaterial("default")).createStaticBox(4.03241f, 0.369721f, 5.39277f);
    StaticRigidBody* toilet = start("toilet", world.getMaterial("default")).createStaticTriangleMesh();
    StaticRigidBody* chair = start("chair", world.getMaterial("default")).createStaticTriangleMesh();
    StaticRigidBody* glasses = start("glasses", world.getMaterial("default")).createStaticTriangleMesh();
    DynamicRigidBody* guard = nullptr;
    if (rootBone != nullptr) {
        guard = builder.setObject(rootBone).setMaterial(world.getMaterial("default")).addShapeFlags(kQueryShape)
                    .createDynamicBox(0.85f, 1.9f, 1.7f);
        guard->setKinematic(true);
    }

    // Registry order, which is also the order the bodies enter the world.
    const std::vector<std::pair<const char*, PhysicsObject*>> registry = {
        {"sink", sink},
        {"glasses", glasses},
        {"bed", bed},
        {"door", door},
        {"guard", guard},
        {"lock1", lock1},
        {"lock2", lock2},
        {"lock3", lock3},
        {"lock4", lock4},
        {"toilet", toilet},
        {"chair", chair},
        {"floor", floor},
        {"labyrinth", labyrinth},
        {"labyrinthEnd", labyrinthEnd},
        {"labyrinthGoal", labyrinthGoal},
        {"labyrinthDoor", labyrinthDoor},
        {"pressurePlate", pressurePlate},
        {"ceiling", ceiling},
        {"doorFrame", doorFrame},
        {"wall 1", wall1},
        {"wall 3", wall3},
        {"wall 2", wall2},
        {"wall 4", wall4},
    };
    bool complete = true;
    for (const auto& entry : registry) {
        complete = complete && entry.second != nullptr;
    }
    if (!complete) {
        // The ERROR line of the failed body is out; nothing is joined or registered.
        if (guard == nullptr) {
            Logger::error("The level has no guard skeleton.");
        }
        for (const auto& entry : registry) {
            delete entry.second;
        }
        return nullptr;
    }

    // The cell door turns about its vertical edge in the frame: no limit, no drive.
    btDiscreteDynamicsWorld* dynamicsWorld = physicsScene->getDynamicsWorld();
    auto* hinge = new btHingeConstraint(*door->getActor(), *doorFrame->getActor(),
                                        hingeFrame(btVector3(0.087101f, -1.00483f, -0.403107f)),
                                        hingeFrame(btVector3(0.101916f, -1.10733f, -0.413451f)));
    // The locks sit side by side on the door and move with it.
    const std::array<DynamicRigidBody*, 4> locks = {lock1, lock2, lock3, lock4};
    std::vector<btTypedConstraint*> joints = {hinge};
    for (size_t i = 0; i < locks.size(); ++i) {
        joints.push_back(new btFixedConstraint(
            *door->getActor(), *locks[i]->getActor(),
            btTransform(btQuaternion::getIdentity(), btVector3(-0.074142f, 0.337119f, kLockAnchorZ[i])),
            btTransform(btQuaternion::getIdentity(), btVector3(0.0f, 0.045494f, -0.084016f))));
    }

    for (const auto& entry : registry) {
        physicsScene->addPhysicsObject(entry.first, entry.second);
    }
    for (btTypedConstraint* joint : joints) {
        dynamicsWorld->addConstraint(joint, true);
    }
    return physicsScene;
}
