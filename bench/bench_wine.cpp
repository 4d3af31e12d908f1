// The Windows build under wine, measured end to end with a simulated widget mapped as COM1: the output
// pump's rate and the spread of its frame intervals at the widget, the Art-Net to widget latency at 44 Hz,
// the CPU that vantor-host.exe and the wine server use while the widget is idle, and the time a firmware
// update of 96 pages takes. Each figure is printed beside the Linux build's, measured the same way on the
// same widget, with the ratio of the two. Wine is not Windows: these figures tell how the build runs under
// wine on this machine, not how it runs on Windows.
// Runs in a network namespace of its own holding only loopback; it refuses to run anywhere else.
//
//   bench/bench_wine [win64|win32] [seconds of output] [ArtDmx packets at 44 Hz] [seconds idle] [updates]
//   (default: win64 10 2000 10 3; needs root, and the Windows build beside this build, as scripts/test
//   makes, or the one that VANTOR_WIN64_BUILD_DIR or VANTOR_WIN32_BUILD_DIR names)

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>
#include <utility>

#include "bench_rig.h"
#include "paced_latency.h"
#include "prowidget_sim.h"
#include "support/loopback_udp.h"
#include "wine_session.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kOutputLabel = 6;
constexpr std::uint8_t kUniverse = 3;

using bench_rig::CpuSeconds;
using bench_rig::Percentile;

// The wine server of our prefix: the process named wineserver whose environment names the prefix.
std::optional<pid_t> WineServer() {
    const std::string wanted = "WINEPREFIX=" + wine::Session::Prefix().string();
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos) continue;
        std::ifstream comm(entry.path() / "comm");
        std::string command;
        std::getline(comm, command);
        if (command.rfind("wineserver", 0) != 0) continue;
        std::ifstream environ(entry.path() / "environ");
        std::string variables((std::istreambuf_iterator<char>(environ)), std::istreambuf_iterator<char>());
        if (variables.find(wanted) != std::string::npos) return std::stoi(name);
    }
    return std::nullopt;
}

// vantor-host of one build on the simulated widget: the Windows build under wine (the widget as COM1), or the
// Linux build beside this bench (the widget's pty as its port 1), for the same figure of both.
class Host {
public:
    virtual ~Host() = default;
    virtual pid_t Pid() const = 0;
    // Waits for the end that --duration sets.
    virtual void Wait() = 0;
};

class WineHost : public Host {
public:
    WineHost(wine::Session& session, std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), session.BuildProgram("vantor-host.exe"));
        running_ = session.Start(arguments);
    }
    pid_t Pid() const override { return running_->Pid(); }
    void Wait() override {
        const wine::Outcome outcome = running_->Wait(60s);
        if (outcome.exitCode != 0)
            std::fprintf(stderr, "vantor-host.exe exited with %d:\n%s\n", outcome.exitCode,
                         outcome.output.c_str());
    }

private:
    std::unique_ptr<wine::Running> running_;
};

class LinuxHost : public Host {
public:
    LinuxHost(const std::string& device, const std::vector<std::string>& arguments)
        : pid_(bench_rig::StartHost(arguments, device, false, "", "lo")) {}
    ~LinuxHost() override {
        if (pid_ > 0) bench_rig::StopHost(pid_);
    }
    pid_t Pid() const override { return pid_; }
    void Wait() override {
        int status = 0;
        waitpid(std::exchange(pid_, -1), &status, 0);
    }

private:
    pid_t pid_;
};

using StartHost = std::function<std::unique_ptr<Host>(std::vector<std::string> arguments)>;

// p50, p99 and max of sorted values.
struct Spread {
    double p50 = NAN, p99 = NAN, max = NAN;
};

Spread SpreadOf(const std::vector<double>& sorted) {
    if (sorted.empty()) return {};
    return {Percentile(sorted, 0.5), Percentile(sorted, 0.99), sorted.back()};
}

struct PumpFigures {
    double rate = NAN;
    Spread interval;
};

PumpFigures OutputPump(const StartHost& start, prowidget::Simulator& sim, int seconds) {
    const auto host = start({"--port", "1", "--enable", "--set", "1=255", "--headless", "--duration",
                             std::to_string(seconds + 4)});
    // Counted from the first frame on, once start-up is over.
    sim.TakeFrames();
    sim.WaitForFrames(kOutputLabel, sim.FrameCount(kOutputLabel) + 1, 30s);
    std::this_thread::sleep_for(500ms);
    sim.TakeFrames();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    std::vector<Clock::time_point> arrivals;
    for (const auto& frame : sim.TakeFrames())
        if (frame.label == kOutputLabel && frame.data.size() == 513) arrivals.push_back(frame.at);
    host->Wait();
    std::vector<double> intervals;
    for (std::size_t index = 1; index < arrivals.size(); ++index)
        intervals.push_back(
            std::chrono::duration<double, std::milli>(arrivals[index] - arrivals[index - 1]).count());
    std::sort(intervals.begin(), intervals.end());
    if (intervals.empty()) return {};
    const double span = std::chrono::duration<double>(arrivals.back() - arrivals.front()).count();
    return {static_cast<double>(intervals.size()) / span, SpreadOf(intervals)};
}

