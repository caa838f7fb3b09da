// The real game executable played through the X server: keys and mouse
// motion sent with xdotool, the window's picture read from the virtual
// screen's frame buffer. Pictures are saved under the build tree
// (test-output/game_*.png).

#include "tests/support/Process.h"
#include "tests/support/RenderTarget.h"

#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kWidth = 480;
constexpr int kHeight = 270;
const char* const kTitle = "Tollbrook Play Check";

// An Xvfb server of our own whose screen is kept in a file (XWD format), so
// that a test can see what the game's window shows. The root window is white.
class ScreenServer {
public:
    ScreenServer() {
        int displayPipe[2];
        if (pipe(displayPipe) != 0) {
            reason_ = "pipe failed";
            return;
        }
        const std::string fd = std::to_string(displayPipe[1]);
        const std::string fbdir = dir_.path().string();
        pid_ = fork();
        if (pid_ == 0) {
            close(displayPipe[0]);
            const int null = open("/dev/null", O_RDWR);
            dup2(null, STDIN_FILENO);
            dup2(null, STDOUT_FILENO);
            dup2(null, STDERR_FILENO);
            execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", "640x480x24", "-wr", "-fbdir",
                   fbdir.c_str(), "-nolisten", "tcp", static_cast<char*>(nullptr));
            _exit(127);
        }
        close(displayPipe[1]);
        if (pid_ < 0) {
            close(displayPipe[0]);
            reason_ = "fork failed";
            return;
        }
        std::string number;
        pollfd waitFd{displayPipe[0], POLLIN, 0};
        while (poll(&waitFd, 1, 10000) > 0) {
            char c = 0;
            if (read(displayPipe[0], &c, 1) != 1 || c == '\n') {
                break;
            }
            number += c;
        }
        close(displayPipe[0]);
        if (number.empty()) {
            reason_ = "could not start Xvfb (is it installed?)";
            return;
        }
        display_ = ":" + number;
    }
    ~ScreenServer() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            int status = 0;
            waitpid(pid_, &status, 0);
        }
    }
    ScreenServer(const ScreenServer&) = delete;
    ScreenServer& operator=(const ScreenServer&) = delete;

    bool ok() const { return !display_.empty(); }
    const std::string& reason() const { return reason_; }
    const std::string& display() const { return display_; }

    // The top-left w x h pixels of the screen (where a window lands without
    // a window manager) as RGBA, top row first; empty if unreadable.
    std::vector<uint8_t> grab(int w, int h) const {
        std::ifstream in(dir_.path() / "Xvfb_screen0", std::ios::binary);
        const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const auto field = [&](int i) {
            const uint8_t* p = file.data() + 4 * i;
            return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
                   static_cast<uint32_t>(p[2]) << 8 | p[3];
        };
        if (file.size() < 100) {
            return {};
        }
        // XWD header: size, ..., bits per pixel (11), bytes per line (12),
        // colour count (19); 32-bit pixels, least significant byte first.
        const uint32_t headerSize = field(0);
        const uint32_t bitsPerPixel = field(11);
        const uint32_t bytesPerLine = field(12);
        const uint32_t colours = field(19);
        const std::size_t data = headerSize + colours * 12u;
        if (bitsPerPixel != 32 || field(7) != 0 || file.size() < data + bytesPerLine * static_cast<std::size_t>(h)) {
            return {};
        }
        std::vector<uint8_t> pixels(static_cast<std::size_t>(w) * h * 4);
        for (int y = 0; y < h; ++y) {
            for (int x = 0; x < w; ++x) {
                const uint8_t* p = file.data() + data + bytesPerLine * y + 4 * x;
                uint8_t* q = pixels.data() + (static_cast<std::size_t>(y) * w + x) * 4;
                q[0] = p[2];
                q[1] = p[1];
                q[2] = p[0];
                q[3] = 255;
            }
        }
        return pixels;
    }

private:
    TempDir dir_;
    int pid_ = -1;
    std::string display_;
    std::string reason_;
};

struct Rect {
    int x0, y0, x1, y1;
};

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

