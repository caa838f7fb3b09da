#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
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

// Links every entry of the game's assets/ into dir/assets except
// settings.ini and the names in `except`, so that a test's own settings file
// runs with the real content.
void linkGameAssets(const TempDir& dir, const std::set<std::string>& except = {});

using Environment = std::map<std::string, std::optional<std::string>>;

// A child process with its own working directory and environment. Standard
// output and error go to files; standard input is a pipe that stays open and
// silent, so a child that waits for input blocks until it is killed.
class ChildProcess {
public:
    // `environment` entries replace the parent's variables of the same name; an
    // empty optional removes the variable.
    ChildProcess(const std::vector<std::string>& arguments, const std::filesystem::path& workDir,
                 const Environment& environment = {});
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    // Waits up to `seconds` for the child to end. False when it is still running.
    bool waitFor(double seconds);
    bool running();
    // Exit status, or -1 when the child was killed by a signal or is still running.
    int exitCode() const { return exitCode_; }
    std::string standardOutput() const;
    std::string standardError() const;

private:
    int pid_ = -1;
    int stdinWrite_ = -1;
    int exitCode_ = -1;
    bool finished_ = false;
    TempDir outputDir_;
};

// An Xvfb server of our own (24-bit screen), so that a test's windows and
// synthetic input meet no other client. Not available when Xvfb is missing.
// With `keepScreen` the screen (white root window) is kept in a file that
// grab() reads.
class XServer {
public:
    explicit XServer(const std::string& screen = "1280x1024x24", bool keepScreen = false);
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return !display_.empty(); }
    const std::string& reason() const { return reason_; }
    // The value for DISPLAY, e.g. ":3".
    const std::string& display() const { return display_; }
    // The environment of a process on this server only.
    Environment environment() const { return {{"DISPLAY", display_}, {"WAYLAND_DISPLAY", std::nullopt}}; }
    // Runs xdotool on this server and returns its standard output.
    std::string xdotool(const std::string& arguments, int seconds = 20, int* status = nullptr) const;
    // The id of the first window with exactly this title, waiting for it; empty if none.
    std::string findWindow(const std::string& title, int seconds = 20) const;
    // The top-left w x h pixels of a kept screen as RGBA, top row first;
    // empty if unreadable.
    std::vector<uint8_t> grab(int w, int h) const;

private:
    TempDir screenDir_;
    int pid_ = -1;
    std::string display_;
    std::string reason_;
};

// Runs a shell command and returns its standard output; `status` gets its exit status.
std::string runCommand(const std::string& command, int* status = nullptr);
