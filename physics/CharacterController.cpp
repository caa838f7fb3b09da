#include "physics/CharacterController.h"

#include "physics/PhysicsUserData.h"

#include <algorithm>
#include <cmath>

namespace {

const glm::dvec3 upDirection(0.0, 1.0, 0.0);

// Bullet's sweeps find a surface that the swept capsule just reaches at the
// end of its motion only most of the time; 0.1 mm more makes it certain.
constexpr double touchTolerance = 1e-4;

btVector3 toBt(const glm::dvec3& v) {
    return btVector3(static_cast<btScalar>(v.x), static_cast<btScalar>(v.y), static_cast<btScalar>(v.z));
}

glm::dvec3 toDvec3(const btVector3& v) {
    return glm::dvec3(v.x(), v.y(), v.z());
}

// The closest body in the way of a capsule sweep. Only bodies that answer
// scene queries count, never the ignored one, and never a surface the capsule
// is leaving (its normal along the motion): a capsule resting against a wall
// must be free to move away from it.
class SweepCallback : public btCollisionWorld::ConvexResultCallback {
public:
    SweepCallback(const btCollisionObject* ignored, const btVector3& direction)
        : ignored(ignored), direction(direction) {}

    bool needsCollision(btBroadphaseProxy* proxy) const override {
        const auto* candidate = static_cast<const btCollisionObject*>(proxy->m_clientObject);
        return candidate != ignored && isSceneQuery(candidate);
    }

    btScalar addSingleResult(btCollisionWorld::LocalConvexResult& result, bool normalInWorldSpace) override {
        btVector3 normal = normalInWorldSpace
                               ? result.m_hitNormalLocal
                               : result.m_hitCollisionObject->getWorldTransform().getBasis() * result.m_hitNormalLocal;
        if (normal.length2() < btScalar(1e-12)) {
            return m_closestHitFraction;
        }
        normal.normalize();
        if (normal.dot(direction) >= btScalar(0)) {
            return m_closestHitFraction;
        }
        m_closestHitFraction = result.m_hitFraction;
        hitObject = result.m_hitCollisionObject;
        hitNormal = normal;
        hitPoint = result.m_hitPointLocal;  // Bullet gives the point in world space
        return m_closestHitFraction;
    }

    const btCollisionObject* hitObject = nullptr;
    btVector3 hitNormal{0, 0, 0};
    btVector3 hitPoint{0, 0, 0};

private:
    const btCollisionObject* ignored;
    btVector3 direction;
};

}  // namespace

CharacterController::CharacterController(btCollisionWorld* world, const glm::dvec3& position, float radius,
                                         float height, ControllerHitReport* report)
    : world(world),
      report(report),
      shape(std::make_unique<btCapsuleShape>(radius, height)),
      position(position),
      radius(radius),
      height(height) {}

CharacterController::~CharacterController() = default;

glm::dvec3 CharacterController::getFootPosition() const {
    return position - upDirection * (0.5 * static_cast<double>(height) + static_cast<double>(radius));
}

void CharacterController::resize(float newHeight) {
    position += upDirection * (0.5 * (static_cast<double>(newHeight) - static_cast<double>(height)));
    height = newHeight;
    shape = std::make_unique<btCapsuleShape>(radius, newHeight);
}

uint8_t CharacterController::move(const glm::vec3& displacement, float minDistance, float /*elapsedTime*/) {
    if (displacement.x == 0.0f && displacement.y == 0.0f && displacement.z == 0.0f) {
        return 0;
    }
    const glm::dvec3 wanted(displacement);
    const double upAmount = glm::dot(wanted, upDirection);
    const glm::dvec3 side = wanted - upDirection * upAmount;
    const bool moveSideways = glm::length(side) > 1e-6;
    const glm::dvec3 start = position;

    const double startFoot = glm::dot(getFootPosition(), upDirection);

    bool landedOnSteep = false;
    uint8_t flags = movePasses(upAmount, side, moveSideways ? static_cast<double>(stepOffset) : 0.0, minDistance,
                               landedOnSteep);
    // The step offset must not leave the capsule perched higher than it
    // started on something it cannot stand on: an edge taller than the step
    // offset, or a steep slope. Then the move is made again without it.
    if (landedOnSteep && moveSideways && glm::dot(position - start, upDirection) > 1e-6) {
        const double edgeHeight = glm::dot(lastHitPoint, upDirection) - startFoot;
        if (edgeHeight > static_cast<double>(stepOffset + contactOffset) || !walkableBeyond(lastHitPoint)) {
            position = start;
            flags = movePasses(upAmount, side, 0.0, minDistance, landedOnSteep);
        }
    }
    return flags;
}

bool CharacterController::walkableBeyond(const glm::dvec3& contact) const {
    // The surface just past the contact, away from the capsule's axis: the top
    // of a step whose edge the capsule touches, or more of a slope.
    glm::dvec3 away = contact - position;
    away -= upDirection * glm::dot(away, upDirection);
    const double awayLength = glm::length(away);
    if (awayLength > 1e-9) {
        away /= awayLength;
    }
    const glm::dvec3 probe = contact + away * 0.02;
    const btVector3 from = toBt(probe + upDirection * 0.05);
    const btVector3 to = toBt(probe - upDirection * 0.1);

    struct ProbeCallback : btCollisionWorld::ClosestRayResultCallback {
        ProbeCallback(const btVector3& from, const btVector3& to, const btCollisionObject* ignored)
            : ClosestRayResultCallback(from, to), ignored(ignored) {}
        bool needsCollision(btBroadphaseProxy* proxy) const override {
            const auto* candidate = static_cast<const btCollisionObject*>(proxy->m_clientObject);
            return candidate != ignored && isSceneQuery(candidate);
        }
        const btCollisionObject* ignored;
    } callback(from, to, ignoredObject);
    world->rayTest(from, to, callback);
    if (!callback.hasHit()) {
        return false;
    }
    btVector3 normal = callback.m_hitNormalWorld;
    if (normal.length2() < btScalar(1e-12)) {
        return false;
    }
    normal.normalize();
    return static_cast<double>(normal.y()) >= static_cast<double>(slopeLimit);
}

