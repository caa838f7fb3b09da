#pragma once

#include <string>
#include <unordered_map>

class btRigidBody;

// Material flags, by the values the level set-up writes.
enum class PhysicsMaterialFlag : unsigned short {
    // Restitution below zero is the stiffness of a contact spring and the
    // damping that spring's damping.
    CompliantContact = 8,
};

// Surface properties handed to the bodies built with it. A body copies them
// when it is built; two touching bodies combine friction and restitution by
// their average.
class PhysicsMaterial {
public:
    PhysicsMaterial(float staticFriction, float dynamicFriction, float restitution);

    void setFlag(PhysicsMaterialFlag flag, bool value);
    bool getFlag(PhysicsMaterialFlag flag) const;
    void setRestitution(float value) { restitution = value; }
    void setDamping(float value) { damping = value; }

    float getStaticFriction() const { return staticFriction; }
    float getDynamicFriction() const { return dynamicFriction; }
    float getRestitution() const { return restitution; }
    float getDamping() const { return damping; }

    // Friction, restitution and, for a compliant material, the contact spring.
    void applyTo(btRigidBody& body) const;

private:
    float staticFriction;
    float dynamicFriction;
    float restitution;
    float damping = 0.0f;
    unsigned short flags = 0;
};

// Named physics materials (a name space of its own, apart from the render
// materials). Owns its materials.
class PhysicsMaterialManager {
public:
    PhysicsMaterialManager() = default;
    ~PhysicsMaterialManager();
    PhysicsMaterialManager(const PhysicsMaterialManager&) = delete;
    PhysicsMaterialManager& operator=(const PhysicsMaterialManager&) = delete;

    // False, with a warning, when the name is taken; the first one stays.
    bool create(const std::string& name, float staticFriction, float dynamicFriction, float restitution);
    // Logs and throws std::runtime_error for an unknown name.
    PhysicsMaterial* get(const std::string& name);

private:
    std::unordered_map<std::string, PhysicsMaterial*> materials;
};
