// Bridging latency through vantor-host, end to end:
// - Art-Net to DMX: from an ArtDmx leaving a sender in another network namespace, over a veth pair, to the
//   matching 518-byte frame arriving on the simulated widget's pseudo-terminal (send mode), at 44 Hz and at
//   1,000 packets a second; with DISPLAY set (xvfb-run -a), once more with the window visible and its output
//   monitor running;
// - sACN to DMX: the same from an E1.31 data packet (vantor-host --protocol sacn, "sacn"), at both rates, in
// the
//   same run as Art-Net's figures to read them against;
// - DMX to Art-Net: from a received-DMX report written to the pty to the ArtDmx the node broadcasts on lo
//   (receive mode), at 40 reports a second;
// - the same Art-Net to DMX rig through the references the host is read against (reference_bridges.h,
//   ola_bridge.h): OLA where it is installed ("ola"), an epoll loop ("bare_epoll"), the least Qt program
//   ("bare_qt", and "bare_qt_unix" with Qt's own dispatcher), and with --lean a bridge that blocks in recv
//   ("lean_bridge"), the rig's own floor; with --baseline-host, another build's vantor-host ("baseline"),
//   to measure a change against the build before it in the same run. Each rate runs every bridge in turn;
//   each figure's ".load" is the load average as it started.
// Each run starts its own bridge. Needs root for the namespaces.
//
//   bench/bench_artnet_latency [--packets-44 N] [--packets-1000 N] [--reports N] [--lean]
//                              [--baseline-host PATH]
//                              [--bridges
//                              send,sacn,baseline,ola,bare_epoll,bare_qt,bare_qt_unix,lean_bridge,send_visible]
//                              (default 4000, 10000, 1000; the bridges: all but bare_qt_unix and lean_bridge,
//                              send_visible only with a display)

#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>

#include <atomic>
#include <optional>
#include <sstream>
#include <thread>

#include "bench_rig.h"
#include "ola_bridge.h"
#include "paced_latency.h"
#include "prowidget_sim.h"
#include "reference_bridges.h"

