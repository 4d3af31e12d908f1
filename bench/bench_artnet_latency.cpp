// Bridging latency through vantor-host, end to end:
// - Art-Net to DMX: from an ArtDmx leaving a sender in another network namespace, over a veth pair, to the
//   matching 518-byte frame arriving on the simulated widget's pseudo-terminal (send mode), at 44 Hz and at
//   1,000 packets a second; with DISPLAY set (xvfb-run -a), once more with the window visible and its output
//   monitor running;
// - sACN to DMX: the same from an E1.31 data packet (vantor-host --protocol sacn), at both rates, in the same
//   run as Art-Net's figures to read them against;
// - DMX to Art-Net: from a received-DMX report written to the pty to the ArtDmx the node broadcasts on lo
//   (receive mode), at 40 reports a second;
// - with --lean, the same Art-Net to DMX rig with a bridge that does nothing but a blocking receive and a
//   write: the floor of the rig itself.
// Each run starts its own host. Needs root for the namespaces.
//
//   bench/bench_artnet_latency [--packets-44 N] [--packets-1000 N] [--reports N] [--lean]
//                              (default 4000, 10000, 1000)

#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <netinet/in.h>
#include <termios.h>

#include <atomic>
#include <thread>

#include "bench_rig.h"
#include "paced_latency.h"
#include "prowidget_sim.h"

namespace {

using namespace bench_rig;
using namespace paced_latency;
using namespace std::chrono_literals;

struct Options {
    int packets44 = 4000;
    int packets1000 = 10000;
    int reports = 1000;
    bool lean = false;
};

// The reference: a bridge that blocks in recv and writes the frame, nothing else.
pid_t StartLeanBridge(const std::string& device) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const int socketFd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(6454);
    if (bind(socketFd, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) _exit(1);
    const int tty = open(device.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(tty, &raw);
    cfmakeraw(&raw);
    tcsetattr(tty, TCSANOW, &raw);
    std::uint8_t frame[518] = {0x7E, kOutputLabel, 0x01, 0x02, 0x00};
    frame[517] = 0xE7;
    std::uint8_t datagram[2048];
    for (;;) {
        const ssize_t got = recv(socketFd, datagram, sizeof datagram, 0);
        if (got < 530 || std::memcmp(datagram, "Art-Net", 8) != 0 || datagram[9] != 0x50 ||
            datagram[14] != kUniverse)
            continue;
        std::memcpy(frame + 5, datagram + 18, 512);
        if (write(tty, frame, sizeof frame) < 0) _exit(1);
    }
}

enum class Bridge { Lean, ArtNet, Sacn };

bool SendModeRun(const VethRig& rig, const std::string& name, double rate, int packets, bool visible,
                 Bridge bridge) {
    prowidget::Simulator sim;
    std::vector<std::string> arguments{"--port", "1", "--mode", "send", "--universe", "3"};
    if (bridge == Bridge::Sacn) arguments.insert(arguments.end(), {"--protocol", "sacn"});
    const pid_t host = bridge == Bridge::Lean ? StartLeanBridge(sim.DevicePath())
                                              : StartHost(arguments, sim.DevicePath(), visible);
    std::vector<std::uint8_t> (*const packet)(std::uint16_t) =
        bridge == Bridge::Sacn ? +[](std::uint16_t number) { return SacnDmx(number); } : ArtDmx;
    const std::uint16_t port = bridge == Bridge::Sacn ? kSacnPort : 6454;
    // The host is ready once a packet comes through.
    const auto readyBy = Clock::now() + 30s;
    while (sim.FrameCount(kOutputLabel) == 0 && Clock::now() < readyBy) {
        rig.Send(packet(0xFFFF), port);
        std::this_thread::sleep_for(100ms);
    }
    if (sim.FrameCount(kOutputLabel) == 0) {
        std::fprintf(stderr, "%s: the host did not bridge within 30 s\n", name.c_str());
        StopHost(host);
        return false;
    }
    std::this_thread::sleep_for(500ms);
    sim.TakeFrames();
    const std::size_t framesBefore = sim.FrameCount(kOutputLabel);

    const auto sentAt =
        SendPaced(packets, rate, packet, [&](const auto& datagram) { rig.Send(datagram, port); });
    sim.WaitForFrames(kOutputLabel, framesBefore + static_cast<std::size_t>(packets), 3s);
    StopHost(host);

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
    const pid_t host =
        StartHost({"--port", "1", "--mode", "receive", "--universe", "3"}, sim.DevicePath(), false);
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
        else
            throw std::invalid_argument("unknown option " + option);
    }
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = ParseOptions(argc, argv);
        if (!std::filesystem::exists(BuildFolder() / "vantor-host"))
            throw std::runtime_error("vantor-host is missing: build it first");
        const VethRig rig;
        bool ok = true;
        const bool visible = HasDisplay();
        // Each rate's runs one after the other, so that the bridges meet about the same load on the machine.
        for (const auto& [rate, packets] :
             {std::pair{44, options.packets44}, std::pair{1000, options.packets1000}}) {
            if (packets <= 0) continue;
            for (const Bridge bridge : {Bridge::Lean, Bridge::ArtNet, Bridge::Sacn}) {
                if (bridge == Bridge::Lean && !options.lean) continue;
                const std::string kind = bridge == Bridge::Lean   ? "lean_bridge"
                                         : bridge == Bridge::Sacn ? "sacn"
                                                                  : "send";
                const std::string name = "latency." + kind + "_" + std::to_string(rate) + "hz";
                ok = SendModeRun(rig, name, rate, packets, false, bridge) && ok;
            }
        }
        if (visible && options.packets44 > 0)
            ok = SendModeRun(rig, "latency.send_44hz_visible", 44, options.packets44, true, Bridge::ArtNet) &&
                 ok;
        if (visible && options.packets1000 > 0)
            ok = SendModeRun(rig, "latency.send_1000hz_visible", 1000, options.packets1000, true,
                             Bridge::ArtNet) &&
                 ok;
        if (options.reports > 0) ok = ReceiveModeRun("latency.receive_40hz", 40, options.reports) && ok;
        return ok ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_artnet_latency: %s\n", failure.what());
        return 1;
    }
}
