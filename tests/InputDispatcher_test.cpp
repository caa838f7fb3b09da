#include "app/InputDispatcher.h"

#include "tests/support/GlContext.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

using InputDispatcherTest = GlTest;

// Through the callbacks GLFW calls: every key event reaches every key handler
// in registration order, cursor events only the cursor handlers.
TEST_F(InputDispatcherTest, FansOutInRegistrationOrderAndSurvivesAThrowingHandler) {
    InputDispatcher dispatcher(window());
    // The callbacks GLFW has installed on the window (put back after the lookup).
    GLFWkeyfun key = glfwSetKeyCallback(window(), nullptr);
    glfwSetKeyCallback(window(), key);
    GLFWcursorposfun cursor = glfwSetCursorPosCallback(window(), nullptr);
    glfwSetCursorPosCallback(window(), cursor);
    ASSERT_NE(key, nullptr);
    ASSERT_NE(cursor, nullptr);
    key(window(), GLFW_KEY_A, 0, GLFW_PRESS, 0);  // no handler yet: nothing happens

    std::vector<std::string> calls;
    for (const char* name : {"renderer", "player", "locks"}) {
        dispatcher.addKeyCallback([&calls, name](int k, int action) {
            calls.push_back(std::string(name) + " " + std::to_string(k) + "/" + std::to_string(action));
        });
    }
    dispatcher.addCursorPosCallback([&calls](double x, double y) {
        calls.push_back("look " + std::to_string(int(x)) + "," + std::to_string(int(y)));
    });
    key(window(), GLFW_KEY_3, 12, GLFW_PRESS, GLFW_MOD_SHIFT);
    cursor(window(), -3000.0, 40.0);
    key(window(), GLFW_KEY_3, 12, GLFW_RELEASE, 0);

    const std::string k = std::to_string(GLFW_KEY_3);
    EXPECT_EQ(calls, (std::vector<std::string>{"renderer " + k + "/1", "player " + k + "/1", "locks " + k + "/1",
                                               "look -3000,40", "renderer " + k + "/0", "player " + k + "/0",
                                               "locks " + k + "/0"}));
    EXPECT_FALSE(dispatcher.handlerFailed());
    EXPECT_FALSE(glfwWindowShouldClose(window()));

    // An exception must not unwind through GLFW's C code: it is logged, the
    // window is asked to close and the failure is remembered for main's status.
    dispatcher.addKeyCallback([](int, int) { throw std::runtime_error("No object with name lock9 found."); });
    dispatcher.addCursorPosCallback([](double, double) { throw 42; });
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(key(window(), GLFW_KEY_E, 0, GLFW_PRESS, 0));
    EXPECT_NO_THROW(cursor(window(), 5.0, 5.0));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(dispatcher.handlerFailed());
    EXPECT_TRUE(glfwWindowShouldClose(window()));
    EXPECT_NE(err.find("][ERROR] Exception in key handler: No object with name lock9 found.\n"), std::string::npos)
        << err;
    EXPECT_NE(err.find("][ERROR] Unknown exception in cursor handler\n"), std::string::npos) << err;
}
