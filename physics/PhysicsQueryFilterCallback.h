#pragma once

#include <unordered_set>

class btCollisionObject;

// The answer of a query filter for one candidate body.
enum class QueryHitType : int {
    None = 0,   // ignored
    Touch = 1,
    Block = 2,  // may end the query
};

// Names the bodies a ray passes through, by their user data (a level body's
// PhysicsObject or the Player).
class PhysicsQueryFilterCallback {
public:
    PhysicsQueryFilterCallback() = default;
    virtual ~PhysicsQueryFilterCallback() = default;

    // None for a body whose user data is in the set, otherwise Block.
    virtual QueryHitType preFilter(const btCollisionObject* candidate) const;

    std::unordered_set<const void*> ignored;
};
