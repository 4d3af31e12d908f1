// What the node's page costs the daemon: vantor-bridge on four simulated widgets, each port fed ArtDmx at
// 44 Hz over the rig's veth pair (bench_rig.h), first with no browser, then with the page open in headless
// Chromium (tests/web/watch_page.mjs, through the DevTools protocol) on the daemon's loopback. Figures: the
// daemon's CPU share of one core in each period and their difference, and the live feed's level updates and
// status messages a second as the browser received them. Needs root for the namespaces, node and chromium.
//
//   bench/bench_bridge_page [--seconds S]     (default 20 s a period)

#include <cstdio>
#include <cstring>
#include <thread>

#include "bench_bridge_node.h"
#include "node/node_config.h"
#include "paced_latency.h"

namespace {

using namespace bridge_bench;
using namespace paced_latency;

constexpr int kPorts = 4;

// The daemon's CPU share of one core, in % of the period, while `during` runs and the ports are fed.
template <typename During>
double CpuShareWhile(const VethRig& rig, pid_t daemon, double seconds, During during) {
    const double before = CpuSeconds(daemon);
    const auto start = Clock::now();
    std::thread feed([&] {
        SendPacedStreams(
            static_cast<int>(seconds * kRate), kRate, kPorts,
            [](std::uint16_t number, int stream) { return ArtDmx(number, UniverseOf(stream + 1)); },
            [&](int, const std::vector<std::uint8_t>& datagram) { rig.Send(datagram); });
    });
    during();
    feed.join();
    return 100.0 * (CpuSeconds(daemon) - before) /
           std::chrono::duration<double>(Clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    double seconds = 20;
    for (int k = 1; k + 1 < argc; k += 2)
        if (std::strcmp(argv[k], "--seconds") == 0) seconds = std::atof(argv[k + 1]);
    const std::string watcher = std::string(VANTOR_SOURCE_DIR) + "/tests/web/watch_page.mjs";
    if (!std::filesystem::exists("/usr/bin/chromium") ||
        !std::filesystem::exists(std::string(VANTOR_SOURCE_DIR) + "/tests/web/node_modules")) {
        std::fprintf(stderr,
                     "bench_bridge_page: needs /usr/bin/chromium and tests/web/node_modules "
                     "(scripts/setup installs both)\n");
        return 1;
    }
    try {
        const VethRig rig;
        const TempFolder folder;
        prowidget::WidgetRack rack(kPorts, (folder.Path() / "by-id").string());
        BridgeNode node(rack, folder.Path());
        std::vector<int> ports;
        for (int k = 1; k <= kPorts; ++k) ports.push_back(k);
        if (!WaitUntilBridging(rig, rack, ports, 30s, "page")) {
            PrintJournal(node.Journal());
            return 1;
        }
        Figure("page.load", LoadAverage(), "load");
        const double without = CpuShareWhile(rig, node.Pid(), seconds, [] {});
        Figure("page.cpu_no_browser_4x44hz", without, "%");

        // The watcher says "watching" once the page has loaded and its feed runs, then after the period the
        // rates it saw.
        const std::string command = "node '" + watcher +
                                    "' http://127.0.0.1:" + std::to_string(kDefaultWebPort) + "/ " +
                                    std::to_string(seconds);
        FILE* browser = popen(command.c_str(), "r");
        if (!browser) throw std::runtime_error("cannot start " + command);
        char line[512] = {};
        bool watching = false;
        while (!watching && std::fgets(line, sizeof line, browser))
            watching = std::strncmp(line, "watching", 8) == 0;
        if (!watching) {
            pclose(browser);
            throw std::runtime_error("the browser did not open the page");
        }
        double levels = NAN, status = NAN;
        const double with = CpuShareWhile(rig, node.Pid(), seconds, [&] {
            while (std::fgets(line, sizeof line, browser))
                if (std::sscanf(line, "levels_per_second %lf status_per_second %lf", &levels, &status) == 2)
                    break;
        });
        pclose(browser);
        Figure("page.cpu_browser_4x44hz", with, "%");
        Figure("page.cpu_added_4x44hz", with - without, "%");
        Figure("page.level_updates_per_port_per_second", levels / kPorts, "/s");
        Figure("page.status_per_second", status, "/s");
        return std::isnan(levels) ? 1 : 0;
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_bridge_page: %s\n", failure.what());
        return 1;
    }
}
