// What vantor-host costs while it runs: its CPU time as a share of one core, and its peak resident memory, in
// each state a user runs it in. The widget is simulated in the bench process and not counted. The Art-Net
// sender sits in another network namespace, over a veth pair. With DISPLAY set (xvfb-run -a), the window is
// also measured visible, its output monitor showing Art-Net levels that change with every packet. sACN is
// measured merging four sources of equal priority, each at the packet rate.
// Needs root for the namespaces.
//
//   bench/bench_host_cost [--seconds S] [--host PATH]     (default 20 per state; PATH: another build's
//                                                          vantor-host, to measure a change against it)

#include <thread>

#include "bench_rig.h"
#include "prowidget_sim.h"

namespace {

using namespace bench_rig;
using namespace std::chrono_literals;

struct State {
    const char* name;
    std::vector<std::string> arguments;
    bool port = true;
    double artDmxRate = 0;  // packets a second from the sender (from each source, for sACN)
    double reportRate = 0;  // received-DMX reports a second from the widget
    bool visible = false;
    int sacnSources = 0;  // sACN sources, each with its own CID, instead of Art-Net
};

bool Measure(const VethRig& rig, const State& state, double seconds, const std::string& program) {
    prowidget::Simulator sim;
    sim.SetReportRate(state.reportRate);
    const pid_t host = StartHost(state.arguments, state.port ? sim.DevicePath() : "", state.visible, program);
    // Start-up (the port scan's waits, the first parameters request) is not what is measured.
    const auto readyBy = Clock::now() + 30s;
    while (state.port && sim.GetParametersRequests() < 2 && Clock::now() < readyBy)
        std::this_thread::sleep_for(50ms);
    std::this_thread::sleep_for(2s);

    const double cpuBefore = CpuSeconds(host);
    const auto start = Clock::now();
    const auto until =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    if (state.artDmxRate > 0) {
        const auto period = std::chrono::duration_cast<Clock::duration>(
            std::chrono::duration<double>(1.0 / state.artDmxRate));
        for (int number = 0; start + period * number < until; ++number) {
            std::this_thread::sleep_until(start + period * number);
            const auto packetNumber = static_cast<std::uint16_t>(number);
            if (state.sacnSources == 0) rig.Send(ArtDmx(packetNumber));
            for (int source = 0; source < state.sacnSources; ++source)
                rig.Send(SacnDmx(packetNumber, static_cast<std::uint8_t>(source)), kSacnPort);
        }
    }
    std::this_thread::sleep_until(until);
    const double cpu = CpuSeconds(host) - cpuBefore;
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const long peakKiB = StopHost(host);
    if (state.port && sim.GetParametersRequests() < 2) {
        std::fprintf(stderr, "%s: the host never opened the widget's port\n", state.name);
        return false;
    }
    Figure(std::string("cpu.") + state.name, 100.0 * cpu / wall, "%");
    Figure(std::string("rss.") + state.name, static_cast<double>(peakKiB) / 1024.0, "MiB");
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 20;
    std::string host;
    for (int index = 1; index + 1 < argc; index += 2) {
        if (std::string(argv[index]) == "--seconds") seconds = std::atof(argv[index + 1]);
        if (std::string(argv[index]) == "--host") host = argv[index + 1];
    }
    try {
        if (!std::filesystem::exists(BuildFolder() / "vantor-host"))
            throw std::runtime_error("vantor-host is missing: build it first");
        const VethRig rig;
        const std::vector<std::string> send{"--port", "1", "--mode", "send", "--universe", "3"};
        std::vector<State> states{
            {"no_port", {}, false},
            {"idle_widget", {"--port", "1"}},
            {"output_on", {"--port", "1", "--enable"}},
            {"send_44hz", send, true, 44},
            {"receive_40hz", {"--port", "1", "--mode", "receive", "--universe", "3"}, true, 0, 40},
        };
        std::vector<std::string> sacn = send;
        sacn.insert(sacn.end(), {"--protocol", "sacn"});
        states.push_back({"sacn_merge_4x44hz", sacn, true, 44, 0, false, 4});
        if (HasDisplay()) states.push_back({"visible_monitor_44hz", send, true, 44, 0, true});
        bool ok = true;
        for (const State& state : states) ok = Measure(rig, state, seconds, host) && ok;
        return ok ? 0 : 1;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_host_cost: %s\n", failure.what());
        return 1;
    }
}
