#include "physics/PhysicsScene.h"

#include "app/GameState.h"
#include "app/Logger.h"
#include "physics/Player.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsUserData.h"

#include <BulletCollision/NarrowPhaseCollision/btRaycastCallback.h>

#include <algorithm>
#include <map>
#include <stdexcept>
#include <unordered_set>
#include <utility>

namespace {

// No restitution below this closing speed (0.2 x 9.81 m/s).
constexpr btScalar kBounceThreshold = 0.2f * 9.81f;

// Patrol rows: all at y = 1.10005; rotations written x, y, z, w.
struct PatrolRow {
    float duration;
    float x;
    float z;
    float qx, qy, qz, qw;
};

constexpr PatrolRow kPatrol[] = {
    {2.0f, 12.9f, -5.23823f, 0.707f, 0.0f, 0.0f, -0.707f},
    {1.0f, 12.9f, -5.23823f, 0.5f, -0.5f, -0.5f, -0.5f},
    {1.0f, 12.9f, -2.15f, 0.5f, -0.5f, -0.5f, -0.5f},
    {1.0f, 12.9f, -2.15f, 0.0f, -0.707f, -0.707f, 0.0f},
    {1.0f, 15.0f, -2.15f, 0.0f, -0.707f, -0.707f, 0.0f},
    {1.0f, 15.0f, -2.15f, 0.5f, -0.5f, -0.5f, -0.5f},
    {1.0f, 15.0f, 0.0f, 0.5f, -0.5f, -0.5f, -0.5f},
    {1.0f, 15.0f, 0.0f, 0.0f, -0.707f, -0.707f, 0.0f},
    {1.0f, 17.4494f, 0.0f, 0.0f, -0.707f, -0.707f, 0.0f},
    {1.0f, 17.4494f, 0.0f, -0.5f, -0.5f, -0.5f, 0.5f},
    {2.0f, 17.4494f, -5.23823f, -0.5f, -0.5f, -0.5f, 0.5f},
    {1.0f, 17.4494f, -5.23823f, 0.707f, 0.0f, 0.0f, -0.707f},
};

constexpr float kGuardHeight = 1.10005f;
constexpr int kMaxStepsPerFrame = 4;

void readPose(btRigidBody* body, glm::vec3& position, glm::quat& rotation) {
    const btTransform& pose = body->getWorldTransform();
    const btVector3& p = pose.getOrigin();
    const btQuaternion q = pose.getRotation();
    position = glm::vec3(p.x(), p.y(), p.z());
    rotation = glm::quat(q.w(), q.x(), q.y(), q.z());
}

// A kinematic body moves to its target at the next step.
void setKinematicTarget(btRigidBody* body, const glm::vec3& position, const glm::quat& rotation) {
    const btTransform target(btQuaternion(rotation.x, rotation.y, rotation.z, rotation.w),
                             btVector3(position.x, position.y, position.z));
    body->getMotionState()->setWorldTransform(target);
}

enum class BoxCrossing { Misses, Enters, StartsInside };

// Whether the segment from -> to meets a box body, and where it enters it:
// the fraction along the segment and the face's normal in world space.
BoxCrossing crossBox(const btCollisionObject& object, const btVector3& from, const btVector3& to,
                     btScalar& fraction, btVector3& normal) {
    const auto& box = static_cast<const btBoxShape&>(*object.getCollisionShape());
    const btVector3 half = box.getHalfExtentsWithMargin();
    const btTransform toLocal = object.getWorldTransform().inverse();
    const btVector3 start = toLocal(from);
    const btVector3 direction = toLocal(to) - start;
    btScalar enter = 0.0f, leave = 1.0f;
    int enterAxis = -1;
    for (int axis = 0; axis < 3; ++axis) {
        if (btFabs(direction[axis]) < SIMD_EPSILON) {
            if (start[axis] < -half[axis] || start[axis] > half[axis]) return BoxCrossing::Misses;
            continue;
        }
        // Fractions at which the segment meets the box's two planes across this axis.
        btScalar atLow = (-half[axis] - start[axis]) / direction[axis];
        btScalar atHigh = (half[axis] - start[axis]) / direction[axis];
        if (atLow > atHigh) std::swap(atLow, atHigh);
        if (atLow > enter) {
            enter = atLow;
            enterAxis = axis;
        }
        leave = std::min(leave, atHigh);
        if (enter > leave) return BoxCrossing::Misses;
    }
    if (enterAxis < 0) return BoxCrossing::StartsInside;
    btVector3 localNormal(0.0f, 0.0f, 0.0f);
    localNormal[enterAxis] = direction[enterAxis] > 0.0f ? -1.0f : 1.0f;
    fraction = enter;
    normal = object.getWorldTransform().getBasis() * localNormal;
    return BoxCrossing::Enters;
}

// Sees only bodies with the scene-query flag that the filter lets through,
// and triangle meshes from their front side only.
class FocusRayCallback : public btCollisionWorld::ClosestRayResultCallback {
public:
    FocusRayCallback(const btVector3& from, const btVector3& to, const PhysicsQueryFilterCallback& filter)
        : ClosestRayResultCallback(from, to), filter(filter) {
        m_flags = btTriangleRaycastCallback::kF_FilterBackfaces;
    }

