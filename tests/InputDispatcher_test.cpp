#include "app/InputDispatcher.h"

#include "tests/support/GlContext.h"

#include <stdexcept>
#include <string>

using InputDispatcherTest = GlTest;

// Handlers run inside GLFW's event poll: an exception must not unwind through
// GLFW's C code. It is logged, the window is asked to close and the failure
// is remembered for main's exit status; handlers before it still run. (The
// order of the handlers is walked through by the scripted game run, where E
// reaches the glasses toggle before the pick-up.)
TEST_F(InputDispatcherTest, SurvivesAThrowingHandler) {
    InputDispatcher dispatcher(window());
    int keys = 0;
    dispatcher.addKeyCallback([&keys](int, int) { ++keys; });
    InputDispatcher::keyCallback(window(), GLFW_KEY_3, 12, GLFW_PRESS, 0);
    EXPECT_FALSE(dispatcher.handlerFailed() || glfwWindowShouldClose(window()));

    dispatcher.addKeyCallback([](int, int) { throw std::runtime_error("No object with name lock9 found."); });
    dispatcher.addCursorPosCallback([](double, double) { throw 42; });
    testing::internal::CaptureStderr();
    EXPECT_NO_THROW(InputDispatcher::keyCallback(window(), GLFW_KEY_E, 0, GLFW_PRESS, 0));
    EXPECT_NO_THROW(InputDispatcher::cursorPosCallback(window(), 5.0, 5.0));
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(keys, 2);
    EXPECT_TRUE(dispatcher.handlerFailed() && glfwWindowShouldClose(window()));
    EXPECT_NE(err.find("][ERROR] Exception in key handler: No object with name lock9 found.\n"), std::string::npos)
        << err;
    EXPECT_NE(err.find("][ERROR] Unknown exception in cursor handler\n"), std::string::npos) << err;
}
