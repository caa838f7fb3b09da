#pragma once

#include <cstdint>

class btCollisionObject;

// What a contact report says about a pair of bodies.
namespace ContactPairFlag {
constexpr uint16_t ActorPairHasFirstTouch = 4;  // the pair started touching in this step
constexpr uint16_t ActorPairLostTouch = 8;      // the pair stopped touching in this step
}  // namespace ContactPairFlag

// The two bodies of a report; their user data leads back to the game's
// objects (PhysicsUserData.h).
struct ContactPairHeader {
    const btCollisionObject* actors[2] = {nullptr, nullptr};
};

struct ContactPair {
    uint16_t flags = 0;
};

// Told by the physics scene, after each fixed step, about pairs of bodies that
// started or stopped touching.
class ContactReportCallback {
public:
    virtual ~ContactReportCallback() = default;
    virtual void onContact(const ContactPairHeader& header, const ContactPair* pairs, uint32_t pairCount) = 0;
};
