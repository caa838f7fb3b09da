#include "app/FrameInput.h"

#include <GLFW/glfw3.h>

bool FrameInput::isDown(int key) const {
    const int state = keyState(key);
    return state == GLFW_PRESS || state == GLFW_REPEAT;
}

FrameInput glfwFrameInput(GLFWwindow* window) {
    FrameInput input;
    input.now = [] { return glfwGetTime(); };
    input.keyState = [window](int key) { return glfwGetKey(window, key); };
    return input;
}
