// vantor-bridge with several widgets, end to end, on the rig of the latency bench (bench_rig.h):
// - with 1, 4 and 8 simulated widgets (a prowidget::WidgetRack, found by the daemon through its by-id links),
//   each a send-mode Art-Net port on a universe of its own (port k: universe k), fed ArtDmx at 44 Hz from the
//   sender's namespace over the veth pair: the frames each port delivered, latency p50 and p99 per port (from
//   the datagram's sending to the frame on that widget's pty that carries its number), and the whole
//   process's CPU share of one core and peak resident memory ("bridge1", "bridge4", "bridge8");
// - in the same run, the single-widget bridge (vantor-host --headless, "host") on one widget, and OLA driving
//   racks of as many widgets ("ola1", "ola4") where it is installed: not eight, since its Art-Net plug-in
//   bridges four universes at most;
// - the disturbance of the other ports: four widgets at 44 Hz while port 4's widget is unplugged and plugged
//   back, then stalls, then has its firmware updated through the running daemon: the largest gap between
//   consecutive frames on ports 1 to 3 in each of those periods, and in a period without disturbance.
// The ratios the targets are read by come last: each port's p50 over the host's, CPU over the host's, and p99
// over OLA's with as many widgets. Needs root for the namespaces.
//
//   bench/bench_bridge_ports [--packets N] [--widgets 1,4,8] [--no-ola] [--no-disturbance]
//                            [--phase-seconds S]     (default 2000 packets per port, 5 s per period)

#include <atomic>
#include <map>
#include <optional>
#include <sstream>
#include <thread>

#include "bench_bridge_node.h"
#include "bench_rig.h"
#include "ola_bridge.h"
#include "paced_latency.h"
#include "prowidget_sim.h"
#include "widget_rack.h"

namespace {

using namespace bench_rig;
using namespace bridge_bench;
using namespace paced_latency;
using namespace std::chrono_literals;

constexpr int kDisturbedPort = 4;

struct Options {
    int packets = 2000;
    std::vector<int> widgets{1, 4, 8};
    bool ola = true;
    bool disturbance = true;
    double phaseSeconds = 5;
};

enum class Kind { Bridge, Host, Ola };

struct Subject {
    Kind kind;
    int widgets;
    std::string name;  // of its figures
};

// One subject bridging a rack, stopped when this goes.
class RunningSubject {
public:
    RunningSubject(Kind kind, const prowidget::WidgetRack& rack, const std::filesystem::path& folder) {
        switch (kind) {
            case Kind::Bridge:
                bridge_.emplace(rack, folder);
                pid_ = bridge_->Pid();
                break;
            case Kind::Host:
                pid_ =
                    StartHost({"--port", "1", "--mode", "send", "--universe", std::to_string(UniverseOf(1))},
                              rack.DevicePath(1), false);
                break;
            case Kind::Ola: {
                std::vector<ola_bridge::Widget> widgets;
                for (int k = 1; k <= rack.Count(); ++k)
                    widgets.push_back({rack.DevicePath(k), UniverseOf(k),
                                       prowidget::SerialNumberText(rack.SerialNumber(k))});
                ola_.emplace(widgets);
                pid_ = ola_->Pid();
                break;
            }
        }
    }
    ~RunningSubject() { Stop(); }
    RunningSubject(const RunningSubject&) = delete;
    RunningSubject& operator=(const RunningSubject&) = delete;

    pid_t Pid() const { return pid_; }
    std::string Journal() const { return bridge_ ? bridge_->Journal() : ""; }
    std::string Status() const { return bridge_ ? bridge_->Status() : ""; }

    // Peak resident memory in KiB.
    long Stop() {
        long peakKiB = 0;
        if (bridge_)
            peakKiB = bridge_->Stop();
        else if (ola_)
            peakKiB = ola_->Stop();
        else if (pid_ > 0)
            peakKiB = StopHost(pid_);
        pid_ = -1;
        return peakKiB;
    }

private:
    pid_t pid_ = -1;
    std::optional<BridgeNode> bridge_;
    std::optional<ola_bridge::Ola> ola_;
};

// What the ratios are read from.
struct Measured {
    double p50 = NAN;
    double p99 = NAN;
    double worstPortP50 = NAN;
    double worstPortP99 = NAN;
    double cpu = NAN;
};

std::optional<Measured> LatencyRun(const VethRig& rig, const Subject& subject, int packets) {
    const TempFolder folder;
    prowidget::WidgetRack rack(subject.widgets, (folder.Path() / "by-id").string());
    std::optional<RunningSubject> running;
    try {
        running.emplace(subject.kind, rack, folder.Path());
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "%s: %s\n", subject.name.c_str(), failure.what());
        return std::nullopt;
    }
    const std::vector<int> ports = PortsUpTo(subject.widgets);
    if (!WaitUntilBridging(rig, rack, ports, 30s, subject.name)) {
        PrintJournal(running->Journal());
        return std::nullopt;
    }
    std::this_thread::sleep_for(500ms);
    std::vector<std::size_t> framesBefore;
    for (int k : ports) {
        rack.Widget(k).TakeFrames();
        framesBefore.push_back(rack.Widget(k).FrameCount(kOutputLabel));
    }

