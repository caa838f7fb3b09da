// Physics benchmark: the level's physics scene built from the real cell.fbx,
// the player walking (and turning, so it slides along the cell's walls) and
// the guard patrolling. Prints the median and 99th-percentile cost of one
// fixed step (the Bullet step, the contact scan, the guard, the labyrinth
// door and the player's controller move) and of one focus ray.
//
// Run from the project root under Xvfb (a GL context is needed to load the
// level's meshes; see bench/README.md):
//   xvfb-run -a -s "-screen 0 1280x1024x24" build/bench/bench_physics [steps]

#include "app/GameState.h"
#include "app/LevelPhysics.h"
#include "physics/PhysicsQueryFilterCallback.h"
#include "physics/PhysicsScene.h"
#include "physics/PhysicsWorld.h"
#include "physics/Player.h"
#include "render/ModelLoader.h"
#include "render/Renderer.h"
#include "render/Scene.h"

#include <GL/glew.h>
#include <GLFW/glfw3.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWarmUpSteps = 120;
constexpr int kDefaultSteps = 3600;  // a minute of play

double microseconds(Clock::duration d) {
    return std::chrono::duration<double, std::micro>(d).count();
}

double percentile(std::vector<double> values, double p) {
    std::sort(values.begin(), values.end());
    const std::size_t i = std::min(values.size() - 1, static_cast<std::size_t>(p * (values.size() - 1) + 0.5));
    return values[i];
}

}  // namespace

int main(int argc, char** argv) {
    const int steps = argc > 1 ? std::max(1, std::atoi(argv[1])) : kDefaultSteps;

    if (glfwInit() == GLFW_FALSE) {
        std::fprintf(stderr, "bench_physics: glfwInit failed (run under Xvfb)\n");
        return 1;
    }
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 4);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 5);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    GLFWwindow* window = glfwCreateWindow(64, 64, "bench_physics", nullptr, nullptr);
    if (window == nullptr) {
        std::fprintf(stderr, "bench_physics: no OpenGL 4.5 core context\n");
        glfwTerminate();
        return 1;
    }
    glfwMakeContextCurrent(window);
    glewExperimental = GL_TRUE;
    if (glewInit() != GLEW_OK) {
        std::fprintf(stderr, "bench_physics: glewInit failed\n");
        glfwTerminate();
        return 1;
    }

    int status = 0;
    {
        PhysicsWorld world;
        Renderer renderer(window, 64, 64);
        renderer.getShaderManager().load("phong", "assets/shaders/phong");
        ModelLoader loader(&renderer);
        Scene level(&loader);
        level.loadModel("assets/models/cell.fbx");
        PhysicsScene* physics = buildPhysicsScene(level, world);
        if (physics == nullptr) {
            std::fprintf(stderr, "bench_physics: the level's physics could not be built\n");
            status = 1;
        } else {
            Player player(physics, world.getMaterial("default"), 1.4f, 0.2f, glm::vec3(0.0f, 1.3f, 0.0f));
            physics->setPlayer(&player);
            currentPlayer = &player;
            PhysicsQueryFilterCallback filter;
            filter.ignored.insert(physics->getPhysicsObject("door"));

            const double frame = static_cast<double>(physics->getFixedTimeStep()) + 1e-9;  // one step a frame
            const auto walk = [](int key) { return key == 87 || key == 340; };     // W with Left Shift
            double cursorX = 0.0;
            std::vector<double> stepCost;
            std::vector<double> rayCost;
            stepCost.reserve(steps);
            rayCost.reserve(steps);
            int hits = 0;
            for (int i = 0; i < kWarmUpSteps + steps; ++i) {
                gameOver = false;  // keep walking whatever the guard does
                if (i % 90 == 0) {
                    cursorX += 170.0;  // about a sixth of a turn
                }
                player.onMouse(cursorX, 0.0);
                player.processInput(walk, frame);

                const Clock::time_point t0 = Clock::now();
                physics->update(frame);
                const Clock::time_point t1 = Clock::now();
                PhysicsObject* seen = physics->raycast(1.25f, filter);
                const Clock::time_point t2 = Clock::now();
                physics->syncObjects();
                if (i >= kWarmUpSteps) {
                    stepCost.push_back(microseconds(t1 - t0));
                    rayCost.push_back(microseconds(t2 - t1));
                    hits += seen != nullptr ? 1 : 0;
                }
            }
            const glm::vec3 at = player.getPosition();
            std::printf("bench_physics: %d steps of %.6f s, %d bodies, %d joints\n", steps,
                        physics->getFixedTimeStep(), physics->getDynamicsWorld()->getNumCollisionObjects(),
                        physics->getDynamicsWorld()->getNumConstraints());
            std::printf("  fixed step: median %.1f us, p99 %.1f us\n", percentile(stepCost, 0.5),
                        percentile(stepCost, 0.99));
            std::printf("  focus ray:  median %.2f us, p99 %.2f us (%d of %d rays hit a body)\n",
                        percentile(rayCost, 0.5), percentile(rayCost, 0.99), hits, steps);
            std::printf("  player ended at (%.2f, %.2f, %.2f), guard at waypoint %d\n", at.x, at.y, at.z,
                        physics->getGuardWaypointIndex());
            physics->setPlayer(nullptr);
            currentPlayer = nullptr;
        }
        for (const auto& entry : level.getObjects()) {
            delete entry.second;
        }
    }
    glfwDestroyWindow(window);
    glfwTerminate();
    return status;
}
