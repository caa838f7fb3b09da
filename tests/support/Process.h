#pragma once

#include <filesystem>
#include <map>
#include <optional>
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

// A child process with its own working directory and environment. Standard
// output and error go to files; standard input is a pipe that stays open and
// silent, so a child that waits for input blocks until it is killed.
class ChildProcess {
public:
    // `environment` entries replace the parent's variables of the same name; an
    // empty optional removes the variable.
    ChildProcess(const std::vector<std::string>& arguments, const std::filesystem::path& workDir,
                 const std::map<std::string, std::optional<std::string>>& environment = {});
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
class XServer {
public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    bool ok() const { return !display_.empty(); }
    const std::string& reason() const { return reason_; }
    // The value for DISPLAY, e.g. ":3".
    const std::string& display() const { return display_; }

private:
    int pid_ = -1;
    std::string display_;
    std::string reason_;
};

// Runs a shell command and returns its standard output; `status` gets its exit status.
std::string runCommand(const std::string& command, int* status = nullptr);