void save(const std::string& name, const std::vector<uint8_t>& topFirst) {
    std::vector<uint8_t> bottomFirst(topFirst.size());
    const std::size_t stride = static_cast<std::size_t>(kWidth) * 4;
    for (int row = 0; row < kHeight; ++row) {
        std::copy_n(topFirst.begin() + static_cast<std::ptrdiff_t>(stride * row), stride,
                    bottomFirst.begin() + static_cast<std::ptrdiff_t>(stride * (kHeight - 1 - row)));
    }
    savePng(name, bottomFirst, kWidth, kHeight);
}

void pause(double seconds) {
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

// The game in a scratch directory with the game's assets and a small desktop
// window, on its own X server.
class GameProcessTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!server.ok()) {
            GTEST_SKIP() << server.reason();
        }
        const std::filesystem::path assets = std::filesystem::path(TOLLBROOK_SOURCE_DIR) / "assets";
        for (const auto& entry : std::filesystem::directory_iterator(assets)) {
            if (entry.path().filename() != "settings.ini") {
                std::filesystem::create_directories(dir.path() / "assets");
                std::filesystem::create_symlink(entry.path(), dir.path() / "assets" / entry.path().filename());
            }
        }
        dir.write("assets/settings.ini", "[window]\nwidth = " + std::to_string(kWidth) + "\nheight = " +
                                             std::to_string(kHeight) + "\ntitle = " + kTitle +
                                             "\nfullscreen = false\n");
        game = std::make_unique<ChildProcess>(
            std::vector<std::string>{TOLLBROOK_EXE}, dir.path(),
            std::map<std::string, std::optional<std::string>>{{"DISPLAY", server.display()},
                                                              {"WAYLAND_DISPLAY", std::nullopt}});
        const std::string id = xdotool("search --sync --name '^" + std::string(kTitle) + "$' | head -n 1", 60);
        ASSERT_FALSE(id.empty()) << "no game window; stderr: " << game->standardError();
        window = id.substr(0, id.find('\n'));
    }

    void TearDown() override { game.reset(); }

    std::string xdotool(const std::string& arguments, int seconds = 20) {
        return runCommand("DISPLAY=" + server.display() + " timeout " + std::to_string(seconds) + " xdotool " +
                          arguments + " 2>/dev/null");
    }
    // Held long enough for a slow frame's key poll to see it.
    void hold(const std::string& key, double seconds) {
        xdotool("windowfocus --sync " + window + " keydown " + key);
        pause(seconds);
        xdotool("keyup " + key);
    }

    std::vector<uint8_t> screen() const { return server.grab(kWidth, kHeight); }

    // Grabs until the picture satisfies the test, for up to `seconds`.
    std::vector<uint8_t> waitForScreen(const std::function<bool(const std::vector<uint8_t>&)>& test,
                                       double seconds) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
        std::vector<uint8_t> pixels;
        do {
            pixels = screen();
            if (!pixels.empty() && test(pixels)) {
                return pixels;
            }
            pause(0.2);
        } while (std::chrono::steady_clock::now() < end && game->running());
        return {};
    }

    ScreenServer server;
    TempDir dir;
    std::unique_ptr<ChildProcess> game;
    std::string window;
};

// Below the timer and left of the centre: the 3D view only.
const Rect kView{0, kHeight / 3, kWidth / 2 - 12, kHeight};
const Rect kWhole{0, 0, kWidth, kHeight};

TEST_F(GameProcessTest, StartScreenTurnsSpaceStartsMouseTurnsWWalksEscapeQuitsCleanly) {
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    // The start screen: drawn, no crosshair, and turning.
    const std::vector<uint8_t> start = waitForScreen(
        [](const std::vector<uint8_t>& p) { return changed(p, std::vector<uint8_t>(p.size(), 0), kWhole) > 0.5; },
        60);
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
        xdotool("windowfocus --sync " + window + " mousemove_relative -- 20 0");
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

TEST_F(GameProcessTest, EscapeOnTheStartScreenEndsTheGameCleanlyWithoutAFrameOfTheLevel) {
    if (IsSkipped() || HasFatalFailure()) {
        return;
    }
    const std::vector<uint8_t> start = waitForScreen(
        [](const std::vector<uint8_t>& p) { return changed(p, std::vector<uint8_t>(p.size(), 0), kWhole) > 0.5; },
        60);
    ASSERT_FALSE(start.empty()) << "the start screen never appeared; stderr: " << game->standardError();
    hold("Escape", 0.5);
    // The level is built and torn down without a frame of it being shown.
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
}

}  // namespace
