#include "app/GameState.h"

bool gameOver = false;
bool gameWon = false;
bool cellDoorOpened = false;
bool pressurePlatePressed = false;
bool glassesPickedUp = false;
bool glassesOn = false;
bool secondElapsed = false;

double secondAccumulator = 0.0;
double frameDeltaTime = 0.0;

std::string endMessage = "...";

const float timeLimit = 600.0f;
float timeRemaining = timeLimit;

Player* currentPlayer = nullptr;
Camera* mainCamera = nullptr;
