#include "app/Countdown.h"

#include "app/GameState.h"
#include "render/Text.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

void updateSecondTick(double deltaTime) {
    secondAccumulator += deltaTime;
    frameDeltaTime = deltaTime;
    if (secondAccumulator > 1.0) {
        secondElapsed = true;
        secondAccumulator = 0.0;
    }
}

std::string formatRemainingTime() {
    const int minutes = static_cast<int>(timeRemaining / 60.0f);
    const int seconds = static_cast<int>(std::fmod(static_cast<double>(timeRemaining), 60.0));
    char text[32];
    std::snprintf(text, sizeof(text), "%02d:%02d", minutes, seconds);
    return text;
}

void runCountdown(double deltaTime, Text& timer) {
    updateSecondTick(deltaTime);
    timeRemaining = std::max(timeRemaining - static_cast<float>(deltaTime), 0.0f);
    if (gameOver) {
        return;
    }
    if (secondElapsed) {
        timer.setText(formatRemainingTime());
        secondElapsed = false;
    }
    if (timeRemaining == 0.0f) {
        gameOver = true;
        endMessage = "Your time ran out!";
    }
}
