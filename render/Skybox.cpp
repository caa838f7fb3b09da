#include "render/Skybox.h"

#include "app/Logger.h"
#include "render/AssetFile.h"
#include "render/Shader.h"

#include <stb/stb_image.h>

#include <algorithm>
#include <cstddef>

namespace {

constexpr std::size_t kFaceCount = 6;

// 36 vertices, two triangles per face in the order -z, -x, +x, +z, +y, -y,
// each counter-clockwise seen from inside the cube.
constexpr float kCubeVertices[108] = {
    -1, 1, -1,  -1, -1, -1,  1, -1, -1,  1, -1, -1,  1, 1, -1,  -1, 1, -1,   // -z
    -1, -1, 1,  -1, -1, -1,  -1, 1, -1,  -1, 1, -1,  -1, 1, 1,  -1, -1, 1,   // -x
    1, -1, -1,  1, -1, 1,    1, 1, 1,    1, 1, 1,    1, 1, -1,  1, -1, -1,   // +x
    -1, -1, 1,  -1, 1, 1,    1, 1, 1,    1, 1, 1,    1, -1, 1,  -1, -1, 1,   // +z
    -1, 1, -1,  1, 1, -1,    1, 1, 1,    1, 1, 1,    -1, 1, 1,  -1, 1, -1,   // +y
    -1, -1, -1, -1, -1, 1,   1, -1, -1,  1, -1, -1,  -1, -1, 1, 1, -1, 1,    // -y
};

// The size most of the readable square faces share; 0 when there is none.
// A cube map with faces of unequal sizes is incomplete, so each face of
// another size is left out, and the majority decides which faces those are.
// Between equally common sizes the one met first in the list wins. Only the
// headers are read here, so no two faces are held decoded at once.
int commonFaceSize(const std::vector<std::string>& faces, std::size_t used) {
    std::vector<int> sizes;
    for (std::size_t i = 0; i < used; ++i) {
        int width = 0, height = 0, channels = 0;
        if (isRegularFile(faces[i]) && stbi_info(faces[i].c_str(), &width, &height, &channels) != 0 &&
            width == height) {
            sizes.push_back(width);
        }
    }
    int common = 0;
    std::ptrdiff_t commonCount = 0;
    for (const int size : sizes) {
        const std::ptrdiff_t count = std::count(sizes.begin(), sizes.end(), size);
        if (count > commonCount) {
            common = size;
            commonCount = count;
        }
    }
    return common;
}

}  // namespace

Skybox::Skybox(const std::vector<std::string>& faces, Shader* shader) : shader(shader), vao(0) {
    loadCubemap(faces);
    createCube();
}

Skybox::~Skybox() {
    glDeleteTextures(1, &cubemap);
    glDeleteBuffers(1, &vbo);
    glDeleteVertexArrays(1, &vao);
}

void Skybox::loadCubemap(const std::vector<std::string>& faces) {
    glGenTextures(1, &cubemap);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cubemap);

    if (faces.size() != kFaceCount) {
        Logger::error("A sky needs " + std::to_string(kFaceCount) + " cube map faces, got " +
                      std::to_string(faces.size()));
    }
    const std::size_t used = faces.size() < kFaceCount ? faces.size() : kFaceCount;
    const int faceSize = commonFaceSize(faces, used);
    for (std::size_t i = 0; i < used; ++i) {
        const std::string& path = faces[i];
        // Faces are uploaded as RGB, so the decoder always delivers three channels.
        unsigned char* data = isRegularFile(path) ? stbi_load(path.c_str(), &width, &height, &channels, 3) : nullptr;
        if (data == nullptr) {
            Logger::error("Cubemap tex failed to load at path: " + path);
        } else if (width != height) {
            Logger::error("Cubemap tex at path: " + path + " is not square (" +
                          std::to_string(width) + "x" + std::to_string(height) + ")");
        } else if (width != faceSize) {
            Logger::error("Cubemap tex at path: " + path + " is " + std::to_string(width) + "x" +
                          std::to_string(height) + ", unlike the other faces (" + std::to_string(faceSize) +
                          "x" + std::to_string(faceSize) + ")");
        } else {
            glTexImage2D(static_cast<GLenum>(GL_TEXTURE_CUBE_MAP_POSITIVE_X + i), 0, GL_RGB, width,
                         height, 0, GL_RGB, GL_UNSIGNED_BYTE, data);
        }
        stbi_image_free(data);
    }

    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_CUBE_MAP, GL_TEXTURE_WRAP_R, GL_CLAMP_TO_EDGE);
}

void Skybox::createCube() {
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);
    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof(kCubeVertices), kCubeVertices, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);
}

void Skybox::draw() {
    glDepthFunc(GL_LEQUAL);
    shader->use();
    glBindVertexArray(vao);
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_CUBE_MAP, cubemap);
    glDrawArrays(GL_TRIANGLES, 0, 36);
    glDepthFunc(GL_LESS);
}
