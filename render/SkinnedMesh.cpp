#include "render/SkinnedMesh.h"

#include "app/GameState.h"
#include "app/Logger.h"
#include "render/Bone.h"
#include "render/Conversions.h"
#include "render/Material.h"
#include "render/Shader.h"

#include <assimp/anim.h>
#include <assimp/mesh.h>
#include <assimp/scene.h>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <new>
#include <vector>

namespace {

constexpr size_t kFloatsPerSkinnedVertex = sizeof(SkinnedVertex) / sizeof(float);
static_assert(sizeof(SkinnedVertex) % sizeof(float) == 0, "SkinnedVertex fills whole floats");

// The last of the first `count` bones with that name, or -1.
int findBone(const Bone* bones, unsigned count, const std::string& name) {
    int found = -1;
    for (unsigned i = 0; i < count; ++i) {
        if (bones[i].getName() == name) {
            found = static_cast<int>(i);
        }
    }
    return found;
}

}  // namespace

SkinnedMesh* SkinnedMesh::fromAiMesh(const aiMesh* source, const aiAnimation* animation, Material* material) {
    SkinnedMesh* mesh = new SkinnedMesh();
    mesh->material = material;
    mesh->animation = animation;
    mesh->vertexCount = static_cast<int>(source->mNumVertices);
    mesh->boneCount = source->mBones != nullptr ? source->mNumBones : 0;
    const std::string meshName = source->mName.C_Str();
    if (mesh->boneCount > kMaxShaderBones) {
        Logger::log("Skinned mesh " + meshName + " has " + std::to_string(mesh->boneCount) +
                        " bones; only the first " + std::to_string(kMaxShaderBones) + " reach the shader",
                    WARNING);
    }

    // The vertex records live in the mesh's float array (68 bytes = 17 floats).
    const size_t count = static_cast<size_t>(mesh->vertexCount);
    mesh->vertices = new float[count * kFloatsPerSkinnedVertex];
    SkinnedVertex* records = reinterpret_cast<SkinnedVertex*>(mesh->vertices);
    for (size_t i = 0; i < count; ++i) {
        new (&records[i]) SkinnedVertex{glm::vec3(0.0f), glm::vec3(0.0f), glm::vec2(0.0f), 0, glm::ivec4(0),
                                        glm::vec4(0.0f)};
    }
    mesh->bones = new Bone[mesh->boneCount + 1];
    Bone* bones = mesh->bones;

    const bool hasNormals = source->mNormals != nullptr;
    const bool hasTexCoords = source->mTextureCoords[0] != nullptr;
    for (size_t i = 0; i < count; ++i) {
        records[i].position = toGlmVec3(source->mVertices[i]);
        if (hasNormals) {
            records[i].normal = toGlmVec3(source->mNormals[i]);
        }
        if (hasTexCoords) {
            records[i].texCoords = glm::vec2(source->mTextureCoords[0][i].x, source->mTextureCoords[0][i].y);
        }
    }

    // Bones, their rest poses and weights; each vertex keeps its first four
    // influences in bone order and weight-list order.
    unsigned droppedWeights = 0;
    for (unsigned b = 0; b < mesh->boneCount; ++b) {
        const aiBone* bone = source->mBones[b];
        Bone& target = bones[b];
        target.setName(bone->mName.C_Str());
        target.reserveWeights(static_cast<int>(bone->mNumWeights));
        if (bone->mNode != nullptr) {
            target.setTransform(toGlmMat4(bone->mNode->mTransformation));
        } else {
            Logger::log("Bone " + target.getName() + " of " + meshName +
                            " has no node; it keeps the identity as rest pose",
                        WARNING);
        }
        target.setOffsetMatrix(toGlmMat4(bone->mOffsetMatrix));
        for (unsigned w = 0; w < bone->mNumWeights; ++w) {
            const aiVertexWeight& weight = bone->mWeights[w];
            if (weight.mVertexId >= count) {
                ++droppedWeights;
                continue;
            }
            target.addWeight(static_cast<int>(weight.mVertexId), weight.mWeight);
            SkinnedVertex& vertex = records[weight.mVertexId];
            if (vertex.influenceCount < kMaxInfluences) {
                vertex.boneIds[vertex.influenceCount] = static_cast<int>(b);
                vertex.weights[vertex.influenceCount] = weight.mWeight;
                ++vertex.influenceCount;
            }
        }
    }
    if (droppedWeights > 0) {
        Logger::log("Skinned mesh " + meshName + ": " + std::to_string(droppedWeights) +
                        " bone weights name vertices it does not have; they are ignored",
                    WARNING);
    }

    // Hierarchy: bones hang under the bone named like their node's parent; a
    // parent node outside the skeleton becomes the extra root bone.
    Bone* const extraRoot = &bones[mesh->boneCount];
    for (unsigned b = 0; b < mesh->boneCount; ++b) {
        const aiNode* node = source->mBones[b]->mNode;
        if (node == nullptr || node->mParent == nullptr) {
            continue;
        }
        const aiNode* parentNode = node->mParent;
        const int parentIndex = findBone(bones, mesh->boneCount, parentNode->mName.C_Str());
        const int selfIndex = findBone(bones, mesh->boneCount, node->mName.C_Str());
        Bone* parentBone = nullptr;
        if (parentIndex >= 0) {
            parentBone = &bones[parentIndex];
        } else {
            extraRoot->setName(parentNode->mName.C_Str());
            extraRoot->setTransform(toGlmMat4(parentNode->mTransformation));
            rootBone = extraRoot;
            parentBone = extraRoot;
        }
        if (selfIndex >= 0) {
            bones[selfIndex].setParentBone(parentBone);
        }
    }

    if (animation != nullptr) {
        for (unsigned c = 0; c < animation->mNumChannels; ++c) {
            const aiNodeAnim* channel = animation->mChannels[c];
            const std::string nodeName = channel->mNodeName.C_Str();
            for (unsigned b = 0; b <= mesh->boneCount; ++b) {
                if (bones[b].getName() == nodeName) {
                    bones[b].setChannel(channel);
                    bones[b].setDuration(animation->mDuration);
                }
            }
        }
    }

    // A vertex that no bone reaches keeps its zero weights (the shader then
    // leaves it unskinned) instead of dividing by zero.
    unsigned unweighted = 0;
    for (size_t i = 0; i < count; ++i) {
        glm::vec4& w = records[i].weights;
        const float sum = w[0] + w[1] + w[2] + w[3];
        if (sum > 0.0f) {
            w /= sum;
        } else {
            ++unweighted;
        }
    }
    if (unweighted > 0) {
        Logger::log("Skinned mesh " + meshName + ": " + std::to_string(unweighted) +
                        " vertices have no bone weight; they stay in their bind pose",
                    WARNING);
    }

    mesh->copyTriangles(source);

    mesh->boneUniformNames.reserve(mesh->boneCount);
    for (unsigned b = 0; b < mesh->boneCount; ++b) {
        mesh->boneUniformNames.push_back("bones[" + std::to_string(b) + "]");
    }

    mesh->setUpSkinnedBuffers();
    Logger::log("SkinnedMesh VAO " + std::to_string(mesh->vao) + " vbo " + std::to_string(mesh->vbo), DEBUG);
    return mesh;
}

