#pragma once

#include "physics/CharacterController.h"

#include <string>

// The game rules decided by what the player's capsule touches while it
// moves: the pressure plate opens the labyrinth door, the labyrinth's goal
// wins, the guard loses. Bodies are told apart by the name of the Object they
// are bound to.
class PlayerHitReport : public ControllerHitReport {
public:
    void onShapeHit(const ControllerShapeHit& hit) override;
};

// "You escaped the prison in MM:SS.mmm!" for the seconds taken.
std::string formatEscapeMessage(float elapsed);
