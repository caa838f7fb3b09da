#include "tests/support/KeyTap.h"

#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3.h>
#include <GLFW/glfw3native.h>
#include <X11/Xlib.h>

#include <initializer_list>

bool tapKeyBeforeNextPoll(GLFWwindow* window, const char* keysym) {
    Display* display = glfwGetX11Display();
    const Window target = glfwGetX11Window(window);
    const KeySym symbol = XStringToKeysym(keysym);
    const KeyCode keycode = symbol == NoSymbol ? 0 : XKeysymToKeycode(display, symbol);
    if (display == nullptr || keycode == 0) return false;
    // GLFW drops a press whose time stamp is not later than the key's last
    // one (it takes it for an input method's duplicate), so time runs on.
    static Time time = 0;
    for (const int type : {KeyPress, KeyRelease}) {
        XEvent event{};
        event.xkey.type = type;
        event.xkey.display = display;
        event.xkey.window = target;
        event.xkey.root = DefaultRootWindow(display);
        event.xkey.subwindow = None;
        event.xkey.time = ++time;
        event.xkey.x = event.xkey.y = event.xkey.x_root = event.xkey.y_root = 1;
        event.xkey.keycode = keycode;
        event.xkey.same_screen = True;
        XSendEvent(display, target, False, type == KeyPress ? KeyPressMask : KeyReleaseMask, &event);
    }
    // The server sends both events to this connection before the reply to the
    // sync, so once it returns they wait in the queue for the next poll.
    XSync(display, False);
    return true;
}