    bool needsCollision(btBroadphaseProxy* proxy) const override {
        const auto* candidate = static_cast<const btCollisionObject*>(proxy->m_clientObject);
        return isSceneQuery(candidate) && filter.preFilter(candidate) == QueryHitType::Block;
    }

    // Bullet's ray against a convex shape stops within a centimetre of it, so
    // a box (a lock's thin plate among them) would be hit up to that far in
    // front of its face, even from beyond the ray's end. A box is hit where
    // the ray enters it.
    btScalar addSingleResult(btCollisionWorld::LocalRayResult& result, bool normalInWorldSpace) override {
        const btCollisionObject& object = *result.m_collisionObject;
        if (object.getCollisionShape()->getShapeType() != BOX_SHAPE_PROXYTYPE) {
            return ClosestRayResultCallback::addSingleResult(result, normalInWorldSpace);
        }
        btScalar fraction = 0.0f;
        btVector3 normal;
        switch (crossBox(object, m_rayFromWorld, m_rayToWorld, fraction, normal)) {
            case BoxCrossing::StartsInside:
                return ClosestRayResultCallback::addSingleResult(result, normalInWorldSpace);
            case BoxCrossing::Misses:
                return m_closestHitFraction;
            case BoxCrossing::Enters:
                break;
        }
        if (fraction >= m_closestHitFraction) {
            return m_closestHitFraction;
        }
        result.m_hitFraction = fraction;
        result.m_hitNormalLocal = normal;
        return ClosestRayResultCallback::addSingleResult(result, true);
    }

private:
    const PhysicsQueryFilterCallback& filter;
};

// Bullet's default pools hold 4096 contact manifolds and collision
// algorithms, about 4 MB, for a level of a few dozen bodies; past the pool
// Bullet allocates one by one.
btDefaultCollisionConstructionInfo collisionPools() {
    btDefaultCollisionConstructionInfo info;
    info.m_defaultMaxPersistentManifoldPoolSize = 256;
    info.m_defaultMaxCollisionAlgorithmPoolSize = 256;
    return info;
}

}  // namespace

PhysicsScene::PhysicsScene(ModelLoader* /*loader*/, ContactReportCallback* contactCallback)
    : collisionConfiguration(std::make_unique<btDefaultCollisionConfiguration>(collisionPools())),
      dispatcher(std::make_unique<btCollisionDispatcher>(collisionConfiguration.get())),
      broadphase(std::make_unique<btDbvtBroadphase>()),
      solver(std::make_unique<btSequentialImpulseConstraintSolver>()),
      contactCallback(contactCallback) {
    dynamicsWorld = std::make_unique<btDiscreteDynamicsWorld>(dispatcher.get(), broadphase.get(), solver.get(),
                                                              collisionConfiguration.get());
    dynamicsWorld->setGravity(btVector3(0.0f, -9.81f, 0.0f));
    dynamicsWorld->getSolverInfo().m_restitutionVelocityThreshold = kBounceThreshold;

    guardWaypoints.reserve(std::size(kPatrol));
    for (const PatrolRow& row : kPatrol) {
        guardWaypoints.push_back(GuardWaypoint{row.duration, glm::vec3(row.x, kGuardHeight, row.z),
                                               glm::quat(row.qw, row.qx, row.qy, row.qz)});
    }
}

