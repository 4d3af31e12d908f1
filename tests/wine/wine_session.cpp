#include "wine_session.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace wine {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const char* const kWine64 = "/usr/lib/wine/wine64";
const char* const kWine32 = "/usr/lib/wine/wine";
const char* const kWineServer = "/usr/lib/wine/wineserver";
constexpr int kPortCount = 16;

std::string Variable(const char* name, const std::string& otherwise = {}) {
    const char* value = std::getenv(name);
    return value && *value ? value : otherwise;
}

// Starts a program with the environment, its standard input given (else /dev/null) and its output on a pipe
// (or /dev/null). Returns its pid and the pipe's reading end (-1 without one).
std::pair<pid_t, int> Spawn(const std::vector<std::string>& command,
                            const std::vector<std::string>& environment, bool capture,
                            const std::string& input = {}) {
    int pipeEnds[2] = {-1, -1};
    int inputEnds[2] = {-1, -1};
    if (capture && pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    if (!input.empty() && pipe2(inputEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input.empty())
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    else
        posix_spawn_file_actions_adddup2(&actions, inputEnds[0], STDIN_FILENO);
    if (capture) {
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDERR_FILENO);
    } else {
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> argv, envp;
    for (const auto& arg : command) argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    for (const auto& entry : environment) envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    pid_t pid = -1;
    const int failed = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (capture) close(pipeEnds[1]);
    if (!input.empty()) {
        // A few lines: the pipe takes them whole, and closing it ends the program's input.
        close(inputEnds[0]);
        const bool written =
            write(inputEnds[1], input.data(), input.size()) == static_cast<ssize_t>(input.size());
        close(inputEnds[1]);
        if (!written) throw std::runtime_error("cannot write the input of " + command[0]);
    }
    if (failed != 0) {
        if (capture) close(pipeEnds[0]);
        throw std::runtime_error("cannot start " + command[0]);
    }
    return {pid, pipeEnds[0]};
}

int WaitFor(pid_t pid) {
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool CanRun32Bit() {
    static const bool can = [] {
        try {
            const auto [pid, output] = Spawn({kWine32, "--version"}, {"PATH=/usr/bin:/bin"}, false);
            return WaitFor(pid) == 0;
        } catch (const std::exception&) {
            return false;
        }
    }();
    return can;
}

}  // namespace

std::vector<Build> Builds() {
    return {{"win64", Variable("VANTOR_WIN64_BUILD_DIR"), true},
            {"win32", Variable("VANTOR_WIN32_BUILD_DIR"), false}};
}

Running::~Running() {
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        WaitFor(pid_);
    }
    if (output_ >= 0) close(output_);
}

Outcome Running::Wait(std::chrono::seconds timeout) {
    Outcome outcome;
    const auto end = std::chrono::steady_clock::now() + timeout;
    // The output is read until the program ends, not until the pipe closes: a wine server it started may
    // hold the pipe long after.
    for (;;) {
        int status = 0;
        const pid_t ended = waitpid(pid_, &status, WNOHANG);
        pollfd ready{output_, POLLIN, 0};
        while (poll(&ready, 1, ended ? 0 : 20) > 0 && (ready.revents & POLLIN)) {
            char buffer[4096];
            const ssize_t got = read(output_, buffer, sizeof buffer);
            if (got <= 0) break;
            collected_.append(buffer, static_cast<std::size_t>(got));
        }
        if (ended == pid_) {
            pid_ = -1;
            outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            break;
        }
        if (std::chrono::steady_clock::now() >= end) {
            kill(pid_, SIGKILL);
            WaitFor(pid_);
            pid_ = -1;
            collected_ += "\n[killed after " + std::to_string(timeout.count()) + " s]\n";
            break;
        }
    }
    outcome.output = std::move(collected_);
    return outcome;
}

Session::Session(const Build& build) : build_(build) {
    if (!Unavailable().empty()) return;
    const fs::path ready = Prefix() / ".vantor-ready";
    if (!fs::exists(ready)) {
        fs::create_directories(Prefix());
        auto environment = Environment();
        environment.push_back("WINEARCH=win64");
        const auto [pid, output] =
            Spawn({CanRun32Bit() ? kWine32 : kWine64, "wineboot", "-i"}, environment, false);
        WaitFor(pid);
        // No display here: wine's null driver still gives real (invisible) windows. COM ports are ours to
        // map; an empty entry keeps wine from giving a number from 1 to 16 to a device of this machine.
        Run({SystemProgram("reg"), "add", "HKCU\\Software\\Wine\\Drivers", "/v", "Graphics", "/d", "null",
             "/f"});
        for (int port = 1; port <= kPortCount; ++port)
            Run({SystemProgram("reg"), "add", "HKLM\\Software\\Wine\\Ports", "/v",
                 "COM" + std::to_string(port), "/d", "", "/f"});
        RestartServer();
        std::ofstream(ready) << "ready\n";
    }
    // A server started here keeps no test's output pipe open; it ends itself 10 s after its last client.
    const auto [pid, output] = Spawn({kWineServer, "-p10"}, Environment(), false);
    WaitFor(pid);
}

fs::path Session::Prefix() {
    return fs::path(Variable("VANTOR_BUILD_DIR", ".")) / "wineprefix";
}

std::string MissingFiles(const Build& build) {
    if (build.dir.empty() || !fs::exists(build.dir / "vantor.out.dll"))
        return "no " + build.name + " build at '" + build.dir.string() + "' (scripts/test builds it)";
    return {};
}

std::string Session::Unavailable() const {
    if (const std::string missing = MissingFiles(build_); !missing.empty()) return missing;
    if (!build_.is64 && !CanRun32Bit())
        return "this machine cannot run 32-bit programs (the kernel's 32-bit emulation is off), so wine32 "
               "cannot";
    return {};
}

std::vector<std::string> Session::Environment() const {
    std::vector<std::string> environment;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (text.rfind("WINE", 0) == 0 || text.rfind("DISPLAY=", 0) == 0) continue;
        environment.push_back(text);
    }
    environment.push_back("WINEPREFIX=" + Prefix().string());
    environment.push_back("WINEDEBUG=-all");
    // No Mono or Gecko installer: nothing here needs them.
    environment.push_back("WINEDLLOVERRIDES=mscoree,mshtml=");
    environment.push_back("VANTOR_HEADLESS=1");
    environment.push_back("VANTOR_ARTNET_INTERFACE=lo");
    return environment;
}

