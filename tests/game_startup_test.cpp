// The real executable on a level that lacks what the game needs: the lookup's
// ERROR line, an orderly end with status 1, and no wait for a key.

#include "tests/support/Process.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <string>

namespace {

namespace fs = std::filesystem;

TEST(GameStartup, ALevelWithoutTheLocksEndsWithTheLookupsErrorAndStatus1) {
    XServer server;
    if (!server.ok()) GTEST_SKIP() << server.reason();
    TempDir dir;
    dir.write("assets/settings.ini",
              "[window]\nwidth = 160\nheight = 90\ntitle = Tollbrook Broken Level\nfullscreen = false\n");
    // Everything of the game, but the start screen's model in the level's place.
    const fs::path assets = fs::path(TOLLBROOK_SOURCE_DIR) / "assets";
    for (const fs::directory_entry& entry : fs::directory_iterator(assets)) {
        const std::string name = entry.path().filename().string();
        if (name != "settings.ini" && name != "models") {
            fs::create_symlink(entry.path(), dir.path() / "assets" / name);
        }
    }
    fs::create_directories(dir.path() / "assets" / "models");
    fs::create_symlink(assets / "models" / "cell_start.fbx", dir.path() / "assets" / "models" / "cell_start.fbx");
    fs::create_symlink(assets / "models" / "cell_start.fbx", dir.path() / "assets" / "models" / "cell.fbx");

    ChildProcess game({TOLLBROOK_EXE}, dir.path(),
                      {{"DISPLAY", server.display()}, {"WAYLAND_DISPLAY", std::nullopt}});
    const std::string window = runCommand("DISPLAY=" + server.display() +
                                          " timeout 20 xdotool search --sync --name '^Tollbrook Broken Level$'"
                                          " 2>/dev/null | head -n 1");
    ASSERT_FALSE(window.empty()) << game.standardError();
    // Space held until the start screen's loop polls it (the window opens
    // before the start model is loaded) starts the game.
    const std::string xdotool = "DISPLAY=" + server.display() + " timeout 20 xdotool ";
    runCommand(xdotool + "windowfocus --sync " + window.substr(0, window.find('\n')) + " keydown space 2>/dev/null");
    const bool ended = game.waitFor(30);
    runCommand(xdotool + "keyup space 2>/dev/null");
    ASSERT_TRUE(ended) << "the game hangs on a broken level";
    EXPECT_EQ(game.exitCode(), 1);
    const std::string err = game.standardError();
    EXPECT_TRUE(std::regex_search(err, std::regex(R"(\[\d\d:\d\d:\d\d\]\[ERROR\] (No object with name lock1 found\.|)"
                                                  R"(The level assets/models/cell\.fbx has no skinned guard\.)\n)")))
        << err;
}

}  // namespace
