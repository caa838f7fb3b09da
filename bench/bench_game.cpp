// Game frame benchmark: the real game on the real level at 1280x720 - start
// screen, level set-up, then the game's own frames with the guard walking,
// the player standing in the cell, the on-screen display and the contour
// post-process. Prints the median and 99th-percentile frame time, the CPU
// time of the game's own work per frame outside the GL driver (split into
// the update - clock, held keys, door and focus ray, physics step and camera
// - and the draw submission), the time from launch to the first frame of the
// start screen and of the level, and the peak memory.
//
// Run from the project root under Xvfb (see bench/README.md):
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_game [frames]

#include "app/FrameInput.h"
#include "app/Game.h"
#include "app/GameState.h"
#include "app/IniReader.h"
#include "app/Settings.h"
#include "app/StartScreen.h"
#include "bench/DriverClock.h"
#include "framework/Framework.h"
#include "physics/PhysicsWorld.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>
#include <stb/stb_image_write.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 1280;
constexpr int kHeight = 720;
constexpr int kWarmUpFrames = 20;
constexpr int kDefaultFrames = 300;

using Clock = std::chrono::steady_clock;

double ms(std::chrono::nanoseconds d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const std::size_t i = std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5));
    return values[i];
}

// How long the process ran before main: its start time and the system's
// uptime, both from /proc, in clock ticks (10 ms) - a coarse figure.
double msBeforeMain() {
    std::ifstream stat("/proc/self/stat");
    std::string line;
    std::getline(stat, line);
    const std::size_t close = line.rfind(')');
    if (close == std::string::npos) {
        return 0.0;
    }
    // Field 22 (starttime) counted from the state, field 3.
    std::size_t pos = close + 2;
    for (int field = 3; field < 22 && pos != std::string::npos; ++field) {
        pos = line.find(' ', pos) + 1;
    }
    const double startTicks = std::strtod(line.c_str() + pos, nullptr);
    std::ifstream uptimeFile("/proc/uptime");
    double uptime = 0.0;
    uptimeFile >> uptime;
    const double ticks = static_cast<double>(sysconf(_SC_CLK_TCK));
    return std::max(0.0, (uptime - startTicks / ticks) * 1000.0);
}

double peakMemoryMb() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;  // kilobytes on Linux
}

}  // namespace

int main(int argc, char** argv) {
    const Clock::time_point launch = Clock::now();
    const double beforeMain = msBeforeMain();
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultFrames;

    // Start-up as the game does it, with a desktop window of the benchmark's size.
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

    // The clock is GLFW's; the held keys are scripted: Space on the start
    // screen's first frame, then none: the player stands at the start and
    // looks into the cell while the guard walks its round outside.
    bool onStartScreen = true;
    Clock::time_point startScreenFrame{};
    FrameInput input;
    input.now = [] { return glfwGetTime(); };
    input.keyState = [&](int key) {
        if (onStartScreen) {
            if (key == GLFW_KEY_SPACE) {
                glFinish();
                startScreenFrame = Clock::now();
                return GLFW_PRESS;
            }
            return GLFW_RELEASE;
        }
        return GLFW_RELEASE;
    };

    int status = 0;
    {
        PhysicsWorld physicsWorld;
        Game game(window, physicsWorld, settings, kWidth, kHeight, input);
        runStartScreen(window, game.renderer, input);
        onStartScreen = false;
        game.buildLevel();
        game.beginLoop();
        game.frame();
        glFinish();
        const Clock::time_point levelFrame = Clock::now();

        DriverClock::install();
        const std::chrono::nanoseconds overhead = DriverClock::overheadPerCall();
        std::vector<double> frameMs;
        std::vector<double> updateMs;
        std::vector<double> drawMs;
        std::vector<double> ownMs;
        long glCalls = 0;
        for (int frame = 0; frame < kWarmUpFrames + frames && game.running(); ++frame) {
            DriverClock::reset();
            const Clock::time_point start = Clock::now();
            game.update();
            const Clock::time_point updated = Clock::now();
            const std::chrono::nanoseconds updateDriver = DriverClock::elapsed() + overhead * DriverClock::calls();
            game.draw();
            const Clock::time_point drawn = Clock::now();
            const std::chrono::nanoseconds allDriver = DriverClock::elapsed() + overhead * DriverClock::calls();
            game.present();
            glFinish();
            const Clock::time_point end = Clock::now();
            if (frame >= kWarmUpFrames) {
                frameMs.push_back(ms(end - start));
                const double update = ms(updated - start - updateDriver);
                const double draw = ms(drawn - updated - (allDriver - updateDriver));
                updateMs.push_back(update);
                drawMs.push_back(draw);
                ownMs.push_back(update + draw);
                glCalls += DriverClock::calls();
            }
        }
        const int measured = static_cast<int>(frameMs.size());

        // One more frame, kept on the back buffer, saved for a look.
        game.update();
        game.draw();
        std::vector<unsigned char> pixels(static_cast<std::size_t>(kWidth) * kHeight * 3);
        glReadBuffer(GL_BACK);
        glPixelStorei(GL_PACK_ALIGNMENT, 1);
        glReadPixels(0, 0, kWidth, kHeight, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
        const std::string shot = (std::filesystem::path(argv[0]).parent_path() / "bench_game.png").string();
        stbi_flip_vertically_on_write(1);
        stbi_write_png(shot.c_str(), kWidth, kHeight, 3, pixels.data(), kWidth * 3);

        const GLenum error = glGetError();
        std::printf("bench_game: %d frames of the level at %dx%d (after %d warm-up frames)\n", measured, kWidth,
                    kHeight, kWarmUpFrames);
        std::printf("renderer:    %s\n", reinterpret_cast<const char*>(glGetString(GL_RENDERER)));
        if (measured == 0) {
            std::printf("the game ended before the first measured frame\n");
            status = 1;
        } else {
            std::printf("frame time:  median %.2f ms, p99 %.2f ms\n", percentile(frameMs, 0.5),
                        percentile(frameMs, 0.99));
            std::printf("game's own CPU outside the GL driver: median %.3f ms, p99 %.3f ms per frame\n",
                        percentile(ownMs, 0.5), percentile(ownMs, 0.99));
            std::printf("  update (clock, keys, door, focus ray, physics, camera): median %.3f ms, p99 %.3f ms\n",
                        percentile(updateMs, 0.5), percentile(updateMs, 0.99));
            std::printf("  draw submission (scene traversal, uniforms, draw calls): median %.3f ms, p99 %.3f ms\n",
                        percentile(drawMs, 0.5), percentile(drawMs, 0.99));
            std::printf("GL calls per frame: %ld\n", glCalls / measured);
        }
        std::printf("launch to first start-screen frame: %.0f ms (%.0f ms of it before main, +-10 ms)\n",
                    beforeMain + ms(startScreenFrame - launch), beforeMain);
        std::printf("launch to first level frame:        %.0f ms\n", beforeMain + ms(levelFrame - launch));
        std::printf("peak memory (max RSS): %.1f MB\n", peakMemoryMb());
        std::printf("last frame:  %s\n", shot.c_str());
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
