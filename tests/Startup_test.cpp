// Runs the real game executable and watches it from outside.

#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <sstream>
#include <string>

namespace {

const std::regex kStamp(R"(\[\d\d:\d\d:\d\d\]\[(\w+)\] (.*))");

// The process must not touch the developer's display or desktop.
std::map<std::string, std::optional<std::string>> noDisplay() {
    return {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}};
}

std::map<std::string, std::optional<std::string>> onDisplay(const XServer& server) {
    return {{"DISPLAY", server.display()}, {"WAYLAND_DISPLAY", std::nullopt}};
}

std::string x(const XServer& server, const std::string& command, int* status = nullptr) {
    return runCommand("DISPLAY=" + server.display() + " timeout 20 " + command + " 2>/dev/null", status);
}

// The game's run-time data next to a test's own settings file, without the
// window icon.
void linkGameAssetsWithoutIcon(const TempDir& dir) {
    const std::filesystem::path assets = std::filesystem::path(TOLLBROOK_SOURCE_DIR) / "assets";
    for (const std::filesystem::directory_entry& entry : std::filesystem::directory_iterator(assets)) {
        const std::string name = entry.path().filename().string();
        if (name != "settings.ini" && name != "icon.png") {
            std::filesystem::create_symlink(entry.path(), dir.path() / "assets" / name);
        }
    }
}

}  // namespace

TEST(Startup, WithoutADisplayReportsOneErrorAndExitsWithoutWaiting) {
    TempDir dir;
    dir.write("assets/settings.ini", "[window]\nfullscreen = false\n");
    ChildProcess game({TOLLBROOK_EXE}, dir.path(), noDisplay());
    // Standard input is an open, silent pipe: waiting for a key would hang here.
    ASSERT_TRUE(game.waitFor(20)) << "the game waits after a fatal error";
    EXPECT_EQ(game.exitCode(), 1);
    std::smatch match;
    const std::string err = game.standardError();
    ASSERT_TRUE(std::regex_match(err, match, std::regex(R"(\[\d\d:\d\d:\d\d\]\[ERROR\] Failed to init GLFW\n)")))
        << err;
}

TEST(Startup, MissingSettingsFileIsReportedAndDefaultsAreUsed) {
    TempDir dir;
    ChildProcess game({TOLLBROOK_EXE}, dir.path(), noDisplay());
    ASSERT_TRUE(game.waitFor(20));
    EXPECT_EQ(game.exitCode(), 1);
    EXPECT_EQ(game.standardOutput(),
              "ERROR: Failed to load 'assets/settings.ini'. Using default values instead.\n");
}

TEST(Startup, ZeroWidthDesktopWindowIsFatal) {
    XServer server;
    if (!server.ok()) GTEST_SKIP() << server.reason();
    TempDir dir;
    dir.write("assets/settings.ini", "[window]\nwidth = 0\nheight = 300\nfullscreen = false\n");
    ChildProcess game({TOLLBROOK_EXE}, dir.path(), onDisplay(server));
    ASSERT_TRUE(game.waitFor(20));
    EXPECT_EQ(game.exitCode(), 1);
    const std::string err = game.standardError();
    EXPECT_TRUE(std::regex_match(err, std::regex(R"(\[\d\d:\d\d:\d\d\]\[ERROR\] Failed to init window\n)")))
        << err;
}

TEST(Startup, OpensTheConfiguredWindowWithoutAnIconAndEscapeEndsTheRun) {
    XServer server;
    if (!server.ok()) GTEST_SKIP() << server.reason();
    TempDir dir;
    dir.write("assets/settings.ini",
              "[window]\n"
              "width = 320\n"
              "height = 200\n"
              "title = Tollbrook Window Check\n"
              "fullscreen = false\n"
              "use_monitor_resolution = true\n"
              "[camera]\n"
              "fov = 400\n");
    linkGameAssetsWithoutIcon(dir);
    ChildProcess game({TOLLBROOK_EXE}, dir.path(), onDisplay(server));

    const std::string id =
        x(server, "xdotool search --sync --name '^Tollbrook Window Check$' | head -n 1");
    ASSERT_FALSE(id.empty()) << "no window with the configured title; stderr: " << game.standardError();
    const std::string window = id.substr(0, id.find('\n'));

    const std::string info = x(server, "xwininfo -id " + window);
    EXPECT_NE(info.find("\"Tollbrook Window Check\""), std::string::npos) << info;
    EXPECT_NE(info.find("Width: 320\n"), std::string::npos) << info;
    EXPECT_NE(info.find("Height: 200\n"), std::string::npos) << info;
    ASSERT_TRUE(game.running()) << game.standardError();

    int status = -1;
    // The start screen polls Escape once a frame, and its first frame comes
    // after its model is loaded: hold Escape until the game has ended.
    x(server, "xdotool windowfocus --sync " + window + " keydown Escape", &status);
    EXPECT_EQ(status, 0);
    const bool ended = game.waitFor(20);
    x(server, "xdotool keyup Escape");
    ASSERT_TRUE(ended) << "Escape did not end the game";
    EXPECT_EQ(game.exitCode(), 0);
    EXPECT_EQ(game.standardError(), "");

    // Standard output holds warnings only, among them the bad field of view
    // and the missing icon.
    const std::string out = game.standardOutput();
    std::istringstream lines(out);
    bool fovWarned = false;
    bool iconWarned = false;
    for (std::string line; std::getline(lines, line);) {
        std::smatch match;
        ASSERT_TRUE(std::regex_match(line, match, kStamp)) << line;
        EXPECT_EQ(match[1], "WARNING") << line;
        fovWarned |= match[2].str().find("fov") != std::string::npos;
        iconWarned |= match[2].str().find("assets/icon.png") != std::string::npos;
    }
    EXPECT_TRUE(fovWarned) << out;
    EXPECT_TRUE(iconWarned) << out;
}
