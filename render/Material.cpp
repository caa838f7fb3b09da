#include "render/Material.h"

#include "app/Logger.h"
#include "app/Settings.h"
#include "render/Shader.h"

#include <stdexcept>
#include <utility>

namespace {

// The uniform names every draw uploads, built once rather than at each draw.
const std::string kBrightness = "brightness";
const std::string kInColor = "inColor";
const std::string kInSpecularColor = "inSpecularColor";
const std::string kAlpha = "alpha";
const std::string kKa = "ka";
const std::string kKd = "kd";
const std::string kKs = "ks";
const std::string kKe = "ke";
const std::string kUseEnvironmentMapping = "useEnvironmentMapping";
const std::string kUseDiffuseTexture = "useDiffuseTexture";
const std::string kDiffuseTexture = "diffuseTexture";
const std::string kUseSpecularTexture = "useSpecularTexture";
const std::string kSpecularTexture = "specularTexture";

}  // namespace

Material::Material(Shader* shader) : shader(shader) {}

void Material::addTexture(const std::string& path, GLint unit, const GLint& minFilter, const GLint& magFilter) {
    // Load first: when it throws, the material stays as it was.
    const GLuint texture = shader->loadTexture(path, minFilter, magFilter);
    textureIds[unit] = texture;
    texturePaths[unit] = path;
}

void Material::setTexture(GLint unit, const GLuint& texture) {
    textureIds[unit] = texture;
    texturePaths[unit] = std::string();
}

GLuint Material::getTextureId(GLint unit) const {
    const auto found = textureIds.find(unit);
    return found != textureIds.end() ? found->second : 0;
}

std::string Material::getTexturePath(GLint unit) const {
    const auto found = texturePaths.find(unit);
    return found != texturePaths.end() ? found->second : std::string();
}

void Material::apply() {
    shader->use();
    shader->setFloat(kBrightness, globalBrightness);
    shader->setVec4(kInColor, color.r, color.g, color.b, color.a);
    shader->setVec4(kInSpecularColor, specularColor.r, specularColor.g, specularColor.b, specularColor.a);
    shader->setFloat(kAlpha, alpha);
    shader->setFloat(kKa, ka);
    shader->setFloat(kKd, kd);
    shader->setFloat(kKs, ks);
    shader->setFloat(kKe, ke);
    shader->setInt(kUseEnvironmentMapping, useEnvironmentMapping ? 1 : 0);

    const bool hasDiffuse = hasTexture(kDiffuseTextureUnit);
    shader->setInt(kUseDiffuseTexture, hasDiffuse ? 1 : 0);
    if (hasDiffuse) {
        shader->setTexture(textureIds[kDiffuseTextureUnit], kDiffuseTexture, kDiffuseTextureUnit);
    }
    const bool hasSpecular = hasTexture(kSpecularTextureUnit);
    shader->setInt(kUseSpecularTexture, hasSpecular ? 1 : 0);
    if (hasSpecular) {
        shader->setTexture(textureIds[kSpecularTextureUnit], kSpecularTexture, kSpecularTextureUnit);
    }
}

MaterialManager::~MaterialManager() {
    for (auto& entry : materials) {
        delete entry.second;
    }
}

MaterialManager::MaterialManager(MaterialManager&& other) noexcept : materials(std::move(other.materials)) {
    other.materials.clear();
}

MaterialManager& MaterialManager::operator=(MaterialManager&& other) noexcept {
    if (this != &other) {
        for (auto& entry : materials) {
            delete entry.second;
        }
        materials = std::move(other.materials);
        other.materials.clear();
    }
    return *this;
}

bool MaterialManager::create(const std::string& name, Shader* shader) {
    if (materials.count(name) != 0) {
        Logger::log("Material " + name + " already exists!", WARNING);
        return false;
    }
    materials.emplace(name, new Material(shader));
    Logger::log("Created material " + name + ".", DEBUG);
    return true;
}

Material* MaterialManager::get(const std::string& name) {
    const auto found = materials.find(name);
    if (found == materials.end()) {
        const std::string message = "No material with name " + name + " found.";
        Logger::error(message);
        throw std::runtime_error(message);
    }
    return found->second;
}

bool Material::isOpaque() const {
    const auto diffuse = texturePaths.find(kDiffuseTextureUnit);
    if (diffuse == texturePaths.end()) {
        return color.a >= 1.0f;
    }
    return !diffuse->second.empty() && shader->isOpaqueTexture(diffuse->second);
}
