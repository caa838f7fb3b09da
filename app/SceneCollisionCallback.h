#pragma once

#include "physics/ContactReport.h"

// The scene's contact rule: the guard's body touching the player ends the
// game with "You were hit by the guard!".
class SceneCollisionCallback : public ContactReportCallback {
public:
    // Judges the first pair only; a first touch (flags exactly 4) between the
    // player and the body bound to "Armature", in either order, sets
    // gameOver and the end message. Anything else is ignored.
    void onContact(const ContactPairHeader& header, const ContactPair* pairs, uint32_t pairCount) override;
};
