#pragma once

#include <GL/glew.h>

#include <string>
#include <unordered_map>
#include <utility>

class FrameworkShader;

// The installed default program; null when none.
extern FrameworkShader* frameworkShader;

extern const std::string kDefaultVertexSource;
extern const std::string kDefaultFragmentSource;

// The test mesh.
extern GLuint frameworkVao;
extern GLuint frameworkVbo;
extern GLuint frameworkEbo;
extern int frameworkIndexCount;

// Named reference shader sources (vertex, fragment). The game reads none of them.
extern std::unordered_map<std::string, std::pair<std::string, std::string>> frameworkShaderTable;

// Checks the current context and GLEW, installs the red default program when
// no program is bound, and uploads the test mesh. False when the context or
// OpenGL 3.0 is missing.
bool initFramework();

// Deletes the test mesh and the default program object.
void shutdownFramework();

// Uploads the test mesh into new buffers and a new vertex array.
void buildFrameworkMesh();
