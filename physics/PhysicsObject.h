#pragma once

#include <btBulletDynamicsCommon.h>
#include <glm/glm.hpp>

#include <memory>
#include <string>
#include <vector>

class Object;

// A Bullet rigid body with everything it needs kept alive: its motion state,
// its collision shapes (a compound and its children when a body has several)
// and the triangle data of its mesh shapes. Deleting it takes the body out of
// the world it is in, together with the joints that hold it.
class RigidActor {
public:
    RigidActor() = default;
    ~RigidActor();
    RigidActor(const RigidActor&) = delete;
    RigidActor& operator=(const RigidActor&) = delete;

    std::unique_ptr<btRigidBody> body;
    std::unique_ptr<btMotionState> motionState;
    std::vector<std::unique_ptr<btCollisionShape>> shapes;
    std::vector<std::unique_ptr<btStridingMeshInterface>> meshes;
    // The world the body is in, or null.
    btDynamicsWorld* world = nullptr;
    // Collision group and mask the body enters a world with (PhysicsUserData.h).
    int group = 0;
    int mask = 0;
};

// A rigid body bound to the scene Object it moves or blocks. The body's user
// data points back here.
class PhysicsObject {
public:
    explicit PhysicsObject(Object* object);
    virtual ~PhysicsObject();
    PhysicsObject(const PhysicsObject&) = delete;
    PhysicsObject& operator=(const PhysicsObject&) = delete;

    // Copies the simulated pose to the Object.
    virtual void syncObject() = 0;
    // The Bullet body (static bodies are bodies of mass 0).
    virtual btRigidBody* getActor() = 0;

    std::string getName() const;
    Object* getObject() const { return object; }
    glm::vec3 getOffset() const { return offset; }
    void setOffset(const glm::vec3& value) { offset = value; }

    // The owned body with its shapes, group and mask.
    virtual RigidActor* getRigidActor() = 0;

protected:
    Object* object;
    glm::vec3 offset{0.0f};
};

// A simulated body (or a kinematic one, driven by targets); owns its actor.
class DynamicRigidBody : public PhysicsObject {
public:
    DynamicRigidBody(Object* object, RigidActor* actor);
    ~DynamicRigidBody() override;

    void syncObject() override;
    btRigidBody* getActor() override;
    RigidActor* getRigidActor() override { return actor; }

    // Object position = pose position - offset; Object rotation = pose rotation.
    void applyPoseToObject(const btTransform& pose);

    // Turns the body kinematic: moved only by targets written to its motion
    // state (they take effect at the next step), its contacts detected and
    // reported but never solved, never put to sleep. A body without a
    // simulation shape stays in the query-only group.
    void setKinematic(bool kinematic);
    bool isKinematic() const;

private:
    RigidActor* actor;
};

// A body that never moves; owns its actor.
class StaticRigidBody : public PhysicsObject {
public:
    StaticRigidBody(Object* object, RigidActor* actor);
    ~StaticRigidBody() override;

    void syncObject() override {}
    btRigidBody* getActor() override;
    RigidActor* getRigidActor() override { return actor; }

private:
    RigidActor* actor;
};