// Channels 1 and 2 carry the packet's number, so each frame on the widget names the packet it came from.
artnet_loopback::Bytes NumberedArtDmx(std::uint16_t number) {
    artnet_loopback::Bytes packet = artnet_loopback::ArtDmx(kUniverse, static_cast<std::uint8_t>(number));
    packet[18] = static_cast<std::uint8_t>(number & 0xFF);
    packet[19] = static_cast<std::uint8_t>(number >> 8);
    return packet;
}

struct LatencyFigures {
    std::size_t arrived = 0;
    Spread latency;
    double cpu = NAN;
};

LatencyFigures ArtNetLatency(const StartHost& start, prowidget::Simulator& sim, int packets) {
    artnet_loopback::UdpSender sender;
    const auto host = start({"--port", "1", "--mode", "send", "--universe", std::to_string(kUniverse),
                             "--headless", "--duration", std::to_string(packets / 44 + 40)});
    // Ready once a packet comes through; the counts run on from earlier runs on the same widget.
    const std::size_t earlier = sim.FrameCount(kOutputLabel);
    const auto readyBy = Clock::now() + 40s;
    while (sim.FrameCount(kOutputLabel) == earlier && Clock::now() < readyBy) {
        sender.SendTo("127.0.0.1", 6454, NumberedArtDmx(0xFFFF));
        std::this_thread::sleep_for(100ms);
    }
    std::this_thread::sleep_for(200ms);
    sim.TakeFrames();
    const std::size_t framesBefore = sim.FrameCount(kOutputLabel);
    const double cpuBefore = CpuSeconds(host->Pid());
    const auto begin = Clock::now();
    const auto sentAt = paced_latency::SendPaced(
        packets, 44.0, NumberedArtDmx, [&](const auto& packet) { sender.SendTo("127.0.0.1", 6454, packet); });
    // The count runs on from the warm-up's frames.
    sim.WaitForFrames(kOutputLabel, framesBefore + static_cast<std::size_t>(packets), 5s);
    const double wall = std::chrono::duration<double>(Clock::now() - begin).count();
    const double cpu = CpuSeconds(host->Pid()) - cpuBefore;
    auto latencies = paced_latency::FrameLatencies<std::milli>(sim.TakeFrames(), kOutputLabel, sentAt);
    std::sort(latencies.begin(), latencies.end());
    return {latencies.size(), SpreadOf(latencies), 100.0 * cpu / wall};
}

struct IdleFigures {
    double host = NAN, server = 0;
};

// The wine server counts too: under wine much of a program's work is the server's.
IdleFigures IdleCpu(const StartHost& start, bool underWine, int seconds) {
    const auto host = start({"--port", "1", "--headless", "--duration", std::to_string(seconds + 6)});
    std::this_thread::sleep_for(5s);  // start-up: the port scan, the node, the port
    const pid_t server = underWine ? WineServer().value_or(-1) : -1;
    const double hostBefore = CpuSeconds(host->Pid());
    const double serverBefore = server > 0 ? CpuSeconds(server) : 0;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    IdleFigures figures;
    figures.host = 100.0 * (CpuSeconds(host->Pid()) - hostBefore) / seconds;
    if (underWine) figures.server = server > 0 ? 100.0 * (CpuSeconds(server) - serverBefore) / seconds : NAN;
    host->Wait();
    return figures;
}

// A whole update of 96 pages from a widget that answers at once: first page to last, at the widget.
double FirmwareSeconds(const StartHost& start, prowidget::Simulator& sim, const std::string& image) {
    sim.TakeFrames();
    const auto host = start({"--port", "1", "--headless", "--update-firmware", image, "--duration", "60"});
    host->Wait();
    std::vector<Clock::time_point> pages;
    for (const auto& frame : sim.TakeFrames())
        if (frame.label == 2) pages.push_back(frame.at);
    if (pages.size() < 96) return NAN;
    return std::chrono::duration<double>(pages.back() - pages[pages.size() - 96]).count();
}

// One figure of both builds, with the Windows build's as a multiple of the Linux build's.
void Compare(const char* name, const char* unit, double windows, double linux) {
    std::printf("  %-34s %10.2f %-6s linux %10.2f %-6s ratio %6.2f\n", name, windows, unit, linux, unit,
                windows / linux);
}

