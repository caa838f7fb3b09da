// The real game executable started on broken settings and assets: each case
// ends with its ERROR line and status 1, or runs on with its message logged.
// None may abort, die on an X error or hang: a FIFO in place of an asset
// blocks whoever opens it, and standard input is an open, silent pipe, so a
// wait for a key would hang as well.

#include "tests/support/Process.h"

#include <gtest/gtest.h>
#include <stb/stb_image_write.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <thread>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char* const kWindow = "[window]\nwidth = 160\nheight = 90\ntitle = Startup Check\nfullscreen = false\n";

struct Case {
    std::string settings;              // empty: none written
    std::vector<std::string> fifos;    // assets replaced by FIFOs
    std::function<void(const fs::path&)> prepare;
    std::string key;                   // held on the start screen, if any
    int status;                        // 0 or 1, or -1: still running once every message is out
    std::vector<std::string> messages; // searched, as regular expressions, in both streams
    bool display = true;               // on the test's X server, or without any
    bool closedOutput = false;         // started with standard output closed
    std::string screen = "";           // on an X server of its own with this screen
    std::function<void(const XServer&)> look = nullptr;  // checks the screen once every message is out
};

// Whether the picture reaches the top-right quarter of a w x h screen: some
// pixel there has colour, which neither the white root window nor the black of
// an undrawn window has (the start screen shows the cell's brick walls).
bool topRightDrawn(const XServer& server, int w, int h) {
    for (const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
         std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(std::chrono::seconds(1))) {
        const std::vector<uint8_t> rgba = server.grab(w, h);
        for (int y = 0; y < h / 2 && !rgba.empty(); ++y) {
            for (int x = w / 2; x < w; ++x) {
                const uint8_t* pixel = &rgba[4 * (y * w + x)];
                if (*std::max_element(pixel, pixel + 3) - *std::min_element(pixel, pixel + 3) > 60) return true;
            }
        }
    }
    return false;
}

