#pragma once

// Shared pieces of the physics tests: hand-made level objects, the two
// scripted bodies every stepped scene needs, and log capture.

#include "physics/BodyBuilder.h"
#include "physics/PhysicsMaterial.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsScene.h"
#include "physics/PhysicsWorld.h"
#include "render/Mesh.h"
#include "render/Object.h"

#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

namespace physics_test {

// Routes standard output and standard error into strings while alive.
class LogCapture {
public:
    LogCapture() : oldOut(std::cout.rdbuf(out.rdbuf())), oldErr(std::cerr.rdbuf(err.rdbuf())) {}
    ~LogCapture() {
        std::cout.rdbuf(oldOut);
        std::cerr.rdbuf(oldErr);
    }
    std::string stdout_() const { return out.str(); }
    std::string stderr_() const { return err.str(); }

private:
    std::ostringstream out;
    std::ostringstream err;
    std::streambuf* oldOut;
    std::streambuf* oldErr;
};

// Objects that outlive the bodies bound to them.
class Objects {
public:
    Object* make(const std::string& name, const glm::vec3& position,
                 const glm::quat& rotation = glm::quat(1.0f, 0.0f, 0.0f, 0.0f)) {
        objects.push_back(std::make_unique<Object>(name));
        objects.back()->setPosition(position);
        objects.back()->setRotation(rotation);
        return objects.back().get();
    }

private:
    std::vector<std::unique_ptr<Object>> objects;
};

inline PhysicsMaterial* defaultMaterial(PhysicsWorld& world) {
    world.createMaterial("default", 0.2f, 0.2f, 0.2f);
    return world.getMaterial("default");
}

// The guard (bound to "Armature", the level's 0.85 x 1.9 x 1.7 box) and the
// labyrinth door, both kinematic, as every stepped scene needs them.
inline void addScriptedBodies(PhysicsWorld& world, PhysicsScene& scene, Objects& objects,
                              const glm::vec3& guardPosition = glm::vec3(-50.0f, 1.10005f, -50.0f),
                              const glm::quat& guardRotation = glm::quat(-0.707f, 0.707f, 0.0f, 0.0f),
                              const glm::vec3& doorPosition = glm::vec3(50.0f, 5.5f, 50.0f)) {
    PhysicsMaterial* material = defaultMaterial(world);
    DynamicRigidBody* guard = world.bodyBuilder.setObject(objects.make("Armature", guardPosition, guardRotation))
                                  .setMaterial(material)
                                  .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                  .createDynamicBox(0.85f, 1.9f, 1.7f);
    guard->setKinematic(true);
    DynamicRigidBody* door = world.bodyBuilder.setObject(objects.make("labyrinth_door", doorPosition))
                                 .setMaterial(material)
                                 .addShapeFlags(PhysicsShapeFlag::SceneQueryShape)
                                 .createDynamicBox(0.2f, 2.0f, 1.0f);
    door->setKinematic(true);
    scene.addPhysicsObject("guard", guard);
    scene.addPhysicsObject("labyrinthDoor", door);
}

inline glm::vec3 positionOf(btRigidBody* body) {
    const btVector3& p = body->getWorldTransform().getOrigin();
    return glm::vec3(p.x(), p.y(), p.z());
}

// Where a kinematic body is sent at the next step.
inline glm::vec3 targetOf(btRigidBody* body) {
    btTransform target;
    body->getMotionState()->getWorldTransform(target);
    return glm::vec3(target.getOrigin().x(), target.getOrigin().y(), target.getOrigin().z());
}

// A GL mesh from positions (normals and texture coordinates zero).
inline Mesh* makeMesh(const std::vector<glm::vec3>& positions, const std::vector<GLuint>& indices) {
    auto* vertices = new float[positions.size() * kFloatsPerVertex]();
    for (size_t i = 0; i < positions.size(); ++i) {
        vertices[i * kFloatsPerVertex + 0] = positions[i].x;
        vertices[i * kFloatsPerVertex + 1] = positions[i].y;
        vertices[i * kFloatsPerVertex + 2] = positions[i].z;
    }
    auto* indexArray = new GLuint[indices.size() > 0 ? indices.size() : 1];
    for (size_t i = 0; i < indices.size(); ++i) {
        indexArray[i] = indices[i];
    }
    return Mesh::create(static_cast<int>(indices.size()), indexArray, static_cast<int>(positions.size()),
                        vertices);
}

// A square of the given half size in the plane y = height, facing up.
inline Mesh* makeFloorMesh(float halfSize, float height) {
    return makeMesh({{-halfSize, height, -halfSize},
                     {-halfSize, height, halfSize},
                     {halfSize, height, halfSize},
                     {halfSize, height, -halfSize}},
                    {0, 1, 2, 0, 2, 3});
}

// An axis-aligned box mesh (12 triangles, outward faces counter-clockwise).
inline Mesh* makeBoxMesh(const glm::vec3& lo, const glm::vec3& hi) {
    std::vector<glm::vec3> p = {{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                                {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}};
    return makeMesh(p, {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4,
                        3, 6, 2, 3, 7, 6, 0, 4, 7, 0, 7, 3, 1, 2, 6, 1, 6, 5});
}

}  // namespace physics_test