void CompareSpread(const std::string& name, const Spread& windows, const Spread& linux) {
    Compare((name + " p50").c_str(), "ms", windows.p50, linux.p50);
    Compare((name + " p99").c_str(), "ms", windows.p99, linux.p99);
    Compare((name + " max").c_str(), "ms", windows.max, linux.max);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string name = argc > 1 ? argv[1] : "win64";
    const int outputSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    const int packets = argc > 3 ? std::atoi(argv[3]) : 2000;
    const int idleSeconds = argc > 4 ? std::atoi(argv[4]) : 10;
    const int firmwareRuns = argc > 5 ? std::atoi(argv[5]) : 3;
    const std::string why = artnet_loopback::EnterOwnNetworkNamespace();
    if (!why.empty()) {
        std::fprintf(stderr, "needs a network namespace of its own (run as root): %s\n", why.c_str());
        return 1;
    }
    setenv("VANTOR_BUILD_DIR", VANTOR_BUILD_DIR, 0);
    // The build beside this one, or another named as the tests name theirs (an older one, to compare).
    const char* other = std::getenv(name == "win32" ? "VANTOR_WIN32_BUILD_DIR" : "VANTOR_WIN64_BUILD_DIR");
    const wine::Build build{
        name, other && *other ? other : (name == "win32" ? VANTOR_WIN32_BUILD_DIR : VANTOR_WIN64_BUILD_DIR),
        name != "win32"};
    wine::Session session(build);
    if (const std::string unavailable = session.Unavailable(); !unavailable.empty()) {
        std::fprintf(stderr, "%s\n", unavailable.c_str());
        return 1;
    }
    if (!session.RegisterComponent()) {
        std::fprintf(stderr, "regsvr32 failed\n");
        return 1;
    }
    // A widget of its own for each Windows run: a pty that the Linux build has had open is no longer found by
    // wine's port scan. The Linux run follows on the same widget.
    std::unique_ptr<prowidget::Simulator> widget;
    const auto freshWidget = [&]() -> prowidget::Simulator& {
        widget.reset();
        widget = std::make_unique<prowidget::Simulator>();
        session.MapComPort(1, widget->DevicePath());
        return *widget;
    };
    std::printf(
        "%s build under wine (wine is not Windows), simulated widget as COM1, Art-Net on lo; beside it\n"
        "the Linux build on the same widget\n",
        name.c_str());
    std::fflush(stdout);
    const StartHost onWine = [&](std::vector<std::string> arguments) -> std::unique_ptr<Host> {
        return std::make_unique<WineHost>(session, std::move(arguments));
    };
    const StartHost onLinux = [&](std::vector<std::string> arguments) -> std::unique_ptr<Host> {
        return std::make_unique<LinuxHost>(widget->DevicePath(), arguments);
    };
    if (outputSeconds > 0) {
        prowidget::Simulator& sim = freshWidget();
        const PumpFigures win = OutputPump(onWine, sim, outputSeconds);
        const PumpFigures lin = OutputPump(onLinux, sim, outputSeconds);
        std::printf("output pump, %d s:\n", outputSeconds);
        Compare("frames per second", "/s", win.rate, lin.rate);
        CompareSpread("frame interval", win.interval, lin.interval);
        std::fflush(stdout);
    }
    if (packets > 0) {
        prowidget::Simulator& sim = freshWidget();
        const LatencyFigures win = ArtNetLatency(onWine, sim, packets);
        const LatencyFigures lin = ArtNetLatency(onLinux, sim, packets);
        std::printf("Art-Net to widget at 44 Hz, %d sent (arrived: %zu on wine, %zu on linux):\n", packets,
                    win.arrived, lin.arrived);
        CompareSpread("latency", win.latency, lin.latency);
        Compare("host CPU", "%", win.cpu, lin.cpu);
        std::fflush(stdout);
    }
    if (idleSeconds > 0) {
        freshWidget();
        const IdleFigures win = IdleCpu(onWine, true, idleSeconds);
        const IdleFigures lin = IdleCpu(onLinux, false, idleSeconds);
        std::printf("idle widget, %d s (vantor-host.exe %.2f %% + wine server %.2f %%):\n", idleSeconds,
                    win.host, win.server);
        Compare("CPU, host and wine server", "%", win.host + win.server, lin.host);
        std::fflush(stdout);
    }
    if (firmwareRuns > 0) {
        const std::filesystem::path image =
            std::filesystem::temp_directory_path() / "bench-wine-firmware.bin";
        std::vector<char> bytes(6144);
        for (std::size_t index = 0; index < bytes.size(); ++index)
            bytes[index] = static_cast<char>(index * 7);
        std::ofstream(image, std::ios::binary)
            .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        std::vector<double> win, lin;
        for (int run = 0; run < firmwareRuns; ++run) {
            prowidget::Simulator& sim = freshWidget();
            win.push_back(FirmwareSeconds(onWine, sim, wine::Session::WindowsPath(image)));
            lin.push_back(FirmwareSeconds(onLinux, sim, image.string()));
        }
        std::filesystem::remove(image);
        std::sort(win.begin(), win.end());
        std::sort(lin.begin(), lin.end());
        std::printf("firmware update of 96 pages, first page to last, median of %d:\n", firmwareRuns);
        Compare("96 pages", "s", Percentile(win, 0.5), Percentile(lin, 0.5));
    }
    return 0;
}
