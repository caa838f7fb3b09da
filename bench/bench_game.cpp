// Game frame benchmark: the real game on the real level at 1280x720 against
// a floor frame on the same software GL, measured in the same process.
//
// The game: start-up as the game does it, the start screen (its orbiting
// view of the cell), then the level with the guard walking and the on-screen
// display, seen from three fixed views: the player's start (facing the cell
// door), inside the labyrinth, and the poster on the cell's north wall.
// The floor: the least a frame of this game can cost - clear, the level's
// triangles with a trivial program into an off-screen target with the
// game's colour, normal and depth formats, one full-screen pass reading the
// three textures, and the buffer swap - seen from the same view, with
// blending off.
//
// Per view it prints the CPU time per frame over all threads of the process
// (llvmpipe rasterises on its own threads; LP_NUM_THREADS sets how many),
// the median wall time per frame, and the ratios game / floor. The clock the
// game sees advances 1/60 s per frame, so every run draws the same pictures;
// they are saved as PNG files for a side-by-side comparison of two builds
// (bench/compare.sh). Last, the peak memory (max RSS).
//
// Run from the project root under Xvfb (see bench/README.md):
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_game [frames] [picture folder]

#include "app/FrameInput.h"
#include "app/Game.h"
#include "app/GameState.h"
#include "app/IniReader.h"
#include "app/Settings.h"
#include "app/StartScreen.h"
#include "framework/Framework.h"
#include "physics/PhysicsWorld.h"
#include "render/Camera.h"
#include "render/Mesh.h"
#include "render/Object.h"
#include "render/Renderer.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <glm/gtc/type_ptr.hpp>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <stb/stb_image_write.h>
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kWarmUpFrames = 10;
constexpr int kDefaultFrames = 40;
constexpr double kFrameTime = 1.0 / 60.0;

using Clock = std::chrono::steady_clock;

struct View {
    const char* name;
    bool playersOwn;  // the player's eye as the game sets it; else the fixed eye below
    glm::vec3 eye;
    glm::vec3 front;
};

const View kViews[] = {
    {"start", true, {}, {}},
    {"labyrinth", false, {12.9f, 1.6f, -2.15f}, glm::normalize(glm::vec3(1.0f, -0.05f, -0.35f))},
    {"poster", false, {1.2f, 1.55f, 0.2f}, {0.0f, 0.0f, 1.0f}},
};

// CPU time of the whole process, all threads, in milliseconds.
double processCpuMs() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1000.0 +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1000.0;
}

double peakMemoryMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? 0.0 : values[values.size() / 2];
}

// Frame cost: CPU over all threads per frame (mean) and wall time (median).
struct Cost {
    double cpuMs = 0.0;
    double wallMs = 0.0;
};

// Times `frames` calls of a frame that ends with a glFinish.
Cost measure(int frames, const std::function<void()>& frame) {
    std::vector<double> wall;
    const double cpuStart = processCpuMs();
    for (int i = 0; i < frames; ++i) {
        const Clock::time_point start = Clock::now();
        frame();
        glFinish();
        wall.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    }
    return {(processCpuMs() - cpuStart) / frames, median(wall)};
}

void savePicture(const std::string& folder, const std::string& name) {
    if (folder.empty()) {
        return;
    }
    std::vector<unsigned char> pixels(static_cast<std::size_t>(kWidth) * kHeight * 3);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
    stbi_flip_vertically_on_write(1);
    const std::string path = folder + "/" + name + ".png";
    stbi_write_png(path.c_str(), kWidth, kHeight, 3, pixels.data(), kWidth * 3);
}

GLuint compileProgram(const char* vertexSource, const char* fragmentSource) {
    const GLuint program = glCreateProgram();
    for (const auto& [type, source] : {std::make_pair(GL_VERTEX_SHADER, vertexSource),
                                       std::make_pair(GL_FRAGMENT_SHADER, fragmentSource)}) {
        const GLuint shader = glCreateShader(type);
        glShaderSource(shader, 1, &source, nullptr);
        glCompileShader(shader);
        glAttachShader(program, shader);
        glDeleteShader(shader);
    }
    glLinkProgram(program);
    GLint linked = 0;
    glGetProgramiv(program, GL_LINK_STATUS, &linked);
    if (linked == 0) {
        std::fprintf(stderr, "bench_game: a floor program did not link\n");
    }
    return program;
}

