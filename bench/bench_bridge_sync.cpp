// vantor-bridge's synchronous output, end to end, on the rig of the latency bench (bench_rig.h): 8 simulated
// widgets, port k a send-mode port of universe k, in synchronous mode, fed 44 rounds a second from the
// sender's namespace over the veth pair:
// - Art-Net: each round an ArtDmx of a new number to every universe, then one ArtSync;
// - sACN: each round a data packet naming synchronisation address 7000 to every universe's group, then one
//   synchronisation packet to that address's group.
// From the sync's sending to each widget's frame carrying the round's number: p50, p99 and max over all
// ports; and per round the spread from the first port's frame to the last's: p50, p99 and max. Needs root for
// the namespaces.
//
//   bench/bench_bridge_sync [--rounds N]     (default 400 rounds per protocol)

#include <optional>

#include "bench_bridge_node.h"
#include "bench_rig.h"
#include "paced_latency.h"
#include "widget_rack.h"

namespace {

using namespace bench_rig;
using namespace bridge_bench;
using namespace paced_latency;
using namespace std::chrono_literals;

constexpr int kPorts = 8;
constexpr std::uint16_t kSyncAddress = 7000;

using Datagram = std::vector<std::uint8_t>;

struct Protocol {
    const char* name;  // in the node's file and in the figures
    Datagram (*data)(std::uint16_t number, int port);
    Datagram (*sync)(std::uint8_t sequence);
    // Port k's data, or with k 0 the sync.
    void (*send)(const VethRig& rig, int port, const Datagram& datagram);
};

const Protocol kProtocols[] = {
    {"artnet", [](std::uint16_t number, int port) { return ArtDmx(number, UniverseOf(port)); },
     [](std::uint8_t) { return ArtSync(); },
     [](const VethRig& rig, int, const Datagram& datagram) { rig.Send(datagram); }},
    {"sacn",
     [](std::uint16_t number, int port) { return SacnDmx(number, 0, UniverseOf(port), kSyncAddress); },
     [](std::uint8_t sequence) {
         const auto packet = BuildSacnSyncPacket(BenchCid(), sequence, kSyncAddress);
         return Datagram(packet.begin(), packet.end());
     },
     [](const VethRig& rig, int port, const Datagram& datagram) {
         rig.SendToGroup(datagram, SacnGroupOf(port ? UniverseOf(port) : kSyncAddress), kSacnPort);
     }},
};

bool SyncRun(const VethRig& rig, const Protocol& protocol, int rounds) {
    const TempFolder folder;
    prowidget::WidgetRack rack(kPorts, (folder.Path() / "by-id").string());
    BridgeNode node(rack, folder.Path(), protocol.name);
    const std::vector<int> ports = PortsUpTo(kPorts);
    // Numbers above the rounds'; their sACN sequence numbers (100 to 199) never make round 0's look late.
    int attempt = 0;
    const auto nudge = [&](int k) {
        if (k == 1) attempt = (attempt + 1) % 100;
        protocol.send(rig, k, protocol.data(static_cast<std::uint16_t>(0x8000 + 100 + attempt), k));
    };
    if (!WaitUntilBridging(rig, rack, ports, 30s, protocol.name, nudge)) {
        PrintJournal(node.Journal());
        return false;
    }
    // The node joins the sACN sync address's group on the first data naming it: the first sync waits.
    std::this_thread::sleep_for(300ms);
    protocol.send(rig, 0, protocol.sync(0));
    std::this_thread::sleep_for(100ms);
    const auto frameCounts = [&] {
        std::vector<std::size_t> counts;
        for (int k : ports) counts.push_back(rack.Widget(k).FrameCount(kOutputLabel));
        return counts;
    };
    // The figures are of held frames only if a round sent alone waits for its sync.
    const auto unheld = frameCounts();
    for (int k : ports) nudge(k);
    std::this_thread::sleep_for(200ms);
    const bool held = frameCounts() == unheld;
    if (!held) std::fprintf(stderr, "%s: the node wrote a round before its sync\n", protocol.name);
    protocol.send(rig, 0, protocol.sync(1));
    std::this_thread::sleep_for(100ms);
    for (int k : ports) rack.Widget(k).TakeFrames();
    const std::vector<std::size_t> framesBefore = frameCounts();

    const std::string name = std::string("sync.") + protocol.name + "_8x44hz";
    Figure(name + ".load", LoadAverage(), "load");
    // Stream kPorts is the sync, sent right after the round's data.
    const auto sentAt = SendPacedStreams(
        rounds, kRate, kPorts + 1,
        [&](std::uint16_t number, int stream) {
            return stream < kPorts ? protocol.data(number, stream + 1)
                                   : protocol.sync(static_cast<std::uint8_t>(number + 2));
        },
        [&](int stream, const Datagram& datagram) {
            protocol.send(rig, stream < kPorts ? stream + 1 : 0, datagram);
        });
    const auto& syncAt = sentAt.back();
    std::vector<std::vector<std::optional<Clock::time_point>>> arrivals;
    for (int k : ports) {
        prowidget::Simulator& widget = rack.Widget(k);
        widget.WaitForFrames(kOutputLabel,
                             framesBefore[static_cast<std::size_t>(k - 1)] + static_cast<std::size_t>(rounds),
                             3s);
        arrivals.push_back(
            FrameArrivals(widget.TakeFrames(), kOutputLabel, static_cast<std::size_t>(rounds)));
    }

    std::vector<double> latencies, spreads;
    for (std::size_t round = 0; round < syncAt.size(); ++round) {
        std::optional<Clock::time_point> first, last;
        bool whole = true;
        for (const auto& port : arrivals) {
            const auto& at = port[round];
            if (!at) {
                whole = false;
                continue;
            }
            latencies.push_back(std::chrono::duration<double, std::micro>(*at - syncAt[round]).count());
            first = first ? std::min(*first, *at) : *at;
            last = last ? std::max(*last, *at) : *at;
        }
        if (whole) spreads.push_back(std::chrono::duration<double, std::micro>(*last - *first).count());
    }
    LatencyFigures(name, latencies, syncAt.size() * ports.size());
    std::sort(spreads.begin(), spreads.end());
    Figure(name + ".spread_p50", Percentile(spreads, 0.50) / 1000, "ms");
    Figure(name + ".spread_p99", Percentile(spreads, 0.99) / 1000, "ms");
    Figure(name + ".spread_max", spreads.empty() ? NAN : spreads.back() / 1000, "ms");
    if (!held) PrintJournal(node.Journal());
    return held;
}

int ParseRounds(int argc, char** argv) {
    int rounds = 400;
    for (int index = 1; index < argc; ++index) {
        const std::string option = argv[index];
        if (option == "--rounds" && index + 1 < argc)
            rounds = std::atoi(argv[++index]);
        else
            throw std::invalid_argument("unknown option " + option);
    }
    // Numbers from 0x8000 on are the warm-up's.
    if (rounds < 1 || rounds >= 0x8000) throw std::invalid_argument("--rounds: 1 to 32767");
    return rounds;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const int rounds = ParseRounds(argc, argv);
        if (!std::filesystem::exists(BuildFolder() / "vantor-bridge"))
            throw std::runtime_error("vantor-bridge is missing: build it first");
        const VethRig rig;
        bool ok = true;
        for (const Protocol& protocol : kProtocols) ok = SyncRun(rig, protocol, rounds) && ok;
        return ok ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_bridge_sync: %s\n", failure.what());
        return 1;
    }
}
