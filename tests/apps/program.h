#pragma once

// One of the project's programs run as a child, its standard output (and on request its standard error) read
// through a pipe, its standard input on request written through another.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace prowidget::testing {

// The programs land in the build directory, one level above the test programs.
inline std::string ProgramPath(const std::string& name) {
    if (const char* dir = std::getenv("VANTOR_BUILD_DIR")) return std::string(dir) + "/" + name;
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / name).string();
}

struct Launch {
    std::string program = "prowidget-sim";
    bool withInput = false;
    bool withErrors = false;               // standard error on the output's pipe too
    std::vector<std::string> environment;  // NAME=value, beside (or instead of) the test's own
};

class Program {
public:
    explicit Program(std::vector<std::string> args, bool withInput = false)
        : Program(std::move(args), Launch{.withInput = withInput, .environment = {}}) {}
    Program(std::vector<std::string> args, const Launch& launch) {
        int out[2], in[2] = {-1, -1};
        if (pipe2(out, O_CLOEXEC) != 0 || (launch.withInput && pipe2(in, O_CLOEXEC) != 0))
            throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        if (launch.withErrors) posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
        if (launch.withInput) posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
        const std::string path = ProgramPath(launch.program);
        args.insert(args.begin(), path);
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        std::vector<std::string> variables = launch.environment;
        for (char** variable = environ; *variable; ++variable) {
            const std::string text = *variable;
            const std::string name = text.substr(0, text.find('=') + 1);
            bool replaced = false;
            for (const auto& own : launch.environment) replaced |= own.starts_with(name);
            if (!replaced) variables.push_back(text);
        }
        std::vector<char*> envp;
        for (auto& variable : variables) envp.push_back(variable.data());
        envp.push_back(nullptr);
        int failed = posix_spawn(&pid_, path.c_str(), &actions, nullptr, argv.data(), envp.data());
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (launch.withInput) close(in[0]);
        in_ = in[1];
        out_ = out[0];
        if (failed != 0) throw std::runtime_error("cannot start " + path);
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        EndInput();
        close(out_);
    }
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    pid_t Pid() const { return pid_; }
    void Say(const std::string& text) {
        if (write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("write to the program");
    }
    void EndInput() {
        if (in_ >= 0) close(in_);
        in_ = -1;
    }
    // The next line, without its newline; "" at the end.
    std::string ReadLine() {
        std::size_t end;
        while ((end = said_.find('\n', read_)) == std::string::npos && Fill(-1)) {
        }
        if (end == std::string::npos) end = said_.size();
        std::string line = said_.substr(read_, end - read_);
        read_ = std::min(end + 1, said_.size());
        return line;
    }
    // Everything not read yet, up to the end.
    std::string ReadAll() {
        while (Fill(-1)) {
        }
        std::string rest = said_.substr(read_);
        read_ = said_.size();
        return rest;
    }
    // Whether the output holds the text at or after `from`, waiting at most `within` for it.
    bool WaitFor(const std::string& text, std::chrono::milliseconds within, std::size_t from = 0) {
        const auto end = std::chrono::steady_clock::now() + within;
        while (said_.find(text, from) == std::string::npos) {
            const auto left =
                std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
            if (left.count() <= 0 || !Fill(static_cast<int>(left.count()))) return false;
        }
        return true;
    }
    // All the output read so far.
    const std::string& Said() {
        while (Fill(0)) {
        }
        return said_;
    }
    int Stop(int signal) {
        kill(pid_, signal);
        return Wait();
    }
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    // Reads what came within ms (-1: until something comes); false at the end or when nothing came.
    bool Fill(int ms) {
        pollfd waiting{out_, POLLIN, 0};
        if (poll(&waiting, 1, ms) <= 0) return false;
        char chunk[4096];
        const ssize_t got = read(out_, chunk, sizeof chunk);
        if (got <= 0) return false;
        said_.append(chunk, static_cast<std::size_t>(got));
        return true;
    }

    pid_t pid_ = -1;
    int in_ = -1;
    int out_ = -1;
    std::string said_;
    std::size_t read_ = 0;
};

}  // namespace prowidget::testing