const char* const kFloorVertex = R"(#version 450 core
layout(location = 0) in vec3 position;
uniform mat4 modelViewProjection;
void main() { gl_Position = modelViewProjection * vec4(position, 1.0); })";

const char* const kFloorFragment = R"(#version 450 core
layout(location = 0) out vec4 color;
layout(location = 1) out vec4 normal;
void main() { color = vec4(0.6, 0.6, 0.6, 1.0); normal = vec4(0.5, 0.5, 1.0, 1.0); })";

const char* const kQuadVertex = R"(#version 450 core
layout(location = 0) in vec2 position;
out vec2 uv;
void main() { uv = position * 0.5 + 0.5; gl_Position = vec4(position, 0.0, 1.0); })";

const char* const kQuadFragment = R"(#version 450 core
in vec2 uv;
layout(location = 0) out vec4 color;
layout(binding = 0) uniform sampler2D colorTexture;
layout(binding = 1) uniform sampler2D depthTexture;
layout(binding = 2) uniform sampler2D normalTexture;
void main() {
    color = vec4(texture(colorTexture, uv).rgb * texture(normalTexture, uv).b, 1.0) * texture(depthTexture, uv).r;
})";

// The minimal frame of the level, drawn from the game's camera.
class FloorFrame {
public:
    FloorFrame(Scene& level, Camera* camera) : camera(camera) {
        for (const auto& entry : level.getObjects()) {
            for (Mesh* mesh : entry.second->getMeshes()) {
                draws.push_back({mesh->getVao(), mesh->getIndexCount(), entry.second->getModelMatrix()});
                triangles += mesh->getIndexCount() / 3;
            }
        }
        geometry = compileProgram(kFloorVertex, kFloorFragment);
        quad = compileProgram(kQuadVertex, kQuadFragment);
        glGenFramebuffers(1, &fbo);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        const GLenum formats[3][3] = {{GL_RGB, GL_RGB, GL_UNSIGNED_BYTE},
                                      {GL_RGB, GL_RGB, GL_UNSIGNED_BYTE},
                                      {GL_DEPTH_COMPONENT, GL_DEPTH_COMPONENT, GL_FLOAT}};
        const GLenum attachments[3] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_DEPTH_ATTACHMENT};
        glGenTextures(3, textures);
        for (int i = 0; i < 3; ++i) {
            glBindTexture(GL_TEXTURE_2D, textures[i]);
            glTexImage2D(GL_TEXTURE_2D, 0, static_cast<GLint>(formats[i][0]), kWidth, kHeight, 0, formats[i][1],
                         formats[i][2], nullptr);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
            glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
            glFramebufferTexture2D(GL_FRAMEBUFFER, attachments[i], GL_TEXTURE_2D, textures[i], 0);
        }
        const float corners[12] = {-1, -1, 1, -1, 1, 1, 1, 1, -1, 1, -1, -1};
        glGenVertexArrays(1, &quadVao);
        glBindVertexArray(quadVao);
        glGenBuffers(1, &quadVbo);
        glBindBuffer(GL_ARRAY_BUFFER, quadVbo);
        glBufferData(GL_ARRAY_BUFFER, sizeof(corners), corners, GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }

    ~FloorFrame() {
        glDeleteFramebuffers(1, &fbo);
        glDeleteTextures(3, textures);
        glDeleteBuffers(1, &quadVbo);
        glDeleteVertexArrays(1, &quadVao);
        glDeleteProgram(geometry);
        glDeleteProgram(quad);
    }

