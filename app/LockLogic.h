#pragma once

#include <array>

class ConfettiEmitter;
class Lock;
class PhysicsScene;
class Scene;

using CellLocks = std::array<Lock*, 4>;

// Finds "lock1" to "lock4" in the level scene and gives each its digit of
// the door code, then its label (showing 0). The scene must be handed to the
// renderer already. A missing lock throws (the scene's lookup); an object of
// a lock's name that is no Lock logs and throws.
CellLocks setUpLocks(Scene& worldScene);

// Every lock, lock1 first, shows its target digit.
bool allLocksSolved(const CellLocks& locks);

// Once all locks are solved and the door is still shut: one push on the
// physics body "door" for the next step, the door counts as opened and the
// confetti starts. Returns whether the door was pushed.
bool pushDoorIfSolved(const CellLocks& locks, PhysicsScene& physicsScene, ConfettiEmitter& confetti);
