#pragma once

#include "render/Material.h"
#include "render/Text.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

class Camera;
class Font;
class Light;
class ModelLoader;
class Object;
class Renderer;
class Shader;
class Skybox;
class UIPlane;

// Light pointers up to a fixed count; further ones are dropped.
struct LightList {
    uint32_t capacity = 64;
    std::vector<Light*> items;

    void add(Light* light) {
        if (items.size() < capacity) {
            items.push_back(light);
        }
    }
};

// One drawable world: named objects drawn in name order, the lights that
// shade them, the materials they use (owned), a camera and an optional sky.
// Objects, lights, camera, sky and loader are not owned.
class Scene {
public:
    explicit Scene(ModelLoader* loader);
    ~Scene();
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    Scene(Scene&& other) noexcept;
    Scene& operator=(Scene&& other) noexcept;

    // Sets the object's scene, then registers it by name.
    void addObject(const std::string& name, Object* object);
    // The first object under a name stays; a second one is only warned about.
    void addObjectToMap(const std::string& name, Object* object);
    // Throws std::runtime_error when the name is absent.
    Object* getObject(const std::string& name);
    Object* get(const std::string& name) { return getObject(name); }

    Text* createText(const std::string& name, const std::string& materialName, Font* font,
                     const std::string& text, float x, float y, float scaleX, float scaleY,
                     TextAlignment verticalAlignment, TextAlignment horizontalAlignment);
    UIPlane* createUIPlane(const std::string& name, const std::string& materialName, float x, float y,
                           float w, float h);

    // Adds the model file's objects, materials and point lights through the
    // scene's model loader.
    void loadModel(const std::string& path);

    void addLight(Light* light) { lights.add(light); }
    const std::vector<Light*>& getLights() const { return lights.items; }

    // Builds a sky from six faces (right, left, top, bottom, front, back).
    void setSkybox(const std::vector<std::string>& faces, Shader* shader);
    Skybox* getSkybox() const { return skybox; }

    void setCamera(Camera* newCamera) { camera = newCamera; }
    Camera* getCamera() const { return camera; }
    void setRenderer(Renderer* newRenderer) { renderer = newRenderer; }
    Renderer* getRenderer() const { return renderer; }
    ModelLoader* getModelLoader() const { return modelLoader; }
    MaterialManager& getMaterialManager() { return materialManager; }
    const std::map<std::string, Object*>& getObjects() const { return objects; }

    void enable() { enabled = true; }
    void disable() { enabled = false; }
    bool isEnabled() const { return enabled; }

    // Uploads the lights (and the sky) to every material's shader, draws the
    // objects in name order, then the sky. Nothing when disabled.
    void draw();
    void drawObjects();

private:
    std::map<std::string, Object*> objects;
    LightList lights;
    MaterialManager materialManager;
    ModelLoader* modelLoader = nullptr;
    Camera* camera = nullptr;
    Skybox* skybox = nullptr;
    Renderer* renderer = nullptr;
    bool enabled = true;
};
