#pragma once

#include "app/FrameInput.h"

struct GLFWwindow;
class Renderer;

// The start screen: the cell model under the sky, seen from a fixed point by a
// camera turning once every 20 seconds about the vertical axis, with the
// welcome text over it. Runs its own loop until Space or Escape is down, then
// removes and frees everything it made. It does not look at the window's
// close flag: Escape ends the game through the renderer's key handler, which
// sets it.
//
// Needs the renderer's shaders "phong", "skybox" and "font" and the font "VT323".
void runStartScreen(GLFWwindow* window, Renderer* renderer);

// The same, with the clock and the held keys read through `input`.
void runStartScreen(GLFWwindow* window, Renderer* renderer, const FrameInput& input);
