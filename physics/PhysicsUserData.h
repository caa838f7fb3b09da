#pragma once

#include <btBulletCollisionCommon.h>

class PhysicsObject;
class Player;

// Every collision object the game makes carries a pointer back to its owner:
// the level body (PhysicsObject) or the player (the controller's stand-in).
// The pointer travels in Bullet's user pointer and its kind in the user
// index, so the game never reads a pointer as the wrong type. The second user
// index holds the scene-query flag: only bodies with it are seen by the focus
// ray and by the player's capsule sweeps.
enum class UserDataKind : int {
    None = 0,
    LevelBody = 1,
    Player = 2,
};

inline void setUserData(btCollisionObject& object, PhysicsObject* body) {
    object.setUserPointer(body);
    object.setUserIndex(static_cast<int>(UserDataKind::LevelBody));
}

inline void setUserData(btCollisionObject& object, Player* player) {
    object.setUserPointer(player);
    object.setUserIndex(static_cast<int>(UserDataKind::Player));
}

inline UserDataKind userDataKindOf(const btCollisionObject* object) {
    if (object == nullptr || object->getUserPointer() == nullptr) {
        return UserDataKind::None;
    }
    const int index = object->getUserIndex();
    if (index == static_cast<int>(UserDataKind::LevelBody)) {
        return UserDataKind::LevelBody;
    }
    if (index == static_cast<int>(UserDataKind::Player)) {
        return UserDataKind::Player;
    }
    return UserDataKind::None;
}

// The raw user pointer, whatever its kind (what the query filter compares).
inline const void* userDataOf(const btCollisionObject* object) {
    return object != nullptr ? object->getUserPointer() : nullptr;
}

// The level body behind an object, or null when it is not one.
inline PhysicsObject* physicsObjectOf(const btCollisionObject* object) {
    return userDataKindOf(object) == UserDataKind::LevelBody
               ? static_cast<PhysicsObject*>(object->getUserPointer())
               : nullptr;
}

// The player behind an object, or null when it is not the player's.
inline Player* playerOf(const btCollisionObject* object) {
    return userDataKindOf(object) == UserDataKind::Player ? static_cast<Player*>(object->getUserPointer())
                                                          : nullptr;
}

inline void setSceneQuery(btCollisionObject& object, bool value) {
    object.setUserIndex2(value ? 1 : 0);
}

inline bool isSceneQuery(const btCollisionObject* object) {
    return object != nullptr && object->getUserIndex2() == 1;
}

// Shape flags of a body, bit for bit as the level set-up writes them.
using PhysicsShapeFlags = unsigned char;
namespace PhysicsShapeFlag {
constexpr PhysicsShapeFlags SimulationShape = 1;  // collides with other bodies
constexpr PhysicsShapeFlags SceneQueryShape = 2;  // seen by rays and the player's sweeps
constexpr PhysicsShapeFlags TriggerShape = 4;     // kept for completeness; nothing sets it
constexpr PhysicsShapeFlags Visualization = 8;    // debug drawing only
}  // namespace PhysicsShapeFlag

// Collision groups and the masks each group collides with. A pair is made
// only when each side's group is in the other's mask: statics meet only
// dynamic bodies, kinematic bodies meet dynamic and kinematic ones (so the
// guard is seen touching the player's stand-in), query-only bodies (no
// simulation shape) meet nothing.
namespace CollisionGroup {
constexpr int Dynamic = 1;
constexpr int Static = 2;
constexpr int Kinematic = 4;
constexpr int QueryOnly = 8;
}  // namespace CollisionGroup

namespace CollisionMask {
constexpr int Dynamic = CollisionGroup::Dynamic | CollisionGroup::Static | CollisionGroup::Kinematic;
constexpr int Static = CollisionGroup::Dynamic;
constexpr int Kinematic = CollisionGroup::Dynamic | CollisionGroup::Kinematic;
constexpr int QueryOnly = 0;
}  // namespace CollisionMask
