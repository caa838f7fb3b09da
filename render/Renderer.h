#pragma once

#include "render/Font.h"
#include "render/Object.h"
#include "render/Shader.h"

#include <GL/glew.h>

#include <vector>

struct GLFWwindow;
class ConfettiEmitter;
class Material;
class Mesh;
class Scene;

// The off-screen target of the 3D passes: colour on attachment 0 and a
// depth texture. The renderer adds its normal texture and then checks
// completeness once.
class Framebuffer {
public:
    Framebuffer(GLuint width, GLuint height);
    ~Framebuffer();
    Framebuffer(const Framebuffer&) = delete;
    Framebuffer& operator=(const Framebuffer&) = delete;
    Framebuffer(Framebuffer&& other) noexcept;
    Framebuffer& operator=(Framebuffer&& other) noexcept;

    void bind();
    // Colour on texture unit 0, depth on unit 1.
    void bindTextures();
    // Logs an ERROR and returns false when the framebuffer is incomplete.
    bool checkComplete();

    GLuint getFbo() const { return fbo; }
    GLuint getColorTexture() const { return colorTexture; }
    GLuint getDepthTexture() const { return depthTexture; }

private:
    void release();

    GLuint fbo = 0;
    GLuint colorTexture = 0;
    GLuint depthTexture = 0;
};

// Draws the 3D scenes and the confetti into the framebuffer, composes it
// onto the window with the contour pass, lays the glasses' red filter over
// it and draws the overlay scenes on top. Handles Escape and F1 to F5.
class Renderer {
public:
    Renderer(GLFWwindow* window, GLuint width, GLuint height);
    // The game never destroys its renderer; tests do.
    ~Renderer();
    Renderer(const Renderer&) = delete;
    Renderer& operator=(const Renderer&) = delete;

    void addScene(Scene* scene);
    void addOverlayScene(Scene* scene);
    void addConfetti(ConfettiEmitter* emitter);
    void removeScene(Scene* scene);
    void removeOverlayScene(Scene* scene);

    ShaderManager& getShaderManager() { return shaderManager; }
    FontManager& getFontManager() { return fontManager; }

    // Binds and clears the framebuffer.
    void clear();
    // Draws the frame onto the window.
    void render();
    void renderScenePass(Scene* scene);
    void handleKey(int key, int action);

    bool getCullFaces() const { return cullFaces; }
    bool getWireframe() const { return wireframe; }
    bool getContours() const { return contours; }
    bool getShowNormals() const { return showNormals; }
    bool getShowOverlay() const { return showOverlay; }
    const std::vector<Scene*>& getScenes() const { return scenes; }
    const std::vector<Scene*>& getOverlayScenes() const { return overlayScenes; }
    Framebuffer& getFramebuffer() { return framebuffer; }
    GLuint getNormalTexture() const { return normalTexture; }

private:
    // One opaque mesh of the depth pre-pass and its distance from the eye.
    struct DepthDraw {
        float distance;
        Mesh* mesh;
        glm::mat4 model;
    };

    void selectDrawBuffers();
    // Writes the depth of the scene's opaque lit meshes; false when it drew nothing.
    bool drawDepthPrePass(Scene* scene, const glm::mat4& viewProjection, const glm::vec3& eye);

    float quadVertices[24];
    GLuint quadVao = 0;
    GLuint quadVbo = 0;
    Shader contourShader;
    Shader textShader;
    // The lit program's vertex stage with an empty fragment stage. When it
    // does not link, the scene passes go without their depth pre-pass.
    Shader depthShader;
    Framebuffer framebuffer;
    ShaderManager shaderManager;
    GLFWwindow* window;
    std::vector<Scene*> scenes;
    std::vector<Scene*> overlayScenes;
    std::vector<ConfettiEmitter*> confettiEmitters;
    FontManager fontManager;
    bool cullFaces = true;
    bool wireframe = false;
    bool contours = true;
    bool showNormals = false;
    bool showOverlay = true;
    UIPlane redPlane;
    GLuint normalTexture = 0;
    Material* redPlaneMaterial = nullptr;
    bool reportedSceneWithoutCamera = false;
    std::vector<DepthDraw> depthDraws;  // kept to reuse its storage
};
