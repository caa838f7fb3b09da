#pragma once

#include <string>

class Player;
class Camera;

// The escape game's process-wide state. Written and read directly; never
// reset, since a run has no restart.

extern bool gameOver;
extern bool gameWon;
extern bool cellDoorOpened;
extern bool pressurePlatePressed;
extern bool glassesPickedUp;
extern bool glassesOn;
extern bool secondElapsed;

extern double secondAccumulator;  // seconds
extern double frameDeltaTime;     // seconds, the last frame's length

extern std::string endMessage;

extern const float timeLimit;  // seconds
extern float timeRemaining;    // seconds, starts at timeLimit

extern Player* currentPlayer;  // not owning
extern Camera* mainCamera;     // the game camera, never deleted
