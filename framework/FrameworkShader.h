#pragma once

#include <GL/glew.h>

#include <string>
#include <unordered_map>

// The framework's default program, built from GLSL text. Any failure to
// create, compile or link a stage prints the reason and ends the process.
class FrameworkShader {
public:
    FrameworkShader();
    ~FrameworkShader();
    FrameworkShader(const FrameworkShader&) = delete;
    FrameworkShader& operator=(const FrameworkShader&) = delete;

    void use();

    // Compiles one stage into `shader`. Returns true, or ends the process.
    bool compile(std::string source, GLenum type, GLuint& shader);

    // Compiles both stages and links them. Returns the program, or ends the process.
    GLuint link();

    GLuint program = 0;
    std::string vertex;
    std::string fragment;
    bool fromSource = true;
    std::unordered_map<std::string, int> uniformLocations;
};
