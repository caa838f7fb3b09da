#include "render/Renderer.h"

#include "app/GameState.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "render/Camera.h"
#include "render/ConfettiEmitter.h"
#include "render/Material.h"
#include "render/Scene.h"
#include "render/SkinnedMesh.h"

#include <GLFW/glfw3.h>
#include <glm/gtc/type_ptr.hpp>

#include <algorithm>
#include <string>
#include <utility>

namespace {

const GLenum kDrawBuffers[2] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
// The program whose opaque meshes get a depth pre-pass.
const char* const kLitShaderName = "phong";

// Allocates an empty 2D texture with nearest filtering, clamped at the edges.
GLuint makeTargetTexture(GLint internalFormat, GLenum format, GLenum type, GLuint width, GLuint height) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, internalFormat, static_cast<GLsizei>(width), static_cast<GLsizei>(height), 0,
                 format, type, nullptr);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
    return texture;
}

#ifndef NDEBUG
void GLAPIENTRY logGlError(GLenum, GLenum type, GLuint id, GLenum, GLsizei, const GLchar* message, const void*) {
    if (type == GL_DEBUG_TYPE_ERROR) {
        Logger::error("GL error " + std::to_string(id) + ": " + message);
    }
}

// Debug builds report every GL error as it happens.
void installDebugOutput() {
    if (glDebugMessageCallback == nullptr) {
        return;
    }
    glEnable(GL_DEBUG_OUTPUT);
    glEnable(GL_DEBUG_OUTPUT_SYNCHRONOUS);
    glDebugMessageCallback(logGlError, nullptr);
}
#endif

}  // namespace

Framebuffer::Framebuffer(GLuint width, GLuint height) {
    glGenFramebuffers(1, &fbo);
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);

    colorTexture = makeTargetTexture(GL_RGB, GL_RGB, GL_UNSIGNED_BYTE, width, height);
    glBindTexture(GL_TEXTURE_2D, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTexture, 0);

    glActiveTexture(GL_TEXTURE1);
    depthTexture = makeTargetTexture(GL_DEPTH_COMPONENT, GL_DEPTH_COMPONENT, GL_FLOAT, width, height);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depthTexture, 0);
    glBindTexture(GL_TEXTURE_2D, 0);
}

Framebuffer::~Framebuffer() {
    release();
}

void Framebuffer::release() {
    if (fbo != 0) {
        glDeleteFramebuffers(1, &fbo);
        glDeleteTextures(1, &colorTexture);
        glDeleteTextures(1, &depthTexture);
    }
    fbo = colorTexture = depthTexture = 0;
}

Framebuffer::Framebuffer(Framebuffer&& other) noexcept
    : fbo(std::exchange(other.fbo, 0)),
      colorTexture(std::exchange(other.colorTexture, 0)),
      depthTexture(std::exchange(other.depthTexture, 0)) {}

Framebuffer& Framebuffer::operator=(Framebuffer&& other) noexcept {
    if (this != &other) {
        release();
        fbo = std::exchange(other.fbo, 0);
        colorTexture = std::exchange(other.colorTexture, 0);
        depthTexture = std::exchange(other.depthTexture, 0);
    }
    return *this;
}

void Framebuffer::bind() {
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
}

void Framebuffer::bindTextures() {
    glActiveTexture(GL_TEXTURE0);
    glBindTexture(GL_TEXTURE_2D, colorTexture);
    glActiveTexture(GL_TEXTURE1);
    glBindTexture(GL_TEXTURE_2D, depthTexture);
}

bool Framebuffer::checkComplete() {
    glBindFramebuffer(GL_FRAMEBUFFER, fbo);
    const GLenum status = glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        Logger::error("The off-screen framebuffer is incomplete (status " + std::to_string(status) +
                      "); the 3D scenes will not be drawn");
        return false;
    }
    return true;
}

