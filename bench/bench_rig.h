#pragma once

// The rig of the end-to-end benchmarks: vantor-host in a network namespace of the bench's own, a simulated
// widget on a pty in the bench process, an Art-Net or sACN sender in a second namespace joined to the host's
// by a veth pair, and the figures printed as lines a script reads:
//
//   figure <name> <value> <unit>
//
// The node in the host's namespace is held to the veth pair's host side (VANTOR_ARTNET_INTERFACE=vnb0): a
// node named an interface takes only what arrives on it (or on lo), and what it broadcasts reaches only the
// sender's namespace. sACN goes to the host's address on the pair. A node that only sends what a widget
// received may be held to lo instead. Nothing here touches an interface outside the namespaces the bench
// creates.

#include <arpa/inet.h>
#include <fcntl.h>
#include <sched.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "sacn/sacn_packets.h"

namespace bench_rig {

using Clock = std::chrono::steady_clock;

constexpr std::uint8_t kUniverse = 3;
constexpr std::uint8_t kOutputLabel = 6;
constexpr const char* kHostAddress = "10.254.201.1";
constexpr const char* kSenderAddress = "10.254.201.2";
// The veth pair's ends: the host's side, in the bench's namespace, and the sender's.
constexpr const char* kHostInterface = "vnb0";
constexpr const char* kSenderInterface = "vnb1";

inline void Figure(const std::string& name, double value, const char* unit) {
    std::printf("figure %s %.4g %s\n", name.c_str(), value, unit);
    std::fflush(stdout);
}

inline void Shell(const std::string& command) {
    if (std::system((command + " >/dev/null 2>&1").c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

// The host's namespace (the bench's own from here on) and the sender's, joined by a veth pair. The sender's
// socket stays in its namespace whatever namespace the bench is in when it sends.
class VethRig {
public:
    VethRig() {
        if (unshare(CLONE_NEWNET) != 0) throw std::runtime_error("unshare(CLONE_NEWNET): run as root");
        Shell("ip link set lo up");
        sender_ = socket(AF_INET, SOCK_DGRAM, 0);
        const int senderNamespace = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
        // A process that keeps the sender's namespace nameable for ip while the bench moves on.
        holder_ = fork();
        if (holder_ == 0) {
            pause();
            _exit(0);
        }
        if (unshare(CLONE_NEWNET) != 0) throw std::runtime_error("unshare(CLONE_NEWNET)");
        const int hostNamespace = open("/proc/self/ns/net", O_RDONLY | O_CLOEXEC);
        Shell("ip link set lo up");
        const std::string host = kHostInterface, sender = kSenderInterface;
        Shell("ip link add " + host + " type veth peer name " + sender);
        Shell("ip link set " + sender + " netns " + std::to_string(holder_));
        Shell(std::string("ip addr add ") + kHostAddress + "/24 dev " + host + " && ip link set " + host +
              " up");
        setns(senderNamespace, CLONE_NEWNET);
        Shell(std::string("ip addr add ") + kSenderAddress + "/24 dev " + sender + " && ip link set " +
              sender + " up");
        setns(hostNamespace, CLONE_NEWNET);
        close(senderNamespace);
        close(hostNamespace);
        host_.sin_family = AF_INET;
        inet_pton(AF_INET, kHostAddress, &host_.sin_addr);
        // The sender's namespace has no multicast route: its groups go out on the pair.
        in_addr pairSide{};
        inet_pton(AF_INET, kSenderAddress, &pairSide);
        setsockopt(sender_, IPPROTO_IP, IP_MULTICAST_IF, &pairSide, sizeof pairSide);
    }
    ~VethRig() {
        close(sender_);
        kill(holder_, SIGKILL);
        waitpid(holder_, nullptr, 0);
    }
    VethRig(const VethRig&) = delete;
    VethRig& operator=(const VethRig&) = delete;

    // To the host's Art-Net node, or to its sACN receiver.
    void Send(const std::vector<std::uint8_t>& datagram, std::uint16_t port = 6454) const {
        sockaddr_in to = host_;
        to.sin_port = htons(port);
        sendto(sender_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to);
    }

    // To a multicast group in 239.0.0.0/8 (host byte order), over the pair to the host's namespace.
    void SendToGroup(const std::vector<std::uint8_t>& datagram, std::uint32_t group,
                     std::uint16_t port) const {
        if (group >> 24 != 239) throw std::invalid_argument("not an sACN group");
        sockaddr_in to{};
        to.sin_family = AF_INET;
        to.sin_port = htons(port);
        to.sin_addr.s_addr = htonl(group);
        sendto(sender_, datagram.data(), datagram.size(), 0, reinterpret_cast<const sockaddr*>(&to),
               sizeof to);
    }

private:
    int sender_ = -1;
    pid_t holder_ = -1;
    sockaddr_in host_{};
};

// An ArtDmx for the rig's universe (or another Port-Address) whose channels 1 and 2 carry its number, so that
// each frame on the widget names the packet it came from; the other levels change with the number too.
inline std::vector<std::uint8_t> ArtDmx(std::uint16_t number, std::uint16_t universe = kUniverse) {
    std::vector<std::uint8_t> packet{'A',  'r', 't', '-', 'N', 'e', 't', 0,    0x00,
                                     0x50, 0,   14,  0,   0,   0,   0,   0x02, 0x00};
    packet[14] = static_cast<std::uint8_t>(universe & 0xFF);
    packet[15] = static_cast<std::uint8_t>(universe >> 8);
    packet.resize(530);
    packet[18] = static_cast<std::uint8_t>(number & 0xFF);
    packet[19] = static_cast<std::uint8_t>(number >> 8);
    for (std::size_t i = 20; i < packet.size(); ++i) packet[i] = static_cast<std::uint8_t>(number + i);
    return packet;
}

// Hands the ArtDmx a node holds to its outputs.
inline std::vector<std::uint8_t> ArtSync() {
    return {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x52, 0, 14, 0, 0};
}

// Source number `source`'s CID.
inline SacnCid BenchCid(std::uint8_t source = 0) {
    return {0xB3, 0x7C, 0x4A, 0x01, 0x9E, 0x5D, 0x4F, 0x22, 0x8A, 0x61, 0x0D, 0x93, 0x27, 0xC4, 0x55, source};
}

// The E1.31 data packet of the same levels, from source number `source` (a CID of its own) at the default
// priority, its sequence number the packet's; synchronised to `syncAddress` unless 0.
inline std::vector<std::uint8_t> SacnDmx(std::uint16_t number, std::uint8_t source = 0,
                                         std::uint16_t universe = kUniverse, std::uint16_t syncAddress = 0) {
    SacnSenderFields sender;
    sender.Cid = BenchCid(source);
    sender.SourceName = "bench";
    sender.Universe = universe;
    sender.SyncAddress = syncAddress;
    std::array<std::uint8_t, kSacnSlots> levels;
    const auto artDmx = ArtDmx(number);
    std::copy(artDmx.begin() + 18, artDmx.end(), levels.begin());
    const auto packet = BuildSacnDataPacket(sender, static_cast<std::uint8_t>(number), 0, levels);
    return {packet.begin(), packet.end()};
}

inline std::filesystem::path BuildFolder() {
    return std::filesystem::canonical("/proc/self/exe").parent_path().parent_path();
}

// A program with these arguments and these variables added to the bench's environment, its output appended
// to `log` (thrown away when empty). Everything the child needs is made before the fork: the bench runs
// simulator threads, and a forked child of a threaded process should not allocate.
inline pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                          const std::vector<std::pair<std::string, std::string>>& environment,
                          const std::string& log = "") {
    std::vector<std::string> all{program};
    all.insert(all.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (auto& argument : all) argv.push_back(argument.data());
    argv.push_back(nullptr);
    const std::string output = log.empty() ? "/dev/null" : log;
    const pid_t pid = fork();
    if (pid != 0) return pid;
    for (const auto& [name, value] : environment) setenv(name.c_str(), value.c_str(), 1);
    const int out = open(output.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    dup2(out, STDOUT_FILENO);
    dup2(out, STDERR_FILENO);
    execv(program.c_str(), argv.data());
    _exit(127);
}

// vantor-host with these arguments, its serial port 1 the given device ("" for none), its output thrown away,
// its node held to the interface given. Headless unless visible; a visible host needs DISPLAY. Another
// build's host (with its plug-in beside it) may be named instead of this build's.
inline pid_t StartHost(const std::vector<std::string>& arguments, const std::string& device, bool visible,
                       const std::string& otherProgram = "", const std::string& interface = kHostInterface) {
    const std::string program =
        otherProgram.empty() ? (BuildFolder() / "vantor-host").string() : otherProgram;
    std::vector<std::pair<std::string, std::string>> environment{{"VANTOR_SERIAL_PORTS", device},
                                                                 {"VANTOR_ARTNET_INTERFACE", interface}};
    std::vector<std::string> all = arguments;
    if (!visible) {
        environment.insert(environment.end(), {{"QT_QPA_PLATFORM", "offscreen"}, {"VANTOR_HEADLESS", "1"}});
        all.push_back("--headless");
    }
    return StartProgram(program, all, environment);
}

// CPU time the process's threads have used so far, to the nanosecond (the scheduler's own count).
inline double CpuSeconds(pid_t pid) {
    double seconds = 0;
    const std::filesystem::path tasks = "/proc/" + std::to_string(pid) + "/task";
    std::error_code ignored;
    for (const auto& task : std::filesystem::directory_iterator(tasks, ignored)) {
        std::ifstream schedstat(task.path() / "schedstat");
        double nanoseconds = 0;
        if (schedstat >> nanoseconds) seconds += nanoseconds / 1e9;
    }
    return seconds;
}

// Stops the process; its peak resident memory over its whole life, in KiB.
inline long StopHost(pid_t pid) {
    kill(pid, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    return usage.ru_maxrss;
}

inline double Percentile(const std::vector<double>& sorted, double fraction) {
    if (sorted.empty()) return NAN;
    const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// p50, p99 and max of latencies in microseconds, as milliseconds, and how many of the expected never came.
inline void LatencyFigures(const std::string& name, std::vector<double> microseconds, std::size_t expected) {
    std::sort(microseconds.begin(), microseconds.end());
    Figure(name + ".p50", Percentile(microseconds, 0.50) / 1000, "ms");
    Figure(name + ".p99", Percentile(microseconds, 0.99) / 1000, "ms");
    Figure(name + ".max", microseconds.empty() ? NAN : microseconds.back() / 1000, "ms");
    Figure(name + ".lost", static_cast<double>(expected - std::min(expected, microseconds.size())),
           "packets");
}

// The one-minute load average: a figure is read against the load it was measured under.
inline double LoadAverage() {
    double load = NAN;
    std::ifstream("/proc/loadavg") >> load;
    return load;
}

inline bool HasDisplay() {
    const char* display = std::getenv("DISPLAY");
    return display && *display;
}

}  // namespace bench_rig
