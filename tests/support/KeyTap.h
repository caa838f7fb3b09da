#pragma once

struct GLFWwindow;

// Sends the window a press and then a release of one key (an X keysym name,
// e.g. "space" or "e") and waits until both wait in this process's X event
// queue: the next glfwPollEvents delivers the two together, as it does when
// a frame takes longer than a quick tap. The events go to the window itself,
// not to whichever window has the focus, so a hidden test window gets them
// and other tests' windows on the same display neither take nor disturb them.
// False when the display has no key for the name.
bool tapKeyBeforeNextPoll(GLFWwindow* window, const char* keysym);
