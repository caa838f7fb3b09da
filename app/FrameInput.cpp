#include "app/FrameInput.h"

#include <GLFW/glfw3.h>

bool FrameInput::isDown(int key) const {
    const int state = keyState(key);
    return state == GLFW_PRESS || state == GLFW_REPEAT;
}

FrameInput glfwFrameInput(GLFWwindow* window) {
    // A key's state is only what the last event poll left. When a frame takes
    // longer than a quick tap, the press and its release arrive in the same
    // poll and the key would read as up: with sticky keys a key released
    // since it was last read still reads as pressed, once.
    glfwSetInputMode(window, GLFW_STICKY_KEYS, GLFW_TRUE);
    FrameInput input;
    input.now = [] { return glfwGetTime(); };
    input.keyState = [window](int key) { return glfwGetKey(window, key); };
    return input;
}
