#include "physics/PhysicsObject.h"

#include "physics/PhysicsUserData.h"
#include "render/Object.h"

RigidActor::~RigidActor() {
    if (world != nullptr && body) {
        // Like a released actor, the body takes its joints with it.
        while (body->getNumConstraintRefs() > 0) {
            btTypedConstraint* constraint = body->getConstraintRef(body->getNumConstraintRefs() - 1);
            world->removeConstraint(constraint);
            delete constraint;
        }
        world->removeRigidBody(body.get());
        world = nullptr;
    }
    body.reset();
    motionState.reset();
    // The compound (if any) is last in the list and goes before its children.
    while (!shapes.empty()) {
        shapes.pop_back();
    }
    meshes.clear();
}

PhysicsObject::PhysicsObject(Object* object) : object(object) {}

PhysicsObject::~PhysicsObject() = default;

std::string PhysicsObject::getName() const {
    return object->getName();
}

DynamicRigidBody::DynamicRigidBody(Object* object, RigidActor* actor) : PhysicsObject(object), actor(actor) {}

DynamicRigidBody::~DynamicRigidBody() {
    delete actor;
}

btRigidBody* DynamicRigidBody::getActor() {
    return actor->body.get();
}

void DynamicRigidBody::syncObject() {
    applyPoseToObject(actor->body->getWorldTransform());
}

void DynamicRigidBody::applyPoseToObject(const btTransform& pose) {
    const btVector3& p = pose.getOrigin();
    const btQuaternion q = pose.getRotation();
    object->setPosition(glm::vec3(p.x(), p.y(), p.z()) - offset);
    object->setRotation(glm::quat(q.w(), q.x(), q.y(), q.z()));
}

void DynamicRigidBody::setKinematic(bool kinematic) {
    btRigidBody* body = actor->body.get();
    const int kinematicFlags = btCollisionObject::CF_KINEMATIC_OBJECT | btCollisionObject::CF_NO_CONTACT_RESPONSE;
    if (kinematic) {
        body->setCollisionFlags(body->getCollisionFlags() | kinematicFlags);
        body->setMassProps(0.0f, btVector3(0.0f, 0.0f, 0.0f));
        body->setLinearVelocity(btVector3(0.0f, 0.0f, 0.0f));
        body->setAngularVelocity(btVector3(0.0f, 0.0f, 0.0f));
        body->forceActivationState(DISABLE_DEACTIVATION);
    } else {
        body->setCollisionFlags(body->getCollisionFlags() & ~kinematicFlags);
        body->setMassProps(1.0f, btVector3(1.0f, 1.0f, 1.0f));
        body->forceActivationState(ACTIVE_TAG);
    }
    body->updateInertiaTensor();
    // The motion state holds the target a kinematic body moves to next.
    actor->motionState->setWorldTransform(body->getWorldTransform());

    if (actor->group != CollisionGroup::QueryOnly) {
        actor->group = kinematic ? CollisionGroup::Kinematic : CollisionGroup::Dynamic;
        actor->mask = kinematic ? CollisionMask::Kinematic : CollisionMask::Dynamic;
    }
    if (actor->world != nullptr) {
        actor->world->removeRigidBody(body);
        actor->world->addRigidBody(body, actor->group, actor->mask);
    }
}

bool DynamicRigidBody::isKinematic() const {
    return actor->body->isKinematicObject();
}

StaticRigidBody::StaticRigidBody(Object* object, RigidActor* actor) : PhysicsObject(object), actor(actor) {}

StaticRigidBody::~StaticRigidBody() {
    delete actor;
}

btRigidBody* StaticRigidBody::getActor() {
    return actor->body.get();
}