void check(const Case& c, const XServer& testServer) {
    const auto own = c.screen.empty() ? nullptr : std::make_unique<XServer>(c.screen);
    const XServer& server = own ? *own : testServer;
    TempDir dir;
    linkGameAssets(dir);
    if (!c.settings.empty()) dir.write("assets/settings.ini", c.settings);
    for (const std::string& asset : c.fifos) {
        ASSERT_TRUE(fs::remove(dir.path() / "assets" / asset) || asset == "settings.ini");
        ASSERT_EQ(mkfifo((dir.path() / "assets" / asset).c_str(), 0600), 0) << asset;
    }
    if (c.prepare) c.prepare(dir.path() / "assets");
    GameProcess game(dir.path(), c.display ? server.display() : "", c.closedOutput);
    if (!c.key.empty()) {
        const std::string window = server.findWindow("Startup Check", 60, game.id());
        ASSERT_FALSE(window.empty()) << game.standardError();
        // Held until the start screen polls it (its model loads after the window opens).
        server.run("xdotool windowfocus --sync " + window + " keydown " + c.key);
    }
    const auto said = [&] {
        const std::string log = game.standardOutput() + game.standardError();
        return std::all_of(c.messages.begin(), c.messages.end(),
                           [&](const std::string& m) { return std::regex_search(log, std::regex(m)); });
    };
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (game.running() && !(c.status < 0 && said()) && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    if (c.look) c.look(server);
    if (!c.key.empty()) server.run("xdotool keyup " + c.key);
    EXPECT_EQ(game.running() ? -1 : game.exitCode(), c.status) << "still running means it hangs";
    EXPECT_TRUE(said()) << game.standardOutput() << game.standardError();
}

TEST(Startup, BrokenSettingsAndAssetsEndInOrderOrRunWithTheirMessage) {
    XServer server;
    REQUIRE_X_SERVER(server);
    const std::string window = R"(\]\[ERROR\] Failed to init window\b[^\n]*\n$)";
    const std::string oneError = R"(^(?![\s\S]*\[ERROR\][\s\S]*\[ERROR\]))";
    const std::string noSettings = "ERROR: Failed to load 'assets/settings.ini'";
    const Case cases[] = {
        // Without a display (and a settings file): the missing file, then the one fatal line.
        {"", {}, nullptr, "", 1,
         {"^ERROR: Failed to load 'assets/settings\\.ini'\\. Using default values instead\\.\n\\[",
          R"(\]\[ERROR\] Failed to init GLFW\n$)"},
         false},
        {"[window]\nwidth = 640\nheight = -480\nfullscreen = false\n", {}, nullptr, "", 1, {window}},
        {"[window]\nwidth = 100000\nheight = 100000\nuse_monitor_resolution = false\n", {}, nullptr, "", 1,
         {"100000 x 100000", window}},
        // An over-long line is skipped whole (its rest would open a 300-pixel window), and a
        // width past the int range is named as written and clamped, not wrapped to -1.
        {"[window]\ntitle = " + std::string(191, 't') + "width = 300\nwidth = 99999999999999999999\nheight = 480\n"
         "fullscreen = false\n", {}, nullptr, "", 1,
         {R"(\[WARNING\] Line 2 of 'assets/settings\.ini' is longer than 199 characters and is skipped\n)",
          R"(\[WARNING\] Window setting width = "99999999999999999999" is out of range, using 2147483647\n)",
          "2147483647 x 480", window}},
        // One line says both that and why.
        {"[window]\nwidth = 0\nheight = 480\nfullscreen = false\n", {}, nullptr, "", 1,
         {oneError, R"(\]\[ERROR\] Failed to init window: 0 x 480 pixels.* 1 to 16384\n$)"}},
        // Full screen at a size the monitor lacks: drawn at the monitor's size, which it fills.
        {"[window]\nwidth = 640\nheight = 480\nuse_monitor_resolution = false\n", {}, nullptr, "", -1,
         {R"(\[WARNING\] .*640 x 480.* 1280 x 720)"}, true, false, "1280x720x24",
         [](const XServer& screen) { EXPECT_TRUE(topRightDrawn(screen, 1280, 720)) << "the top right stays black"; }},
        // What can be done without: each named, the game runs.
        // Also a missing shader file, and a first sky face smaller than the rest.
        {"",
         {"settings.ini", "icon.png", "textures/cubemap/top.jpg", "shaders/phong.fsh"},
         [](const fs::path& assets) {
             fs::remove(assets / "shaders/depthOnly.fsh");
             fs::remove(assets / "textures/cubemap/right.jpg");
             const std::vector<unsigned char> pixels(16 * 16 * 3, 90);
             stbi_write_png((assets / "textures/cubemap/right.jpg").c_str(), 16, 16, 3, pixels.data(), 16 * 3);
         }, "", -1,
         {noSettings, R"(\[WARNING\] Could not load window icon 'assets/icon\.png')",
          R"(\[ERROR\] Cubemap tex failed to load at path: assets/textures/cubemap/top\.jpg)",
          R"(\[ERROR\] Cubemap tex at path: assets/textures/cubemap/right\.jpg is 16x16, unlike the other faces)",
          R"(\[ERROR\] Cannot read shader file assets/shaders/phong\.fsh\n)",
          R"(\[ERROR\] Cannot read shader file assets/shaders/depthOnly\.fsh\n)",
          R"(\[ERROR\] Error linking shader assets/shaders/phong\.vsh)"}},
        {"", {}, [](const fs::path& assets) {  // settings.ini a directory, an icon too large to send
             fs::create_directory(assets / "settings.ini");
             const std::vector<unsigned char> pixels(2048 * 2048 * 4, 200);
             fs::remove(assets / "icon.png");
             stbi_write_png((assets / "icon.png").c_str(), 2048, 2048, 4, pixels.data(), 2048 * 4);
         }, "", -1, {noSettings, R"(\[WARNING\] .*icon\.png.*2048 x 2048)"}},
        // Escape on the start screen: the level is still built, then the full teardown.
        {kWindow, {}, nullptr, "Escape", 0, {}},
        // Started without standard output (as launchers do): nothing of the
        // log may land in the X connection, which would hang the game.
        {kWindow, {}, nullptr, "Escape", 0, {}, true, true},
        // What cannot: the font at once; the level and the display's pressed
        // key (first shown mid-game) once Space has started the game.
        {kWindow, {"fonts/VT323-Regular.ttf"}, nullptr, "", 1,
         {R"(\[ERROR\] Failed to load font assets/fonts/VT323-Regular\.ttf\n$)"}},
        {kWindow, {}, [](const fs::path& assets) {  // the font cut to half: it opens, but no glyph shows
             const fs::path font = assets / "fonts/VT323-Regular.ttf";
             const auto half = static_cast<std::streamsize>(fs::file_size(font) / 2);
             std::string bytes(static_cast<size_t>(half), '\0');
             std::ifstream(font, std::ios::binary).read(bytes.data(), half);
             fs::remove(font);
             std::ofstream(font, std::ios::binary) << bytes;
         }, "", 1, {R"(\[ERROR\] Failed to load font assets/fonts/VT323-Regular\.ttf\n$)"}},
        {kWindow, {"models/cell.fbx"}, nullptr, "space", 1,
         {R"(\[ERROR\] Error importing scene assets/models/cell\.fbx)",
          R"(\[ERROR\] The level assets/models/cell\.fbx has no skinned guard\.\n)"}},
        {kWindow, {}, [](const fs::path& assets) { fs::remove(assets / "models/cell.fbx"); }, "space", 1,
         {R"(\[ERROR\] Error importing scene assets/models/cell\.fbx: Unable to open file "assets/models/cell\.fbx")"}},
        {kWindow, {"textures/key_e_pressed.png"}, nullptr, "space", 1,
         {R"(\[ERROR\] Error loading texture assets/textures/key_e_pressed\.png\n)"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.settings + (c.fifos.empty() ? "" : c.fifos.front()));
        check(c, server);
    }
}

}  // namespace
