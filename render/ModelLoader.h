#pragma once

#include "render/Material.h"

#include <string>

struct aiColor3D;
struct aiMaterial;
struct aiNode;
struct aiScene;
struct aiString;
class MaterialManager;
class Object;
class Renderer;
class Scene;

// The texture drawn where a model names a texture file that is not there.
extern const std::string kMissingTexturePath;

// Fills a Scene from a model file: one Object (a Lock for names beginning
// with "lock") per node below the root, with the node's transform and
// parent; a Mesh or SkinnedMesh per mesh; one material per named model
// material, in the scene's manager; a point light per point light of the file.
// Imported files stay in memory until the process ends, since skinned meshes
// keep pointers into their animations.
class ModelLoader {
public:
    // Takes the shader "phong" from the renderer (which must hold it).
    explicit ModelLoader(Renderer* renderer);

    // A file that cannot be read logs an ERROR line and adds nothing. A light
    // without a node of its name, or a texture that cannot be decoded, throws.
    void loadScene(Scene* scene, const std::string& path);

    // Builds the objects of the node's children and their descendants.
    void processNode(Scene* scene, const aiScene* model, const aiNode* node, Object* parent);

    // The scene's material of that name, created and filled on first use; the
    // default material when the model material has no name.
    Material* processMaterial(MaterialManager* manager, const aiMaterial* material);

    // Readers of one material property; each logs "Error reading <key>" at
    // WARNING and returns false when the property is absent.
    static bool readString(const aiMaterial* material, const char* key, unsigned type, unsigned index,
                           aiString& out);
    static bool readColor(const aiMaterial* material, const char* key, unsigned type, unsigned index,
                          aiColor3D& out);
    static bool readFloat(const aiMaterial* material, const char* key, unsigned type, unsigned index,
                          float& out);

    Material* getDefaultMaterial() { return &defaultMaterial; }

private:
    Material defaultMaterial;
    Renderer* renderer;
};
