#include "physics/PhysicsQueryFilterCallback.h"

#include "physics/PhysicsUserData.h"

QueryHitType PhysicsQueryFilterCallback::preFilter(const btCollisionObject* candidate) const {
    if (ignored.count(userDataOf(candidate)) != 0) {
        return QueryHitType::None;
    }
    return QueryHitType::Block;
}
