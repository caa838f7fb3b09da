// The real game executable at start-up, on fatal paths: each ends with its
// ERROR line and status 1, and never waits for a key (standard input is an
// open, silent pipe, so a wait would hang the test).

#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

namespace {

const std::string kStamp = R"(\[\d\d:\d\d:\d\d\]\[ERROR\] )";

}  // namespace

// Without a display (and without a settings file) the game reports the
// missing file, then exactly one ERROR line, and ends.
TEST(Startup, WithoutADisplayReportsOneErrorAndExitsWithoutWaiting) {
    TempDir dir;
    ChildProcess game({TOLLBROOK_EXE}, dir.path(), {{"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt}});
    ASSERT_TRUE(game.waitFor(20)) << "the game waits after a fatal error";
    EXPECT_EQ(game.exitCode(), 1);
    EXPECT_EQ(game.standardOutput(), "ERROR: Failed to load 'assets/settings.ini'. Using default values instead.\n");
    const std::string err = game.standardError();
    EXPECT_TRUE(std::regex_match(err, std::regex(kStamp + "Failed to init GLFW\n"))) << err;
}

TEST(Startup, ZeroWidthDesktopWindowIsFatal) {
    XServer server;
    if (!server.ok()) GTEST_SKIP() << server.reason();
    TempDir dir;
    dir.write("assets/settings.ini", "[window]\nwidth = 0\nheight = 300\nfullscreen = false\n");
    ChildProcess game({TOLLBROOK_EXE}, dir.path(), server.environment());
    ASSERT_TRUE(game.waitFor(20));
    EXPECT_EQ(game.exitCode(), 1);
    const std::string err = game.standardError();
    EXPECT_TRUE(std::regex_match(err, std::regex(kStamp + "Failed to init window\n"))) << err;
}

// A level without the locks (the start screen's model in its place): Space
// starts the game, the level's lookup fails, and the game ends in order.
TEST(Startup, ALevelWithoutTheLocksEndsWithTheLookupsErrorAndStatus1) {
    XServer server;
    if (!server.ok()) GTEST_SKIP() << server.reason();
    TempDir dir;
    dir.write("assets/settings.ini",
              "[window]\nwidth = 160\nheight = 90\ntitle = Tollbrook Broken Level\nfullscreen = false\n");
    linkGameAssets(dir, {"models"});
    const std::filesystem::path startModel = std::filesystem::path(TOLLBROOK_SOURCE_DIR) / "assets/models/cell_start.fbx";
    std::filesystem::create_directories(dir.path() / "assets/models");
    std::filesystem::create_symlink(startModel, dir.path() / "assets/models/cell_start.fbx");
    std::filesystem::create_symlink(startModel, dir.path() / "assets/models/cell.fbx");

    ChildProcess game({TOLLBROOK_EXE}, dir.path(), server.environment());
    const std::string window = server.findWindow("Tollbrook Broken Level");
    ASSERT_FALSE(window.empty()) << game.standardError();
    // Space held until the start screen polls it (its model loads after the window opens).
    server.xdotool("windowfocus --sync " + window + " keydown space");
    const bool ended = game.waitFor(30);
    server.xdotool("keyup space");
    ASSERT_TRUE(ended) << "the game hangs on a broken level";
    EXPECT_EQ(game.exitCode(), 1);
    const std::string err = game.standardError();
    EXPECT_TRUE(std::regex_search(err, std::regex(kStamp + R"((No object with name lock1 found\.|)"
                                                           R"(The level assets/models/cell\.fbx has no skinned guard\.)\n)")))
        << err;
}
