// The Windows build under wine, measured end to end with a simulated widget mapped as COM1: the output
// pump's rate and the spread of its frame intervals at the widget, the Art-Net to widget latency at 44 Hz,
// and the CPU that vantor-host.exe and the wine server use while the widget is idle. Wine is not Windows:
// these figures tell how the build runs under wine on this machine, not how it runs on Windows.
// Runs in a network namespace of its own holding only loopback; it refuses to run anywhere else.
//
//   bench/bench_wine [win64|win32] [seconds of output] [ArtDmx packets at 44 Hz] [seconds idle]
//   (default: win64 10 2000 10; needs root, and the Windows build beside this build, as scripts/test makes)

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <optional>
#include <sstream>
#include <thread>

#include "paced_latency.h"
#include "prowidget_sim.h"
#include "support/loopback_udp.h"
#include "wine_session.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kOutputLabel = 6;
constexpr std::uint8_t kUniverse = 3;

double Percentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) return NAN;
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// User and system CPU time a process has used so far (0 when it is gone).
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    if (text.empty()) return 0;
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; fields >> field && index <= 15; ++index)
        if (index >= 14) ticks += std::stod(field);
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

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

std::unique_ptr<wine::Running> StartHost(wine::Session& session, std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), session.BuildProgram("vantor-host.exe"));
    return session.Start(arguments);
}

void OutputPump(wine::Session& session, prowidget::Simulator& sim, int seconds) {
    const auto host = StartHost(session, {"--port", "1", "--enable", "--set", "1=255", "--headless",
                                          "--duration", std::to_string(seconds + 4)});
    // Counted from the first frame on, once start-up is over.
    sim.WaitForFrames(kOutputLabel, 1, 30s);
    std::this_thread::sleep_for(500ms);
    sim.TakeFrames();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    std::vector<Clock::time_point> arrivals;
    for (const auto& frame : sim.TakeFrames())
        if (frame.label == kOutputLabel && frame.data.size() == 513) arrivals.push_back(frame.at);
    host->Wait(30s);
    std::vector<double> intervals;
    for (std::size_t index = 1; index < arrivals.size(); ++index)
        intervals.push_back(
            std::chrono::duration<double, std::milli>(arrivals[index] - arrivals[index - 1]).count());
    std::sort(intervals.begin(), intervals.end());
    const double span =
        arrivals.size() > 1 ? std::chrono::duration<double>(arrivals.back() - arrivals.front()).count() : NAN;
    std::printf(
        "output pump: %zu frames in %.2f s = %.2f/s; interval ms min %.1f p50 %.1f p99 %.1f max %.1f\n",
        arrivals.size(), span, static_cast<double>(intervals.size()) / span,
        intervals.empty() ? NAN : intervals.front(), Percentile(intervals, 0.5), Percentile(intervals, 0.99),
        intervals.empty() ? NAN : intervals.back());
}

// Channels 1 and 2 carry the packet's number, so each frame on the widget names the packet it came from.
artnet_loopback::Bytes NumberedArtDmx(std::uint16_t number) {
    artnet_loopback::Bytes packet = artnet_loopback::ArtDmx(kUniverse, static_cast<std::uint8_t>(number));
    packet[18] = static_cast<std::uint8_t>(number & 0xFF);
    packet[19] = static_cast<std::uint8_t>(number >> 8);
    return packet;
}

void ArtNetLatency(wine::Session& session, prowidget::Simulator& sim, int packets) {
    artnet_loopback::UdpSender sender;
    const auto host =
        StartHost(session, {"--port", "1", "--mode", "send", "--universe", std::to_string(kUniverse),
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
    const auto start = Clock::now();
    const auto sentAt = paced_latency::SendPaced(
        packets, 44.0, NumberedArtDmx, [&](const auto& packet) { sender.SendTo("127.0.0.1", 6454, packet); });
    // The count runs on from the warm-up's frames.
    sim.WaitForFrames(kOutputLabel, framesBefore + static_cast<std::size_t>(packets), 5s);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds(host->Pid()) - cpuBefore;
    auto latencies = paced_latency::FrameLatencies<std::milli>(sim.TakeFrames(), kOutputLabel, sentAt);
    std::sort(latencies.begin(), latencies.end());
    std::printf(
        "Art-Net to widget at 44 Hz: %d sent, %zu arrived; latency ms p50 %.2f p99 %.2f max %.2f; "
        "host CPU %.1f %%\n",
        packets, latencies.size(), Percentile(latencies, 0.5), Percentile(latencies, 0.99),
        latencies.empty() ? NAN : latencies.back(), 100.0 * cpu / wall);
}

void IdleCpu(wine::Session& session, int seconds) {
    const auto host =
        StartHost(session, {"--port", "1", "--headless", "--duration", std::to_string(seconds + 6)});
    std::this_thread::sleep_for(5s);  // start-up: the port scan, the node, the port
    const auto server = WineServer();
    const double hostBefore = CpuSeconds(host->Pid());
    const double serverBefore = server ? CpuSeconds(*server) : 0;
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double hostCpu = CpuSeconds(host->Pid()) - hostBefore;
    const double serverCpu = server ? CpuSeconds(*server) - serverBefore : NAN;
    host->Wait(30s);
    std::printf("idle widget, %d s: vantor-host.exe %.1f %% of a core, wine server %.1f %%\n", seconds,
                100.0 * hostCpu / seconds, 100.0 * serverCpu / seconds);
}

}  // namespace

int main(int argc, char** argv) {
    const std::string name = argc > 1 ? argv[1] : "win64";
    const int outputSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    const int packets = argc > 3 ? std::atoi(argv[3]) : 2000;
    const int idleSeconds = argc > 4 ? std::atoi(argv[4]) : 10;
    const std::string why = artnet_loopback::EnterOwnNetworkNamespace();
    if (!why.empty()) {
        std::fprintf(stderr, "needs a network namespace of its own (run as root): %s\n", why.c_str());
        return 1;
    }
    setenv("VANTOR_BUILD_DIR", VANTOR_BUILD_DIR, 0);
    const wine::Build build{name, name == "win32" ? VANTOR_WIN32_BUILD_DIR : VANTOR_WIN64_BUILD_DIR,
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
    prowidget::Simulator sim;
    session.MapComPort(1, sim.DevicePath());
    std::printf("%s build under wine (wine is not Windows), simulated widget as COM1, Art-Net on lo\n",
                name.c_str());
    std::fflush(stdout);
    if (outputSeconds > 0) OutputPump(session, sim, outputSeconds);
    std::fflush(stdout);
    if (packets > 0) ArtNetLatency(session, sim, packets);
    std::fflush(stdout);
    if (idleSeconds > 0) IdleCpu(session, idleSeconds);
    return 0;
}
