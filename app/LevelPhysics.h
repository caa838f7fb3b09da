#pragma once

class PhysicsScene;
class PhysicsWorld;
class Scene;

// Builds the level's physics from the loaded level scene: the "default" and
// "door" materials, one physics scene, a body per level object, the cell
// door's hinge with the four locks fixed to the door, and the registry names
// the game looks bodies up by ("door", "guard", "labyrinthDoor", ...).
// Returns null, after the ERROR line of the body that could not be built, when
// a level object's meshes cannot be made into a shape: start-up must end.
// A level object that is missing throws (the scene's lookup).
PhysicsScene* buildPhysicsScene(Scene& scene, PhysicsWorld& world);
