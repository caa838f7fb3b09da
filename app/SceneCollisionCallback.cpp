#include "app/SceneCollisionCallback.h"

#include "app/GameState.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsUserData.h"

namespace {

bool isPlayer(const btCollisionObject* actor) {
    return currentPlayer != nullptr && playerOf(actor) == currentPlayer;
}

bool isGuard(const btCollisionObject* actor) {
    const PhysicsObject* body = physicsObjectOf(actor);
    return body != nullptr && body->getName() == "Armature";
}

}  // namespace

void SceneCollisionCallback::onContact(const ContactPairHeader& header, const ContactPair* pairs,
                                       uint32_t pairCount) {
    if (pairs == nullptr || pairCount == 0) {
        return;
    }
    const bool firstTouch = pairs[0].flags == ContactPairFlag::ActorPairHasFirstTouch;
    if (isPlayer(header.actors[0]) && firstTouch && isGuard(header.actors[1])) {
        gameOver = true;
        endMessage = "You were hit by the guard!";
    }
    if (isPlayer(header.actors[1]) && firstTouch && isGuard(header.actors[0])) {
        gameOver = true;
        endMessage = "You were hit by the guard!";
    }
}