    // Drawn with the state a minimal frame needs: the depth test and back-face
    // culling on, blending and dithering off. The game leaves blending on
    // (its overlays and text blend), and on llvmpipe a blended target costs
    // CPU on every fragment, so both are switched off here and put back after,
    // leaving the game's frames as they were.
    void draw(GLFWwindow* window) {
        const GLboolean blending = glIsEnabled(GL_BLEND);
        const GLboolean dithering = glIsEnabled(GL_DITHER);
        glDisable(GL_BLEND);
        glDisable(GL_DITHER);
        glEnable(GL_CULL_FACE);
        glEnable(GL_DEPTH_TEST);
        drawLevelAndPass();
        setCapability(GL_BLEND, blending);
        setCapability(GL_DITHER, dithering);
        glfwSwapBuffers(window);
    }

    int triangles = 0;

private:
    struct Draw {
        GLuint vao;
        int count;
        glm::mat4 model;
    };

    static void setCapability(GLenum capability, GLboolean on) {
        if (on == GL_TRUE) {
            glEnable(capability);
        } else {
            glDisable(capability);
        }
    }

    // The level's triangles into the off-screen target, then the one
    // full-screen pass onto the window.
    void drawLevelAndPass() {
        static const GLenum kBuffers[2] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1};
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glDrawBuffers(2, kBuffers);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glUseProgram(geometry);
        const GLint location = glGetUniformLocation(geometry, "modelViewProjection");
        const glm::mat4 viewProjection = camera->getViewProjection();
        for (const Draw& d : draws) {
            const glm::mat4 mvp = viewProjection * d.model;
            glUniformMatrix4fv(location, 1, GL_FALSE, glm::value_ptr(mvp));
            glBindVertexArray(d.vao);
            glDrawElements(GL_TRIANGLES, d.count, GL_UNSIGNED_INT, nullptr);
        }
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDisable(GL_DEPTH_TEST);
        glUseProgram(quad);
        for (int i = 0; i < 3; ++i) {
            glActiveTexture(GL_TEXTURE0 + i);
            glBindTexture(GL_TEXTURE_2D, textures[i == 1 ? 2 : i == 2 ? 1 : 0]);
        }
        glBindVertexArray(quadVao);
        glDrawArrays(GL_TRIANGLES, 0, 6);
        glEnable(GL_DEPTH_TEST);
    }

    Camera* camera;
    std::vector<Draw> draws;
    GLuint geometry = 0, quad = 0, fbo = 0, quadVao = 0, quadVbo = 0;
    GLuint textures[3] = {0, 0, 0};
};

void report(const char* view, const Cost& game, const Cost* floor) {
    std::printf("%-11s game  CPU %8.2f ms  wall %7.2f ms", view, game.cpuMs, game.wallMs);
    if (floor != nullptr) {
        std::printf(" | floor CPU %7.2f ms  wall %6.2f ms | game/floor CPU x%.2f  wall x%.2f", floor->cpuMs,
                    floor->wallMs, game.cpuMs / floor->cpuMs, game.wallMs / floor->wallMs);
    }
    std::printf("\n");
    // One line for scripts: view, game CPU, game wall, floor CPU, floor wall.
    std::printf("RESULT %s %.3f %.3f %.3f %.3f\n", view, game.cpuMs, game.wallMs,
                floor != nullptr ? floor->cpuMs : 0.0, floor != nullptr ? floor->wallMs : 0.0);
}

}  // namespace