Renderer::Renderer(GLFWwindow* window, GLuint width, GLuint height)
    : quadVertices{1.0f, -1.0f, 1.0f, 0.0f,  -1.0f, 1.0f, 0.0f, 1.0f,  -1.0f, -1.0f, 0.0f, 0.0f,
                   1.0f, 1.0f,  1.0f, 1.0f,  -1.0f, 1.0f, 0.0f, 1.0f,  1.0f,  -1.0f, 1.0f, 0.0f},
      contourShader("assets/shaders/contourRenderer.vsh", "assets/shaders/contourRenderer.fsh"),
      textShader("assets/shaders/text.vsh", "assets/shaders/text.fsh"),
      depthShader("assets/shaders/phong.vsh", "assets/shaders/depthOnly.fsh"),
      framebuffer(width, height),
      window(window),
      redPlane("redPlane", 0.0f, 0.0f, 1.0f, 1.0f) {
#ifndef NDEBUG
    installDebugOutput();
#endif
    glGenVertexArrays(1, &quadVao);
    glGenBuffers(1, &quadVbo);
    glBindVertexArray(quadVao);
    glBindBuffer(GL_ARRAY_BUFFER, quadVbo);
    glBufferData(GL_ARRAY_BUFFER, sizeof(quadVertices), quadVertices, GL_STATIC_DRAW);
    glEnableVertexAttribArray(0);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), reinterpret_cast<void*>(0));
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 4 * sizeof(float), reinterpret_cast<void*>(2 * sizeof(float)));

    framebuffer.bind();
    normalTexture = makeTargetTexture(GL_RGB, GL_RGB, GL_UNSIGNED_BYTE, width, height);
    glBindTexture(GL_TEXTURE_2D, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT1, GL_TEXTURE_2D, normalTexture, 0);
    framebuffer.checkComplete();

    contourShader.setInt("colorTexture", 0);
    contourShader.setInt("depthTexture", 1);
    contourShader.setInt("normalTexture", 2);

    shaderManager.load("UI", "assets/shaders/uiRenderer");
    redPlaneMaterial = new Material(shaderManager.get("UI"));
    redPlaneMaterial->setColor(1.0f, 0.0f, 0.0f, 1.0f);
    redPlane.setMaterial(redPlaneMaterial);
}

Renderer::~Renderer() {
    glDeleteTextures(1, &normalTexture);
    glDeleteBuffers(1, &quadVbo);
    glDeleteVertexArrays(1, &quadVao);
    delete redPlaneMaterial;
}

void Renderer::addScene(Scene* scene) {
    scene->setRenderer(this);
    scenes.push_back(scene);
}

void Renderer::addOverlayScene(Scene* scene) {
    scene->setRenderer(this);
    overlayScenes.push_back(scene);
}

void Renderer::addConfetti(ConfettiEmitter* emitter) {
    confettiEmitters.push_back(emitter);
}

void Renderer::removeScene(Scene* scene) {
    scenes.erase(std::remove(scenes.begin(), scenes.end(), scene), scenes.end());
}

void Renderer::removeOverlayScene(Scene* scene) {
    overlayScenes.erase(std::remove(overlayScenes.begin(), overlayScenes.end(), scene), overlayScenes.end());
}

void Renderer::selectDrawBuffers() {
    glDrawBuffers(2, kDrawBuffers);
}

void Renderer::clear() {
    framebuffer.bind();
    selectDrawBuffers();
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
}

void Renderer::render() {
    glPolygonMode(GL_FRONT_AND_BACK, wireframe ? GL_LINE : GL_FILL);
    if (cullFaces) {
        glEnable(GL_CULL_FACE);
    } else {
        glDisable(GL_CULL_FACE);
    }
    for (Scene* scene : scenes) {
        renderScenePass(scene);
    }
    for (ConfettiEmitter* emitter : confettiEmitters) {
        emitter->draw();
    }
    glPolygonMode(GL_FRONT_AND_BACK, GL_FILL);
    glEnable(GL_CULL_FACE);

    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDisable(GL_DEPTH_TEST);

    glBindVertexArray(quadVao);
    contourShader.use();
    contourShader.setInt("enableContours", contours ? 1 : 0);
    contourShader.setInt("showNormals", showNormals ? 1 : 0);
    contourShader.setFloat("far", farPlane);
    contourShader.setFloat("near", nearPlane);
    framebuffer.bindTextures();
    glActiveTexture(GL_TEXTURE2);
    glBindTexture(GL_TEXTURE_2D, normalTexture);
    glDrawArrays(GL_TRIANGLES, 0, 6);

    if (glassesPickedUp && glassesOn) {
        GLint source = 0;
        GLint destination = 0;
        glGetIntegerv(GL_BLEND_SRC_RGB, &source);
        glGetIntegerv(GL_BLEND_DST_RGB, &destination);
        glBlendFunc(GL_DST_COLOR, GL_ZERO);
        redPlane.draw();
        glBlendFunc(static_cast<GLenum>(source), static_cast<GLenum>(destination));
    }

    if (showOverlay || gameOver) {
        for (Scene* scene : overlayScenes) {
            scene->draw();
        }
    }
    glEnable(GL_DEPTH_TEST);
}

