#pragma once

#include "physics/PhysicsUserData.h"

#include <glm/glm.hpp>

#include <functional>

class DynamicRigidBody;
class Object;
class PhysicsMaterial;
class PhysicsWorld;
class RigidActor;
class StaticRigidBody;

// Builds level bodies: name the Object, the material and the shape flags,
// then call one create operation. The body is posed at the Object's position
// and rotation and bound to it; the builder then resets itself.
// New dynamic bodies have mass 1, inertia (1, 1, 1), no linear damping and
// angular damping 0.05 (the inertia is not derived from the shape).
class BodyBuilder {
public:
    // Shape flags after a reset: simulated and drawn, but not seen by queries.
    static constexpr PhysicsShapeFlags resetShapeFlags =
        PhysicsShapeFlag::SimulationShape | PhysicsShapeFlag::Visualization;

    explicit BodyBuilder(PhysicsWorld* world);

    BodyBuilder& setObject(Object* value);
    BodyBuilder& setMaterial(PhysicsMaterial* value);
    BodyBuilder& setShapeFlags(const PhysicsShapeFlags& flags);
    BodyBuilder& addShapeFlags(const PhysicsShapeFlags& flags);

    // Boxes take full extents along the Object's local axes.
    DynamicRigidBody* createDynamicBox(const float& width, const float& height, const float& depth);
    StaticRigidBody* createStaticBox(const float& width, const float& height, const float& depth);
    // One shape per Mesh of the Object; an Object without meshes gets a body
    // without a shape. Null, with "Error creating triangle mesh." logged, when
    // a mesh cannot be made into a shape (an empty mesh, an index out of
    // range); the builder is then not reset.
    DynamicRigidBody* createDynamicConvexMesh();
    StaticRigidBody* createStaticConvexMesh();
    StaticRigidBody* createStaticTriangleMesh();

    Object* getObject() const { return object; }
    PhysicsMaterial* getMaterial() const { return material; }
    PhysicsShapeFlags getShapeFlags() const { return shapeFlags; }

private:
    enum class ShapeKind { ConvexHull, TriangleMesh };

    RigidActor* makeActor(bool dynamic) const;
    void addBoxShape(RigidActor& actor, float width, float height, float depth) const;
    bool addMeshShapes(RigidActor& actor, ShapeKind kind) const;
    void finishActor(RigidActor& actor, bool dynamic) const;
    // The common path of every create operation: checks the object and the
    // material, lets addShapes fill the actor, poses it. Null after an error.
    RigidActor* buildActor(bool dynamic, const std::function<bool(RigidActor&)>& addShapes) const;
    // Wraps a built actor in its body and makes the builder ready for the next one.
    template <class Body>
    Body* bind(RigidActor* actor);
    void reset();

    PhysicsWorld* world;
    Object* object = nullptr;
    PhysicsMaterial* material = nullptr;
    PhysicsShapeFlags shapeFlags = resetShapeFlags;
    glm::vec3 offset{0.0f};
};
