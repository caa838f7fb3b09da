#include "framework/Framework.h"
#include "framework/FrameworkShader.h"

#include "tests/support/GlContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <memory>

using FrameworkTest = GlTest;

// Without a context init reports it and fails. With one it installs the
// default program and a test mesh of 1728 indices, which shutdown releases;
// with a program already bound it makes none of its own but still builds
// the mesh, and shutdown leaves that program bound.
TEST_F(FrameworkTest, InitAndShutdownWithAndWithoutABoundProgram) {
    const auto current = [] {
        GLint program = 0;
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        return static_cast<GLuint>(program);
    };
    glfwMakeContextCurrent(nullptr);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(initFramework());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No context available. Exiting.\n");
    glfwMakeContextCurrent(window());

    ASSERT_TRUE(initFramework());
    ASSERT_NE(frameworkShader, nullptr);
    const GLuint program = frameworkShader->program;
    EXPECT_EQ(current(), program);
    shutdownFramework();
    EXPECT_FALSE(glIsProgram(program));

    auto own = std::make_unique<FrameworkShader>();
    own->use();
    ASSERT_TRUE(initFramework());
    EXPECT_EQ(frameworkShader, nullptr);
    EXPECT_EQ(frameworkIndexCount, 1728);
    GLint indexBytes = 0;
    glGetNamedBufferParameteriv(frameworkEbo, GL_BUFFER_SIZE, &indexBytes);
    EXPECT_EQ(indexBytes, 1728 * 4);
    shutdownFramework();
    EXPECT_EQ(current(), own->program);
    own.reset();
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
