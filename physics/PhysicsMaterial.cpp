#include "physics/PhysicsMaterial.h"

#include "app/Logger.h"

#include <btBulletDynamicsCommon.h>

#include <stdexcept>

PhysicsMaterial::PhysicsMaterial(float staticFriction, float dynamicFriction, float restitution)
    : staticFriction(staticFriction), dynamicFriction(dynamicFriction), restitution(restitution) {}

void PhysicsMaterial::setFlag(PhysicsMaterialFlag flag, bool value) {
    const auto bit = static_cast<unsigned short>(flag);
    flags = value ? static_cast<unsigned short>(flags | bit) : static_cast<unsigned short>(flags & ~bit);
}

bool PhysicsMaterial::getFlag(PhysicsMaterialFlag flag) const {
    return (flags & static_cast<unsigned short>(flag)) != 0;
}

void PhysicsMaterial::applyTo(btRigidBody& body) const {
    // Bullet keeps one friction coefficient per body; sliding is what the
    // player and the door do, so it takes the dynamic one.
    body.setFriction(dynamicFriction);
    if (getFlag(PhysicsMaterialFlag::CompliantContact) && restitution < 0.0f) {
        body.setRestitution(0.0f);
        body.setContactStiffnessAndDamping(-restitution, damping);
    } else {
        body.setRestitution(restitution);
    }
}

PhysicsMaterialManager::~PhysicsMaterialManager() {
    for (auto& entry : materials) {
        delete entry.second;
    }
    materials.clear();
}

bool PhysicsMaterialManager::create(const std::string& name, float staticFriction, float dynamicFriction,
                                    float restitution) {
    if (materials.find(name) != materials.end()) {
        Logger::log("Physics material " + name + " already exists!", WARNING);
        return false;
    }
    materials[name] = new PhysicsMaterial(staticFriction, dynamicFriction, restitution);
    Logger::log("Created physics material " + name + ".", DEBUG);
    return true;
}

PhysicsMaterial* PhysicsMaterialManager::get(const std::string& name) {
    auto found = materials.find(name);
    if (found == materials.end()) {
        const std::string message = "No material with name " + name + " found.";
        Logger::error(message);
        throw std::runtime_error(message);
    }
    return found->second;
}
