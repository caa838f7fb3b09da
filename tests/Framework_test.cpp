#include "framework/Framework.h"
#include "framework/FrameworkShader.h"

#include "tests/support/GlContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>

using FrameworkTest = GlTest;

// Init installs the default program and a test mesh of 1728 indices, which
// shutdown releases.
TEST_F(FrameworkTest, InitAndShutdown) {
    ASSERT_TRUE(initFramework());
    ASSERT_NE(frameworkShader, nullptr);
    const GLuint program = frameworkShader->program;
    GLint current = 0, indexBytes = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &current);
    EXPECT_EQ(static_cast<GLuint>(current), program);
    EXPECT_EQ(frameworkIndexCount, 1728);
    glGetNamedBufferParameteriv(frameworkEbo, GL_BUFFER_SIZE, &indexBytes);
    EXPECT_EQ(indexBytes, 1728 * 4);
    shutdownFramework();
    EXPECT_FALSE(glIsProgram(program) || glIsBuffer(frameworkEbo));
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

// The message quotes the whole source, then the driver's log. The framework
// prints to standard output, which the death test cannot read: it goes to
// standard error. Standard input is closed so that no wait for a key can block.
TEST_F(FrameworkTest, CompileFailureQuotesTheWholeSourceAndExits) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string source = "#version 330 core\nvoid main() {\n\tgl_Position = vec4(1) +;\n}";
    EXPECT_EXIT(
        {
            std::freopen("/dev/null", "r", stdin);
            dup2(STDERR_FILENO, STDOUT_FILENO);
            GLuint name = 0;
            FrameworkShader().compile(source, GL_VERTEX_SHADER, name);
        },
        ::testing::ExitedWithCode(1),
        ::testing::AllOf(::testing::HasSubstr("Failed to compile shader: " + source + "\n"),
                         ::testing::Not(::testing::HasSubstr(source + "\n\n"))));
}
