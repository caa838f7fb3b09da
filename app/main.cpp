#include "app/Console.h"
#include "app/GameState.h"
#include "app/InputDispatcher.h"
#include "app/IniReader.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "framework/Framework.h"
#include "render/Camera.h"
#include "render/Font.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "render/Text.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <stb/stb_image.h>

#include <exception>
#include <string>
#include <vector>

namespace {

const char* const kIconFile = "assets/icon.png";

// Whether the framework is up, so that the teardown after an unexpected
// exception knows what to release.
bool frameworkInitialised = false;

void teardown() {
    if (frameworkInitialised) {
        shutdownFramework();
        frameworkInitialised = false;
    }
    glfwTerminate();
}

// A start-up step failed: close everything, report, wait for the player when
// there is one, and end with status 1.
int failStartup(const std::string& message) {
    glfwTerminate();
    Logger::error(message);
    waitForKeyPress();
    return 1;
}

void setWindowIcon(GLFWwindow* window) {
    GLFWimage icon;
    int channels = 0;
    icon.pixels = stbi_load(kIconFile, &icon.width, &icon.height, &channels, 4);
    if (icon.pixels == nullptr) {
        const char* reason = stbi_failure_reason();
        Logger::log(std::string("Could not load window icon '") + kIconFile + "' (" +
                        (reason != nullptr ? reason : "unknown reason") +
                        "), running without an icon",
                    WARNING);
        return;
    }
    glfwSetWindowIcon(window, 1, &icon);
    stbi_image_free(icon.pixels);
}

const std::vector<std::string> kSkyFaces = {
    "assets/textures/cubemap/right.jpg", "assets/textures/cubemap/left.jpg",
    "assets/textures/cubemap/top.jpg",   "assets/textures/cubemap/bottom.jpg",
    "assets/textures/cubemap/front.jpg", "assets/textures/cubemap/back.jpg",
};

// The frame loop: for now an empty world under the sky and one overlay
// text. Returns false when an input handler failed.
bool runLoop(GLFWwindow* window, const Settings& settings, int width, int height) {
    glClearColor(1.0f, 1.0f, 1.0f, 1.0f);
    // Lives until the process ends.
    Renderer* renderer = new Renderer(window, static_cast<GLuint>(width), static_cast<GLuint>(height));
    ShaderManager& shaders = renderer->getShaderManager();
    shaders.load("phong", "assets/shaders/phong");
    shaders.load("skybox", "assets/shaders/skybox");
    shaders.load("font", "assets/shaders/font");
    shaders.load("font3D", "assets/shaders/font3D");
    renderer->getFontManager().loadFont("VT323", "assets/fonts/VT323-Regular.ttf", 256);
    Font* font = renderer->getFontManager().getFont("VT323");

    mainCamera = new Camera(settings.fieldOfView, static_cast<double>(width) / static_cast<double>(height),
                            settings.nearDistance, settings.farDistance);

    InputDispatcher dispatcher(window);
    dispatcher.addKeyCallback([renderer](int key, int action) { renderer->handleKey(key, action); });

    Scene worldScene(nullptr);
    worldScene.setSkybox(kSkyFaces, shaders.get("skybox"));
    worldScene.setCamera(mainCamera);
    renderer->addScene(&worldScene);

    Scene overlayScene(nullptr);
    MaterialManager& materials = overlayScene.getMaterialManager();
    materials.create("text", shaders.get("font"));
    materials.get("text")->setColor(0.0f, 0.0f, 0.0f, 1.0f);
    materials.get("text")->setTexture(kDiffuseTextureUnit, font->texture);
    const float w = static_cast<float>(width);
    const float h = static_cast<float>(height);
    overlayScene.createText("title", "text", font, "Tollbrook", 0.0f, 1.0f - 50.0f / h, 0.5f / w, 0.5f / h,
                            TextAlignment::Top, TextAlignment::Center);
    overlayScene.setCamera(mainCamera);
    renderer->addOverlayScene(&overlayScene);

    while (!glfwWindowShouldClose(window)) {
        renderer->clear();
        renderer->render();
        glfwSwapBuffers(window);
        glfwPollEvents();
    }

    renderer->removeOverlayScene(&overlayScene);
    renderer->removeScene(&worldScene);
    for (const auto& entry : overlayScene.getObjects()) {
        delete entry.second;
    }
    return !dispatcher.handlerFailed();
}

int run() {
    Logger::log("Starting Game", INFO);

    const IniReader reader(kSettingsFile);
    const Settings settings = readSettings(reader);
    int width = settings.width;
    int height = settings.height;

    if (glfwInit() == GLFW_FALSE) {
        return failStartup("Failed to init GLFW");
    }

    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_REFRESH_RATE, settings.refreshRate);

    GLFWmonitor* monitor = nullptr;
    if (settings.fullscreen) {
        monitor = glfwGetPrimaryMonitor();
        const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
        if (mode == nullptr) {
            Logger::log("No primary monitor found, opening a desktop window instead", WARNING);
            monitor = nullptr;
        } else if (settings.useMonitorResolution) {
            width = mode->width;
            height = mode->height;
        }
    }

    GLFWwindow* window = glfwCreateWindow(width, height, settings.title.c_str(), monitor, nullptr);
    if (window == nullptr) {
        return failStartup("Failed to init window");
    }
    // A full-screen window can come out at another size than asked: from
    // here on the size is the one the window really has.
    glfwGetFramebufferSize(window, &width, &height);

    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);

    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);

    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) {
        return failStartup("Failed to init GLEW");
    }
    // GLEW leaves an error behind on core profiles; drop it.
    glGetError();

    setWindowIcon(window);
    glfwSetInputMode(window, GLFW_CURSOR, GLFW_CURSOR_DISABLED);

    if (!initFramework()) {
        return failStartup("Failed to init framework");
    }
    frameworkInitialised = true;

    const bool handlersOk = runLoop(window, settings, width, height);

    teardown();
    return handlersOk ? 0 : 1;
}

}  // namespace

int main() {
    try {
        return run();
    } catch (const std::exception& e) {
        Logger::error(std::string("Unhandled exception: ") + e.what());
    } catch (...) {
        Logger::error("Unhandled unknown exception");
    }
    teardown();
    return 1;
}
