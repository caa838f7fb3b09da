#include "framework/Framework.h"
#include "framework/FrameworkShader.h"

#include "tests/support/GlContext.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <iostream>
#include <sstream>
#include <vector>

namespace {

using FrameworkTest = GlTest;

GLint currentProgram() {
    GLint program = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &program);
    return program;
}

GLint bufferSize(GLuint buffer) {
    GLint size = 0;
    glGetNamedBufferParameteriv(buffer, GL_BUFFER_SIZE, &size);
    return size;
}

// A trivial program of the test's own.
GLuint makeProgram() {
    const char* vs = "#version 450 core\nvoid main() { gl_Position = vec4(0); }";
    const char* fs = "#version 450 core\nout vec4 c;\nvoid main() { c = vec4(1); }";
    GLuint program = glCreateProgram();
    for (auto [type, text] : {std::pair{GL_VERTEX_SHADER, vs}, std::pair{GL_FRAGMENT_SHADER, fs}}) {
        GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &text, nullptr);
        glCompileShader(shader);
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    return program;
}

}  // namespace

TEST_F(FrameworkTest, InstallsTheRedDefaultProgramAndATestMeshThatDraws) {
    ASSERT_TRUE(initFramework());
    ASSERT_NE(frameworkShader, nullptr);
    const GLuint program = frameworkShader->program;
    EXPECT_EQ(currentProgram(), static_cast<GLint>(program));

    EXPECT_EQ(frameworkIndexCount, 1728);
    EXPECT_EQ(bufferSize(frameworkVbo), 512 * 3 * 4);
    EXPECT_EQ(bufferSize(frameworkEbo), 1728 * 4);
    GLint elementBuffer = 0;
    glGetVertexArrayiv(frameworkVao, GL_ELEMENT_ARRAY_BUFFER_BINDING, &elementBuffer);
    EXPECT_EQ(elementBuffer, static_cast<GLint>(frameworkEbo)) << "the vertex array keeps its indices";

    std::vector<std::uint32_t> indices(1728);
    glGetNamedBufferSubData(frameworkEbo, 0, 1728 * 4, indices.data());
    EXPECT_EQ((std::vector<std::uint32_t>(indices.begin(), indices.begin() + 6)),
              (std::vector<std::uint32_t>{0, 5, 4, 0, 1, 5}));
    EXPECT_EQ((std::vector<std::uint32_t>(indices.end() - 6, indices.end())),
              (std::vector<std::uint32_t>{506, 511, 510, 506, 507, 511}));

    // Drawn with the default program, the mesh paints the middle of the window red.
    glDisable(GL_CULL_FACE);
    glClearColor(0, 0, 1, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glBindVertexArray(frameworkVao);
    glDrawElements(GL_TRIANGLES, frameworkIndexCount, GL_UNSIGNED_INT, nullptr);
    glBindVertexArray(0);
    unsigned char pixel[4] = {0, 0, 0, 0};
    glReadPixels(32, 32, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
    EXPECT_EQ(pixel[0], 255);
    EXPECT_EQ(pixel[1], 0);
    EXPECT_EQ(pixel[2], 0);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

    const GLuint vbo = frameworkVbo;
    shutdownFramework();
    EXPECT_EQ(frameworkShader, nullptr);
    EXPECT_EQ(currentProgram(), 0);
    EXPECT_FALSE(glIsProgram(program));
    EXPECT_FALSE(glIsBuffer(vbo));
}

TEST_F(FrameworkTest, LeavesABoundProgramAloneButStillBuildsTheMesh) {
    const GLuint own = makeProgram();
    glUseProgram(own);
    ASSERT_TRUE(initFramework());
    EXPECT_EQ(frameworkShader, nullptr);
    EXPECT_EQ(currentProgram(), static_cast<GLint>(own));
    EXPECT_EQ(frameworkIndexCount, 1728);
    EXPECT_EQ(bufferSize(frameworkEbo), 1728 * 4);
    shutdownFramework();
    EXPECT_EQ(currentProgram(), static_cast<GLint>(own));
    glDeleteProgram(own);
}

TEST_F(FrameworkTest, ShutdownWithoutInitIsHarmless) {
    frameworkVao = frameworkVbo = frameworkEbo = 0;
    shutdownFramework();
    EXPECT_EQ(frameworkShader, nullptr);
    EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

TEST_F(FrameworkTest, ReportsAMissingContext) {
    glfwMakeContextCurrent(nullptr);
    std::ostringstream out;
    std::streambuf* old = std::cout.rdbuf(out.rdbuf());
    const bool ready = initFramework();
    std::cout.rdbuf(old);
    glfwMakeContextCurrent(window());
    EXPECT_FALSE(ready);
    EXPECT_EQ(out.str(), "No context available. Exiting.\n");
    EXPECT_EQ(frameworkShader, nullptr);
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
