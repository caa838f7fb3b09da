// The real game executable played through the X server: keys and mouse
// motion sent with xdotool, the window's picture read from the virtual
// screen's frame buffer. Pictures are saved under the build tree
// (test-output/game_*.png).

#include "tests/support/Process.h"
#include "tests/support/RenderTarget.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 270;
const char* const kTitle = "Tollbrook Play Check";

struct Rect {
    int x0, y0, x1, y1;
};
// Below the timer and left of the centre: the 3D view only.
const Rect kView{0, kHeight / 3, kWidth / 2 - 12, kHeight};
const Rect kWhole{0, 0, kWidth, kHeight};

// Share of the rectangle's pixels that differ clearly between two pictures.
double changed(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, Rect r) {
    int differ = 0;
    for (int y = r.y0; y < r.y1; ++y) {
        for (int x = r.x0; x < r.x1; ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * kWidth + x) * 4;
            const int d = std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2]);
            differ += d > 24 ? 1 : 0;
        }
    }
    return static_cast<double>(differ) / ((r.x1 - r.x0) * (r.y1 - r.y0));
}

// The crosshair: black at the window's centre.
bool crosshairShown(const std::vector<uint8_t>& p) {
    for (int dx = -6; dx <= 6; dx += 3) {
        const std::size_t i = (static_cast<std::size_t>(kHeight / 2) * kWidth + kWidth / 2 + dx) * 4;
        if (p[i] > 10 || p[i + 1] > 10 || p[i + 2] > 10) {
            return false;
        }
    }
    return true;
}

// Saves a grabbed picture (top row first) as test-output/<name>.png.
void save(const std::string& name, std::vector<uint8_t> pixels) {
    const std::size_t stride = static_cast<std::size_t>(kWidth) * 4;
    for (int row = 0; row < kHeight / 2; ++row) {
        std::swap_ranges(pixels.begin() + stride * row, pixels.begin() + stride * (row + 1),
                         pixels.begin() + stride * (kHeight - 1 - row));
    }
    savePng(name, pixels, kWidth, kHeight);
}

