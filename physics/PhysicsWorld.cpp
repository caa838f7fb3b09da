#include "physics/PhysicsWorld.h"

#include "app/SceneCollisionCallback.h"
#include "physics/PhysicsMaterial.h"
#include "physics/PhysicsScene.h"

#include <BulletCollision/CollisionDispatch/btManifoldResult.h>

namespace {

// Two touching bodies use the mean of their coefficients (Bullet would
// multiply them).
btScalar averageFriction(const btCollisionObject* body0, const btCollisionObject* body1) {
    return (body0->getFriction() + body1->getFriction()) * btScalar(0.5);
}

btScalar averageRestitution(const btCollisionObject* body0, const btCollisionObject* body1) {
    return (body0->getRestitution() + body1->getRestitution()) * btScalar(0.5);
}

}  // namespace

PhysicsWorld::PhysicsWorld() : materialManager(nullptr), bodyBuilder(this) {
    gCalculateCombinedFrictionCallback = &averageFriction;
    gCalculateCombinedRestitutionCallback = &averageRestitution;
    materialManager = new PhysicsMaterialManager();
}

PhysicsWorld::~PhysicsWorld() {
    delete materialManager;
    materialManager = nullptr;
    for (PhysicsScene* scene : scenes) {
        delete scene;
    }
    scenes.clear();
}

bool PhysicsWorld::createMaterial(const std::string& name, float staticFriction, float dynamicFriction,
                                  float restitution) {
    return materialManager->create(name, staticFriction, dynamicFriction, restitution);
}

PhysicsMaterial* PhysicsWorld::getMaterial(const std::string& name) {
    return materialManager->get(name);
}

PhysicsScene* PhysicsWorld::createScene(ModelLoader* loader) {
    auto* scene = new PhysicsScene(loader, new SceneCollisionCallback());
    scenes.push_back(scene);
    return scene;
}
