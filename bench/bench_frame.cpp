// Frame benchmark: the renderer drawing a lit, textured scene of a few hundred
// meshes under the sky, with confetti, the contour post-process and an
// overlay text, at 1280x720. Prints the median and 99th-percentile frame
// time and the CPU time the frame spends outside the GL driver.
//
// Run from the project root under Xvfb (see bench/README.md):
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_frame [frames]

#include "app/Game.h"
#include "app/GameState.h"
#include "app/Settings.h"
#include "bench/DriverClock.h"
#include "render/Camera.h"
#include "render/ConfettiEmitter.h"
#include "render/Font.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/Mesh.h"
#include "render/Object.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "render/Text.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <stb/stb_image_write.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kWarmUpFrames = 20;
constexpr int kDefaultFrames = 300;
constexpr int kGridX = 20;  // 20 x 15 = 300 cubes
constexpr int kGridZ = 15;
constexpr int kLights = 8;

using Clock = std::chrono::steady_clock;

double ms(std::chrono::nanoseconds d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const std::size_t i = std::min(values.size() - 1,
                                   static_cast<std::size_t>(p * (values.size() - 1) + 0.5));
    return values[i];
}

const std::vector<std::string> kSkyFaces = {
    "assets/textures/cubemap/right.jpg", "assets/textures/cubemap/left.jpg",
    "assets/textures/cubemap/top.jpg",   "assets/textures/cubemap/bottom.jpg",
    "assets/textures/cubemap/front.jpg", "assets/textures/cubemap/back.jpg",
};

