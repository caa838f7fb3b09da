#pragma once

#include <string>

class Text;

// Adds the frame's delta time (seconds) to the second accumulator and keeps it
// as the frame's delta time; past one second, flags a tick and restarts the
// accumulator from zero (the surplus is dropped).
void updateSecondTick(double deltaTime);

// The remaining time as minutes and seconds, "MM:SS" (10:00, 09:59, ...).
std::string formatRemainingTime();

// The countdown stage at the head of every frame: tick, lower the remaining
// time (never below zero), and while the game runs refresh the timer text on
// a tick and end the game once the time is up.
void runCountdown(double deltaTime, Text& timer);