    const std::string name = "latency." + subject.name + "_44hz";
    Figure(name + ".load", LoadAverage(), "load");
    const double cpuBefore = CpuSeconds(running->Pid());
    const auto start = Clock::now();
    const auto sentAt = SendPacedStreams(
        packets, kRate, subject.widgets,
        [](std::uint16_t number, int stream) { return ArtDmx(number, UniverseOf(stream + 1)); },
        [&](int, const std::vector<std::uint8_t>& datagram) { rig.Send(datagram); });
    const double cpu = CpuSeconds(running->Pid()) - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    for (int k : ports)
        rack.Widget(k).WaitForFrames(
            kOutputLabel, framesBefore[static_cast<std::size_t>(k - 1)] + static_cast<std::size_t>(packets),
            3s);
    const std::string status = running->Status();
    const long peakKiB = running->Stop();

    Measured measured;
    std::vector<double> all, portP50, portP99;
    for (int k : ports) {
        auto latencies = FrameLatencies<std::micro>(rack.Widget(k).TakeFrames(), kOutputLabel,
                                                    sentAt[static_cast<std::size_t>(k - 1)]);
        std::sort(latencies.begin(), latencies.end());
        const std::string port = name + ".port" + std::to_string(k);
        portP50.push_back(Percentile(latencies, 0.50) / 1000);
        portP99.push_back(Percentile(latencies, 0.99) / 1000);
        Figure(port + ".p50", portP50.back(), "ms");
        Figure(port + ".p99", portP99.back(), "ms");
        Figure(port + ".delivered", static_cast<double>(latencies.size()), "frames");
        all.insert(all.end(), latencies.begin(), latencies.end());
    }
    std::sort(all.begin(), all.end());
    measured.p50 = Percentile(all, 0.50) / 1000;
    measured.p99 = Percentile(all, 0.99) / 1000;
    LatencyFigures(name, all, static_cast<std::size_t>(packets) * ports.size());
    if (all.size() < static_cast<std::size_t>(packets) * ports.size() && !status.empty())
        std::fprintf(stderr, "%s lost frames; its status then:\n%s", subject.name.c_str(), status.c_str());
    measured.worstPortP50 = *std::max_element(portP50.begin(), portP50.end());
    measured.worstPortP99 = *std::max_element(portP99.begin(), portP99.end());
    Figure(name + ".worst_port.p50", measured.worstPortP50, "ms");
    Figure(name + ".worst_port.p99", measured.worstPortP99, "ms");
    measured.cpu = 100.0 * cpu / wall;
    Figure("cpu." + subject.name + "_44hz", measured.cpu, "%");
    Figure("rss." + subject.name + "_44hz", static_cast<double>(peakKiB) / 1024.0, "MiB");
    return measured;
}

// A stretch of the disturbance run, by the time it took.
struct Period {
    std::string name;
    Clock::time_point from;
    Clock::time_point to;
};

// The largest gap between consecutive output frames whose later frame came within the period, in ms, when
// that frame came, and how far apart the two frames' datagrams were sent: the sender's own share of the gap.
struct Gap {
    double ms = 0;
    Clock::time_point at{};
    double sentApartMs = 0;
};

Gap LargestGap(const std::vector<prowidget::Frame>& frames, const Period& period,
               const std::vector<Clock::time_point>& sentAt) {
    const auto sent = [&](const prowidget::Frame& frame) {
        const std::size_t number =
            frame.data.size() == 513 ? frame.data[1] | frame.data[2] << 8 : sentAt.size();
        return number < sentAt.size() ? sentAt[number] : frame.at;
    };
    Gap largest;
    const prowidget::Frame* previous = nullptr;
    for (const auto& frame : frames) {
        if (frame.label != kOutputLabel) continue;
        const double ms =
            previous ? std::chrono::duration<double, std::milli>(frame.at - previous->at).count() : 0;
        if (frame.at >= period.from && frame.at <= period.to && ms > largest.ms)
            largest = {ms, frame.at,
                       std::chrono::duration<double, std::milli>(sent(frame) - sent(*previous)).count()};
        previous = &frame;
    }
    return largest;
}

std::string WriteFirmwareImage(const std::filesystem::path& folder) {
    const std::string path = (folder / "firmware.bin").string();
    std::ofstream out(path, std::ios::binary);
    for (int i = 0; i < 6144; ++i) out.put(static_cast<char>(i * 7));
    return path;
}

