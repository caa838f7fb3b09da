#include "render/Mesh.h"

#include "app/Logger.h"
#include "render/Material.h"
#include "render/Shader.h"

#include <assimp/mesh.h>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

Mesh* Mesh::create(int indexCount, GLuint* indices, int vertexCount, float* vertices) {
    Mesh* mesh = new Mesh();
    mesh->drawCount = indexCount;
    mesh->indexCount = indexCount;
    mesh->indices = indices;
    mesh->vertexCount = vertexCount;
    mesh->vertices = vertices;
    mesh->setUpBuffers();
    return mesh;
}

Mesh* Mesh::fromAiMesh(const aiMesh* source, Material* material) {
    Mesh* mesh = new Mesh();
    mesh->material = material;
    mesh->vertexCount = static_cast<int>(source->mNumVertices);
    mesh->vertices = new float[static_cast<size_t>(mesh->vertexCount) * kFloatsPerVertex]();

    const bool hasNormals = source->mNormals != nullptr;
    const bool hasTexCoords = source->mTextureCoords[0] != nullptr;
    for (unsigned i = 0; i < source->mNumVertices; ++i) {
        float* v = mesh->vertices + static_cast<size_t>(i) * kFloatsPerVertex;
        v[0] = source->mVertices[i].x;
        v[1] = source->mVertices[i].y;
        v[2] = source->mVertices[i].z;
        if (hasNormals) {
            v[3] = source->mNormals[i].x;
            v[4] = source->mNormals[i].y;
            v[5] = source->mNormals[i].z;
        }
        if (hasTexCoords) {
            v[6] = source->mTextureCoords[0][i].x;
            v[7] = source->mTextureCoords[0][i].y;
        }
    }

    mesh->copyTriangles(source);

    mesh->setUpBuffers();
    return mesh;
}

void Mesh::copyTriangles(const aiMesh* source) {
    std::vector<GLuint> triangles;
    triangles.reserve(static_cast<size_t>(source->mNumFaces) * 3);
    // An index past the last vertex would have the draw read beyond the
    // vertex buffer (and the physics beyond the array): such a triangle is left out.
    const GLuint count = static_cast<GLuint>(vertexCount);
    unsigned outOfRange = 0;
    for (unsigned f = 0; f < source->mNumFaces; ++f) {
        const aiFace& face = source->mFaces[f];
        if (face.mNumIndices != 3) {
            continue;
        }
        if (face.mIndices[0] >= count || face.mIndices[1] >= count || face.mIndices[2] >= count) {
            ++outOfRange;
            continue;
        }
        triangles.insert(triangles.end(), face.mIndices, face.mIndices + 3);
    }
    if (outOfRange > 0) {
        Logger::log("Mesh " + std::string(source->mName.C_Str()) + ": " + std::to_string(outOfRange) +
                        " triangles name vertices it does not have; they are not drawn",
                    WARNING);
    }
    indexCount = static_cast<int>(triangles.size());
    drawCount = indexCount;
    indices = new GLuint[triangles.size()];
    std::copy(triangles.begin(), triangles.end(), indices);
}

void Mesh::setUpBuffers() {
    if (vertexCount > 0) {
        glm::vec3 low(vertices[0], vertices[1], vertices[2]);
        glm::vec3 high = low;
        for (int i = 1; i < vertexCount; ++i) {
            const glm::vec3 p = glm::make_vec3(vertices + static_cast<size_t>(i) * kFloatsPerVertex);
            low = glm::min(low, p);
            high = glm::max(high, p);
        }
        center = (low + high) * 0.5f;
    }

    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);

    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount) * sizeof(Vertex), vertices,
                 GL_STATIC_DRAW);

    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(0));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(12));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, sizeof(Vertex), reinterpret_cast<void*>(24));

    glGenBuffers(1, &ebo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexCount) * sizeof(GLuint), indices,
                 GL_STATIC_DRAW);
}

void Mesh::release() {
    if (vao != 0 || vbo != 0 || ebo != 0) {
        glDeleteVertexArrays(1, &vao);
        glDeleteBuffers(1, &vbo);
        glDeleteBuffers(1, &ebo);
        Logger::log("Deleted mesh vao " + std::to_string(vao), DEBUG);
    }
    delete[] vertices;
    delete[] indices;
    vao = vbo = ebo = 0;
    vertices = nullptr;
    indices = nullptr;
}

Mesh::~Mesh() {
    release();
}

Mesh::Mesh(Mesh&& other) noexcept
    : material(std::exchange(other.material, nullptr)),
      vao(std::exchange(other.vao, 0)),
      vbo(std::exchange(other.vbo, 0)),
      ebo(std::exchange(other.ebo, 0)),
      drawCount(std::exchange(other.drawCount, 0)),
      vertices(std::exchange(other.vertices, nullptr)),
      vertexCount(std::exchange(other.vertexCount, 0)),
      indices(std::exchange(other.indices, nullptr)),
      indexCount(std::exchange(other.indexCount, 0)),
      center(other.center) {}

Mesh& Mesh::operator=(Mesh&& other) noexcept {
    if (this != &other) {
        release();
        material = std::exchange(other.material, nullptr);
        vao = std::exchange(other.vao, 0);
        vbo = std::exchange(other.vbo, 0);
        ebo = std::exchange(other.ebo, 0);
        drawCount = std::exchange(other.drawCount, 0);
        vertices = std::exchange(other.vertices, nullptr);
        vertexCount = std::exchange(other.vertexCount, 0);
        indices = std::exchange(other.indices, nullptr);
        indexCount = std::exchange(other.indexCount, 0);
        center = other.center;
    }
    return *this;
}

void Mesh::render(const glm::mat4& model, bool selected) {
    draw(model, material, selected);
}

void Mesh::draw(const glm::mat4& model, Material* drawMaterial, bool selected) {
    if (drawMaterial == nullptr) {
        return;
    }
    applyMaterial(model, drawMaterial, selected);
    if (depthLaidDown) {
        // Its own depth is already in the buffer. Only these draws pass on
        // equal depth; every other keeps GL_LESS and its old ties.
        glDepthFunc(GL_LEQUAL);
        drawElements();
        glDepthFunc(GL_LESS);
    } else {
        drawElements();
    }
}

Shader* Mesh::applyMaterial(const glm::mat4& model, Material* drawMaterial, bool selected) {
    drawMaterial->apply();
    Shader* shader = drawMaterial->getShader();
    shader->setMat4("modelMatrix", 1, GL_FALSE, glm::value_ptr(model));
    if (selected) {
        // The object in focus: full ambient for this draw only.
        shader->setFloat("ka", 1.0f);
    }
    return shader;
}

void Mesh::drawElements() {
    glBindVertexArray(vao);
    glDrawElements(GL_TRIANGLES, drawCount, GL_UNSIGNED_INT, nullptr);
}
