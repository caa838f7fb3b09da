// Load benchmark: "assets/models/cell.fbx" into a fresh world scene, from
// the file to the GPU (Assimp import, objects, meshes and their buffers,
// materials with their textures decoded and uploaded, lights), on a fresh
// renderer each time so that no texture comes from a cache. Prints the
// median and worst load time, the import alone, and the heap allocations of
// the guard's skinned draw (which must be none).
//
// Run from the project root under Xvfb (see bench/README.md):
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_load [loads]

#include "app/GameState.h"
#include "app/Settings.h"
#include "render/Bone.h"
#include "render/Light.h"
#include "render/Material.h"
#include "render/ModelLoader.h"
#include "render/Object.h"
#include "render/Renderer.h"
#include "render/Scene.h"
#include "render/SkinnedMesh.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <glm/glm.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

// Every heap allocation of the program is counted.
namespace {
std::atomic<long> allocations{0};
}

void* operator new(std::size_t size) {
    ++allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kDefaultLoads = 10;
constexpr int kSkinnedDraws = 1000;
const char* const kLevel = "assets/models/cell.fbx";

using Clock = std::chrono::steady_clock;

double ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

void freeScene(Scene& scene) {
    for (const auto& entry : scene.getObjects()) {
        delete entry.second;
    }
    for (Light* light : scene.getLights()) {
        delete light;
    }
}

}  // namespace

int main(int argc, char** argv) {
    const int loads = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultLoads;
    if (glfwInit() == GLFW_FALSE) {
        std::fprintf(stderr, "glfwInit failed (no display? run under xvfb-run)\n");
        return 1;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(kWidth, kHeight, "bench_load", nullptr, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "no OpenGL 4.5 core context\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) {
        std::fprintf(stderr, "glewInit failed\n");
        return 1;
    }
    glGetError();
    nearPlane = 0.1f;
    farPlane = 100.0f;
    globalBrightness = 1.0f;

    // The import alone: Assimp reading and post-processing the file.
    std::vector<double> importTimes;
    for (int i = 0; i < loads; ++i) {
        Assimp::Importer importer;
        const Clock::time_point start = Clock::now();
        const aiScene* model =
            importer.ReadFile(kLevel, aiProcess_Triangulate | aiProcess_PopulateArmatureData | aiProcess_FlipUVs);
        importTimes.push_back(ms(Clock::now() - start));
        if (model == nullptr) {
            std::fprintf(stderr, "cannot read %s (run from the project root)\n", kLevel);
            return 1;
        }
    }

    // The whole load, file to GPU, each on a fresh renderer and scene.
    std::vector<double> loadTimes;
    long meshes = 0;
    long lights = 0;
    for (int i = 0; i < loads; ++i) {
        Renderer renderer(window, kWidth, kHeight);
        renderer.getShaderManager().load("phong", "assets/shaders/phong");
        ModelLoader loader(&renderer);
        Scene scene(&loader);
        glFinish();
        const Clock::time_point start = Clock::now();
        scene.loadModel(kLevel);
        glFinish();
        loadTimes.push_back(ms(Clock::now() - start));
        meshes = 0;
        for (const auto& entry : scene.getObjects()) {
            meshes += static_cast<long>(entry.second->getMeshes().size());
        }
        lights = static_cast<long>(scene.getLights().size());

        // The guard's draw: bones advanced and uploaded every time.
        if (i == loads - 1) {
            SkinnedMesh* guard = dynamic_cast<SkinnedMesh*>(scene.get("guard")->getMeshes().at(0));
            frameDeltaTime = 1.0 / 60.0;
            guard->render(glm::mat4(1.0f), false);  // first use fills the uniform cache
            const long before = allocations.load();
            const Clock::time_point drawStart = Clock::now();
            for (int d = 0; d < kSkinnedDraws; ++d) {
                guard->render(glm::mat4(1.0f), d % 2 == 0);
            }
            glFinish();
            const double drawTime = ms(Clock::now() - drawStart);
            const long during = allocations.load() - before;
            // The material upload alone, which every mesh draw does first.
            const long beforeApply = allocations.load();
            for (int d = 0; d < kSkinnedDraws; ++d) {
                guard->getMaterial()->apply();
            }
            const long inApply = allocations.load() - beforeApply;
            std::printf("skinned draw of the guard (%u bones): %.3f ms each; heap allocations in %d draws: %ld, "
                        "of which %ld in the material upload, %ld in the skinning\n",
                        guard->getBoneCount(), drawTime / kSkinnedDraws, kSkinnedDraws, during, inApply,
                        during - inApply);
        }
        freeScene(scene);
    }

    std::printf("%s: %ld meshes, %ld point lights\n", kLevel, meshes, lights);
    std::printf("import alone (Assimp):      median %.1f ms, worst %.1f ms over %d runs\n", median(importTimes),
                *std::max_element(importTimes.begin(), importTimes.end()), loads);
    std::printf("load into a scene, to GPU:  median %.1f ms, worst %.1f ms over %d runs\n", median(loadTimes),
                *std::max_element(loadTimes.begin(), loadTimes.end()), loads);

    glfwDestroyWindow(window);
    glfwTerminate();
    return 0;
}