PhysicsScene::~PhysicsScene() {
    // Joints first, while the bodies they hold still exist.
    for (int i = dynamicsWorld->getNumConstraints() - 1; i >= 0; --i) {
        btTypedConstraint* constraint = dynamicsWorld->getConstraint(i);
        dynamicsWorld->removeConstraint(constraint);
        delete constraint;
    }
    for (auto& entry : physicsObjects) {
        delete entry.second;
    }
    physicsObjects.clear();
}

void PhysicsScene::addPhysicsObject(const std::string& name, PhysicsObject* body) {
    if (physicsObjects.find(name) != physicsObjects.end()) {
        Logger::log("PhysicsObject " + name + " already exists!", WARNING);
        return;
    }
    physicsObjects[name] = body;
    RigidActor* actor = body->getRigidActor();
    dynamicsWorld->addRigidBody(actor->body.get(), actor->group, actor->mask);
    actor->world = dynamicsWorld.get();
}

PhysicsObject* PhysicsScene::getPhysicsObject(const std::string& name) {
    auto found = physicsObjects.find(name);
    if (found == physicsObjects.end()) {
        const std::string message = "No physics object with name " + name + " found.";
        Logger::error(message);
        throw std::runtime_error(message);
    }
    return found->second;
}

bool PhysicsScene::update(double frameTime) {
    accumulator += frameTime;
    const double step = static_cast<double>(fixedTimeStep);
    if (step > accumulator) {
        return false;
    }
    const int steps = std::min(static_cast<int>(accumulator / step), kMaxStepsPerFrame);
    while (accumulator >= step) {
        accumulator -= step;
    }
    for (int i = 0; i < steps; ++i) {
        // One step of exactly our own length: Bullet's sub-stepping stays off.
        dynamicsWorld->stepSimulation(fixedTimeStep, 0);
        reportContacts();
        updateGuard(fixedTimeStep);
        updateLabyrinthDoor(fixedTimeStep);
        if (player != nullptr) {
            player->update(step, steps);
        }
    }
    if (player != nullptr) {
        player->clearDisplacement();
    }
    return true;
}

void PhysicsScene::reportContacts() {
    using Pair = std::pair<const btCollisionObject*, const btCollisionObject*>;
    // Keyed by the ordered pair, holding the pair as the dispatcher gave it.
    std::map<Pair, Pair> touching;
    const int manifoldCount = dispatcher->getNumManifolds();
    for (int i = 0; i < manifoldCount; ++i) {
        const btPersistentManifold* manifold = dispatcher->getManifoldByIndexInternal(i);
        for (int j = 0; j < manifold->getNumContacts(); ++j) {
            if (manifold->getContactPoint(j).getDistance() <= 0.0f) {
                const Pair pair(manifold->getBody0(), manifold->getBody1());
                touching.emplace(std::minmax(pair.first, pair.second), pair);
                break;
            }
        }
    }

    std::vector<Pair> found;
    for (const auto& entry : touching) {
        if (touchingPairs.count(entry.first) == 0) {
            found.push_back(entry.second);
        }
    }
    std::vector<Pair> lost;
    for (const Pair& pair : touchingPairs) {
        if (touching.count(pair) == 0) {
            lost.push_back(pair);
        }
    }
    touchingPairs.clear();
    for (const auto& entry : touching) {
        touchingPairs.insert(entry.first);
    }

    if (!contactCallback) {
        return;
    }
    for (const Pair& pair : found) {
        const ContactPairHeader header{{pair.first, pair.second}};
        const ContactPair report{ContactPairFlag::ActorPairHasFirstTouch};
        contactCallback->onContact(header, &report, 1);
    }
    if (lost.empty()) {
        return;
    }
    // A body taken out of the world since the last step is not reported.
    const btCollisionObjectArray& objects = dynamicsWorld->getCollisionObjectArray();
    std::unordered_set<const btCollisionObject*> present;
    for (int i = 0; i < objects.size(); ++i) {
        present.insert(objects[i]);
    }
    for (const Pair& pair : lost) {
        if (present.count(pair.first) == 0 || present.count(pair.second) == 0) {
            continue;
        }
        const ContactPairHeader header{{pair.first, pair.second}};
        const ContactPair report{ContactPairFlag::ActorPairLostTouch};
        contactCallback->onContact(header, &report, 1);
    }
}