uint8_t CharacterController::movePasses(double upAmount, const glm::dvec3& side, double step, float minDistance,
                                        bool& landedOnSteep) {
    uint8_t flags = 0;
    landedOnSteep = false;
    // The step offset lifts the capsule over low edges while it walks; what is
    // climbed is undone by the down pass, which then lands on the edge's top.
    const double upward = std::max(upAmount, 0.0) + step;
    const double downward = std::min(upAmount, 0.0);

    const glm::dvec3 start = position;
    if (upward > 0.0) {
        const int iterations = glm::length(side) > 1e-6 ? 1 : maxSideIterations;
        if (sweepPass(upDirection * upward, iterations, Pass::Up, minDistance) > 0) {
            flags |= ControllerCollisionFlag::CollisionUp;
            // Never undo more than was climbed.
            const double climbed = glm::dot(position - start, upDirection);
            step = std::max(0.0, std::min(step, climbed));
        }
    }
    if (glm::length(side) > 1e-6) {
        if (sweepPass(side, maxSideIterations, Pass::Side, minDistance) > 0) {
            flags |= ControllerCollisionFlag::CollisionSides;
        }
    }
    const double down = downward - step;
    if (down < 0.0) {
        if (sweepPass(upDirection * down, 1, Pass::Down, minDistance) > 0) {
            landedOnSteep = glm::dot(lastHitNormal, upDirection) < static_cast<double>(slopeLimit);
            // Only a move that does not go upward can come to rest on the ground.
            if (upAmount <= 0.0) {
                flags |= ControllerCollisionFlag::CollisionDown;
            }
        }
    }
    return flags;
}

int CharacterController::sweepPass(const glm::dvec3& motion, int maxIterations, Pass pass, float minDistance) {
    const double motionLength = glm::length(motion);
    if (motionLength <= 0.0) {
        return 0;
    }
    const glm::dvec3 passDirection = motion / motionLength;
    glm::dvec3 target = position + motion;
    int hits = 0;
    for (int iteration = 0; iteration < maxIterations; ++iteration) {
        const glm::dvec3 delta = target - position;
        const double length = glm::length(delta);
        if (length <= static_cast<double>(minDistance) || length < 1e-7) {
            break;
        }
        const glm::dvec3 direction = delta / length;
        // A slide that turned against the wanted motion would only jitter in corners.
        if (glm::dot(direction, passDirection) <= 0.0) {
            break;
        }
        // The sweep reaches contactOffset (and a little tolerance for the
        // sweep's own precision) beyond the target, so what lies within that
        // distance of where the capsule ends up counts as touched: the ground a
        // resting capsule hovers over is reported every move.
        const double reach = length + static_cast<double>(contactOffset) + touchTolerance;
        SweepHit hit;
        if (!sweep(position, position + direction * reach, hit)) {
            position = target;
            break;
        }
        ++hits;
        lastHitNormal = hit.normal;
        lastHitPoint = hit.point;
        if (report != nullptr) {
            ControllerShapeHit shapeHit;
            shapeHit.object = hit.object;
            shapeHit.worldPos = hit.point;
            shapeHit.worldNormal = glm::vec3(hit.normal);
            shapeHit.dir = glm::vec3(direction);
            shapeHit.length = static_cast<float>(length);
            report->onShapeHit(shapeHit);
        }
        // Stop contactOffset short of the hit, measured along the motion.
        const double distance = hit.fraction * reach;
        if (distance > static_cast<double>(contactOffset)) {
            position += direction * std::min(distance - static_cast<double>(contactOffset), length);
        }
        // Slide: what is left of the motion, less its part into the surface.
        glm::dvec3 normal = hit.normal;
        if (pass == Pass::Side) {
            // Too steep to walk on: slide along it without gaining height.
            const double rise = glm::dot(normal, upDirection);
            if (rise > 0.0 && rise < static_cast<double>(slopeLimit)) {
                const glm::dvec3 flat = normal - upDirection * rise;
                const double flatLength = glm::length(flat);
                if (flatLength > 1e-9) {
                    normal = flat / flatLength;
                }
            }
        }
        const glm::dvec3 remaining = target - position;
        target = position + remaining - normal * glm::dot(remaining, normal);
    }
    return hits;
}

bool CharacterController::sweep(const glm::dvec3& from, const glm::dvec3& to, SweepHit& hit) const {
    const btVector3 fromPoint = toBt(from);
    const btVector3 toPoint = toBt(to);
    const btVector3 motion = toPoint - fromPoint;
    if (motion.length2() <= btScalar(0)) {
        return false;
    }
    btTransform fromTransform;
    fromTransform.setIdentity();
    fromTransform.setOrigin(fromPoint);
    btTransform toTransform;
    toTransform.setIdentity();
    toTransform.setOrigin(toPoint);

    SweepCallback callback(ignoredObject, motion.normalized());
    world->convexSweepTest(shape.get(), fromTransform, toTransform, callback);
    if (callback.hitObject == nullptr) {
        return false;
    }
    hit.object = callback.hitObject;
    hit.fraction = static_cast<double>(callback.m_closestHitFraction);
    hit.point = toDvec3(callback.hitPoint);
    hit.normal = toDvec3(callback.hitNormal);
    return true;
}
