#include "framework/FrameworkShader.h"

#include "app/Console.h"
#include "framework/Framework.h"

#include <cstdlib>
#include <iostream>
#include <vector>

namespace {

[[noreturn]] void failAndExit() {
    waitForKeyPress();
    std::exit(1);
}

std::string infoLogText(const std::vector<char>& buffer) {
    // The log is zero-terminated inside the buffer.
    return std::string(buffer.data());
}

}  // namespace

FrameworkShader::FrameworkShader()
    : vertex(kDefaultVertexSource), fragment(kDefaultFragmentSource), fromSource(true) {
    program = link();
}

FrameworkShader::~FrameworkShader() {
    glUseProgram(0);
    glDeleteProgram(program);
}

void FrameworkShader::use() {
    glUseProgram(program);
}

bool FrameworkShader::compile(std::string source, GLenum type, GLuint& shader) {
    shader = glCreateShader(type);
    if (shader == 0) {
        std::cout << "Failed to create " << static_cast<unsigned>(type) << std::endl;
        failAndExit();
    }

    const char* text = source.c_str();
    glShaderSource(shader, 1, &text, nullptr);
    glCompileShader(shader);
    GLint status = GL_FALSE;
    glGetShaderiv(shader, GL_COMPILE_STATUS, &status);
    if (status == GL_TRUE && glIsShader(shader)) {
        return true;
    }

    GLint logLength = 0;
    glGetShaderiv(shader, GL_INFO_LOG_LENGTH, &logLength);
    std::vector<char> log(static_cast<size_t>(logLength > 0 ? logLength : 0) + 1, '\0');
    glGetShaderInfoLog(shader, logLength, nullptr, log.data());
    std::cout << "Failed to compile shader: " << source << std::endl;
    std::cout << infoLogText(log) << std::endl;
    glDeleteShader(shader);
    failAndExit();
}

GLuint FrameworkShader::link() {
    GLuint vertexShader = 0;
    GLuint fragmentShader = 0;
    compile(vertex, GL_VERTEX_SHADER, vertexShader);
    compile(fragment, GL_FRAGMENT_SHADER, fragmentShader);

    GLuint linked = glCreateProgram();
    glAttachShader(linked, vertexShader);
    glAttachShader(linked, fragmentShader);
    glLinkProgram(linked);
    GLint status = GL_FALSE;
    glGetProgramiv(linked, GL_LINK_STATUS, &status);

    if (status == GL_TRUE) {
        glDetachShader(linked, vertexShader);
        glDetachShader(linked, fragmentShader);
        glDeleteShader(vertexShader);
        glDeleteShader(fragmentShader);
        return linked;
    }

    GLint logLength = 0;
    glGetProgramiv(linked, GL_INFO_LOG_LENGTH, &logLength);
    std::vector<char> log(static_cast<size_t>(logLength > 0 ? logLength : 0) + 1, '\0');
    glGetProgramInfoLog(linked, logLength, nullptr, log.data());
    std::cout << "Failed to link shader program:" << std::endl;
    std::cout << infoLogText(log) << std::endl;
    glDeleteProgram(linked);
    glDeleteShader(vertexShader);
    glDeleteShader(fragmentShader);
    failAndExit();
}
