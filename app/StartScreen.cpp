#include "app/StartScreen.h"

#include "app/OverlayScale.h"

#include "render/Camera.h"
#include "render/Font.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/ModelLoader.h"
#include "render/Object.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "render/Skybox.h"
#include "render/Text.h"

#include <GLFW/glfw3.h>
#include <glm/glm.hpp>

#include <cmath>
#include <string>
#include <vector>

namespace {

const std::vector<std::string> kSkyFaces = {
    "assets/textures/cubemap/right.jpg", "assets/textures/cubemap/left.jpg",
    "assets/textures/cubemap/top.jpg",   "assets/textures/cubemap/bottom.jpg",
    "assets/textures/cubemap/front.jpg", "assets/textures/cubemap/back.jpg",
};

const glm::vec3 kCameraPosition{0.437884f, 1.84947f, 0.37266f};
// Radians per second: a tenth of pi, one full turn in 20 seconds.
constexpr double kTurnRate = 0.3141592653589793;
constexpr double kFullTurn = 6.283185307179586;
// The angle from the vertical axis: half pi, a level view.
constexpr float kPolarAngle = 1.5707964f;

glm::vec3 viewDirection(float orbitAngle) {
    return {std::cos(orbitAngle) * std::sin(kPolarAngle), std::cos(kPolarAngle),
            std::sin(orbitAngle) * std::sin(kPolarAngle)};
}

// Frees what a scene does not own: its objects, its lights and its sky.
void freeSceneContents(Scene& scene) {
    for (const auto& entry : scene.getObjects()) {
        delete entry.second;
    }
    for (Light* light : scene.getLights()) {
        delete light;
    }
    delete scene.getSkybox();
}

}  // namespace

void runStartScreen(GLFWwindow* window, Renderer* renderer) {
    runStartScreen(window, renderer, glfwFrameInput(window));
}

void runStartScreen(GLFWwindow* window, Renderer* renderer, const FrameInput& input) {
    ModelLoader* loader = new ModelLoader(renderer);
    Scene* startScene = new Scene(loader);
    startScene->setSkybox(kSkyFaces, renderer->getShaderManager().get("skybox"));
    startScene->loadModel("assets/models/cell_start.fbx");

    int width = 0;
    int height = 0;
    glfwGetFramebufferSize(window, &width, &height);
    Camera camera(85.0, static_cast<double>(width) / static_cast<double>(height), 0.1, 1000.0);
    camera.setPosition(kCameraPosition);
    startScene->setCamera(&camera);

    Scene* overlayScene = new Scene(loader);
    MaterialManager& materials = overlayScene->getMaterialManager();
    materials.create("text", renderer->getShaderManager().get("font"));
    Material* text = materials.get("text");
    text->setColor(1.0f, 1.0f, 1.0f, 1.0f);
    Font* font = renderer->getFontManager().getFont("VT323");
    text->setTexture(kDiffuseTextureUnit, font->texture);

    // Scales and heights in the overlay's -1 to 1 space: k font pixels
    // become (1/w * k) / 256 across, n pixels below the top 1 - n/h. A window
    // smaller than 1280 x 720 counts in layout pixels shrunk by the overlay
    // scale, so the lines keep their places and fit.
    const float scale = overlayScale(static_cast<float>(width), static_cast<float>(height));
    const float w = static_cast<float>(width) / scale;
    const float h = static_cast<float>(height) / scale;
    const auto scaleX = [w](float k) { return (1.0f / w * k) * 0.00390625f; };
    const auto scaleY = [h](float k) { return (1.0f / h * k) * 0.00390625f; };
    const auto belowTop = [h](float n) { return 1.0f - 1.0f / h * n; };
    struct Line {
        const char* name;
        const char* text;
        float y;
        float scale;
    };
    const Line lines[] = {
        {"Welcome", "Welcome to Tollbrook!", belowTop(100.0f), 200.0f},
        {"desc", "Your goal is to escape your cell in time", belowTop(300.0f), 100.0f},
        {"desc2", "by solving puzzles, but don't let the guard catch you!", belowTop(400.0f), 100.0f},
        {"desc3", "To enter a code for the door lock simply", belowTop(550.0f), 100.0f},
        {"desc4", "press the number on your keyboard.", belowTop(650.0f), 100.0f},
        {"start", "Press SPACE to start", 1.0f / h * 200.0f - 1.0f, 256.0f},
    };
    for (const Line& line : lines) {
        overlayScene->createText(line.name, "text", font, line.text, 0.0f, line.y, scaleX(line.scale),
                                 scaleY(line.scale), TextAlignment::Top, TextAlignment::Center);
    }
    overlayScene->setCamera(&camera);

    renderer->addScene(startScene);
    renderer->addOverlayScene(overlayScene);

    float orbitAngle = 0.0f;
    glm::vec3 front = viewDirection(orbitAngle);
    double previous = input.now();
    for (;;) {
        const double now = input.now();
        const double frameTime = now - previous;
        previous = now;

        renderer->clear();
        camera.setPositionAndFront(kCameraPosition, front);
        renderer->render();

        // The frame just drawn is not shown once a key ends the screen. A
        // close request (Escape tapped between two polls, or the window's
        // close button) ends it too: the main loop then runs no frame.
        if (input.isDown(GLFW_KEY_SPACE) || input.isDown(GLFW_KEY_ESCAPE) ||
            glfwWindowShouldClose(window)) {
            break;
        }

        orbitAngle = static_cast<float>(static_cast<double>(orbitAngle) - frameTime * kTurnRate);
        orbitAngle = static_cast<float>(std::fmod(static_cast<double>(orbitAngle), kFullTurn));
        front = viewDirection(orbitAngle);

        glfwSwapBuffers(window);
        glfwPollEvents();
    }

    renderer->removeScene(startScene);
    renderer->removeOverlayScene(overlayScene);
    // The scenes own only their materials; the start model, the texts, the
    // model's lights and the sky are freed here too, since nothing draws
    // them again.
    freeSceneContents(*overlayScene);
    delete overlayScene;
    freeSceneContents(*startScene);
    delete startScene;
    delete loader;
}
