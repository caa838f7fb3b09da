#pragma once

#include "physics/ContactReport.h"
#include "physics/PhysicsQueryFilterCallback.h"

#include <btBulletDynamicsCommon.h>
#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <memory>
#include <set>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

class ModelLoader;
class PhysicsObject;
class Player;

// One stop of the guard's patrol: reached `duration` seconds after the
// segment towards it starts.
struct GuardWaypoint {
    float duration;
    glm::vec3 position;
    glm::quat rotation;
};

// One simulated world: the level's bodies by name, a fixed-step clock that
// also drives the guard's patrol, the labyrinth door and the player, contact
// reports, and the focus ray.
class PhysicsScene {
public:
    // Builds the Bullet world (gravity (0, -9.81, 0), no bounce below
    // 1.962 m/s). Takes ownership of the contact callback (may be null).
    PhysicsScene(ModelLoader* loader, ContactReportCallback* contactCallback);
    // Deletes the joints, then the bodies, then the world. The player is not deleted.
    ~PhysicsScene();
    PhysicsScene(const PhysicsScene&) = delete;
    PhysicsScene& operator=(const PhysicsScene&) = delete;

    // Takes the body and adds it to the world; a taken name only warns and
    // leaves the body with the caller.
    void addPhysicsObject(const std::string& name, PhysicsObject* body);
    // Logs and throws std::runtime_error for an unknown name.
    PhysicsObject* getPhysicsObject(const std::string& name);

    btDiscreteDynamicsWorld* getDynamicsWorld() { return dynamicsWorld.get(); }
    void setPlayer(Player* value) { player = value; }
    Player* getPlayer() const { return player; }

    // Runs up to four fixed steps of 1/60 s for the frame time; false when
    // none ran. Each step: simulate, report contacts, move the guard, move
    // the labyrinth door, move the player. Time beyond four steps is dropped.
    bool update(double frameTime);
    // Copies every body's simulated pose to its Object.
    void syncObjects();
    void updateGuard(float dt);
    void updateLabyrinthDoor(float dt);

    // The body the player looks at within maxDistance from the eye, seen only
    // if it has the scene-query flag and is not in the filter (the player is
    // always passed through; the caller's filter is not changed).
    PhysicsObject* raycast(float maxDistance, PhysicsQueryFilterCallback filter);

    double getAccumulator() const { return accumulator; }
    float getFixedTimeStep() const { return fixedTimeStep; }
    int getGuardWaypointIndex() const { return guardWaypointIndex; }
    const std::vector<GuardWaypoint>& getGuardWaypoints() const { return guardWaypoints; }

private:
    // Compares the bodies touching after a step with those before and
    // reports the pairs that started and stopped touching.
    void reportContacts();

    std::unique_ptr<btDefaultCollisionConfiguration> collisionConfiguration;
    std::unique_ptr<btCollisionDispatcher> dispatcher;
    std::unique_ptr<btBroadphaseInterface> broadphase;
    std::unique_ptr<btSequentialImpulseConstraintSolver> solver;
    std::unique_ptr<btDiscreteDynamicsWorld> dynamicsWorld;
    std::unique_ptr<ContactReportCallback> contactCallback;
    std::set<std::pair<const btCollisionObject*, const btCollisionObject*>> touchingPairs;

    std::unordered_map<std::string, PhysicsObject*> physicsObjects;
    Player* player = nullptr;
    double accumulator = 0.0;
    float fixedTimeStep = 1.0f / 60.0f;

    int guardWaypointIndex = 0;
    float guardSegmentTime = 0.0f;
    glm::vec3 guardStartPosition{0.0f};
    glm::quat guardStartRotation{0.0f, 0.0f, 0.0f, 0.0f};
    bool guardSegmentStarted = false;
    std::vector<GuardWaypoint> guardWaypoints;

    float doorDuration = 2.0f;
    glm::vec3 doorTargetPosition{21.6903f, 5.5f, -2.59875f};
    glm::quat doorTargetRotation{1.0f, 0.0f, 0.0f, 0.0f};
    float doorTime = 0.0f;
    glm::vec3 doorStartPosition{0.0f};
    glm::quat doorStartRotation{0.0f, 0.0f, 0.0f, 0.0f};
};