namespace {

using namespace bench_rig;
using namespace paced_latency;
using namespace std::chrono_literals;

struct Options {
    int packets44 = 4000;
    int packets1000 = 10000;
    int reports = 1000;
    bool lean = false;
    std::vector<std::string> bridges;  // by name; empty: the default set
    std::string baselineHost;          // another build's vantor-host, measured as "baseline"
};

// What bridges the rig in one run: the host, or one of the references it is read against.
enum class Bridge { Host, HostVisible, Sacn, Baseline, Lean, Epoll, QtGlib, QtUnix, Ola };

struct BridgeKind {
    Bridge bridge;
    const char* name;  // for --bridges
    const char* figure;
    const char* suffix = "";  // after the rate
};

constexpr BridgeKind kBridges[] = {
    {Bridge::Host, "send", "send"},
    {Bridge::Sacn, "sacn", "sacn"},
    {Bridge::Baseline, "baseline", "baseline"},
    {Bridge::Ola, "ola", "ola"},
    {Bridge::Epoll, "bare_epoll", "bare_epoll"},
    {Bridge::QtGlib, "bare_qt", "bare_qt"},
    {Bridge::QtUnix, "bare_qt_unix", "bare_qt_unix"},
    {Bridge::Lean, "lean_bridge", "lean_bridge"},
    {Bridge::HostVisible, "send_visible", "send", "_visible"},
};

// One bridge on the simulated widget's pty, stopped when this goes.
class RunningBridge {
public:
    RunningBridge(Bridge bridge, const std::string& device, const std::string& baselineHost) {
        switch (bridge) {
            case Bridge::Sacn:
                pid_ = StartHost({"--port", "1", "--mode", "send", "--universe", "3", "--protocol", "sacn"},
                                 device, false, "");
                break;
            case Bridge::Host:
            case Bridge::HostVisible:
            case Bridge::Baseline:
                pid_ =
                    StartHost({"--port", "1", "--mode", "send", "--universe", "3"}, device,
                              bridge == Bridge::HostVisible, bridge == Bridge::Baseline ? baselineHost : "");
                break;
            case Bridge::Lean:
                pid_ = reference_bridges::StartPosix(device, reference_bridges::Wait::Recv);
                break;
            case Bridge::Epoll:
                pid_ = reference_bridges::StartPosix(device, reference_bridges::Wait::Epoll);
                break;
            case Bridge::QtGlib:
            case Bridge::QtUnix:
                pid_ = reference_bridges::StartQt(device, bridge == Bridge::QtGlib);
                break;
            case Bridge::Ola:
                ola_.emplace(device);
                break;
        }
    }
    ~RunningBridge() {
        if (pid_ > 0) StopHost(pid_);
    }
    RunningBridge(const RunningBridge&) = delete;
    RunningBridge& operator=(const RunningBridge&) = delete;

private:
    pid_t pid_ = -1;
    std::optional<ola_bridge::Ola> ola_;
};

bool SendModeRun(const VethRig& rig, const std::string& name, double rate, int packets, Bridge bridge,
                 const std::string& baselineHost) {
    prowidget::Simulator sim;
    std::optional<RunningBridge> running;
    try {
        running.emplace(bridge, sim.DevicePath(), baselineHost);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", name.c_str(), failure.what());
        return false;
    }
    std::vector<std::uint8_t> (*const packet)(std::uint16_t) =
        bridge == Bridge::Sacn ? +[](std::uint16_t number) { return SacnDmx(number); }
                               : +[](std::uint16_t number) { return ArtDmx(number); };
    const std::uint16_t port = bridge == Bridge::Sacn ? kSacnPort : 6454;
    // The bridge is ready once a packet comes through.
    const auto readyBy = Clock::now() + 30s;
    while (sim.FrameCount(kOutputLabel) == 0 && Clock::now() < readyBy) {
        rig.Send(packet(0xFFFF), port);
        std::this_thread::sleep_for(100ms);
    }
    if (sim.FrameCount(kOutputLabel) == 0) {
        std::fprintf(stderr, "%s: the bridge did not bridge within 30 s\n", name.c_str());
        return false;
    }
    std::this_thread::sleep_for(500ms);
    sim.TakeFrames();
    const std::size_t framesBefore = sim.FrameCount(kOutputLabel);

    Figure(name + ".load", LoadAverage(), "load");
    const auto sentAt =
        SendPaced(packets, rate, packet, [&](const auto& datagram) { rig.Send(datagram, port); });
    sim.WaitForFrames(kOutputLabel, framesBefore + static_cast<std::size_t>(packets), 3s);
    running.reset();

    LatencyFigures(name, FrameLatencies<std::micro>(sim.TakeFrames(), kOutputLabel, sentAt),
                   static_cast<std::size_t>(packets));
    return true;
}

// ArtDmx datagrams on lo as they pass, by the number their channels 1 and 2 carry.
class LoopbackCapture {
public:
    explicit LoopbackCapture(std::size_t numbers) : arrivals_(numbers) {
        fd_ = socket(AF_PACKET, SOCK_DGRAM, htons(ETH_P_IP));
        sockaddr_ll lo{};
        lo.sll_family = AF_PACKET;
        lo.sll_protocol = htons(ETH_P_IP);
        lo.sll_ifindex = static_cast<int>(if_nametoindex("lo"));
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&lo), sizeof lo) != 0)
            throw std::runtime_error("packet capture on lo (run as root)");
        timeval wait{0, 100000};
        setsockopt(fd_, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
        thread_ = std::thread([this] { Run(); });
    }
    ~LoopbackCapture() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        close(fd_);
    }
    // Arrival times; a number never seen keeps the epoch.
    std::vector<Clock::time_point> Arrivals() {
        stop_ = true;
        if (thread_.joinable()) thread_.join();
        return arrivals_;
    }

private:
    void Run() {
        std::uint8_t packet[2048];
        while (!stop_) {
            sockaddr_ll from{};
            socklen_t length = sizeof from;
            const ssize_t got =
                recvfrom(fd_, packet, sizeof packet, 0, reinterpret_cast<sockaddr*>(&from), &length);
            const auto at = Clock::now();
            if (got < 20 || from.sll_pkttype == PACKET_OUTGOING || packet[9] != IPPROTO_UDP) continue;
            const std::size_t udp = static_cast<std::size_t>(packet[0] & 0x0F) * 4;
            const std::uint8_t* art = packet + udp + 8;
            if (static_cast<std::size_t>(got) < udp + 8 + 530 ||
                (packet[udp + 2] << 8 | packet[udp + 3]) != 6454 || std::memcmp(art, "Art-Net", 8) != 0 ||
                art[9] != 0x50 || art[14] != kUniverse)
                continue;
            const std::size_t number = art[18] | art[19] << 8;
            if (number < arrivals_.size() && arrivals_[number] == Clock::time_point{}) arrivals_[number] = at;
        }
    }

    int fd_ = -1;
    std::vector<Clock::time_point> arrivals_;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// A received-DMX report whose channels 1 and 2 carry its number.
