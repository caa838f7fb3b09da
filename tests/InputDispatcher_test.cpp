#include "app/InputDispatcher.h"

#include "tests/support/GlContext.h"

#include <stdexcept>
#include <string>
#include <vector>

using InputDispatcherTest = GlTest;

// Every key event reaches every key handler in registration order, cursor
// events only the cursor handlers. A handler's exception must not unwind
// through GLFW's C code: it is logged, the window is asked to close and the
// failure is remembered for main's exit status.
TEST_F(InputDispatcherTest, FansOutInRegistrationOrderAndSurvivesAThrowingHandler) {
    InputDispatcher dispatcher(window());
    const auto key = [&](int k, int action) { InputDispatcher::keyCallback(window(), k, 12, action, 0); };
    const auto cursor = [&](double x, double y) { InputDispatcher::cursorPosCallback(window(), x, y); };
    std::vector<std::string> calls;
    for (const char* name : {"renderer", "player"}) {
        dispatcher.addKeyCallback([&calls, name](int k, int action) {
            calls.push_back(std::string(name) + " " + std::to_string(k) + "/" + std::to_string(action));
        });
    }
    dispatcher.addCursorPosCallback([&calls](double x, double y) {
        calls.push_back("look " + std::to_string(int(x)) + "," + std::to_string(int(y)));
    });
    key(GLFW_KEY_3, GLFW_PRESS);
    cursor(-3000.0, 40.0);
    key(GLFW_KEY_3, GLFW_RELEASE);
    EXPECT_EQ(calls, (std::vector<std::string>{"renderer 51/1", "player 51/1", "look -3000,40", "renderer 51/0",
                                               "player 51/0"}));
    EXPECT_FALSE(dispatcher.handlerFailed() || glfwWindowShouldClose(window()));

    dispatcher.addKeyCallback([](int, int) { throw std::runtime_error("No object with name lock9 found."); });
    dispatcher.addCursorPosCallback([](double, double) { throw 42; });
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(key(GLFW_KEY_E, GLFW_PRESS));
    EXPECT_NO_THROW(cursor(5.0, 5.0));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_TRUE(dispatcher.handlerFailed() && glfwWindowShouldClose(window()));
    EXPECT_NE(err.find("][ERROR] Exception in key handler: No object with name lock9 found.\n"), std::string::npos)
        << err;
    EXPECT_NE(err.find("][ERROR] Unknown exception in cursor handler\n"), std::string::npos) << err;
}
