#include "framework/Framework.h"
#include "framework/FrameworkShader.h"

#include "tests/support/GlContext.h"

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

