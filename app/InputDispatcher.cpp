#include "app/InputDispatcher.h"

#include "app/Logger.h"

#include <GLFW/glfw3.h>

#include <exception>
#include <string>
#include <utility>

namespace {

// Handlers run inside glfwPollEvents: an exception must not unwind through
// GLFW's C code. Log it, ask the window to close and remember the failure.
template <typename Dispatch>
void guarded(GLFWwindow* window, bool& failed, const char* kind, Dispatch&& dispatch) {
    try {
        dispatch();
    } catch (const std::exception& e) {
        Logger::error(std::string("Exception in ") + kind + " handler: " + e.what());
        failed = true;
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    } catch (...) {
        Logger::error(std::string("Unknown exception in ") + kind + " handler");
        failed = true;
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
}

}  // namespace

InputDispatcher::InputDispatcher(GLFWwindow* window) {
    glfwSetWindowUserPointer(window, this);
    glfwSetKeyCallback(window, InputDispatcher::keyCallback);
    glfwSetCursorPosCallback(window, InputDispatcher::cursorPosCallback);
}

void InputDispatcher::addKeyCallback(KeyCallback callback) {
    keyCallbacks.push_back(std::move(callback));
}

void InputDispatcher::addCursorPosCallback(CursorPosCallback callback) {
    cursorPosCallbacks.push_back(std::move(callback));
}

bool InputDispatcher::handlerFailed() const {
    return failed;
}

void InputDispatcher::keyCallback(GLFWwindow* window, int key, int /*scancode*/, int action,
                                  int /*mods*/) {
    auto* dispatcher = static_cast<InputDispatcher*>(glfwGetWindowUserPointer(window));
    if (dispatcher == nullptr) {
        return;
    }
    guarded(window, dispatcher->failed, "key", [&] {
        for (const KeyCallback& callback : dispatcher->keyCallbacks) {
            callback(key, action);
        }
    });
}

void InputDispatcher::cursorPosCallback(GLFWwindow* window, double x, double y) {
    auto* dispatcher = static_cast<InputDispatcher*>(glfwGetWindowUserPointer(window));
    if (dispatcher == nullptr) {
        return;
    }
    guarded(window, dispatcher->failed, "cursor", [&] {
        for (const CursorPosCallback& callback : dispatcher->cursorPosCallbacks) {
            callback(x, y);
        }
    });
}