// Materials of the cubes: textured ones like the level's, a plain one and a
// reflective one.
void createMaterials(MaterialManager& materials, Shader* phong) {
    const char* textured[] = {"brick", "concrete", "wood", "steel"};
    for (const char* name : textured) {
        materials.create(name, phong);
        Material* m = materials.get(name);
        m->setColorRgb(1.0f, 1.0f, 1.0f);
        m->addTexture(std::string("assets/textures/") + name + ".png", kDiffuseTextureUnit,
                      GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
        m->addTexture(std::string("assets/textures/") + name + "_specular.png",
                      kSpecularTextureUnit, GL_LINEAR_MIPMAP_LINEAR, GL_LINEAR);
    }
    materials.create("plain", phong);
    materials.get("plain")->setColorRgb(0.8f, 0.3f, 0.2f);
    materials.create("chrome", phong);
    materials.get("chrome")->setColorRgb(0.9f, 0.9f, 0.9f);
    materials.get("chrome")->setUseEnvironmentMapping(true);
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultFrames;

    if (glfwInit() == GLFW_FALSE) {
        std::fprintf(stderr, "bench_frame: no display (run it under Xvfb)\n");
        return 1;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(kWidth, kHeight, "bench_frame", nullptr, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "bench_frame: no OpenGL 4.5 core context\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(0);  // measure the frame, not the display's refresh
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) {
        std::fprintf(stderr, "bench_frame: glewInit failed\n");
        return 1;
    }
    glGetError();
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    nearPlane = 0.1f;
    farPlane = 100.0f;
    globalBrightness = 1.0f;

    Renderer* renderer = createGameRenderer(window, kWidth, kHeight);
    ShaderManager& shaders = renderer->getShaderManager();
    Font* font = renderer->getFontManager().getFont("VT323");

    Camera camera(70.0, static_cast<double>(kWidth) / kHeight, 0.1, 100.0);
    camera.setPositionAndFront(glm::vec3(0.0f, 3.0f, 6.0f), glm::vec3(0.0f, -0.35f, -1.0f));
    mainCamera = &camera;

    Scene world(nullptr);
    world.setSkybox(kSkyFaces, shaders.get("skybox"));
    world.setCamera(&camera);
    createMaterials(world.getMaterialManager(), shaders.get("phong"));
    const char* materialNames[] = {"brick", "concrete", "wood", "steel", "plain", "chrome"};
    std::vector<Object*> objects;
    for (int z = 0; z < kGridZ; ++z) {
        for (int x = 0; x < kGridX; ++x) {
            const int i = z * kGridX + x;
            auto* cube = new Cube("cube" + std::to_string(i), 0.6f, 0.6f, 0.6f);
            cube->getMeshes().front()->setMaterial(world.getMaterialManager().get(materialNames[i % 6]));
            cube->setPosition(glm::vec3((x - kGridX / 2) * 1.0f, 0.0f, -z * 1.0f));
            cube->rotate(glm::vec3(0.0f, static_cast<float>(i * 17 % 90), 0.0f));
            world.addObject(cube->getName(), cube);
            objects.push_back(cube);
        }
    }
    // Digit labels in the world, like the locks'.
    world.getMaterialManager().create("label", shaders.get("font3D"));
    world.getMaterialManager().get("label")->setColor(1.0f, 1.0f, 1.0f, 1.0f);
    world.getMaterialManager().get("label")->setTexture(kDiffuseTextureUnit, font->texture);
    for (int i = 0; i < kGridX; ++i) {
        Text* label = world.createText("label" + std::to_string(i), "label", font,
                                       std::to_string(i % 10), (i - kGridX / 2) * 1.0f, 0.8f,
                                       1.0f / 256.0f, 1.0f / 256.0f, TextAlignment::Center,
                                       TextAlignment::Center);
        objects.push_back(label);
    }
    std::vector<PointLight*> lights;
    for (int i = 0; i < kLights; ++i) {
        lights.push_back(new PointLight(glm::vec3((i - kLights / 2) * 3.0f, 2.0f, -3.0f - (i % 3) * 4.0f),
                                        glm::vec3(2.0f, 1.9f, 1.7f), glm::vec3(1.0f, 0.09f, 0.032f)));
        world.addLight(lights.back());
    }
    renderer->addScene(&world);

    Scene overlay(nullptr);
    overlay.getMaterialManager().create("text", shaders.get("font"));
    overlay.getMaterialManager().get("text")->setColor(1.0f, 1.0f, 1.0f, 1.0f);
    overlay.getMaterialManager().get("text")->setTexture(kDiffuseTextureUnit, font->texture);
    Text* timer = overlay.createText("timer", "text", font, "10:00", 1.0f - 25.0f / kWidth,
                                     1.0f - 25.0f / kHeight, 1.0f / kWidth, 1.0f / kHeight,
                                     TextAlignment::Top, TextAlignment::Right);
    overlay.setCamera(&camera);
    renderer->addOverlayScene(&overlay);

    ConfettiEmitter confetti(1000, 2.0f);
    renderer->addConfetti(&confetti);
    confetti.setActive(true);

    DriverClock::install();
    const std::chrono::nanoseconds overhead = DriverClock::overheadPerCall();

    std::vector<double> frameMs;
    std::vector<double> outsideMs;
    long glCalls = 0;
    const int total = kWarmUpFrames + frames;
    for (int frame = 0; frame < total; ++frame) {
        DriverClock::reset();
        const Clock::time_point start = Clock::now();

        renderer->clear();
        confetti.update(1.0 / 60.0);
        if (frame % 60 == 0) {
            const int left = 600 - frame / 60;
            char text[16];
            std::snprintf(text, sizeof text, "%02d:%02d", left / 60, left % 60);
            timer->setText(text);
        }
        renderer->render();
        const Clock::time_point submitted = Clock::now();
        glfwSwapBuffers(window);
        glfwPollEvents();
        glFinish();
        const Clock::time_point end = Clock::now();

        if (frame >= kWarmUpFrames) {
            frameMs.push_back(ms(end - start));
            outsideMs.push_back(ms(submitted - start - DriverClock::elapsed() -
                                   overhead * DriverClock::calls()));
            glCalls += DriverClock::calls();
        }
    }

    // One more frame, kept on the back buffer, saved for a look.
    renderer->clear();
    renderer->render();
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWidth) * kHeight * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    const std::string shot = (std::filesystem::path(argv[0]).parent_path() / "bench_frame.png").string();
    stbi_flip_vertically_on_write(1);
    stbi_write_png(shot.c_str(), kWidth, kHeight, 3, pixels.data(), kWidth * 3);

    const GLenum error = glGetError();
    std::printf("bench_frame: %d frames at %dx%d, %zu meshes, %d lights, 1000 confetti\n", frames,
                kWidth, kHeight, objects.size(), kLights);
    std::printf("renderer:    %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
    std::printf("frame time:  median %.2f ms, p99 %.2f ms\n", percentile(frameMs, 0.5),
                percentile(frameMs, 0.99));
    std::printf("CPU outside the GL driver: median %.3f ms, p99 %.3f ms per frame\n",
                percentile(outsideMs, 0.5), percentile(outsideMs, 0.99));
    std::printf("GL calls per frame: %ld (timing them costs about %.3f ms, already taken off)\n",
                glCalls / frames, ms(overhead) * static_cast<double>(glCalls) / frames);
    std::printf("last frame:  %s\n", shot.c_str());
    if (error != GL_NO_ERROR) {
        std::printf("GL error 0x%x after the run\n", error);
    }

    mainCamera = nullptr;
    renderer->removeOverlayScene(&overlay);
    renderer->removeScene(&world);
    for (const auto& entry : overlay.getObjects()) {
        delete entry.second;
    }
    for (Object* object : objects) {
        delete object;
    }
    for (PointLight* light : lights) {
        delete light;
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    return error == GL_NO_ERROR ? 0 : 1;
}
