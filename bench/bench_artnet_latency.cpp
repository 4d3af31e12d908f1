// Art-Net to DMX latency: from an ArtDmx leaving a loopback sender to the matching 518-byte frame arriving on
// the simulated widget's pseudo-terminal, through vantor-host in send mode. Each run starts its own host, so
// the CPU time (over the measured sending only) and peak memory reported are that process's alone; the sender
// and the simulator live here.
// Runs in a network namespace of its own holding only loopback; it refuses to run anywhere else.
//
//   bench/bench_artnet_latency [packets at 44 Hz] [packets at 1000/s]     (default: 10000 10000)
//   needs root (for the namespace) and vantor-host built beside the bench folder

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "prowidget_sim.h"

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr std::uint8_t kUniverse = 3;
constexpr std::uint8_t kOutputLabel = 6;
constexpr std::uint16_t kWarmUpMark = 0xFFFF;

bool EnterOwnNetworkNamespace() {
    if (unshare(CLONE_NEWNET) != 0) {
        std::perror("unshare(CLONE_NEWNET) (run as root)");
        return false;
    }
    const int fd = socket(AF_INET, SOCK_DGRAM, 0);
    ifreq request{};
    std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
    const bool up = fd >= 0 && ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                    (request.ifr_flags = static_cast<short>(request.ifr_flags | IFF_UP),
                     ioctl(fd, SIOCSIFFLAGS, &request) == 0);
    if (fd >= 0) close(fd);
    if (!up) std::perror("bringing lo up");
    return up;
}

// Channels 1 and 2 carry the packet's number, so each frame on the widget names the packet it came from.
std::vector<std::uint8_t> ArtDmx(std::uint16_t number) {
    std::vector<std::uint8_t> packet{'A',  'r', 't', '-', 'N', 'e',       't', 0,    0x00,
                                     0x50, 0,   14,  0,   0,   kUniverse, 0,   0x02, 0x00};
    packet.resize(530);
    packet[18] = static_cast<std::uint8_t>(number & 0xFF);
    packet[19] = static_cast<std::uint8_t>(number >> 8);
    for (std::size_t i = 20; i < packet.size(); ++i) packet[i] = static_cast<std::uint8_t>(number + i);
    return packet;
}

struct Host {
    pid_t pid = -1;
};

Host StartHost(const std::filesystem::path& program, const std::string& devicePath) {
    Host host;
    host.pid = fork();
    if (host.pid == 0) {
        setenv("VANTOR_SERIAL_PORTS", devicePath.c_str(), 1);
        setenv("VANTOR_ARTNET_INTERFACE", "lo", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 1);
        setenv("VANTOR_HEADLESS", "1", 1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
        const std::string universe = std::to_string(kUniverse);
        execl(program.c_str(), program.c_str(), "--port", "1", "--mode", "send", "--universe",
              universe.c_str(), "--headless", static_cast<char*>(nullptr));
        std::perror("exec vantor-host");
        _exit(127);
    }
    return host;
}

// User and system CPU time the process has used so far.
double CpuSeconds(pid_t pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string field;
    double ticks = 0;
    for (int index = 3; fields >> field && index <= 15; ++index)
        if (index >= 14) ticks += std::stod(field);  // utime, stime
    return ticks / static_cast<double>(sysconf(_SC_CLK_TCK));
}

// Peak resident memory over the host's whole life, in KiB.
long StopHost(Host& host) {
    kill(host.pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(host.pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

double Percentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) return NAN;
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

bool Run(const std::filesystem::path& program, int sender, const sockaddr_in& node, double rate,
         int packets) {
    prowidget::Simulator sim;
    Host host = StartHost(program, sim.DevicePath());
    auto send = [&](std::uint16_t number) {
        const auto packet = ArtDmx(number);
        sendto(sender, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&node),
               sizeof node);
    };

    // The host is ready once a packet comes through.
    const auto readyBy = Clock::now() + 30s;
    while (sim.FrameCount(kOutputLabel) == 0 && Clock::now() < readyBy) {
        send(kWarmUpMark);
        std::this_thread::sleep_for(100ms);
    }
    if (sim.FrameCount(kOutputLabel) == 0) {
        std::fprintf(stderr, "vantor-host did not bridge within 30 s\n");
        StopHost(host);
        return false;
    }
    std::this_thread::sleep_for(200ms);
    sim.TakeFrames();

    std::vector<Clock::time_point> sentAt(static_cast<std::size_t>(packets));
    const auto period =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / rate));
    const double cpuBefore = CpuSeconds(host.pid);
    const auto start = Clock::now();
    for (int number = 0; number < packets; ++number) {
        std::this_thread::sleep_until(start + period * number);
        sentAt[static_cast<std::size_t>(number)] = Clock::now();
        send(static_cast<std::uint16_t>(number));
    }
    sim.WaitForFrames(kOutputLabel, static_cast<std::size_t>(packets), 3s);
    const double wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpuSeconds = CpuSeconds(host.pid) - cpuBefore;
    const long peakKiB = StopHost(host);

    std::vector<double> latencies;
    std::map<int, bool> seen;
    for (const auto& frame : sim.TakeFrames()) {
        if (frame.label != kOutputLabel || frame.data.size() != 513) continue;
        const int number = frame.data[1] | frame.data[2] << 8;
        if (number >= packets || seen[number]) continue;
        seen[number] = true;
        latencies.push_back(
            std::chrono::duration<double, std::micro>(frame.at - sentAt[static_cast<std::size_t>(number)])
                .count());
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf("%9.0f/s %8d %9zu %9.0f %9.0f %9.0f %9.2f %9.1f %10ld\n", rate, packets, latencies.size(),
                Percentile(latencies, 0.50), Percentile(latencies, 0.99),
                latencies.empty() ? NAN : latencies.back(), cpuSeconds, 100.0 * cpuSeconds / wallSeconds,
                peakKiB);
    std::fflush(stdout);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    const int slowPackets = argc > 1 ? std::atoi(argv[1]) : 10000;
    const int fastPackets = argc > 2 ? std::atoi(argv[2]) : 10000;
    const std::filesystem::path program =
        std::filesystem::canonical("/proc/self/exe").parent_path().parent_path() / "vantor-host";
    if (!std::filesystem::exists(program)) {
        std::fprintf(stderr, "%s is missing: build the vantor-host target first\n", program.c_str());
        return 1;
    }
    if (!EnterOwnNetworkNamespace()) return 1;

    const int sender = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in node{};
    node.sin_family = AF_INET;
    node.sin_port = htons(6454);
    node.sin_addr.s_addr = htonl(INADDR_LOOPBACK);

    std::printf(
        "ArtDmx on universe %d to 127.0.0.1:6454 -> vantor-host (send mode) -> simulated widget pty\n",
        kUniverse);
    std::printf("%11s %8s %9s %9s %9s %9s %9s %9s %10s\n", "rate", "packets", "frames", "p50 us", "p99 us",
                "max us", "host CPU s", "CPU %", "peak KiB");
    bool ok = true;
    if (slowPackets > 0) ok = Run(program, sender, node, 44.0, slowPackets) && ok;
    if (fastPackets > 0) ok = Run(program, sender, node, 1000.0, fastPackets) && ok;
    close(sender);
    return ok ? 0 : 1;
}
