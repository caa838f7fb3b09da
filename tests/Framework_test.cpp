#include "framework/Framework.h"
#include "framework/FrameworkShader.h"

#include "tests/support/GlContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <utility>

namespace {

using FrameworkTest = GlTest;

GLint currentProgram() {
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    return program;
}

}  // namespace

// The framework's life on one context: no context is reported; shutdown
// before init is harmless; init installs the default program and a test
// mesh of 1728 indices; with a program already bound it makes no
// program but still builds the mesh, and shutdown leaves that program bound.
TEST_F(FrameworkTest, InitAndShutdownWithAndWithoutABoundProgram) {
    glfwMakeContextCurrent(nullptr);
    testing::internal::CaptureStdout();
    EXPECT_FALSE(initFramework());
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "No context available. Exiting.\n");
    glfwMakeContextCurrent(window());

    frameworkVao = frameworkVbo = frameworkEbo = 0;
    shutdownFramework();
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    ASSERT_TRUE(initFramework());
    ASSERT_NE(frameworkShader, nullptr);
    const GLuint program = frameworkShader->program;
    EXPECT_EQ(currentProgram(), static_cast<GLint>(program));
    EXPECT_EQ(frameworkIndexCount, 1728);
    shutdownFramework();
    EXPECT_FALSE(glIsProgram(program));

    const GLuint own = glCreateProgram();  // a trivial program of the test's own
    for (auto [type, text] : {std::pair{GL_VERTEX_SHADER, "#version 450 core\nvoid main() { gl_Position = vec4(0); }"},
                              std::pair{GL_FRAGMENT_SHADER, "#version 450 core\nout vec4 c;\nvoid main() { c = vec4(1); }"}}) {
        const GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &text, nullptr);
        glCompileShader(shader);
        glAttachShader(own, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(own);
    glUseProgram(own);
    ASSERT_TRUE(initFramework());
    EXPECT_EQ(frameworkShader, nullptr);
    EXPECT_EQ(currentProgram(), static_cast<GLint>(own));
    EXPECT_EQ(frameworkIndexCount, 1728);
    GLint indexBytes = 0;
    glGetNamedBufferParameteriv(frameworkEbo, GL_BUFFER_SIZE, &indexBytes);
    EXPECT_EQ(indexBytes, 1728 * 4);
    shutdownFramework();
    EXPECT_EQ(currentProgram(), static_cast<GLint>(own));
    glDeleteProgram(own);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(FrameworkTest, CompileFailureQuotesTheWholeSourceAndExits) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const std::string source =
        "#version 330 core\nlayout(location = 0) in vec3 position;\nvoid main() {\n"
        "\tgl_Position = vec4(position, 1) +;\n}";
    // The framework prints to standard output; the death test reads standard
    // error. Standard input is closed so that no wait for a key can block.
    EXPECT_EXIT(
        {
            std::freopen("/dev/null", "r", stdin);
            dup2(STDERR_FILENO, STDOUT_FILENO);
            FrameworkShader shader;
            GLuint name = 0;
            shader.compile(source, GL_VERTEX_SHADER, name);
        },
        ::testing::ExitedWithCode(1),
        ::testing::AllOf(::testing::HasSubstr("Failed to compile shader: " + source + "\n"),
                         ::testing::Not(::testing::HasSubstr(source + "\n\n"))));
}