void PhysicsScene::syncObjects() {
    for (auto& entry : physicsObjects) {
        entry.second->syncObject();
    }
}

void PhysicsScene::updateGuard(float dt) {
    btRigidBody* actor = getPhysicsObject("guard")->getActor();
    const GuardWaypoint waypoint = guardWaypoints[guardWaypointIndex];
    glm::vec3 position;
    glm::quat rotation;
    readPose(actor, position, rotation);

    if (guardSegmentTime == waypoint.duration) {
        guardSegmentTime = 0.0f;
        guardWaypointIndex = (guardWaypointIndex + 1) % static_cast<int>(guardWaypoints.size());
        guardSegmentStarted = false;
        updateGuard(dt);
        return;
    }
    if (!guardSegmentStarted) {
        guardStartPosition = position;
        guardStartRotation = rotation;
        guardSegmentStarted = true;
    }
    float step = dt;
    if (guardSegmentTime + dt > waypoint.duration) {
        step = waypoint.duration - guardSegmentTime;
    }
    guardSegmentTime += step;
    const float t = (1.0f / waypoint.duration) * guardSegmentTime;
    const glm::vec3 targetPosition = (1.0f - t) * guardStartPosition + t * waypoint.position;
    const glm::quat targetRotation = glm::normalize(glm::slerp(guardStartRotation, waypoint.rotation, t));
    setKinematicTarget(actor, targetPosition, targetRotation);
    if (dt > step) {
        updateGuard(dt - step);
    }
}

void PhysicsScene::updateLabyrinthDoor(float dt) {
    btRigidBody* actor = getPhysicsObject("labyrinthDoor")->getActor();
    glm::vec3 position;
    glm::quat rotation;
    readPose(actor, position, rotation);

    if (!pressurePlatePressed || doorTime == doorDuration) {
        doorStartPosition = position;
        doorStartRotation = rotation;
        return;
    }
    float step = dt;
    if (doorTime + dt > doorDuration) {
        step = doorDuration - doorTime;
    }
    doorTime += step;
    const float t = (1.0f / doorDuration) * doorTime;
    const glm::vec3 targetPosition = (1.0f - t) * doorStartPosition + t * doorTargetPosition;
    const glm::quat targetRotation = glm::normalize(glm::slerp(doorStartRotation, doorTargetRotation, t));
    setKinematicTarget(actor, targetPosition, targetRotation);
}

PhysicsObject* PhysicsScene::raycast(float maxDistance, PhysicsQueryFilterCallback filter) {
    if (player == nullptr) {
        Logger::error("The focus ray needs a player.");
        return nullptr;
    }
    filter.ignored.insert(player);
    const glm::vec3 eye = player->getPosition() + glm::vec3(0.0f, player->getTotalHeight() * 0.5f - 0.2f, 0.0f);
    const glm::vec3 front = player->getFront();
    const btVector3 from(eye.x, eye.y, eye.z);
    const btVector3 to = from + btVector3(front.x, front.y, front.z) * maxDistance;

    FocusRayCallback result(from, to, filter);
    dynamicsWorld->rayTest(from, to, result);
    if (!result.hasHit()) {
        return nullptr;
    }
    return physicsObjectOf(result.m_collisionObject);
}
