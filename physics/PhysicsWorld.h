#pragma once

#include "physics/BodyBuilder.h"

#include <string>
#include <vector>

class ModelLoader;
class PhysicsMaterial;
class PhysicsMaterialManager;
class PhysicsScene;

// Owns the named physics materials, the body builder and every physics scene.
// Two touching bodies combine their friction and their restitution by the
// average of the two (set for the whole process on construction).
class PhysicsWorld {
public:
    PhysicsWorld();
    ~PhysicsWorld();
    PhysicsWorld(const PhysicsWorld&) = delete;
    PhysicsWorld& operator=(const PhysicsWorld&) = delete;

    bool createMaterial(const std::string& name, float staticFriction, float dynamicFriction, float restitution);
    // Logs and throws for an unknown name.
    PhysicsMaterial* getMaterial(const std::string& name);
    // The world keeps the scene; its contact reports go to a SceneCollisionCallback.
    PhysicsScene* createScene(ModelLoader* loader);

    PhysicsMaterialManager* materialManager;
    BodyBuilder bodyBuilder;
    std::vector<PhysicsScene*> scenes;
};
