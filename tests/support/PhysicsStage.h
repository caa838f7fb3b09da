#pragma once

// Shared set-up of the physics and player tests: log capture, hand-made meshes
// and a stepped scene holding the two scripted bodies every scene needs.

#include "app/GameState.h"
#include "physics/BodyBuilder.h"
#include "physics/PhysicsMaterial.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsUserData.h"
#include "physics/PhysicsScene.h"
#include "physics/PhysicsWorld.h"
#include "physics/Player.h"
#include "render/Mesh.h"
#include "render/Object.h"
#include "tests/support/GameDriver.h"  // resetGameState, and the GL context tests

#include <cmath>
#include <cstdio>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <tuple>

// A capsule (cylinder 1.4, radius 0.2) at rest hovers the contact offset above the floor.
constexpr float kRestingCentre = 0.01f + 0.2f + 0.7f;

// Routes standard output and standard error into strings while alive.
struct LogCapture {
    LogCapture() : oldOut(std::cout.rdbuf(out.rdbuf())), oldErr(std::cerr.rdbuf(err.rdbuf())) {}
    ~LogCapture() { std::cout.rdbuf(oldOut), std::cerr.rdbuf(oldErr); }
    bool saysErr(const std::string& text) const { return err.str().find(text) != std::string::npos; }
    std::ostringstream out, err;
    std::streambuf *oldOut, *oldErr;
};

// A GL mesh from positions (normals and texture coordinates zero).
inline Mesh* makeMesh(const std::vector<glm::vec3>& positions, const std::vector<GLuint>& indices) {
    auto* vertices = new float[positions.size() * kFloatsPerVertex]();
    for (size_t i = 0; i < positions.size(); ++i) {
        for (int c = 0; c < 3; ++c) vertices[i * kFloatsPerVertex + c] = positions[i][c];
    }
    auto* indexArray = new GLuint[indices.empty() ? 1 : indices.size()];
    std::copy(indices.begin(), indices.end(), indexArray);
    return Mesh::create(static_cast<int>(indices.size()), indexArray, static_cast<int>(positions.size()), vertices);
}

inline glm::vec3 toGlm(const btVector3& v) { return glm::vec3(v.x(), v.y(), v.z()); }

// Where a kinematic body is sent at the next step.
inline btTransform targetOf(btRigidBody* body) {
    btTransform target;
    body->getMotionState()->getWorldTransform(target);
    return target;
}

// A world with one scene (with the game's contact rule unless another
// callback is given, which the stage then owns) holding the guard (bound to "Armature", the level's
// 0.85 x 1.9 x 1.7 box) and the labyrinth door, both kinematic and far away
// unless placed. Resets the game state on both ends.
class Stage {
public:
    static constexpr PhysicsShapeFlags kSeen = BodyBuilder::resetShapeFlags | PhysicsShapeFlag::SceneQueryShape;

    explicit Stage(const glm::vec3& guardStart = glm::vec3(-50.0f, 1.10005f, -50.0f),
                   const glm::vec3& doorAt = glm::vec3(50.0f, 5.5f, 50.0f), ContactReportCallback* callback = nullptr) {
        resetGameState();
        if (callback != nullptr) ownScene = std::make_unique<PhysicsScene>(nullptr, callback);
        scene = callback != nullptr ? ownScene.get() : world.createScene(nullptr);
        world.createMaterial("default", 0.2f, 0.2f, 0.2f);
        material = world.getMaterial("default");
        object("Armature", guardStart)->setRotation(glm::quat(-0.707f, 0.707f, 0.0f, 0.0f));
        guard = world.bodyBuilder.setObject(objects.back().get()).setMaterial(material).setShapeFlags(kSeen)
                    .createDynamicBox(0.85f, 1.9f, 1.7f);
        door = dynamicBox("labyrinth_door", doorAt, glm::vec3(0.2f, 2.0f, 1.0f), kSeen, false);
        guard->setKinematic(true);
        door->setKinematic(true);
        scene->addPhysicsObject("guard", guard);
        scene->addPhysicsObject("labyrinthDoor", door);
    }
    ~Stage() { scene->setPlayer(nullptr), player.reset(), resetGameState(); }

    Object* object(const std::string& name, const glm::vec3& position) {
        Object* made = objects.emplace_back(std::make_unique<Object>(name)).get();
        made->setPosition(position);
        return made;
    }
    // Boxes of full extents `size`, registered under their Object's name.
    DynamicRigidBody* dynamicBox(const std::string& name, const glm::vec3& centre, const glm::vec3& size,
                                 PhysicsShapeFlags flags = kSeen, bool registered = true) {
        auto* body = world.bodyBuilder.setObject(object(name, centre)).setMaterial(material).setShapeFlags(flags)
                         .createDynamicBox(size.x, size.y, size.z);
        return registered ? add(body) : body;
    }
    StaticRigidBody* staticBox(const std::string& name, const glm::vec3& centre, const glm::vec3& size,
                               PhysicsShapeFlags flags = kSeen) {
        return add(world.bodyBuilder.setObject(object(name, centre)).setMaterial(material).setShapeFlags(flags)
                       .createStaticBox(size.x, size.y, size.z));
    }
    template <class Body>
    Body* add(Body* body) { return scene->addPhysicsObject(body->getName(), body), body; }
    // A floor whose top is y = 0.
    StaticRigidBody* addFloor(const glm::vec3& centre = glm::vec3(0.0f), float size = 40.0f) {
        return staticBox("floor", centre - glm::vec3(0.0f, 0.05f, 0.0f), glm::vec3(size, 0.1f, size));
    }
    // A standing player (height 1.4, radius 0.2), the scene's and the rules' current one.
    Player* addPlayer(const glm::vec3& at) {
        player = std::make_unique<Player>(scene, material, 1.4f, 0.2f, at);
        scene->setPlayer(player.get());
        currentPlayer = player.get();
        return player.get();
    }
    // Frames of one fixed step each, the keys held for each.
    void run(int steps, const std::set<int>& held = {}) {
        for (int i = 0; i < steps; ++i) {
            if (player) player->processInput([&held](int key) { return held.count(key) > 0; }, scene->getFixedTimeStep());
            scene->update(scene->getFixedTimeStep());
        }
    }

    std::vector<std::unique_ptr<Object>> objects;  // outlive the bodies bound to them
    PhysicsWorld world;
    std::unique_ptr<PhysicsScene> ownScene;
    PhysicsScene* scene = nullptr;
    PhysicsMaterial* material = nullptr;
    DynamicRigidBody* guard = nullptr;
    DynamicRigidBody* door = nullptr;
    std::unique_ptr<Player> player;
};
