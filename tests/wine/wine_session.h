#pragma once

// Running the Windows builds under wine, in one place: the wine prefix under the Linux build folder, the
// environment every run gets (no debug output, headless, the Art-Net node on lo), the Ports key that maps a
// COM port to a simulated widget's pty, and the wine server that reads that key when it starts.

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace wine {

// One cross build and how wine runs its programs.
struct Build {
    std::string name;  // "win64" or "win32", also the test's parameter name
    std::filesystem::path dir;
    bool is64 = true;
};

// The two builds, from VANTOR_WIN64_BUILD_DIR and VANTOR_WIN32_BUILD_DIR.
std::vector<Build> Builds();
// Why the build's files are not there ("" when they are).
std::string MissingFiles(const Build& build);

struct Outcome {
    int exitCode = -1;   // -1 when it had to be killed
    std::string output;  // standard output and error, interleaved
};

// A program that runs while the test goes on.
class Running {
public:
    Running(pid_t pid, int output) : pid_(pid), output_(output) {}
    Running(const Running&) = delete;
    Running& operator=(const Running&) = delete;
    ~Running();
    // Waits for the end (killing it after the timeout) and returns what it wrote.
    Outcome Wait(std::chrono::seconds timeout);
    // The Linux process that is the Windows program.
    pid_t Pid() const { return pid_; }

private:
    pid_t pid_;
    int output_;
    std::string collected_;
};

class Session {
public:
    // Makes the prefix on first use and makes sure a wine server runs for it.
    explicit Session(const Build& build);

    // Why this build cannot run here ("" when it can): its files are missing, or the machine cannot run
    // 32-bit programs.
    std::string Unavailable() const;

    // A program of the build's architecture: a path under the build folder, or a system program by name
    // ("regsvr32", "cscript", "reg"), which comes from system32 or, for the 32-bit build, syswow64.
    std::string BuildProgram(const std::string& file) const;
    std::string SystemProgram(const std::string& name) const;
    static std::string WindowsPath(const std::filesystem::path& path);
    static std::filesystem::path Prefix();

    // The program's standard input is the given text, or empty.
    Outcome Run(const std::vector<std::string>& command,
                std::chrono::seconds timeout = std::chrono::seconds(60), const std::string& input = {});
    std::unique_ptr<Running> Start(const std::vector<std::string>& command, const std::string& input = {});

    // Registers the build's DLL for the machine (idempotent); false when regsvr32 failed.
    bool RegisterComponent();

    // Ends the wine server and starts a new one: it then reads the Ports key afresh, and makes its sockets in
    // the caller's network namespace.
    void RestartServer();
    // Maps COM n to a device (a pty), restarting the server, and waits until wine has made the link.
    void MapComPort(int port, const std::string& device);

private:
    std::vector<std::string> Environment() const;

    Build build_;
};

}  // namespace wine