// Port 4's widget brought back after a disturbance: its frames come again.
bool Back(const VethRig& rig, prowidget::WidgetRack& rack, const std::string& what) {
    return WaitUntilBridging(rig, rack, {kDisturbedPort}, 20s, "disturbance, after " + what);
}

bool DisturbanceRun(const VethRig& rig, double phaseSeconds) {
    const TempFolder folder;
    const std::string image = WriteFirmwareImage(folder.Path());
    prowidget::WidgetRack rack(4, (folder.Path() / "by-id").string());
    BridgeNode node(rack, folder.Path());
    if (!WaitUntilBridging(rig, rack, PortsUpTo(4), 30s, "disturbance")) {
        PrintJournal(node.Journal());
        return false;
    }
    Figure("gap.load", LoadAverage(), "load");
    // Every port at 44 Hz throughout, as a console sends; the numbers tell lost frames.
    std::atomic<bool> stop{false};
    std::atomic<int> sent{0};
    // When each round went, by its number; read once the sender has stopped.
    std::vector<Clock::time_point> sentAt(0x10000);
    std::thread sender([&] {
        const auto period =
            std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(1.0 / kRate));
        const auto start = Clock::now();
        for (int number = 0; !stop; ++number) {
            std::this_thread::sleep_until(start + period * number);
            sentAt[static_cast<std::size_t>(number) % sentAt.size()] = Clock::now();
            for (int k = 1; k <= 4; ++k) rig.Send(ArtDmx(static_cast<std::uint16_t>(number), UniverseOf(k)));
            sent = number + 1;
        }
    });
    // Stopped however the run ends.
    struct Joiner {
        std::atomic<bool>& stop;
        std::thread& thread;
        ~Joiner() {
            stop = true;
            if (thread.joinable()) thread.join();
        }
    } joiner{stop, sender};
    const auto hold =
        std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(phaseSeconds));
    std::this_thread::sleep_for(1s);
    const int firstCounted = sent;
    for (int k = 1; k <= 3; ++k) rack.Widget(k).TakeFrames();

    std::vector<Period> periods;
    bool ok = true;
    auto measure = [&](const std::string& name, auto disturb) {
        Period period{name, Clock::now(), {}};
        ok = disturb() && ok;
        std::this_thread::sleep_until(std::max(Clock::now(), period.from + hold));
        period.to = Clock::now();
        periods.push_back(period);
    };
    measure("baseline", [] { return true; });
    measure("unplug_plug", [&] {
        rack.Unplug(kDisturbedPort);
        std::this_thread::sleep_for(1s);
        rack.Plug(kDisturbedPort);
        return Back(rig, rack, "its re-plug");
    });
    // A widget that stops reading: the link's writes time out; then it is plugged back to recover.
    measure("stall", [&] {
        rack.Widget(kDisturbedPort).SetStallAfter(0);
        std::this_thread::sleep_for(std::chrono::duration<double>(std::max(3.0, phaseSeconds)));
        rack.Unplug(kDisturbedPort);
        rack.Plug(kDisturbedPort);
        return Back(rig, rack, "its stall");
    });
    measure("firmware_update", [&] {
        const std::size_t before = rack.Widget(kDisturbedPort).ReprogramRequests();
        if (!node.UpdateFirmware(kDisturbedPort, image)) {
            std::fprintf(stderr, "disturbance: the daemon refused the firmware update\n");
            return false;
        }
        prowidget::Simulator& widget = rack.Widget(kDisturbedPort);
        if (!widget.WaitForPages(static_cast<std::size_t>(prowidget::Simulator::kSessionPages), 30s) ||
            widget.ReprogramRequests() == before || widget.FlashedImage().size() != 6144) {
            std::fprintf(stderr, "disturbance: the firmware update did not flash the widget\n");
            return false;
        }
        return Back(rig, rack, "its firmware update");
    });
    stop = true;
    sender.join();
    const int lastCounted = sent;

    double disturbed = 0;
    std::vector<std::vector<prowidget::Frame>> frames;
    for (int k = 1; k <= 3; ++k) frames.push_back(rack.Widget(k).TakeFrames());
    for (const Period& period : periods) {
        Gap gap;
        int port = 0;
        for (int k = 1; k <= 3; ++k)
            if (const Gap portGap = LargestGap(frames[static_cast<std::size_t>(k - 1)], period, sentAt);
                portGap.ms > gap.ms) {
                gap = portGap;
                port = k;
            }
        Figure("gap." + period.name + "_4x44hz", gap.ms, "ms");
        std::fprintf(
            stderr,
            "gap: %s: the largest on port %d, %.2f s into the period; its datagrams went %.1f ms apart\n",
            period.name.c_str(), port, std::chrono::duration<double>(gap.at - period.from).count(),
            gap.sentApartMs);
        if (period.name != "baseline") disturbed = std::max(disturbed, gap.ms);
    }
    Figure("gap.disturbed_4x44hz", disturbed, "ms");
    // Frames sent to ports 1 to 3 while it all happened that never reached their widgets.
    std::size_t lost = 0;
    for (const auto& portFrames : frames) {
        if (lastCounted <= firstCounted + 1) break;
        std::vector<bool> seen(static_cast<std::size_t>(lastCounted));
        for (const auto& frame : portFrames)
            if (frame.label == kOutputLabel && frame.data.size() == 513)
                if (const std::size_t number = frame.data[1] | frame.data[2] << 8; number < seen.size())
                    seen[number] = true;
        lost += static_cast<std::size_t>(std::count(seen.begin() + firstCounted, seen.end() - 1, false));
    }
    Figure("gap.lost_ports_1_3", static_cast<double>(lost), "frames");
    if (!ok) PrintJournal(node.Journal());
    return ok;
}

