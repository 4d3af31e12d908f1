// prowidget-sim: simulated Pro widgets on pseudo-terminals, for demonstrations and manual tests.

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>

#include "device_link.h"
#include "prowidget_sim.h"
#include "sim_options.h"
#include "widget_rack.h"

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

void LogSummary(const std::string& who, const prowidget::Simulator& sim) {
    std::string last;
    // The first channels of what the widget showed last tell whose levels reached it.
    if (const auto frame = sim.LastFrame(6); frame && frame->data.size() > 8) {
        last = "; last output levels of channels 1 to 8:";
        for (std::size_t channel = 1; channel <= 8; ++channel)
            last += " " + std::to_string(frame->data[channel]);
    }
    LogLine(who + "stopping; output frames " + std::to_string(sim.FrameCount(6)) + ", reports " +
            std::to_string(sim.ReportsSent()) + ", reports dropped " + std::to_string(sim.ReportsDropped()) +
            ", bad frames " + std::to_string(sim.BadFrames()) + last);
}

int ServeOne(const prowidget::SimOptions& options, const sigset_t& stopSignals) {
    prowidget::Simulator sim;
    if (options.verbose) sim.SetLog(LogLine);
    prowidget::ApplySimOptions(sim, options);
    if (!options.link.empty()) prowidget::MakeDeviceLink(options.link, sim.DevicePath());
    std::printf("%s\n", sim.DevicePath().c_str());
    std::fflush(stdout);

    int signal = 0;
    sigwait(&stopSignals, &signal);
    if (!options.link.empty()) prowidget::RemoveDeviceLink(options.link);
    if (options.verbose) LogSummary("", sim);
    return 0;
}

std::string WidgetLine(const prowidget::WidgetRack& rack, int number) {
    std::string line = "widget " + std::to_string(number) + ": ";
    if (!rack.Plugged(number)) return line + "unplugged";
    line += rack.DevicePath(number) + " serial " + prowidget::SerialNumberText(rack.SerialNumber(number));
    if (!rack.ByIdPath(number).empty()) line += " by-id " + rack.ByIdPath(number);
    return line;
}

void RunCommand(prowidget::WidgetRack& rack, const std::string& line) {
    auto command = prowidget::ParseRackCommand(line, rack.Count());
    if (!command.error.empty()) {
        std::fprintf(stderr, "prowidget-sim: %s\n", command.error.c_str());
        return;
    }
    if (command.action == prowidget::RackCommand::Action::Nothing) return;
    try {
        if (command.action == prowidget::RackCommand::Action::Unplug) rack.Unplug(command.number);
        if (command.action == prowidget::RackCommand::Action::Plug) rack.Plug(command.number);
    } catch (const std::exception& e) {
        // A widget that cannot be plugged back stays unplugged; the others go on.
        std::fprintf(stderr, "prowidget-sim: widget %d: %s\n", command.number, e.what());
    }
    std::printf("%s\n", WidgetLine(rack, command.number).c_str());
    std::fflush(stdout);
}

// Reads commands until end of input or a stop signal; after end of input, serves until a stop signal.
int ServeRack(const prowidget::SimOptions& options, const sigset_t& stopSignals) {
    int signals = signalfd(-1, &stopSignals, SFD_CLOEXEC);
    if (signals < 0) throw std::system_error(errno, std::generic_category(), "signalfd");
    // Run in the background of a terminal, reading it would stop the program; it then fails with EIO.
    signal(SIGTTIN, SIG_IGN);
    prowidget::WidgetRack rack(options.widgets, options.byId, options.serialBase,
                               [&options](prowidget::Simulator& widget, int number) {
                                   if (options.verbose)
                                       widget.SetLog([number](const std::string& line) {
                                           LogLine("widget " + std::to_string(number) + ": " + line);
                                       });
                                   prowidget::ApplySimOptions(widget, options);
                               });
    for (int number = 1; number <= rack.Count(); ++number)
        std::printf("%s\n", WidgetLine(rack, number).c_str());
    std::fflush(stdout);

    std::string pending;
    bool reading = true;
    for (;;) {
        pollfd watched[2] = {{signals, POLLIN, 0}, {reading ? STDIN_FILENO : -1, POLLIN, 0}};
        if (poll(watched, 2, -1) < 0) {
            if (errno == EINTR) continue;
            throw std::system_error(errno, std::generic_category(), "poll");
        }
        if (watched[0].revents != 0) break;
        if (watched[1].revents == 0) continue;
        char buffer[512];
        ssize_t got = read(STDIN_FILENO, buffer, sizeof buffer);
        if (got < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (got <= 0) {
            if (got < 0 && errno == EIO)
                std::fputs("prowidget-sim: reading no commands from a terminal while in the background\n",
                           stderr);
            else if (got < 0)
                std::fprintf(stderr, "prowidget-sim: reading no more commands: %s\n", std::strerror(errno));
            reading = false;
            pending += '\n';
        } else {
            pending.append(buffer, static_cast<std::size_t>(got));
        }
        for (auto end = pending.find('\n'); end != std::string::npos; end = pending.find('\n')) {
            RunCommand(rack, pending.substr(0, end));
            pending.erase(0, end + 1);
        }
    }
    close(signals);
    if (options.verbose)
        for (int number = 1; number <= rack.Count(); ++number)
            if (rack.Plugged(number))
                LogSummary("widget " + std::to_string(number) + ": ", rack.Widget(number));
    return 0;
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

    // Blocked before the serving threads start, so that only sigwait or the signalfd sees them.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

    try {
        return options.widgets == 0 ? ServeOne(options, stopSignals) : ServeRack(options, stopSignals);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "prowidget-sim: %s\n", e.what());
        return 1;
    }
}
