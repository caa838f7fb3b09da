#pragma once

#include <functional>
#include <vector>

struct GLFWwindow;

// A key handler: GLFW key code and action (release, press or repeat).
using KeyCallback = std::function<void(int key, int action)>;
// A cursor handler: cursor position in window coordinates.
using CursorPosCallback = std::function<void(double x, double y)>;

// Takes the window's key and cursor-position callbacks and passes every event
// on to each registered handler, first registered first. The window's user
// pointer belongs to the dispatcher, so there is one dispatcher per window.
class InputDispatcher {
public:
    explicit InputDispatcher(GLFWwindow* window);
    InputDispatcher(const InputDispatcher&) = delete;
    InputDispatcher& operator=(const InputDispatcher&) = delete;

    void addKeyCallback(KeyCallback callback);
    void addCursorPosCallback(CursorPosCallback callback);

    // True once a handler has thrown. The exception was logged and the
    // window's close flag set; the program should end with a failure.
    bool handlerFailed() const;

    static void keyCallback(GLFWwindow* window, int key, int scancode, int action, int mods);
    static void cursorPosCallback(GLFWwindow* window, double x, double y);

private:
    std::vector<KeyCallback> keyCallbacks;
    std::vector<CursorPosCallback> cursorPosCallbacks;
    bool failed = false;
};
