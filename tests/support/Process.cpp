#include "tests/support/Process.h"

#include <chrono>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace fs = std::filesystem;

namespace {

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<char*> pointers(std::vector<std::string>& strings) {
    std::vector<char*> result;
    for (std::string& s : strings) {
        result.push_back(s.data());
    }
    result.push_back(nullptr);
    return result;
}

// Reaps `pid` if it has ended; returns true and sets `code` then.
bool reap(int pid, int& code) {
    int status = 0;
    const int result = waitpid(pid, &status, WNOHANG);
    if (result != pid) {
        return false;
    }
    code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return true;
}

}  // namespace

TempDir::TempDir() {
    std::string pattern = (fs::temp_directory_path() / "tollbrook-test-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed: " + std::string(std::strerror(errno)));
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
}

void TempDir::write(const std::string& relativePath, const std::string& content) const {
    const fs::path file = path_ / relativePath;
    fs::create_directories(file.parent_path());
    std::ofstream out(file, std::ios::binary);
    out << content;
}

ChildProcess::ChildProcess(const std::vector<std::string>& arguments, const fs::path& workDir,
                           const Environment& environment) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        const std::string name = text.substr(0, text.find('='));
        if (environment.count(name) == 0) {
            env.push_back(text);
        }
    }
    for (const auto& [name, value] : environment) {
        if (value) {
            env.push_back(name + "=" + *value);
        }
    }
    std::vector<std::string> args = arguments;
    std::vector<char*> argv = pointers(args);
    std::vector<char*> envp = pointers(env);
    const std::string outPath = (outputDir_.path() / "stdout").string();
    const std::string errPath = (outputDir_.path() / "stderr").string();
    const std::string dir = workDir.string();

    int stdinPipe[2];
    if (pipe(stdinPipe) != 0) {
        throw std::runtime_error("pipe failed");
    }
    pid_ = fork();
    if (pid_ < 0) {
        throw std::runtime_error("fork failed");
    }
    if (pid_ == 0) {
        // Child: only async-signal-safe calls from here on.
        dup2(stdinPipe[0], STDIN_FILENO);
        close(stdinPipe[0]);
        close(stdinPipe[1]);
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (out < 0 || err < 0 || chdir(dir.c_str()) != 0) {
            _exit(127);
        }
        dup2(out, STDOUT_FILENO);
        dup2(err, STDERR_FILENO);
        execve(argv[0], argv.data(), envp.data());
        _exit(127);
    }
    close(stdinPipe[0]);
    stdinWrite_ = stdinPipe[1];
}

ChildProcess::~ChildProcess() {
    if (!finished_ && pid_ > 0) {
        kill(pid_, SIGKILL);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
    if (stdinWrite_ >= 0) {
        close(stdinWrite_);
    }
}

bool ChildProcess::running() {
    if (!finished_ && reap(pid_, exitCode_)) {
        finished_ = true;
    }
    return !finished_;
}

bool ChildProcess::waitFor(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (running()) {
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

std::string ChildProcess::standardOutput() const {
    return readFile(outputDir_.path() / "stdout");
}

std::string ChildProcess::standardError() const {
    return readFile(outputDir_.path() / "stderr");
}

XServer::XServer(const std::string& screen, bool keepScreen) {
    int displayPipe[2];
    if (pipe(displayPipe) != 0) {
        reason_ = "pipe failed";
        return;
    }
    std::vector<std::string> args = {"Xvfb", "-displayfd", std::to_string(displayPipe[1]), "-screen", "0", screen,
                                     "-nolisten", "tcp"};
    if (keepScreen) {
        args.insert(args.end(), {"-wr", "-fbdir", screenDir_.path().string()});
    }
    std::vector<char*> argv = pointers(args);
    pid_ = fork();
    if (pid_ == 0) {
        close(displayPipe[0]);
        const int null = open("/dev/null", O_RDWR);
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        execvp(argv[0], argv.data());
        _exit(127);
    }
    close(displayPipe[1]);
    // Xvfb writes its display number once it accepts connections.
    std::string number;
    pollfd waitFd{displayPipe[0], POLLIN, 0};
    while (pid_ > 0 && poll(&waitFd, 1, 10000) > 0) {
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

XServer::~XServer() {
    if (pid_ > 0) {
        kill(pid_, SIGTERM);
        int status = 0;
        waitpid(pid_, &status, 0);
    }
}

std::string XServer::xdotool(const std::string& arguments, int seconds, int* status) const {
    return runCommand("DISPLAY=" + display_ + " timeout " + std::to_string(seconds) + " xdotool " + arguments +
                          " 2>/dev/null",
                      status);
}

std::string XServer::findWindow(const std::string& title, int seconds) const {
    const std::string id = xdotool("search --sync --name '^" + title + "$' | head -n 1", seconds);
    return id.substr(0, id.find('\n'));
}

std::vector<uint8_t> XServer::grab(int w, int h) const {
    const std::string file = readFile(screenDir_.path() / "Xvfb_screen0");
    const auto field = [&](int i) {
        const auto* p = reinterpret_cast<const uint8_t*>(file.data()) + 4 * i;
        return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
               static_cast<uint32_t>(p[2]) << 8 | p[3];
    };
    if (file.size() < 100) {
        return {};
    }
    // XWD header: size, ..., bits per pixel (11), bytes per line (12),
    // colour count (19); 32-bit pixels, least significant byte first.
    const std::size_t data = field(0) + field(19) * 12u;
    const uint32_t bytesPerLine = field(12);
    if (field(11) != 32 || field(7) != 0 || file.size() < data + bytesPerLine * static_cast<std::size_t>(h)) {
        return {};
    }
    std::vector<uint8_t> pixels(static_cast<std::size_t>(w) * h * 4);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const char* p = file.data() + data + bytesPerLine * y + 4 * x;
            uint8_t* q = pixels.data() + (static_cast<std::size_t>(y) * w + x) * 4;
            q[0] = static_cast<uint8_t>(p[2]);
            q[1] = static_cast<uint8_t>(p[1]);
            q[2] = static_cast<uint8_t>(p[0]);
            q[3] = 255;
        }
    }
    return pixels;
}

void linkGameAssets(const TempDir& dir, const std::set<std::string>& except) {
    const fs::path assets = fs::path(TOLLBROOK_SOURCE_DIR) / "assets";
    fs::create_directories(dir.path() / "assets");
    for (const fs::directory_entry& entry : fs::directory_iterator(assets)) {
        const std::string name = entry.path().filename().string();
        if (name != "settings.ini" && except.count(name) == 0) {
            fs::create_symlink(entry.path(), dir.path() / "assets" / name);
        }
    }
}

std::string runCommand(const std::string& command, int* status) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        if (status) *status = -1;
        return output;
    }
    char buffer[256];
    size_t count = 0;
    while ((count = fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        output.append(buffer, count);
    }
    const int result = pclose(pipe);
    if (status) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
    return output;
}
