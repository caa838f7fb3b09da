#pragma once

#include <glm/glm.hpp>
#include <glm/gtc/quaternion.hpp>

#include <string>
#include <vector>

class Mesh;
class Material;
class Scene;

// A named scene node: local transform, parent, owned meshes and display
// flags. The model matrix is cached and recomputed only after a transform
// change of the node or one of its ancestors.
class Object {
public:
    explicit Object(const std::string& name);
    // Deletes the owned meshes; parent and children are not touched.
    virtual ~Object();
    Object(const Object&) = delete;
    Object& operator=(const Object&) = delete;
    Object(Object&& other) noexcept;
    Object& operator=(Object&& other) noexcept;

    // Draws every mesh unless hidden; a draw-once object is drawn once even
    // when hidden. Children are not drawn.
    virtual void draw();

    glm::mat4 getModelMatrix();
    // Marks the cached matrix of this node and its whole subtree stale.
    void invalidate();

    void setPosition(const glm::vec3& p);
    void setRotation(const glm::quat& q);
    // Decomposes m into position, scaling and rotation (no mirroring); with a
    // zero scale factor the rotation is the identity.
    void setTransform(const glm::mat4& m);
    void translate(const glm::vec3& d);
    // Turns about the x, then the new y, then the new z axis, in degrees.
    void rotate(const glm::vec3& degrees);
    void scale(const glm::vec3& f);

    glm::vec3 getPosition() const { return position; }
    glm::quat getRotation() const { return rotation; }
    glm::vec3 getScaling() const { return scaling; }
    std::string getName() const { return name; }

    std::vector<Mesh*>& getMeshes() { return meshes; }
    // Takes ownership.
    void addMesh(Mesh* mesh);

    // Null changes nothing. Does not invalidate the cache.
    void setParent(Object* p);
    Object* getParent() const { return parent; }
    const std::vector<Object*>& getChildren() const { return children; }

    void setScene(Scene* newScene) { scene = newScene; }
    Scene* getScene() const { return scene; }
    void setHidden(bool value) { hidden = value; }
    bool isHidden() const { return hidden; }
    void setSelected(bool value) { selected = value; }
    bool isSelected() const { return selected; }
    void setDrawOnce() { drawOnce = true; }
    bool isDrawOnce() const { return drawOnce; }

protected:
    glm::mat4 cachedModel{0.0f};
    glm::vec3 position{0.0f};
    glm::quat rotation{1.0f, 0.0f, 0.0f, 0.0f};
    glm::vec3 scaling{1.0f};
    Scene* scene = nullptr;
    bool hidden = false;
    bool drawOnce = false;
    bool selected = false;
    Object* parent = nullptr;
    std::vector<Object*> children;
    std::vector<Mesh*> meshes;
    std::string name;

private:
    void deleteMeshes();
};

// A box centred on the origin, drawn with no material until one is given.
class Cube : public Object {
public:
    Cube(const std::string& name, float width, float height, float depth);

    void buildGeometry(float width, float height, float depth);
};

// A flat screen-space quad: corners at (x +- w, y +- h) in the coordinates of
// the overlay shaders, where the window spans -1 to 1.
class UIPlane : public Object {
public:
    UIPlane(const std::string& name, float x, float y, float w, float h);

    void setMaterial(Material* material);
};
