#pragma once

#include <btBulletCollisionCommon.h>
#include <glm/glm.hpp>

#include <cstdint>
#include <memory>

// One shape the capsule touched while it moved.
struct ControllerShapeHit {
    const btCollisionObject* object = nullptr;  // the body touched; its user data leads back to the game
    glm::dvec3 worldPos{0.0};                   // contact point
    glm::vec3 worldNormal{0.0f};                // contact normal, pointing towards the capsule
    glm::vec3 dir{0.0f};                        // direction of the motion that hit
    float length = 0.0f;                        // length of that motion
};

// Told about every shape the capsule touches during a move, the ground it
// stands on included.
class ControllerHitReport {
public:
    virtual ~ControllerHitReport() = default;
    virtual void onShapeHit(const ControllerShapeHit& hit) = 0;
};

// What a move ran into, as bits of the result of CharacterController::move.
namespace ControllerCollisionFlag {
constexpr uint8_t CollisionSides = 1;  // something blocked the sideways motion
constexpr uint8_t CollisionUp = 2;     // something above stopped the upward motion
constexpr uint8_t CollisionDown = 4;   // the capsule came to rest on something below
}  // namespace ControllerCollisionFlag

// An upright capsule moved by collide-and-slide sweeps through a collision
// world. It never simulates: each move sweeps the capsule up (by the wanted
// upward motion plus the step offset while moving sideways), then sideways,
// sliding along what it hits, then down again by the wanted downward motion
// plus the step offset actually climbed. The capsule stops contactOffset short
// of what it touches, and what lies within contactOffset of where a sweep
// ends counts as touched. Sideways, surfaces steeper than the slope limit
// are slid along without gaining height, and a move whose step offset left
// the capsule perched on something it cannot stand on (an edge taller than
// the step offset, a steep slope) is made again without the step offset.
// Like any round-bottomed capsule it still rides up edges whose contact
// normal is within the slope limit. Only bodies with the scene-query flag are obstacles.
// The position is the capsule's centre, kept in double precision.
class CharacterController {
public:
    static constexpr float defaultContactOffset = 0.01f;
    static constexpr float defaultStepOffset = 0.1f;
    static constexpr float defaultSlopeLimit = 0.707f;  // cosine of the steepest walkable slope
    static constexpr int maxSideIterations = 10;

    // height is the capsule's cylinder height (between the centres of its two
    // half spheres); the report may be null.
    CharacterController(btCollisionWorld* world, const glm::dvec3& position, float radius, float height,
                        ControllerHitReport* report);
    ~CharacterController();
    CharacterController(const CharacterController&) = delete;
    CharacterController& operator=(const CharacterController&) = delete;

    // Moves by displacement and returns ControllerCollisionFlag bits. A zero
    // displacement does nothing: no flags, no hits. Sweeps stop once less than
    // minDistance is left to go.
    uint8_t move(const glm::vec3& displacement, float minDistance, float elapsedTime);

    // Changes the cylinder height, keeping the capsule's bottom where it is.
    void resize(float height);

    // A body the sweeps never see (the controller's own stand-in).
    void setIgnoredObject(const btCollisionObject* object) { ignoredObject = object; }

    const glm::dvec3& getPosition() const { return position; }
    void setPosition(const glm::dvec3& value) { position = value; }
    // The lowest point of the capsule.
    glm::dvec3 getFootPosition() const;
    float getRadius() const { return radius; }
    float getHeight() const { return height; }
    float getContactOffset() const { return contactOffset; }
    float getStepOffset() const { return stepOffset; }
    float getSlopeLimit() const { return slopeLimit; }

private:
    enum class Pass { Up, Side, Down };

    struct SweepHit {
        const btCollisionObject* object = nullptr;
        double fraction = 1.0;
        glm::dvec3 point{0.0};
        glm::dvec3 normal{0.0};
    };

    // Sweeps the capsule from the current position towards position + motion,
    // at most maxIterations times, sliding along what it hits. Returns the
    // number of hits.
    int sweepPass(const glm::dvec3& motion, int maxIterations, Pass pass, float minDistance);
    // The up, side and down passes with the given step offset; tells whether
    // the down pass came to rest on a surface too steep to stand on.
    uint8_t movePasses(double upAmount, const glm::dvec3& side, double step, float minDistance, bool& landedOnSteep);
    bool sweep(const glm::dvec3& from, const glm::dvec3& to, SweepHit& hit) const;
    // Whether the surface just beyond a contact point is flat enough to stand on.
    bool walkableBeyond(const glm::dvec3& contact) const;

    btCollisionWorld* world;
    ControllerHitReport* report;
    const btCollisionObject* ignoredObject = nullptr;
    std::unique_ptr<btCapsuleShape> shape;
    glm::dvec3 position;
    glm::dvec3 lastHitNormal{0.0};
    glm::dvec3 lastHitPoint{0.0};
    float radius;
    float height;
    float contactOffset = defaultContactOffset;
    float stepOffset = defaultStepOffset;
    float slopeLimit = defaultSlopeLimit;
};
