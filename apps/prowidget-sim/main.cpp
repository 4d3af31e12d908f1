// prowidget-sim: a simulated Pro widget on a pseudo-terminal, for demonstrations and manual tests.

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>

#include "prowidget_sim.h"
#include "sim_options.h"

namespace {

void LogLine(const std::string& line) {
    static std::mutex mu;
    std::lock_guard lock(mu);
    auto now = std::chrono::system_clock::now();
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
    std::time_t seconds = std::chrono::system_clock::to_time_t(now);
    std::tm local{};
    localtime_r(&seconds, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%H:%M:%S", &local);
    std::fprintf(stderr, "%s.%03d %s\n", stamp, static_cast<int>(ms), line.c_str());
}

// Replaces an existing symbolic link, never a real file.
bool MakeLink(const std::string& link, const std::string& target) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) {
            std::fprintf(stderr, "prowidget-sim: %s exists and is not a symbolic link\n", link.c_str());
            return false;
        }
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0) {
        std::fprintf(stderr, "prowidget-sim: cannot link %s: %s\n", link.c_str(), std::strerror(errno));
        return false;
    }
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    auto parsed = prowidget::ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) {
        std::fprintf(stderr, "prowidget-sim: %s\n\n%s", parsed.error.c_str(), prowidget::SimUsage().c_str());
        return 2;
    }
    const auto& options = parsed.options;
    if (options.help) {
        std::fputs(prowidget::SimUsage().c_str(), stdout);
        return 0;
    }

    // Blocked before the serving thread starts, so that only sigwait below sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        prowidget::Simulator sim;
        if (options.verbose) sim.SetLog(LogLine);
        prowidget::ApplySimOptions(sim, options);
        if (!options.link.empty() && !MakeLink(options.link, sim.DevicePath())) return 1;
        std::printf("%s\n", sim.DevicePath().c_str());
        std::fflush(stdout);

        int signal = 0;
        sigwait(&stopSignals, &signal);
        if (!options.link.empty()) unlink(options.link.c_str());
        if (options.verbose) {
            LogLine("stopping; output frames " + std::to_string(sim.FrameCount(6)) + ", reports " +
                    std::to_string(sim.ReportsSent()) + ", reports dropped " +
                    std::to_string(sim.ReportsDropped()) + ", bad frames " + std::to_string(sim.BadFrames()));
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "prowidget-sim: %s\n", e.what());
        return 1;
    }
    return 0;
}
