#pragma once

// Shared set-ups of the physics and player tests: log capture, hand-made
// objects and meshes, a stepped scene holding the two scripted bodies every
// scene needs, and the real cell level with its physics.

#include "app/GameState.h"
#include "app/LevelPhysics.h"
#include "physics/BodyBuilder.h"
#include "physics/PhysicsMaterial.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsScene.h"
#include "physics/PhysicsWorld.h"
#include "physics/Player.h"
#include "render/Bone.h"
#include "render/Light.h"
#include "render/Mesh.h"
#include "render/ModelLoader.h"
#include "render/Object.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "tests/support/GameDriver.h"
#include "tests/support/GlContext.h"

#include <gtest/gtest.h>

#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace physics_test {

// A capsule (cylinder 1.4, radius 0.2) at rest hovers the contact offset above the floor.
constexpr float kRestingCentre = 0.01f + 0.2f + 0.7f;

// Routes standard output and standard error into strings while alive.
class LogCapture {
public:
    LogCapture() : oldOut(std::cout.rdbuf(out.rdbuf())), oldErr(std::cerr.rdbuf(err.rdbuf())) {}
    ~LogCapture() {
        std::cout.rdbuf(oldOut);
        std::cerr.rdbuf(oldErr);
    }
    bool saysOut(const std::string& text) const { return out.str().find(text) != std::string::npos; }
    bool saysErr(const std::string& text) const { return err.str().find(text) != std::string::npos; }

private:
    std::ostringstream out, err;
    std::streambuf* oldOut;
    std::streambuf* oldErr;
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

// An axis-aligned box mesh (12 triangles, outward faces counter-clockwise).
inline Mesh* makeBoxMesh(const glm::vec3& lo, const glm::vec3& hi) {
    return makeMesh({{lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z},
                     {lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}},
                    {0, 2, 1, 0, 3, 2, 4, 5, 6, 4, 6, 7, 0, 1, 5, 0, 5, 4, 3, 6, 2, 3, 7, 6, 0, 4, 7, 0, 7, 3,
                     1, 2, 6, 1, 6, 5});
}

inline glm::vec3 positionOf(const btRigidBody* body) {
    const btVector3& p = body->getWorldTransform().getOrigin();
    return glm::vec3(p.x(), p.y(), p.z());
}

// Where a kinematic body is sent at the next step.
inline glm::vec3 targetOf(btRigidBody* body) {
    btTransform target;
    body->getMotionState()->getWorldTransform(target);
    return glm::vec3(target.getOrigin().x(), target.getOrigin().y(), target.getOrigin().z());
}

// A world with one scene (with the game's contact rule unless another
// callback is given) holding the guard (bound to "Armature", the level's
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
        BodyBuilder& b = world.bodyBuilder;
        guard = b.setObject(object("Armature", guardStart, glm::quat(-0.707f, 0.707f, 0.0f, 0.0f)))
                    .setMaterial(material).setShapeFlags(kSeen).createDynamicBox(0.85f, 1.9f, 1.7f);
        door = b.setObject(object("labyrinth_door", doorAt)).setMaterial(material).setShapeFlags(kSeen)
                   .createDynamicBox(0.2f, 2.0f, 1.0f);
        guard->setKinematic(true);
        door->setKinematic(true);
        scene->addPhysicsObject("guard", guard);
        scene->addPhysicsObject("labyrinthDoor", door);
    }
    ~Stage() {
        scene->setPlayer(nullptr);
        player.reset();
        resetGameState();
    }

    Object* object(const std::string& name, const glm::vec3& position,
                   const glm::quat& rotation = glm::quat(1.0f, 0.0f, 0.0f, 0.0f)) {
        objects.push_back(std::make_unique<Object>(name));
        objects.back()->setPosition(position);
        objects.back()->setRotation(rotation);
        return objects.back().get();
    }
    // Boxes of full extents `size`, registered under their Object's name.
    DynamicRigidBody* dynamicBox(const std::string& name, const glm::vec3& centre, const glm::vec3& size,
                                 PhysicsShapeFlags flags = kSeen) {
        return add(world.bodyBuilder.setObject(object(name, centre)).setMaterial(material).setShapeFlags(flags)
                       .createDynamicBox(size.x, size.y, size.z));
    }
    StaticRigidBody* staticBox(const std::string& name, const glm::vec3& centre, const glm::vec3& size,
                               PhysicsShapeFlags flags = kSeen) {
        return add(world.bodyBuilder.setObject(object(name, centre)).setMaterial(material).setShapeFlags(flags)
                       .createStaticBox(size.x, size.y, size.z));
    }
    template <class Body>
    Body* add(Body* body) {
        scene->addPhysicsObject(body->getName(), body);
        return body;
    }
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
            if (player) {
                player->processInput([&held](int key) { return held.count(key) > 0; }, scene->getFixedTimeStep());
            }
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

// The real level: cell.fbx loaded through a real GL context and renderer,
// and the physics scene built from it.
class CellLevelTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetGameState();
        context = std::make_unique<GlContext>(96, 64);
        if (context->displayMissing()) GTEST_SKIP() << context->reason();
        ASSERT_TRUE(context->ok()) << context->reason();
        renderer = std::make_unique<Renderer>(context->window(), 96, 64);
        renderer->getShaderManager().load("phong", "assets/shaders/phong");
        loader = std::make_unique<ModelLoader>(renderer.get());
        scene = std::make_unique<Scene>(loader.get());
        rootBone = nullptr;
        scene->loadModel("assets/models/cell.fbx");
        world = std::make_unique<PhysicsWorld>();
        physics = buildPhysicsScene(*scene, *world);
        ASSERT_NE(physics, nullptr);
    }
    void TearDown() override {
        if (physics != nullptr) physics->setPlayer(nullptr);
        player.reset();
        world.reset();
        if (scene) {
            for (const auto& entry : scene->getObjects()) delete entry.second;
            for (Light* light : scene->getLights()) delete light;
        }
        scene.reset();
        loader.reset();
        renderer.reset();
        context.reset();
        rootBone = nullptr;
        resetGameState();
    }

    btTransform poseOf(const std::string& name) {
        return physics->getPhysicsObject(name)->getActor()->getWorldTransform();
    }

    std::unique_ptr<GlContext> context;
    std::unique_ptr<Renderer> renderer;
    std::unique_ptr<ModelLoader> loader;
    std::unique_ptr<Scene> scene;
    std::unique_ptr<PhysicsWorld> world;
    PhysicsScene* physics = nullptr;
    std::unique_ptr<Player> player;
};

}  // namespace physics_test
