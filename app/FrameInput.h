#pragma once

#include <functional>

struct GLFWwindow;

// What a frame reads from outside besides events: the clock and the state of
// held keys. The game fills it from GLFW; a test fills it from a script, so a
// frame can be driven with fixed frame times and scripted keys. Key and
// cursor events do not pass here: they go through the InputDispatcher.
struct FrameInput {
    // Seconds since an arbitrary start (glfwGetTime).
    std::function<double()> now;
    // GLFW_RELEASE, GLFW_PRESS or GLFW_REPEAT for a GLFW key code (glfwGetKey).
    std::function<int(int key)> keyState;

    // Whether the key is held: pressed or repeating.
    bool isDown(int key) const;
};

// The clock and the keys of the window, straight from GLFW. It makes the
// window's keys sticky: a key pressed and released between two polls reads as
// pressed once, so every key read this way must be read every frame, or a tap
// would count frames later.
FrameInput glfwFrameInput(GLFWwindow* window);