std::vector<int> Numbers(const std::string& text) {
    std::vector<int> numbers;
    std::stringstream list(text);
    for (std::string item; std::getline(list, item, ',');) numbers.push_back(std::stoi(item));
    return numbers;
}

Options ParseOptions(int argc, char** argv) {
    Options options;
    options.ola = ola_bridge::Installed();
    for (int index = 1; index < argc; ++index) {
        const std::string option = argv[index];
        const bool value = index + 1 < argc;
        if (option == "--packets" && value)
            options.packets = std::atoi(argv[++index]);
        else if (option == "--widgets" && value)
            options.widgets = Numbers(argv[++index]);
        else if (option == "--phase-seconds" && value)
            options.phaseSeconds = std::atof(argv[++index]);
        else if (option == "--no-ola")
            options.ola = false;
        else if (option == "--no-disturbance")
            options.disturbance = false;
        else
            throw std::invalid_argument("unknown option " + option);
    }
    for (int widgets : options.widgets)
        if (widgets < 1 || widgets > 16) throw std::invalid_argument("--widgets: 1 to 16 each");
    return options;
}

}  // namespace

int main(int argc, char** argv) {
    try {
        const Options options = ParseOptions(argc, argv);
        for (const char* program : {"vantor-bridge", "vantor-host"})
            if (!std::filesystem::exists(BuildFolder() / program))
                throw std::runtime_error(std::string(program) + " is missing: build it first");
        const VethRig rig;
        bool ok = true;
        // Each size runs the bridge and OLA in turn, and the host goes first, so that they share the
        // machine's load of the moment.
        std::vector<Subject> subjects{{Kind::Host, 1, "host"}};
        for (int widgets : options.widgets) {
            subjects.push_back({Kind::Bridge, widgets, "bridge" + std::to_string(widgets)});
            if (!options.ola) continue;
            if (static_cast<std::size_t>(widgets) <= ola_bridge::kArtNetInputPorts)
                subjects.push_back({Kind::Ola, widgets, "ola" + std::to_string(widgets)});
            else
                std::fprintf(stderr,
                             "ola%d: not measured: OLA's Art-Net plug-in bridges %zu universes at most\n",
                             widgets, ola_bridge::kArtNetInputPorts);
        }
        std::map<std::string, Measured> measured;
        for (const Subject& subject : subjects) {
            if (auto figures = LatencyRun(rig, subject, options.packets))
                measured[subject.name] = *figures;
            else
                ok = false;
        }
        if (options.disturbance) ok = DisturbanceRun(rig, options.phaseSeconds) && ok;

        // The targets' ratios: the worst port's p50 against the single-widget bridge's, the whole process's
        // CPU against it, and p99 against OLA's with as many widgets.
        const auto host = measured.find("host");
        for (int widgets : options.widgets) {
            const std::string bridge = "bridge" + std::to_string(widgets);
            const auto subject = measured.find(bridge);
            if (subject == measured.end()) continue;
            if (host != measured.end()) {
                Figure("ratio." + bridge + "_vs_host.worst_port_p50",
                       subject->second.worstPortP50 / host->second.p50, "x");
                Figure("ratio." + bridge + "_vs_host.cpu", subject->second.cpu / host->second.cpu, "x");
            }
            if (const auto ola = measured.find("ola" + std::to_string(widgets)); ola != measured.end()) {
                Figure("ratio." + bridge + "_vs_ola.p99", subject->second.p99 / ola->second.p99, "x");
                Figure("ratio." + bridge + "_vs_ola.worst_port_p99",
                       subject->second.worstPortP99 / ola->second.worstPortP99, "x");
            }
        }
        return ok ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_bridge_ports: %s\n", failure.what());
        return 1;
    }
}
