#pragma once

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

// A scratch directory, removed with everything in it on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // Writes a file below the directory, creating its parent folders.
    void write(const std::string& relativePath, const std::string& content) const;

private:
    std::filesystem::path path_;
};

// Mirrors the game's assets/ into dir/assets, one link per file, except
// settings.ini and the paths (relative to assets/) in `except`, so that a test
// runs its own settings and replaces single files with the real content around.
void linkGameAssets(const TempDir& dir, const std::set<std::string>& except = {});

// The game executable in `workDir` on X display `display` (none when empty).
// Standard output and error go to files; standard input is a pipe that stays
// open and silent, so a game that waits for input blocks until it is killed.
// With closedOutput the game starts with standard output closed instead.
class GameProcess {
public:
    GameProcess(const std::filesystem::path& workDir, const std::string& display, bool closedOutput = false);
    ~GameProcess();
    bool running();
    // The game's process id (it stays the id of the exited process).
    int id() const { return id_; }
    // Exit status, or -1 when killed by a signal or still running.
    int exitCode() const { return exitCode_; }
    std::string standardOutput() const;
    std::string standardError() const;

private:
    int pid_ = -1;
    int id_ = -1;
    int stdinWrite_ = -1;
    int exitCode_ = -1;
    TempDir outputDir_;
};

// An Xvfb server of our own (one screen, by default 640x480, 24-bit), so that
// a test's windows and synthetic input meet no other client. Not available
// when Xvfb is missing.
class XServer {
public:
    explicit XServer(const std::string& screen = "640x480x24");
    ~XServer();
    bool ok() const { return !display_.empty(); }
    // The value for DISPLAY, e.g. ":3".
    const std::string& display() const { return display_; }
    // Runs a command (e.g. "xdotool ...") on this server and returns its standard output.
    std::string run(const std::string& command, int seconds = 20) const;
    // The id of the first mapped window with exactly this title (and, given a
    // process id, of that process), waiting for it to be mapped (only then
    // can it take the focus); empty if none.
    std::string findWindow(const std::string& title, int seconds = 20, int pid = 0) const;
    // The top-left w x h pixels of the screen as RGBA, top row first; empty if unreadable.
    std::vector<uint8_t> grab(int w, int h) const;

private:
    TempDir screenDir_;
    int pid_ = -1;
    std::string display_;
};

// Skips the test when no X server of its own can be started.
#define REQUIRE_X_SERVER(server) \
    if (!(server).ok()) GTEST_SKIP() << "could not start Xvfb (is it installed?)"