std::vector<std::uint8_t> Report(std::uint16_t number) {
    std::vector<std::uint8_t> frame{0x7E, 0x05, 0x02, 0x02, 0x00, 0x00};
    for (int channel = 1; channel <= 512; ++channel)
        frame.push_back(static_cast<std::uint8_t>(number + channel));
    frame[6] = static_cast<std::uint8_t>(number & 0xFF);
    frame[7] = static_cast<std::uint8_t>(number >> 8);
    frame.push_back(0xE7);
    return frame;
}

bool ReceiveModeRun(const std::string& name, double rate, int reports) {
    prowidget::Simulator sim;
    sim.SetReportRate(0);  // the bench writes the reports itself, so that it knows when each left
    // Held to lo, where the capture sees what it broadcasts.
    const pid_t host =
        StartHost({"--port", "1", "--mode", "receive", "--universe", "3"}, sim.DevicePath(), false, "", "lo");
    const auto readyBy = Clock::now() + 30s;
    while (!sim.InReceiveMode() && Clock::now() < readyBy) std::this_thread::sleep_for(50ms);
    if (!sim.InReceiveMode()) {
        std::fprintf(stderr, "%s: the host did not ask for receive mode within 30 s\n", name.c_str());
        StopHost(host);
        return false;
    }
    std::this_thread::sleep_for(500ms);
    LoopbackCapture capture(static_cast<std::size_t>(reports));
    const auto sentAt = SendPaced(reports, rate, Report, [&](auto report) { sim.Send(std::move(report)); });
    std::this_thread::sleep_for(500ms);
    const auto arrivals = capture.Arrivals();
    StopHost(host);
    std::vector<double> latencies;
    for (std::size_t number = 0; number < arrivals.size(); ++number)
        if (arrivals[number] != Clock::time_point{})
            latencies.push_back(
                std::chrono::duration<double, std::micro>(arrivals[number] - sentAt[number]).count());
    LatencyFigures(name, std::move(latencies), static_cast<std::size_t>(reports));
    return true;
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    for (int index = 1; index < argc; ++index) {
        const std::string option = argv[index];
        auto count = [&] { return index + 1 < argc ? std::atoi(argv[++index]) : 0; };
        if (option == "--packets-44")
            options.packets44 = count();
        else if (option == "--packets-1000")
            options.packets1000 = count();
        else if (option == "--reports")
            options.reports = count();
        else if (option == "--lean")
            options.lean = true;
        else if (option == "--baseline-host" && index + 1 < argc)
            options.baselineHost = argv[++index];
        else if (option == "--bridges" && index + 1 < argc) {
            std::stringstream names(argv[++index]);
            for (std::string name; std::getline(names, name, ',');) options.bridges.push_back(name);
        } else
            throw std::invalid_argument("unknown option " + option);
    }
    return options;
}

// The host and its references; the visible window where there is a display.
std::vector<BridgeKind> ChosenBridges(const Options& options) {
    std::vector<BridgeKind> chosen;
    for (const BridgeKind& kind : kBridges) {
        const std::string name = kind.name;
        bool wanted = false;
        if (!options.bridges.empty())
            wanted = std::find(options.bridges.begin(), options.bridges.end(), name) != options.bridges.end();
        else if (kind.bridge == Bridge::Ola)
            wanted = ola_bridge::Installed();
        else if (kind.bridge == Bridge::Lean)
            wanted = options.lean;
        else if (kind.bridge == Bridge::Baseline)
            wanted = !options.baselineHost.empty();
        else if (kind.bridge == Bridge::HostVisible)
            wanted = HasDisplay();
        else
            wanted = kind.bridge != Bridge::QtUnix;
        if (wanted) chosen.push_back(kind);
    }
    return chosen;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], reference_bridges::kQtBridgeOption) == 0)
        return reference_bridges::RunQtBridge(argc, argv);
    try {
        const Options options = ParseOptions(argc, argv);
        if (!std::filesystem::exists(BuildFolder() / "vantor-host"))
            throw std::runtime_error("vantor-host is missing: build it first");
        const auto bridges = ChosenBridges(options);
        const VethRig rig;
        bool ok = true;
        // Each rate runs every bridge in turn, so that they share the machine's load of the moment.
        for (const auto& [rate, packets] : {std::pair{44, options.packets44}, {1000, options.packets1000}}) {
            if (packets <= 0) continue;
            for (const BridgeKind& kind : bridges)
                ok = SendModeRun(rig,
                                 "latency." + std::string(kind.figure) + "_" + std::to_string(rate) + "hz" +
                                     kind.suffix,
                                 rate, packets, kind.bridge, options.baselineHost) &&
                     ok;
        }
        if (options.reports > 0) ok = ReceiveModeRun("latency.receive_40hz", 40, options.reports) && ok;
        return ok ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_artnet_latency: %s\n", failure.what());
        return 1;
    }
}
