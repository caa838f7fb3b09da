#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <vector>

class Shader;

// The sky: a cube map from six image files, drawn as a unit cube around the
// eye behind everything else. The faces come in the order +x, -x, +y, -y,
// +z, -z (right, left, top, bottom, front, back).
class Skybox {
public:
    Skybox(const std::vector<std::string>& faces, Shader* shader);
    ~Skybox();
    Skybox(const Skybox&) = delete;
    Skybox& operator=(const Skybox&) = delete;

    GLuint getTexture() const { return cubemap; }

    // Draws the cube with the depth function GL_LEQUAL, then restores GL_LESS.
    void draw();

    void loadCubemap(const std::vector<std::string>& faces);
    void createCube();

private:
    GLuint cubemap = 0;
    int32_t width = 0;     // what the decoder reported for the last face
    int32_t height = 0;
    int32_t channels = 0;
    Shader* shader;        // not owned
    GLuint vao = 0;
    GLuint vbo = 0;
};
