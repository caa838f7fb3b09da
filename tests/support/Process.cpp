#include "tests/support/Process.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ostringstream text;
    text << std::ifstream(path, std::ios::binary).rdbuf();
    return text.str();
}

std::string runCommand(const std::string& command) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    char buffer[256];
    for (size_t n; pipe && (n = fread(buffer, 1, sizeof(buffer), pipe)) > 0;) output.append(buffer, n);
    if (pipe) pclose(pipe);
    return output;
}

void stop(int pid, int signal) {
    if (pid > 0 && kill(pid, signal) == 0) waitpid(pid, nullptr, 0);
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tollbrook-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void TempDir::write(const std::string& relativePath, const std::string& content) const {
    const fs::path file = path_ / relativePath;
    fs::create_directories(file.parent_path());
    std::ofstream(file, std::ios::binary) << content;
}

void linkGameAssets(const TempDir& dir, const std::set<std::string>& except) {
    const fs::path source = fs::path(TOLLBROOK_SOURCE_DIR) / "assets";
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(source)) {
        const fs::path relative = fs::relative(entry.path(), source), target = dir.path() / "assets" / relative;
        if (entry.is_directory()) {
            fs::create_directories(target);
        } else if (relative != "settings.ini" && except.count(relative.string()) == 0) {
            fs::create_directories(target.parent_path());
            fs::create_symlink(entry.path(), target);
        }
    }
}

GameProcess::GameProcess(const fs::path& workDir, const std::string& display, bool closedOutput) {
    // The shell sets up the directory, environment and output files, then becomes the game.
    const std::string command = "cd '" + workDir.string() + "' && exec env -u WAYLAND_DISPLAY " +
                                (display.empty() ? "-u DISPLAY" : "DISPLAY=" + display) + " '" + TOLLBROOK_EXE + "' " +
                                (closedOutput ? ">&-" : ">'" + (outputDir_.path() / "out").string() + "'") + " 2>'" +
                                (outputDir_.path() / "err").string() + "'";
    int stdinPipe[2];
    if (pipe(stdinPipe) != 0 || (pid_ = fork()) < 0) throw std::runtime_error("cannot start the game");
    if (pid_ == 0) {
        dup2(stdinPipe[0], STDIN_FILENO);
        close(stdinPipe[0]);
        close(stdinPipe[1]);
        execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    close(stdinPipe[0]);
    stdinWrite_ = stdinPipe[1];
    id_ = pid_;
}

GameProcess::~GameProcess() {
    if (running()) stop(pid_, SIGKILL);
    close(stdinWrite_);
}

bool GameProcess::running() {
    int status = 0;
    if (pid_ > 0 && waitpid(pid_, &status, WNOHANG) == pid_) {
        exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        pid_ = -1;
    }
    return pid_ > 0;
}

std::string GameProcess::standardOutput() const { return readFile(outputDir_.path() / "out"); }
std::string GameProcess::standardError() const { return readFile(outputDir_.path() / "err"); }

XServer::XServer(const std::string& screen) {
    int displayPipe[2];
    if (pipe(displayPipe) != 0) return;
    const std::string fd = std::to_string(displayPipe[1]);
    pid_ = fork();
    if (pid_ == 0) {
        close(displayPipe[0]);
        const int null = open("/dev/null", O_RDWR);
        for (const int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) dup2(null, fd);
        // -noreset: by default the server resets when its last client leaves,
        // and a reset drops a client that is still connecting (the next game
        // of a test, or xdotool).
        execlp("Xvfb", "Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen.c_str(), "-nolisten", "tcp", "-wr",
               "-noreset", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(displayPipe[1]);
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd waitFd{displayPipe[0], POLLIN, 0};
    for (char c = 0; pid_ > 0 && poll(&waitFd, 1, 10000) > 0 && read(displayPipe[0], &c, 1) == 1 && c != '\n';)
        number += c;
    close(displayPipe[0]);
    if (!number.empty()) display_ = ":" + number;
}

XServer::~XServer() { stop(pid_, SIGTERM); }

std::string XServer::run(const std::string& command, int seconds) const {
    return runCommand("DISPLAY=" + display_ + " timeout " + std::to_string(seconds) + " " + command + " 2>/dev/null");
}

std::string XServer::findWindow(const std::string& title, int seconds, int pid) const {
    // Only a mapped window: GLFW names its window before it maps it, and a
    // window that is not mapped yet cannot take the focus, so keys sent to it
    // would go nowhere. With a process id, only that process's window (GLFW
    // sets _NET_WM_PID): the window of a game that has just ended may still be
    // there while the next one starts.
    const std::string owner = pid > 0 ? "--all --pid " + std::to_string(pid) + " " : "";
    const std::string id =
        run("xdotool search --sync --onlyvisible " + owner + "--name '^" + title + "$' | head -n 1", seconds);
    return id.substr(0, id.find('\n'));
}

std::vector<uint8_t> XServer::grab(int w, int h) const {
    const fs::path file = screenDir_.path() / "screen.rgb";
    fs::remove(file);
    run("import -window root -crop " + std::to_string(w) + "x" + std::to_string(h) + "+0+0 -depth 8 rgb:" +
        file.string());
    const std::string rgb = readFile(file);
    if (rgb.size() != std::size_t(w) * h * 3) return {};
    std::vector<uint8_t> pixels(std::size_t(w) * h * 4, 255);
    for (std::size_t i = 0; i < std::size_t(w) * h; ++i) std::copy_n(rgb.data() + 3 * i, 3, pixels.begin() + 4 * i);
    return pixels;
}
