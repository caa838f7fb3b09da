#include "render/ModelLoader.h"

#include "app/Lock.h"
#include "app/Logger.h"
#include "render/AssetFile.h"
#include "render/Conversions.h"
#include "render/Light.h"
#include "render/Mesh.h"
#include "render/Object.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "render/SkinnedMesh.h"

#include <assimp/Importer.hpp>
#include <assimp/material.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <filesystem>
#include <memory>
#include <system_error>
#include <vector>

const std::string kMissingTexturePath = "assets/textures/missing_texture.png";

namespace {

constexpr unsigned kImportFlags = aiProcess_Triangulate | aiProcess_PopulateArmatureData | aiProcess_FlipUVs;

// Every importer ever made, kept until the process ends: the scenes they own
// hold the animations that skinned meshes play.
std::vector<std::unique_ptr<Assimp::Importer>>& importers() {
    static std::vector<std::unique_ptr<Assimp::Importer>> all;
    return all;
}

// Whether a texture path names a file that can be read: anything else
// (missing, a directory, a FIFO) counts as missing.
bool textureExists(const std::string& path) {
    return isRegularFile(path);
}

}  // namespace

ModelLoader::ModelLoader(Renderer* renderer)
    : defaultMaterial(renderer->getShaderManager().get("phong")), renderer(renderer) {}

void ModelLoader::loadScene(Scene* scene, const std::string& path) {
    importers().push_back(std::make_unique<Assimp::Importer>());
    Assimp::Importer& importer = *importers().back();
    // Something that is there but no regular file (a FIFO would block the
    // importer for ever) is refused here; a path with nothing there goes to
    // the importer, whose own message names it.
    std::error_code error;
    if (std::filesystem::exists(path, error) && !isRegularFile(path)) {
        Logger::error("Error importing scene " + path + ": not a regular file");
        return;
    }
    const aiScene* model = importer.ReadFile(path, kImportFlags);
    if (model == nullptr || model->mRootNode == nullptr) {
        Logger::error("Error importing scene " + path + ": " + importer.GetErrorString());
        return;
    }

    defaultMaterial.setColorRgb(0.8f, 0.8f, 0.8f);
    defaultMaterial.setKa(0.1f);
    defaultMaterial.setKd(0.7f);
    defaultMaterial.setKs(0.3f);
    defaultMaterial.setAlpha(2.0f);

    processNode(scene, model, model->mRootNode, nullptr);

    for (unsigned i = 0; i < model->mNumLights; ++i) {
        const aiLight* light = model->mLights[i];
        // Every light needs a node of its name, whatever its type.
        const Object* node = scene->get(light->mName.C_Str());
        const glm::vec3 position = node->getPosition();
        const glm::vec3 attenuation(light->mAttenuationConstant == 0.0f ? 1.2f : light->mAttenuationConstant,
                                    light->mAttenuationLinear == 0.0f ? 0.8f : light->mAttenuationLinear,
                                    light->mAttenuationQuadratic + 0.05f);
        const glm::vec3 intensity(light->mColorDiffuse.r * 0.001f, light->mColorDiffuse.g * 0.001f,
                                  light->mColorDiffuse.b * 0.001f);
        if (light->mType == aiLightSource_POINT) {
            scene->addLight(new PointLight(position, intensity, attenuation));
        }
    }
}