int main(int argc, char** argv) {
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultFrames;
    const std::string pictures = argc > 2 ? argv[2] : "";
    if (!pictures.empty()) {
        std::filesystem::create_directories(pictures);
    }

    // Start-up as the game does it, with a desktop window of the benchmark's size.
#ifdef __GLIBC__
    mallopt(M_MMAP_THRESHOLD, 128 * 1024);
#endif
    const IniReader reader(kSettingsFile);
    Settings settings = readSettings(reader);
    settings.fullscreen = false;
    if (glfwInit() == GLFW_FALSE) {
        std::fprintf(stderr, "bench_game: no display\n");
        return 1;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_RESIZABLE, GLFW_FALSE);
    glfwWindowHint(GLFW_DEPTH_BITS, 0);
    glfwWindowHint(GLFW_STENCIL_BITS, 0);
    GLFWwindow* window = glfwCreateWindow(kWidth, kHeight, "bench_game", nullptr, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "bench_game: no OpenGL 4.5 core context\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    glfwSwapInterval(0);  // measure the frame, not the display's refresh
    glEnable(GL_DEPTH_TEST);
    glEnable(GL_CULL_FACE);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_BLEND);
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK || !initFramework()) {
        std::fprintf(stderr, "bench_game: GLEW or the framework failed\n");
        glfwTerminate();
        return 1;
    }
    glGetError();
    glfwSetInputMode(window, GLFW_CURSOR, GLFW_CURSOR_DISABLED);

    // The game's clock moves 1/60 s a frame. The start screen polls Space
    // once a frame, after drawing it: the polls time its frames, and after
    // the last one Space is down.
    double now = 0.0;
    int startScreenPolls = 0;
    double startCpu = 0.0;
    std::vector<double> startWall;
    Clock::time_point lastPoll{};
    FrameInput input;
    input.now = [&] { return now; };
    input.keyState = [&](int key) {
        if (key != GLFW_KEY_SPACE || startScreenPolls < 0) {
            return GLFW_RELEASE;
        }
        glFinish();
        const Clock::time_point poll = Clock::now();
        const int polled = ++startScreenPolls;
        if (polled == kWarmUpFrames) {
            startCpu = processCpuMs();
        } else if (polled > kWarmUpFrames) {
            startWall.push_back(std::chrono::duration<double, std::milli>(poll - lastPoll).count());
        }
        lastPoll = poll;
        now += kFrameTime;
        if (polled == kWarmUpFrames + frames) {
            startCpu = (processCpuMs() - startCpu) / frames;
            savePicture(pictures, "startscreen");
            startScreenPolls = -1;
            return GLFW_PRESS;
        }
        return GLFW_RELEASE;
    };

    int status = 0;
    {
        PhysicsWorld physicsWorld;
        Game game(window, physicsWorld, settings, kWidth, kHeight, input);
        runStartScreen(window, game.renderer, input);
        game.buildLevel();
        game.beginLoop();

        std::printf("bench_game: %d frames per view at %dx%d (after %d warm-up frames)\n", frames, kWidth,
                    kHeight, kWarmUpFrames);
        std::printf("renderer:    %s, LP_NUM_THREADS=%s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)),
                    std::getenv("LP_NUM_THREADS") != nullptr ? std::getenv("LP_NUM_THREADS") : "(default)");
        report("startscreen", {startCpu, median(startWall)}, nullptr);

        // Created after the game's first measured frames, so that its target
        // does not count in the game's peak memory.
        std::unique_ptr<FloorFrame> floor;
        double gamePeakMb = 0.0;
        for (const View& view : kViews) {
            const auto gameFrame = [&] {
                now += kFrameTime;
                game.update();
                if (!view.playersOwn) {
                    game.camera->setPositionAndFront(view.eye, view.front);
                }
                game.draw();
                game.present();
            };
            for (int i = 0; i < kWarmUpFrames; ++i) {
                gameFrame();
            }
            const Cost gameCost = measure(frames, gameFrame);
            // The picture of one more frame, before its swap.
            now += kFrameTime;
            game.update();
            if (!view.playersOwn) {
                game.camera->setPositionAndFront(view.eye, view.front);
            }
            game.draw();
            savePicture(pictures, view.name);
            game.present();

            if (!floor) {
                gamePeakMb = peakMemoryMb();
                floor = std::make_unique<FloorFrame>(game.worldScene, game.camera);
            }
            for (int i = 0; i < kWarmUpFrames; ++i) {
                floor->draw(window);
            }
            const Cost floorCost = measure(frames, [&] { floor->draw(window); });
            report(view.name, gameCost, &floorCost);
        }
        std::printf("floor: %d triangles\n", floor->triangles);
        std::printf("peak memory (max RSS) through the start screen and the level: %.1f MB\n", gamePeakMb);
        std::printf("RESULT memory %.1f\n", gamePeakMb);
        floor.reset();
        const GLenum error = glGetError();
        if (error != GL_NO_ERROR) {
            std::printf("GL error 0x%x after the run\n", error);
            status = 1;
        }
        gameOver = false;
    }
    shutdownFramework();
    glfwTerminate();
    return status;
}
