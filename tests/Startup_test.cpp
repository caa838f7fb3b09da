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

// Without a display (and without a settings file) the game reports the
// missing file, then exactly one ERROR line, and ends.
TEST(Startup, WithoutADisplayReportsOneErrorAndExitsWithoutWaiting) {
    TempDir dir;
    GameProcess game(dir.path(), "");
    ASSERT_TRUE(game.waitFor(20)) << "the game waits after a fatal error";
    EXPECT_EQ(game.exitCode(), 1);
    EXPECT_EQ(game.standardOutput(), "ERROR: Failed to load 'assets/settings.ini'. Using default values instead.\n");
    EXPECT_TRUE(std::regex_match(game.standardError(), std::regex(kStamp + "Failed to init GLFW\n")))
        << game.standardError();
}

// On a display: a zero-width desktop window is fatal. A level without the
// locks (the start screen's model in its place): Space starts the game, the
// level's lookup fails, and the game ends in order.
TEST(Startup, ZeroWidthWindowAndALevelWithoutTheLocksEndWithTheirErrorAndStatus1) {
    XServer server;
    REQUIRE_X_SERVER(server);
    {
        TempDir dir;
        dir.write("assets/settings.ini", "[window]\nwidth = 0\nheight = 300\nfullscreen = false\n");
        GameProcess game(dir.path(), server.display());
        ASSERT_TRUE(game.waitFor(20));
        EXPECT_EQ(game.exitCode(), 1);
        EXPECT_TRUE(std::regex_match(game.standardError(), std::regex(kStamp + "Failed to init window\n")))
            << game.standardError();
    }
    TempDir dir;
    dir.write("assets/settings.ini", "[window]\nwidth = 160\nheight = 90\ntitle = Broken Level\nfullscreen = false\n");
    linkGameAssets(dir, {"models"});
    const std::filesystem::path startModel = std::filesystem::path(TOLLBROOK_SOURCE_DIR) / "assets/models/cell_start.fbx";
    std::filesystem::create_directories(dir.path() / "assets/models");
    std::filesystem::create_symlink(startModel, dir.path() / "assets/models/cell_start.fbx");
    std::filesystem::create_symlink(startModel, dir.path() / "assets/models/cell.fbx");

    GameProcess game(dir.path(), server.display());
    const std::string window = server.findWindow("Broken Level");
    ASSERT_FALSE(window.empty()) << game.standardError();
    // Space held until the start screen polls it (its model loads after the window opens).
    server.run("xdotool windowfocus --sync " + window + " keydown space");
    const bool ended = game.waitFor(30);
    server.run("xdotool keyup space");
    ASSERT_TRUE(ended) << "the game hangs on a broken level";
    EXPECT_EQ(game.exitCode(), 1);
    EXPECT_TRUE(std::regex_search(game.standardError(),
                                  std::regex(kStamp + R"((No object with name lock1 found\.|)"
                                                      R"(The level assets/models/cell\.fbx has no skinned guard\.)\n)")))
        << game.standardError();
}

}  // namespace