std::string Session::WindowsPath(const fs::path& path) {
    std::string windows = "Z:" + fs::absolute(path).lexically_normal().string();
    for (char& c : windows)
        if (c == '/') c = '\\';
    return windows;
}

std::string Session::BuildProgram(const std::string& file) const {
    return WindowsPath(build_.dir / file);
}

std::string Session::SystemProgram(const std::string& name) const {
    return std::string(build_.is64 ? "C:\\windows\\system32\\" : "C:\\windows\\syswow64\\") + name + ".exe";
}

std::unique_ptr<Running> Session::Start(const std::vector<std::string>& command, const std::string& input) {
    std::vector<std::string> full{build_.is64 ? kWine64 : kWine32};
    full.insert(full.end(), command.begin(), command.end());
    const auto [pid, output] = Spawn(full, Environment(), true, input);
    return std::make_unique<Running>(pid, output);
}

Outcome Session::Run(const std::vector<std::string>& command, std::chrono::seconds timeout,
                     const std::string& input) {
    return Start(command, input)->Wait(timeout);
}

bool Session::RegisterComponent() {
    return Run({SystemProgram("regsvr32"), "/s", BuildProgram("vantor.out.dll")}).exitCode == 0;
}

void Session::RestartServer() {
    const auto [killer, none] = Spawn({kWineServer, "-k"}, Environment(), false);
    WaitFor(killer);
    const auto [server, output] = Spawn({kWineServer, "-p10"}, Environment(), false);
    WaitFor(server);
}

void Session::MapComPort(int port, const std::string& device) {
    const std::string name = "COM" + std::to_string(port);
    Run({SystemProgram("reg"), "add", "HKLM\\Software\\Wine\\Ports", "/v", name, "/d", device, "/f"});
    RestartServer();
    // Wine's mount manager makes the link once its services run; any program starts them.
    Run({SystemProgram("reg"), "query", "HKLM\\Software\\Wine\\Ports", "/v", name});
    const fs::path link = Prefix() / "dosdevices" / ("com" + std::to_string(port));
    for (int round = 0; round < 100; ++round) {
        std::error_code error;
        if (fs::read_symlink(link, error) == device) return;
        std::this_thread::sleep_for(50ms);
    }
    throw std::runtime_error("wine did not map " + name + " to " + device);
}

}  // namespace wine
