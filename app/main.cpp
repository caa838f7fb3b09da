#include "app/Console.h"
#include "app/FrameInput.h"
#include "app/Game.h"
#include "app/IniReader.h"
#include "app/Logger.h"
#include "app/Settings.h"
#include "app/StartScreen.h"
#include "framework/Framework.h"
#include "physics/PhysicsWorld.h"
#include "render/AssetFile.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <stb/stb_image.h>

#include <exception>
#include <string>

namespace {

const char* const kIconFile = "assets/icon.png";

// Blocks of this size and up get pages of their own (the C library's
// default starting threshold).
constexpr int kLargeBlockBytes = 128 * 1024;

// The window system takes the icon as one property of 4 bytes a pixel, and an
// X server ends the program when the property exceeds its request size (16 MB
// as a rule): larger icons are left out, as an undecodable one is.
constexpr int kMaxIconSide = 1024;

// Every OpenGL 4.5 context serves framebuffers and viewports of this many
// pixels a side; larger windows may not be drawable, and X cuts sizes beyond
// 16 bits without a word.
constexpr int kMaxWindowSide = 16384;

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

void warnNoIcon(const std::string& reason) {
    Logger::log(std::string("Could not load window icon '") + kIconFile + "' (" + reason +
                    "), running without an icon",
                WARNING);
}

void setWindowIcon(GLFWwindow* window) {
    if (!isRegularFile(kIconFile)) {
        warnNoIcon("not a regular file");
        return;
    }
    GLFWimage icon;
    int channels = 0;
    icon.pixels = stbi_load(kIconFile, &icon.width, &icon.height, &channels, 4);
    if (icon.pixels == nullptr) {
        const char* reason = stbi_failure_reason();
        warnNoIcon(reason != nullptr ? reason : "unknown reason");
        return;
    }
    if (icon.width > kMaxIconSide || icon.height > kMaxIconSide) {
        warnNoIcon(std::to_string(icon.width) + " x " + std::to_string(icon.height) + " pixels, more than " +
                   std::to_string(kMaxIconSide) + " a side");
    } else {
        glfwSetWindowIcon(window, 1, &icon);
    }
    stbi_image_free(icon.pixels);
}

std::string sizeText(int width, int height) { return std::to_string(width) + " x " + std::to_string(height); }

// Why no window of this size can be made, or empty when one can.
std::string windowSizeProblem(int width, int height) {
    if (width > 0 && height > 0 && width <= kMaxWindowSide && height <= kMaxWindowSide) {
        return "";
    }
    return sizeText(width, height) + " pixels asked for, each side must be 1 to " + std::to_string(kMaxWindowSide);
}

// The size the window really has. A full-screen window takes the monitor's
// video mode nearest to the size asked for, and on X11 it is moved to that
// size only after it was made, so its framebuffer may still report the size
// asked for: the monitor's mode is the one it ends up with.
void readWindowSize(GLFWwindow* window, GLFWmonitor* monitor, int& width, int& height) {
    const int askedWidth = width;
    const int askedHeight = height;
    const GLFWvidmode* mode = monitor != nullptr ? glfwGetVideoMode(monitor) : nullptr;
    if (mode != nullptr) {
        width = mode->width;
        height = mode->height;
    } else {
        glfwGetFramebufferSize(window, &width, &height);
    }
    if (width != askedWidth || height != askedHeight) {
        Logger::log("The window asked for at " + sizeText(askedWidth, askedHeight) + " pixels came out at " +
                        sizeText(width, height) +
                        (mode != nullptr ? " (the monitor has no mode of the size asked for)" : "") +
                        ": the game is drawn at that size",
                    WARNING);
    }
}

int run() {
    Logger::log("Starting Game", INFO);
    // Loading allocates and frees many large blocks (decoded images, model
    // buffers, the shader compiler's work). By default the C library raises
    // its threshold for serving a block from its own pages to the largest
    // block freed so far, and the heap then keeps those blocks' pages as
    // fragments; a fixed threshold gives each one back when it is freed.
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes);
#endif

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
    // The frame is drawn at the size the window was made with: a resized
    // window would show a cropped picture, so it keeps its size.
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    // The scenes are drawn into the renderer's own target, and everything
    // drawn onto the window (the post-process quad, the red plane, the
    // overlays) has the depth test off: a depth and stencil buffer of the
    // window would only take memory.
    glfwWindowHint(GLFW_DEPTH_BITS, 0);
    glfwWindowHint(GLFW_STENCIL_BITS, 0);

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

    const std::string sizeProblem = windowSizeProblem(width, height);
    if (!sizeProblem.empty()) {
        return failStartup("Failed to init window: " + sizeProblem);
    }
    GLFWwindow* window = glfwCreateWindow(width, height, settings.title.c_str(), monitor, nullptr);
    if (window == nullptr) {
        return failStartup("Failed to init window");
    }
    // From here on the size is the one the window really has.
    readWindowSize(window, monitor, width, height);

    glfwMakeContextCurrent(window);
    glfwSwapInterval(1);
    // The context's viewport starts at the window's size when the context
    // first saw it, which for a full-screen window can be the size asked for
    // rather than the monitor's; nothing sets it later.
    glViewport(0, 0, width, height);

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

    // Released last of all, after GLFW.
    PhysicsWorld physicsWorld;
    bool handlersOk = true;
    {
        const FrameInput input = glfwFrameInput(window);
        Game game(window, physicsWorld, settings, width, height, input);
        runStartScreen(window, game.renderer, input);
        game.buildLevel();
        game.run();
        handlersOk = !game.dispatcher.handlerFailed();
    }
    // The game is gone (player, scenes, input, confetti, model loader); the
    // framework and GLFW follow, then the physics world it played in.
    teardown();
    return handlersOk ? 0 : 1;
}

}  // namespace

int main() {
    openMissingStandardStreams();
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