void SkinnedMesh::setUpSkinnedBuffers() {
    glGenVertexArrays(1, &vao);
    glBindVertexArray(vao);

    glGenBuffers(1, &vbo);
    glBindBuffer(GL_ARRAY_BUFFER, vbo);
    glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount) * sizeof(SkinnedVertex), vertices,
                 GL_STATIC_DRAW);

    constexpr GLsizei stride = sizeof(SkinnedVertex);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(SkinnedVertex, position)));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(SkinnedVertex, normal)));
    glEnableVertexAttribArray(2);
    glVertexAttribPointer(2, 2, GL_FLOAT, GL_FALSE, stride,
                          reinterpret_cast<void*>(offsetof(SkinnedVertex, texCoords)));
    glEnableVertexAttribArray(3);
    glVertexAttribIPointer(3, 4, GL_INT, stride, reinterpret_cast<void*>(offsetof(SkinnedVertex, boneIds)));
    glEnableVertexAttribArray(4);
    glVertexAttribPointer(4, 4, GL_FLOAT, GL_FALSE, stride, reinterpret_cast<void*>(offsetof(SkinnedVertex, weights)));

    glGenBuffers(1, &ebo);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, ebo);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexCount) * sizeof(GLuint), indices,
                 GL_STATIC_DRAW);
}

SkinnedMesh::~SkinnedMesh() {
    // The global must not outlive the bone it points to.
    if (rootBone != nullptr && rootBone >= bones && rootBone <= bones + boneCount) {
        rootBone = nullptr;
    }
    delete[] bones;
}

void SkinnedMesh::draw(const glm::mat4& model, Material* drawMaterial, bool selected) {
    if (drawMaterial == nullptr) {
        return;
    }
    Shader* shader = applyMaterial(model, drawMaterial, selected);
    if (bones != nullptr) {
        // Without an animation the clocks stand still and the rest pose stays.
        const double ticksPerSecond = animation != nullptr ? animation->mTicksPerSecond : 0.0;
        const float dt =
            static_cast<float>(static_cast<double>(static_cast<float>(frameDeltaTime)) * ticksPerSecond);
        for (unsigned i = 0; i < boneCount; ++i) {
            bones[i].update(dt);
            const glm::mat4 finalMatrix = bones[i].getFinalMatrix();
            shader->setMat4(boneUniformNames[i], 1, GL_FALSE, glm::value_ptr(finalMatrix));
        }
    }
    drawElements();
}
