#include "app/LockLogic.h"

#include "app/GameState.h"
#include "app/Lock.h"
#include "app/LockCode.h"
#include "app/Logger.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsScene.h"
#include "render/ConfettiEmitter.h"
#include "render/Scene.h"

#include <btBulletDynamicsCommon.h>

#include <stdexcept>
#include <string>

namespace {

// Newtons on the door for one step; the hinge turns it into a swing outwards.
const btVector3 kDoorPush(500.0f, 0.0f, 0.0f);

}  // namespace

CellLocks setUpLocks(Scene& worldScene) {
    CellLocks locks{};
    for (std::size_t i = 0; i < locks.size(); ++i) {
        const std::string name = "lock" + std::to_string(i + 1);
        Lock* lock = dynamic_cast<Lock*>(worldScene.get(name));
        if (lock == nullptr) {
            const std::string message = "Object " + name + " is not a lock.";
            Logger::error(message);
            throw std::runtime_error(message);
        }
        lock->setSolution(kLockCode[i]);
        lock->updateLabel();
        locks[i] = lock;
    }
    return locks;
}

bool allLocksSolved(const CellLocks& locks) {
    for (const Lock* lock : locks) {
        if (!lock->isSolved()) {
            return false;
        }
    }
    return true;
}

bool pushDoorIfSolved(const CellLocks& locks, PhysicsScene& physicsScene, ConfettiEmitter& confetti) {
    if (!allLocksSolved(locks) || cellDoorOpened) {
        return false;
    }
    auto& door = dynamic_cast<DynamicRigidBody&>(*physicsScene.getPhysicsObject("door"));
    btRigidBody* actor = door.getActor();
    actor->activate(true);
    actor->applyCentralForce(kDoorPush);
    cellDoorOpened = true;
    confetti.setActive(true);
    return true;
}
