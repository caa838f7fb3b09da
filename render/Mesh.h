#pragma once

#include <GL/glew.h>
#include <glm/glm.hpp>

struct aiMesh;
class Material;
class Shader;

// The GPU vertex of every mesh without bones: locations 0, 1 and 2.
struct Vertex {
    glm::vec3 position;
    glm::vec3 normal;
    glm::vec2 texCoords;
};
static_assert(sizeof(Vertex) == 32, "Vertex must be 8 tightly packed floats");

// Floats per Vertex in the CPU arrays.
constexpr int kFloatsPerVertex = 8;

// An indexed triangle list, kept in GL buffers for drawing and as CPU arrays
// (for physics cooking), drawn with a material it does not own. A mesh owns
// its arrays and GL objects; it cannot be copied, and a moved-from mesh owns
// nothing.
class Mesh {
public:
    // Takes over both arrays, which must come from new[].
    static Mesh* create(int indexCount, GLuint* indices, int vertexCount, float* vertices);
    // Converts an imported mesh; faces that are not triangles are skipped and
    // missing normals or texture coordinates become zeros.
    static Mesh* fromAiMesh(const aiMesh* mesh, Material* material);

    virtual ~Mesh();
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;
    Mesh(Mesh&& other) noexcept;
    Mesh& operator=(Mesh&& other) noexcept;

    // Draws with the mesh's own material.
    void render(const glm::mat4& model, bool selected);
    // Nothing when material is null. `selected` raises "ka" to 1 for this draw.
    virtual void draw(const glm::mat4& model, Material* material, bool selected);
    // Binds the vertex array and draws the triangles with whatever program is current.
    void drawElements();

    // Set while the depth pre-pass has written this mesh's depth for the
    // current scene pass: its lit draw then passes on equal depth.
    void setDepthLaidDown(bool value) { depthLaidDown = value; }

    void setMaterial(Material* newMaterial) { material = newMaterial; }
    Material* getMaterial() const { return material; }

    GLuint getVao() const { return vao; }
    float* getVertices() const { return vertices; }
    int getVertexCount() const { return vertexCount; }
    GLuint* getIndices() const { return indices; }
    int getIndexCount() const { return indexCount; }
    // The middle of the vertices' bounding box, in the mesh's own frame.
    const glm::vec3& getCenter() const { return center; }

protected:
    Mesh() = default;
    // Uploads the arrays in the Vertex layout into a new vertex array.
    void setUpBuffers();
    // Fills indices, indexCount and drawCount from an imported mesh's faces:
    // each triangle its three slots; points and lines are not drawn, nor
    // triangles that name a vertex the mesh does not have (with a warning).
    void copyTriangles(const aiMesh* source);
    // Uploads the material and the model matrix (with the focus highlight when
    // selected) and returns the shader the draw goes through.
    Shader* applyMaterial(const glm::mat4& model, Material* drawMaterial, bool selected);

    Material* material = nullptr;
    GLuint vao = 0;
    GLuint vbo = 0;
    GLuint ebo = 0;
    int drawCount = 0;
    float* vertices = nullptr;
    int vertexCount = 0;
    GLuint* indices = nullptr;
    int indexCount = 0;
    glm::vec3 center{0.0f};
    bool depthLaidDown = false;

private:
    void release();
};
