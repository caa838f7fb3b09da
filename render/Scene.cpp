#include "render/Scene.h"

#include "app/Logger.h"
#include "render/Light.h"
#include "render/ModelLoader.h"
#include "render/Object.h"
#include "render/Shader.h"
#include "render/Skybox.h"

#include <stdexcept>
#include <utility>

namespace {
constexpr GLint kSkyTextureUnit = 12;
}

Scene::Scene(ModelLoader* loader) : modelLoader(loader) {}

Scene::~Scene() = default;

Scene::Scene(Scene&& other) noexcept
    : objects(std::move(other.objects)),
      lights(std::move(other.lights)),
      materialManager(std::move(other.materialManager)),
      modelLoader(std::exchange(other.modelLoader, nullptr)),
      camera(std::exchange(other.camera, nullptr)),
      skybox(std::exchange(other.skybox, nullptr)),
      renderer(std::exchange(other.renderer, nullptr)),
      enabled(other.enabled) {
    other.objects.clear();
    other.lights.items.clear();
}

Scene& Scene::operator=(Scene&& other) noexcept {
    if (this != &other) {
        objects = std::move(other.objects);
        lights = std::move(other.lights);
        materialManager = std::move(other.materialManager);
        modelLoader = std::exchange(other.modelLoader, nullptr);
        camera = std::exchange(other.camera, nullptr);
        skybox = std::exchange(other.skybox, nullptr);
        renderer = std::exchange(other.renderer, nullptr);
        enabled = other.enabled;
        other.objects.clear();
        other.lights.items.clear();
    }
    return *this;
}

void Scene::addObject(const std::string& name, Object* object) {
    object->setScene(this);
    addObjectToMap(name, object);
}

void Scene::addObjectToMap(const std::string& name, Object* object) {
    if (objects.count(name) != 0) {
        Logger::log("Object " + name + " already exists!", WARNING);
        return;
    }
    objects.emplace(name, object);
    Logger::log("Added object " + name + ".", DEBUG);
}

Object* Scene::getObject(const std::string& name) {
    const auto found = objects.find(name);
    if (found == objects.end()) {
        const std::string message = "No object with name " + name + " found.";
        Logger::error(message);
        throw std::runtime_error(message);
    }
    return found->second;
}

Text* Scene::createText(const std::string& name, const std::string& materialName, Font* font,
                        const std::string& text, float x, float y, float scaleX, float scaleY,
                        TextAlignment verticalAlignment, TextAlignment horizontalAlignment) {
    // Look the material up first, so an unknown name leaks no Text.
    Material* material = materialManager.get(materialName);
    Text* object = new Text(name, font, text, x, y, scaleX, scaleY, verticalAlignment, horizontalAlignment);
    object->setMaterial(material);
    object->setScene(this);
    addObjectToMap(name, object);
    return object;
}

UIPlane* Scene::createUIPlane(const std::string& name, const std::string& materialName, float x, float y,
                              float w, float h) {
    Material* material = materialManager.get(materialName);
    UIPlane* plane = new UIPlane(name, x, y, w, h);
    plane->setMaterial(material);
    plane->setScene(this);
    addObjectToMap(name, plane);
    return plane;
}

void Scene::loadModel(const std::string& path) {
    modelLoader->loadScene(this, path);
}

void Scene::setSkybox(const std::vector<std::string>& faces, Shader* shader) {
    skybox = new Skybox(faces, shader);
}

void Scene::draw() {
    if (!enabled) {
        return;
    }
    for (const auto& entry : materialManager.getMaterials()) {
        Shader* shader = entry.second->getShader();
        shader->resetLights();
        for (Light* light : lights.items) {
            light->addToShader(shader);
        }
        if (skybox != nullptr) {
            glActiveTexture(GL_TEXTURE0 + kSkyTextureUnit);
            glBindTexture(GL_TEXTURE_CUBE_MAP, skybox->getTexture());
            glUniform1i(shader->getUniformLocation("skybox"), kSkyTextureUnit);
        }
    }
    drawObjects();
    if (skybox != nullptr) {
        skybox->draw();
    }
}

void Scene::drawObjects() {
    for (const auto& entry : objects) {
        entry.second->draw();
    }
}
