#include "app/InputDispatcher.h"

#include "tests/support/GlContext.h"

#include <gtest/gtest.h>

#include <iostream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using InputDispatcherTest = GlTest;

// The callbacks GLFW has installed on the window (put back after the lookup).
GLFWkeyfun installedKeyCallback(GLFWwindow* window) {
    GLFWkeyfun callback = glfwSetKeyCallback(window, nullptr);
    glfwSetKeyCallback(window, callback);
    return callback;
}

GLFWcursorposfun installedCursorCallback(GLFWwindow* window) {
    GLFWcursorposfun callback = glfwSetCursorPosCallback(window, nullptr);
    glfwSetCursorPosCallback(window, callback);
    return callback;
}

}  // namespace

TEST_F(InputDispatcherTest, EveryEventReachesEveryHandlerInRegistrationOrder) {
    InputDispatcher dispatcher(window());
    GLFWkeyfun key = installedKeyCallback(window());
    GLFWcursorposfun cursor = installedCursorCallback(window());
    ASSERT_NE(key, nullptr);
    ASSERT_NE(cursor, nullptr);

    // No handler yet: events do nothing.
    key(window(), GLFW_KEY_A, 0, GLFW_PRESS, 0);
    cursor(window(), 1.0, 2.0);

    std::vector<std::string> calls;
    for (const char* name : {"renderer", "player", "locks"}) {
        dispatcher.addKeyCallback([&calls, name](int k, int action) {
            calls.push_back(std::string(name) + " key " + std::to_string(k) + "/" +
                            std::to_string(action));
        });
    }
    dispatcher.addCursorPosCallback([&calls](double x, double y) {
        calls.push_back("look " + std::to_string(int(x)) + "," + std::to_string(int(y)));
    });

    key(window(), GLFW_KEY_3, 12, GLFW_PRESS, GLFW_MOD_SHIFT);
    key(window(), GLFW_KEY_3, 12, GLFW_REPEAT, 0);
    cursor(window(), -3000.0, 40.0);
    key(window(), GLFW_KEY_3, 12, GLFW_RELEASE, 0);

    const std::string k = std::to_string(GLFW_KEY_3);
    const std::vector<std::string> expected = {
        "renderer key " + k + "/1", "player key " + k + "/1", "locks key " + k + "/1",
        "renderer key " + k + "/2", "player key " + k + "/2", "locks key " + k + "/2",
        "look -3000,40",
        "renderer key " + k + "/0", "player key " + k + "/0", "locks key " + k + "/0",
    };
    EXPECT_EQ(calls, expected);
    EXPECT_FALSE(dispatcher.handlerFailed());
    EXPECT_FALSE(glfwWindowShouldClose(window()));
}

TEST_F(InputDispatcherTest, ThrowingHandlerIsLoggedAndClosesTheWindow) {
    InputDispatcher dispatcher(window());
    dispatcher.addKeyCallback([](int, int) { throw std::runtime_error("No object with name lock9 found."); });
    dispatcher.addCursorPosCallback([](double, double) { throw 42; });

    std::ostringstream err;
    std::streambuf* old = std::cerr.rdbuf(err.rdbuf());
    // Through the callbacks GLFW calls: nothing may escape into GLFW.
    EXPECT_NO_THROW(installedKeyCallback(window())(window(), GLFW_KEY_E, 0, GLFW_PRESS, 0));
    EXPECT_NO_THROW(installedCursorCallback(window())(window(), 5.0, 5.0));
    std::cerr.rdbuf(old);

    EXPECT_TRUE(dispatcher.handlerFailed());
    EXPECT_TRUE(glfwWindowShouldClose(window()));
    const std::string text = err.str();
    EXPECT_NE(text.find("][ERROR] Exception in key handler: No object with name lock9 found.\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("][ERROR] Unknown exception in cursor handler\n"), std::string::npos) << text;
}