void Renderer::renderScenePass(Scene* scene) {
    framebuffer.bind();
    selectDrawBuffers();
    Camera* camera = scene->getCamera();
    if (camera == nullptr) {
        // Once: the same line every frame would bury everything else.
        if (!reportedSceneWithoutCamera) {
            Logger::error("A scene without a camera was not drawn");
            reportedSceneWithoutCamera = true;
        }
        return;
    }
    const glm::mat4 viewProjection = camera->getViewProjection();
    const glm::vec3& eye = camera->getPosition();
    for (auto& entry : shaderManager.getShaders()) {
        Shader& shader = entry.second;
        const glm::mat4 matrix = entry.first == "skybox" ? camera->getSkyboxViewProjection() : viewProjection;
        shader.setMat4("viewProjectionMatrix", 1, GL_FALSE, glm::value_ptr(matrix));
        shader.setVec3("eyePos", eye.x, eye.y, eye.z);
    }
    // Lines of neighbouring triangles tie in depth, and the first one drawn
    // must stay on top as it does without the pre-pass: wireframe skips it.
    const bool prePassed = !wireframe && scene->isEnabled() && drawDepthPrePass(scene, viewProjection, eye);
    scene->draw();
    if (prePassed) {
        for (const DepthDraw& draw : depthDraws) {
            draw.mesh->setDepthLaidDown(false);
        }
    }
}

// Shading is the frame's cost in software GL, and without this every opaque
// surface is shaded wherever it is drawn before whatever hides it (the
// labyrinth, first by name, behind the cell's wall). The lit vertex stage
// computes the same invariant position, so the lit draw of each of these
// meshes ties exactly with its depth here and passes with GL_LEQUAL. Translucent
// draws (text, the sky) and the skinned guard, whose bones this program does
// not get, are left to the lit pass; they keep their order there.
bool Renderer::drawDepthPrePass(Scene* scene, const glm::mat4& viewProjection, const glm::vec3& eye) {
    // Without its program (its file missing or broken, already logged) the
    // pre-pass would write depth with whatever program is bound and punch
    // holes into the picture; the lit pass alone draws the same picture.
    if (!depthShader.isLinked()) {
        return false;
    }
    const auto lit = shaderManager.getShaders().find(kLitShaderName);
    if (lit == shaderManager.getShaders().end()) {
        return false;
    }
    depthDraws.clear();
    for (const auto& entry : scene->getObjects()) {
        Object* object = entry.second;
        if (object->isHidden() && !object->isDrawOnce()) {
            continue;
        }
        for (Mesh* mesh : object->getMeshes()) {
            const Material* material = mesh->getMaterial();
            if (material == nullptr || material->getShader() != &lit->second || !material->isOpaque() ||
                dynamic_cast<SkinnedMesh*>(mesh) != nullptr) {
                continue;
            }
            const glm::mat4 model = object->getModelMatrix();
            const glm::vec3 center(model * glm::vec4(mesh->getCenter(), 1.0f));
            depthDraws.push_back({glm::length(center - eye), mesh, model});
        }
    }
    if (depthDraws.empty()) {
        return false;
    }
    // Nearest first, so the depth test turns most of the rest away early.
    std::sort(depthDraws.begin(), depthDraws.end(),
              [](const DepthDraw& a, const DepthDraw& b) { return a.distance < b.distance; });
    glColorMask(GL_FALSE, GL_FALSE, GL_FALSE, GL_FALSE);
    depthShader.setMat4("viewProjectionMatrix", 1, GL_FALSE, glm::value_ptr(viewProjection));
    for (const DepthDraw& draw : depthDraws) {
        depthShader.setMat4("modelMatrix", 1, GL_FALSE, glm::value_ptr(draw.model));
        draw.mesh->drawElements();
        draw.mesh->setDepthLaidDown(true);
    }
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    return true;
}

void Renderer::handleKey(int key, int action) {
    if (key == GLFW_KEY_ESCAPE && action == GLFW_PRESS) {
        glfwSetWindowShouldClose(window, GLFW_TRUE);
    }
    if (gameOver || action != GLFW_PRESS) {
        return;
    }
    switch (key) {
        case GLFW_KEY_F1:
            wireframe = !wireframe;
            break;
        case GLFW_KEY_F2:
            cullFaces = !cullFaces;
            break;
        case GLFW_KEY_F3:
            contours = !contours;
            break;
        case GLFW_KEY_F4:
            showNormals = !showNormals;
            break;
        case GLFW_KEY_F5:
            showOverlay = !showOverlay;
            break;
        default:
            break;
    }
}
