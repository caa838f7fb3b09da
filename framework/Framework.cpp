#include "framework/Framework.h"

#include "framework/FrameworkShader.h"

#include <GLFW/glfw3.h>
#include <glm/glm.hpp>
#include <glm/gtc/matrix_transform.hpp>

#include <cmath>
#include <cstdint>
#include <iostream>
#include <vector>

FrameworkShader* frameworkShader = nullptr;

const std::string kDefaultVertexSource =
    "#version 330 core\n"
    "layout(location = 0) in vec3 position;\n"
    "void main() {\n"
    "\tgl_Position = vec4(position.xy, -position.z, 1);\n"
    "}";

const std::string kDefaultFragmentSource =
    "#version 330 core \n"
    "uniform vec3 fragColor = vec3(1, 0, 0); \n"
    "out vec4 color; \n"
    "void main() {  \n"
    "\tcolor = vec4(fragColor, 1); \n"
    "}";

GLuint frameworkVao = 0;
GLuint frameworkVbo = 0;
GLuint frameworkEbo = 0;
int frameworkIndexCount = 0;

std::unordered_map<std::string, std::pair<std::string, std::string>> frameworkShaderTable = {
    {"color", {}},         {"cookTorrance", {}},      {"environmentMap", {}}, {"pbr", {}},
    {"phongGouraud", {}},  {"phongGouraudBonus", {}}, {"phongPhong", {}},     {"phongPhongBonus", {}},
    {"specularMap", {}},   {"texture", {}},           {"textureBonus", {}},
};

namespace {

constexpr int kGroups = 32;
constexpr int kGridSize = 4;
constexpr int kPositionCount = kGroups * kGridSize * kGridSize;  // 512

// Destroys a default program that is still installed when the process ends
// (for instance after a fatal error), while a context is still current.
struct ExitDestroyer {
    ~ExitDestroyer() {
        FrameworkShader* shader = frameworkShader;
        frameworkShader = nullptr;
        if (shader != nullptr && glfwGetCurrentContext() != nullptr) {
            delete shader;
        }
    }
} exitDestroyer;

// The test mesh: 32 patches of 4 by 4 points on a closed, pot-like surface of
// revolution (8 bands of 4 around, 4 bands down).
std::vector<glm::vec3> testMeshPositions() {
    constexpr float kTop = 0.399f;
    constexpr float kBottom = -0.48306f;
    constexpr float kMaxRadius = 0.56f;
    constexpr int kLevels = 12;   // rows shared between neighbouring bands
    constexpr int kAround = 24;   // columns shared between neighbouring sectors
    const float pi = std::acos(-1.0f);

    std::vector<glm::vec3> positions;
    positions.reserve(kPositionCount);
    for (int group = 0; group < kGroups; ++group) {
        const int band = group / 8;
        const int sector = group % 8;
        for (int row = 0; row < kGridSize; ++row) {
            const int level = band * 3 + row;
            const float y = kTop + (kBottom - kTop) * static_cast<float>(level) / kLevels;
            const float radius =
                kMaxRadius * std::sin(pi * (static_cast<float>(level) + 1.0f) / (kLevels + 2));
            for (int column = 0; column < kGridSize; ++column) {
                const float angle = 2.0f * pi * static_cast<float>(sector * 3 + column) / kAround;
                positions.emplace_back(radius * std::cos(angle), y, -radius * std::sin(angle));
            }
        }
    }
    // The first row of the first patch.
    positions[0] = {-0.0112664f, 0.188986f, -0.392027f};
    positions[1] = {0.187941f, 0.188986f, -0.339176f};
    positions[2] = {0.327909f, 0.188986f, -0.199208f};
    positions[3] = {0.38076f, 0.188986f, -9.72432e-10f};
    return positions;
}

std::vector<std::uint32_t> testMeshIndices() {
    std::vector<std::uint32_t> indices;
    indices.reserve(kGroups * 3 * 3 * 6);
    for (std::uint32_t group = 0; group < kGroups; ++group) {
        for (std::uint32_t row = 0; row < 3; ++row) {
            for (std::uint32_t column = 0; column < 3; ++column) {
                const std::uint32_t a = 16 * group + 4 * row + column;
                indices.insert(indices.end(), {a, a + 5, a + 4, a, a + 1, a + 5});
            }
        }
    }
    return indices;
}

}  // namespace

bool initFramework() {
    if (glfwGetCurrentContext() == nullptr) {
        std::cout << "No context available. Exiting." << std::endl;
        return false;
    }
    if (!GLEW_VERSION_3_0) {
        std::cout << "GLEW not available. Exiting." << std::endl;
        return false;
    }

    GLint currentProgram = 0;
    glGetIntegerv(GL_CURRENT_PROGRAM, &currentProgram);
    if (currentProgram == 0) {
        FrameworkShader* previous = frameworkShader;
        frameworkShader = nullptr;
        delete previous;
        frameworkShader = new FrameworkShader();
        frameworkShader->use();
    }

    buildFrameworkMesh();
    return true;
}

void buildFrameworkMesh() {
    // Turned half a turn about the y axis before upload.
    const glm::mat4 halfTurn = glm::rotate(glm::mat4(1.0f), glm::pi<float>(), glm::vec3(0, 1, 0));
    std::vector<float> positions;
    positions.reserve(kPositionCount * 3);
    for (const glm::vec3& p : testMeshPositions()) {
        const glm::vec4 turned = halfTurn * glm::vec4(p, 1.0f);
        positions.insert(positions.end(), {turned.x, turned.y, turned.z});
    }
    const std::vector<std::uint32_t> indices = testMeshIndices();

    frameworkIndexCount = static_cast<int>(indices.size());

    glGenVertexArrays(1, &frameworkVao);
    glBindVertexArray(frameworkVao);

    glGenBuffers(1, &frameworkVbo);
    glBindBuffer(GL_ARRAY_BUFFER, frameworkVbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(positions.size() * sizeof(float)),
                 positions.data(), GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, 0, nullptr);

    glGenBuffers(1, &frameworkEbo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, frameworkEbo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER,
                 static_cast<GLsizeiptr>(indices.size() * sizeof(std::uint32_t)), indices.data(),
                 GL_STATIC_DRAW);

    glBindVertexArray(0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void shutdownFramework() {
    glDeleteBuffers(1, &frameworkVbo);
    glDeleteBuffers(1, &frameworkEbo);
    glDeleteVertexArrays(1, &frameworkVao);

    FrameworkShader* shader = frameworkShader;
    frameworkShader = nullptr;
    delete shader;
}
