#include "app/PlayerHitReport.h"

#include "app/GameState.h"
#include "physics/PhysicsObject.h"
#include "physics/PhysicsUserData.h"

#include <cmath>
#include <cstdio>

std::string formatEscapeMessage(float elapsed) {
    const int minutes = static_cast<int>(elapsed / 60.0f);
    const double seconds = static_cast<double>(std::fmod(elapsed, 60.0f));
    char text[64];
    std::snprintf(text, sizeof(text), "You escaped the prison in %02d:%06.3f!", minutes, seconds);
    return text;
}

void PlayerHitReport::onShapeHit(const ControllerShapeHit& hit) {
    // Only level bodies take part in the rules.
    const PhysicsObject* body = physicsObjectOf(hit.object);
    if (body == nullptr) {
        return;
    }
    if (body->getName() == "pressure_plate") {
        pressurePlatePressed = true;
    }
    if (body->getName() == "labyrinth_goal") {
        gameOver = true;
        gameWon = true;
        endMessage = formatEscapeMessage(timeLimit - timeRemaining);
    }
    if (body->getName() == "Armature") {
        gameOver = true;
        endMessage = "You hit the guard!";
    }
}
