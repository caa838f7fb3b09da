// The real game executable played through the X server: keys and mouse
// motion sent with xdotool, the window's picture read from the virtual
// screen's frame buffer.

#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <chrono>
#include <regex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 270;
const char* const kTitle = "Tollbrook Play Check";

// Share of the 3D view's pixels (below the timer, left of the centre) that differ clearly.
double changed(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    int differ = 0;
    for (int y = kHeight / 3; y < kHeight; ++y) {
        for (int x = 0; x < kWidth / 2 - 12; ++x) {
            const std::size_t i = (static_cast<std::size_t>(y) * kWidth + x) * 4;
            differ += std::abs(a[i] - b[i]) + std::abs(a[i + 1] - b[i + 1]) + std::abs(a[i + 2] - b[i + 2]) > 24;
        }
    }
    return static_cast<double>(differ) / ((kHeight - kHeight / 3) * (kWidth / 2 - 12));
}

// The crosshair: black at the window's centre (shrunk with the small window to 7.5 by 1.5 pixels).
bool crosshairShown(const std::vector<uint8_t>& p) {
    for (int dx = -3; dx <= 3; dx += 3) {
        const std::size_t i = (static_cast<std::size_t>(kHeight / 2) * kWidth + kWidth / 2 + dx) * 4;
        if (p[i] > 10 || p[i + 1] > 10 || p[i + 2] > 10) return false;
    }
    return true;
}

void pause(double seconds) { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); }

// The game in a scratch directory with the game's assets (but no icon) and a
// small desktop window, on its own X server whose screen the test reads. The
// window has the configured size and title and keeps its size (the frame is
// drawn at the size it was made with); a field of view or a brightness that
// would break the picture and the missing icon are only warned about. Space
// starts the game, the mouse turns the view, W walks, and Escape ends the game
// with status 0 and no error line.
TEST(GameProcess, ConfiguredWindowSpaceMouseWAndEscape) {
    XServer server;
    REQUIRE_X_SERVER(server);
    TempDir dir;
    linkGameAssets(dir, {"icon.png"});
    dir.write("assets/settings.ini", "[window]\nwidth = 480\nheight = 270\ntitle = " + std::string(kTitle) +
                                         "\nfullscreen = false\n[camera]\nfov = 400\nbrightness = nan\n");
    GameProcess game(dir.path(), server.display());
    const std::string window = server.findWindow(kTitle, 60, game.id());
    ASSERT_FALSE(window.empty()) << "no game window; stderr: " << game.standardError();
    const auto hold = [&](const std::string& key, double seconds) {  // long enough for a slow frame's poll
        server.run("xdotool windowfocus --sync " + window + " keydown " + key);
        pause(seconds);
        server.run("xdotool keyup " + key);
    };
    const auto screen = [&] { return server.grab(kWidth, kHeight); };
    const std::string size = std::to_string(kWidth) + " by " + std::to_string(kHeight) + "\n";
    const std::string hints = server.run("xprop -id " + window + " WM_NAME WM_NORMAL_HINTS");
    for (const std::string& line : {std::string("\"") + kTitle + "\"", "minimum size: " + size, "maximum size: " + size})
        EXPECT_NE(hints.find(line), std::string::npos) << hints;
    // Space, held until the level shows with the display (the start screen loads its model first).
    server.run("xdotool windowfocus --sync " + window + " keydown space");
    bool started = false;
    for (int i = 0; i < 300 && game.running() && !started; ++i, pause(0.2)) {
        const std::vector<uint8_t> pixels = screen();
        started = !pixels.empty() && crosshairShown(pixels);
    }
    server.run("xdotool keyup space");
    ASSERT_TRUE(started) << "Space did not start the game; " << game.standardError();
    // The screen once two pictures half a second apart barely differ (the
    // player has landed, a turn has come to rest), waited for up to 30 seconds.
    const auto settled = [&] {
        std::vector<uint8_t> last = screen();
        for (int i = 0; i < 60 && game.running(); ++i) {
            pause(0.5);
            std::vector<uint8_t> now = screen();
            if (!last.empty() && !now.empty() && changed(last, now) < 0.01) return now;
            last = std::move(now);
        }
        return last;
    };
    const std::vector<uint8_t> still = settled();
    ASSERT_FALSE(still.empty()) << "the screen cannot be read";
    // The share of the view changed since `before`, waited for up to a minute:
    // on a busy machine the frame that shows the change may come late.
    const auto changedSince = [&](const std::vector<uint8_t>& before) {
        double share = 0.0;
        for (int i = 0; i < 120 && game.running() && share <= 0.1; ++i, pause(0.5)) {
            const std::vector<uint8_t> now = screen();
            if (!now.empty()) share = changed(before, now);
        }
        return share;
    };
    for (int step = 0; step < 6; ++step) {
        server.run("xdotool windowfocus --sync " + window + " mousemove_relative -- 20 0");
        pause(0.1);
    }
    EXPECT_GT(changedSince(still), 0.1) << "mouse motion did not turn the view";
    const std::vector<uint8_t> looked = settled();
    ASSERT_FALSE(looked.empty()) << "the screen cannot be read";
    hold("w", 1.0);
    EXPECT_GT(changedSince(looked), 0.1) << "W did not move the view";
    hold("Escape", 0.3);
    for (int i = 0; i < 600 && game.running(); ++i) pause(0.1);
    ASSERT_FALSE(game.running()) << "Escape did not end the game";
    EXPECT_EQ(game.exitCode(), 0);
    EXPECT_EQ(game.standardError(), "");
    const std::string out = game.standardOutput();
    for (const char* warned : {"fov", "brightness", "assets/icon\\.png"})
        EXPECT_TRUE(std::regex_search(out, std::regex(std::string(R"(\]\[WARNING\] .*)") + warned))) << out;
}

}  // namespace