void ModelLoader::processNode(Scene* scene, const aiScene* model, const aiNode* node, Object* parent) {
    for (unsigned c = 0; c < node->mNumChildren; ++c) {
        const aiNode* child = node->mChildren[c];
        const std::string name = child->mName.C_Str();
        Object* object = name.compare(0, 4, "lock") == 0 ? new Lock(name) : new Object(name);
        object->setParent(parent);
        object->setTransform(toGlmMat4(child->mTransformation));
        scene->addObject(name, object);

        for (unsigned m = 0; m < child->mNumMeshes; ++m) {
            const unsigned meshIndex = child->mMeshes[m];
            if (meshIndex >= model->mNumMeshes) {
                Logger::log("Node " + name + " names mesh " + std::to_string(meshIndex) + ", which " +
                                "the model does not have",
                            WARNING);
                continue;
            }
            const aiMesh* mesh = model->mMeshes[meshIndex];
            const aiMaterial* source =
                mesh->mMaterialIndex < model->mNumMaterials ? model->mMaterials[mesh->mMaterialIndex] : nullptr;
            Material* material =
                source != nullptr ? processMaterial(&scene->getMaterialManager(), source) : &defaultMaterial;
            if (mesh->mBones != nullptr && mesh->mNumBones > 0) {
                const aiAnimation* animation = model->mNumAnimations > 0 ? model->mAnimations[0] : nullptr;
                if (animation == nullptr) {
                    Logger::log("Skinned mesh " + std::string(mesh->mName.C_Str()) +
                                    " comes without an animation; it keeps its rest pose",
                                WARNING);
                }
                object->addMesh(SkinnedMesh::fromAiMesh(mesh, animation, material));
            } else {
                object->addMesh(Mesh::fromAiMesh(mesh, material));
            }
        }

        processNode(scene, model, child, object);
    }
}

Material* ModelLoader::processMaterial(MaterialManager* manager, const aiMaterial* source) {
    aiString nameString;
    if (!readString(source, "?mat.name", 0, 0, nameString)) {
        Logger::log("No material name defined, using default material", WARNING);
        return &defaultMaterial;
    }
    const std::string name = nameString.C_Str();
    Shader* phong = renderer->getShaderManager().get("phong");
    if (!manager->create(name, phong)) {
        return manager->get(name);
    }
    Material* material = manager->get(name);

    aiString path;
    if (readString(source, "$tex.file", aiTextureType_DIFFUSE, 0, path)) {
        const std::string file = path.C_Str();
        if (textureExists(file)) {
            material->addTexture(file, kDiffuseTextureUnit, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
        } else {
            Logger::error("Texture " + file + " not found. Using fallback texture.");
            material->addTexture(kMissingTexturePath, kDiffuseTextureUnit, GL_NEAREST, GL_NEAREST);
        }
    }
    if (readString(source, "$tex.file", aiTextureType_SPECULAR, 0, path)) {
        const std::string file = path.C_Str();
        if (textureExists(file)) {
            material->addTexture(file, kSpecularTextureUnit, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
        }
    }
    aiColor3D color;
    if (readColor(source, "$clr.diffuse", 0, 0, color)) {
        material->setColorRgb(color.r, color.g, color.b);
    }
    if (readColor(source, "$clr.specular", 0, 0, color)) {
        material->setSpecularColor(color.r, color.g, color.b);
    }
    float value = 0.0f;
    if (readFloat(source, "$mat.shininess", 0, 0, value)) {
        material->setAlpha(value);
    }
    if (readFloat(source, "$mat.shinpercent", 0, 0, value)) {
        material->setKs(value);
    }
    return material;
}

bool ModelLoader::readString(const aiMaterial* material, const char* key, unsigned type, unsigned index,
                             aiString& out) {
    if (aiGetMaterialString(material, key, type, index, &out) == AI_SUCCESS) {
        return true;
    }
    Logger::log(std::string("Error reading ") + key, WARNING);
    return false;
}

bool ModelLoader::readColor(const aiMaterial* material, const char* key, unsigned type, unsigned index,
                            aiColor3D& out) {
    aiColor4D color(0.0f, 0.0f, 0.0f, 0.0f);
    const aiReturn result = aiGetMaterialColor(material, key, type, index, &color);
    out = aiColor3D(color.r, color.g, color.b);
    if (result == AI_SUCCESS) {
        return true;
    }
    Logger::log(std::string("Error reading ") + key, WARNING);
    return false;
}

bool ModelLoader::readFloat(const aiMaterial* material, const char* key, unsigned type, unsigned index,
                            float& out) {
    // At most one float: without the limit Assimp writes every float of the
    // property into `out`.
    unsigned int max = 1;
    if (aiGetMaterialFloatArray(material, key, type, index, &out, &max) == AI_SUCCESS) {
        return true;
    }
    Logger::log(std::string("Error reading ") + key, WARNING);
    return false;
}