void pause(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// The game in a scratch directory with the game's assets and a small desktop
// window, on its own X server whose screen the test can read.
class GameProcessTest : public ::testing::Test {
protected:
    GameProcessTest() : server("640x480x24", true) {}

    // Starts the game with `camera` lines in its settings and without the
    // assets named in `except`, and waits for its window.
    void launch(const std::string& camera = "", const std::set<std::string>& except = {}) {
        if (!server.ok()) {
            GTEST_SKIP() << server.reason();
        }
        linkGameAssets(dir, except);
        dir.write("assets/settings.ini", "[window]\nwidth = " + std::to_string(kWidth) + "\nheight = " +
                                             std::to_string(kHeight) + "\ntitle = " + kTitle +
                                             "\nfullscreen = false\n[camera]\n" + camera);
        game = std::make_unique<ChildProcess>(std::vector<std::string>{TOLLBROOK_EXE}, dir.path(),
                                              server.environment());
        window = server.findWindow(kTitle, 60);
        ASSERT_FALSE(window.empty()) << "no game window; stderr: " << game->standardError();
    }

    void TearDown() override { game.reset(); }

    // Held long enough for a slow frame's key poll to see it.
    void hold(const std::string& key, double seconds) {
        server.xdotool("windowfocus --sync " + window + " keydown " + key);
        pause(seconds);
        server.xdotool("keyup " + key);
    }

    std::vector<uint8_t> screen() const { return server.grab(kWidth, kHeight); }

    // Grabs until the picture satisfies the test, for up to `seconds`.
    std::vector<uint8_t> waitForScreen(const std::function<bool(const std::vector<uint8_t>&)>& test,
                                       double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        do {
            std::vector<uint8_t> pixels = screen();
            if (!pixels.empty() && test(pixels)) {
                return pixels;
            }
            pause(0.2);
        } while (std::chrono::steady_clock::now() < end && game->running());
        return {};
    }
    // The start screen: the window's picture no longer blank.
    std::vector<uint8_t> waitForStartScreen() {
        return waitForScreen(
            [](const std::vector<uint8_t>& p) { return changed(p, std::vector<uint8_t>(p.size(), 0), kWhole) > 0.5; },
            60);
    }

    XServer server;
    TempDir dir;
    std::unique_ptr<ChildProcess> game;
    std::string window;
};


TEST_F(GameProcessTest, StartScreenTurnsSpaceStartsMouseTurnsWWalksEscapeQuitsCleanly) {
    launch();
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    // The start screen: drawn, no crosshair, and turning.
    const std::vector<uint8_t> start = waitForStartScreen();
    ASSERT_FALSE(start.empty()) << "the start screen never appeared; stderr: " << game->standardError();
    save("game_start_screen", start);
    EXPECT_FALSE(crosshairShown(start));
    pause(1.5);
    const std::vector<uint8_t> turned = screen();
    save("game_start_screen_turned", turned);
    EXPECT_GT(changed(start, turned, kWhole), 0.05) << "the start screen's camera does not turn";
    ASSERT_TRUE(game->running());

    // Space: the level with the display.
    hold("space", 0.5);
    const std::vector<uint8_t> level = waitForScreen(crosshairShown, 60);
    ASSERT_FALSE(level.empty()) << "Space did not start the game; stderr: " << game->standardError();
    // The player settles on the floor first; then the view holds still.
    pause(1.5);
    const std::vector<uint8_t> settled = screen();
    pause(0.5);
    const std::vector<uint8_t> still = screen();
    save("game_level", still);
    EXPECT_LT(changed(settled, still, kView), 0.01) << "the view moves without input";

    // Mouse motion to the right turns the view.
    for (int step = 0; step < 6; ++step) {
        server.xdotool("windowfocus --sync " + window + " mousemove_relative -- 20 0");
        pause(0.1);
    }
    pause(0.5);
    const std::vector<uint8_t> looked = screen();
    save("game_mouse_turned", looked);
    EXPECT_GT(changed(still, looked, kView), 0.1) << "mouse motion did not turn the view";

    // W walks forward.
    pause(0.3);
    const std::vector<uint8_t> beforeWalk = screen();
    hold("w", 1.0);
    pause(0.5);
    const std::vector<uint8_t> walked = screen();
    save("game_walked", walked);
    EXPECT_GT(changed(beforeWalk, walked, kView), 0.1) << "W did not move the view";
    EXPECT_TRUE(crosshairShown(walked));

    // Escape: the program ends, with status 0 and no error line.
    hold("Escape", 0.3);
    ASSERT_TRUE(game->waitFor(30)) << "Escape did not end the game";
    EXPECT_EQ(game->exitCode(), 0);
    EXPECT_EQ(game->standardError(), "");
}

// The window has the configured size and title; a field of view that would
// break the projection and the missing icon are only warned about; Escape on
// the start screen still builds the level, but shows no frame of it, and the
// game ends with status 0 after the full teardown.
TEST_F(GameProcessTest, ConfiguredWindowAndEscapeOnTheStartScreenEndCleanly) {
    launch("fov = 400\n", {"icon.png"});
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const std::string info = runCommand("DISPLAY=" + server.display() + " xwininfo -id " + window + " 2>/dev/null");
    EXPECT_NE(info.find(std::string("\"") + kTitle + "\""), std::string::npos) << info;
    EXPECT_NE(info.find("Width: " + std::to_string(kWidth) + "\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: " + std::to_string(kHeight) + "\n"), std::string::npos) << info;
    ASSERT_FALSE(waitForStartScreen().empty()) << "the start screen never appeared; stderr: " << game->standardError();
    hold("Escape", 0.5);
    bool levelShown = false;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (game->running() && std::chrono::steady_clock::now() < end) {
        const std::vector<uint8_t> p = screen();
        levelShown |= !p.empty() && crosshairShown(p);
        pause(0.05);
    }
    ASSERT_TRUE(game->waitFor(1)) << "Escape on the start screen did not end the game";
    EXPECT_EQ(game->exitCode(), 0);
    EXPECT_EQ(game->standardError(), "");
    EXPECT_FALSE(levelShown);
    // Standard output holds warnings only, among them the two expected.
    const std::string out = game->standardOutput();
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        EXPECT_TRUE(std::regex_match(line, std::regex(R"(\[\d\d:\d\d:\d\d\]\[WARNING\] .*)"))) << line;
    }
    EXPECT_NE(out.find("fov"), std::string::npos) << out;
    EXPECT_NE(out.find("assets/icon.png"), std::string::npos) << out;
}

}  // namespace
