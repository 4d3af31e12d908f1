// vantor-host: a stand-in lighting host that drives the plug-in through its C interface only.

#include <algorithm>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <optional>

#include "console.h"
#include "host_options.h"
#include "interface_watch.h"
#include "line_reader.h"
#include "plugin_library.h"
#include "port_listing.h"
#include "port_watch.h"
#include "progress_bar.h"
#include "prowidget_sim.h"
#include "reconnect.h"
#include "sacn_status_text.h"
#include "sim_summary.h"
#include "status_line.h"

namespace {

volatile std::sig_atomic_t stopRequested = 0;
void RequestStop(int) {
    stopRequested = 1;
}

// Between two slices of the plug-in's event loop the host reads its standard input, looks at its stop request
// and updates the status line and the reconnect watch. Without input to read, a longer slice wakes the
// process less; a stop then takes up to that long.
constexpr int kInputSliceMs = 20;
constexpr int kIdleSliceMs = 250;

// The helper object a host hands to init; this host only counts references.
struct CountingHelper {
    vantor_host_helper base{&AddRef, &Release};
    int references = 0;
    static void AddRef(vantor_host_helper* self) { ++reinterpret_cast<CountingHelper*>(self)->references; }
    static void Release(vantor_host_helper* self) { --reinterpret_cast<CountingHelper*>(self)->references; }
};

class HostFailure : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
// One that a new start would meet again: the service does not restart the bridge for it.
class LastingFailure : public HostFailure {
public:
    using HostFailure::HostFailure;
    static constexpr int kExitStatus = 69;  // EX_UNAVAILABLE
};

template <class Failure = HostFailure>
void Check(const PluginLibrary& api, vantor_status status, const std::string& what) {
    if (status != VANTOR_S_OK) throw Failure(what + " failed: " + api.last_error());
}

void SetLevel(const PluginLibrary& api, vantor_driver* driver, std::pair<int, int> level) {
    std::int32_t channel = level.first, value = level.second;
    vantor_bool stored = VANTOR_FALSE;
    Check(api, api.SetChannel(driver, &channel, &value, &stored), "SetChannel");
}

bool IsHeadlessRun(const HostOptions& options) {
    const char* display = std::getenv("DISPLAY");
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    return options.headless || ((!display || !*display) && (!wayland || !*wayland));
}

// The plug-in reads its settings from the environment when it loads.
void PassSettingsToPlugin(const HostOptions& options) {
    if (IsHeadlessRun(options)) {
        setenv("VANTOR_HEADLESS", "1", 1);
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    }
    if (options.artNetInterface) setenv("VANTOR_ARTNET_INTERFACE", options.artNetInterface->c_str(), 1);
    if (options.devices && !options.devices->empty())
        setenv("VANTOR_SERIAL_PORTS", options.devices->c_str(), 1);
}

vantor_bridge_status BridgeStatus(const PluginLibrary& api) {
    vantor_bridge_status status{};
    Check(api, api.get_bridge_status(&status), "reading the bridge's status");
    return status;
}

bool UpdateFirmware(const PluginLibrary& api, const std::string& file, Console& console) {
    ProgressBar progress(console);
    progress.Start(file);
    Check(api, api.set_status_listener(&ProgressBar::Listener, &progress), "following the update");
    vantor_bool updated = VANTOR_FALSE;
    const vantor_status outcome = api.update_firmware(file.c_str(), &updated);
    api.set_status_listener(nullptr, nullptr);
    Check(api, outcome, "firmware update");
    progress.Finish(updated != VANTOR_FALSE, BridgeStatus(api).last_message);
    return updated != VANTOR_FALSE;
}

// Runs until Ctrl-C, SIGTERM, the end of --duration or a change of the Art-Net interface's address: the
// plug-in's events, levels from standard input, the reconnect and interface watches and the status line.
// Returns the exit status.
int RunBridge(const PluginLibrary& api, vantor_driver* driver, const HostOptions& options,
              std::optional<InterfaceWatch>& network, Console& console) {
    std::optional<Reconnector> reconnector;
    if (options.reconnect)
        reconnector.emplace(api, driver, console, *options.port, options.sendMode.has_value());
    const std::string device = options.port ? api.DevicePathOf(*options.port) : std::string();
    StatusLine statusLine(console, options.port.value_or(0), device, reconnector.has_value());
    Check(api, api.set_status_listener(&StatusLine::StatusTextListener, &statusLine), "following the status");

    std::signal(SIGINT, RequestStop);
    std::signal(SIGTERM, RequestStop);
    if (!options.durationSeconds) std::cerr << "vantor-host: running; Ctrl-C stops\n";
    LineReader input(0);
    const auto started = std::chrono::steady_clock::now();
    int exitStatus = 0;
    while (!stopRequested) {
        const auto now = std::chrono::steady_clock::now();
        int sliceMs = options.readStdin ? kInputSliceMs : kIdleSliceMs;
        if (options.durationSeconds) {
            const std::chrono::duration<double, std::milli> left =
                std::chrono::duration<double>(*options.durationSeconds) - (now - started);
            if (left.count() <= 0) break;
            sliceMs = std::min(sliceMs, static_cast<int>(std::ceil(left.count())));
        }
        // The watch looks before the slice, so that it sees the bridge as set up before anything can happen.
        const vantor_bridge_status status = BridgeStatus(api);
        if (reconnector) {
            reconnector->Poll(status, now);
            statusLine.SetWaiting(reconnector->Waiting());
            statusLine.SetPort(reconnector->Port(), reconnector->Device());
        }
        if (network && !network->Unchanged(now)) {
            exitStatus = InterfaceWatch::kExitForRestart;
            break;
        }
        if (options.sacn) {
            const vantor_sacn_status sacn = api.SacnStatus();
            // In receive mode the bridge is a source itself: what it sends is what counts.
            const std::optional<SacnSent> sent =
                status.send_mode != VANTOR_FALSE ? std::nullopt : std::optional(api.SacnSentCounts());
            statusLine.SetSacn(SacnStatusText(sacn, sent, api.sacn_ignored_name, true),
                               SacnStatusText(sacn, sent, api.sacn_ignored_name, false));
        }
        statusLine.SetDroppedDatagrams(api.DropCounts());
        statusLine.Update(status, api.ReceiveCounts(), now);
        Check(api, api.process_events(sliceMs), "processing events");
        if (!options.readStdin) continue;
        for (const std::string& line : input.ReadAvailable()) {
            if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#') continue;
            try {
                SetLevel(api, driver, ParseLevel(line, ' '));
            } catch (const UsageError& bad) {
                console.Warn("ignored input line '" + line + "': " + bad.what());
            }
        }
    }
    api.set_status_listener(nullptr, nullptr);
    console.Finish();
    return exitStatus;
}

int Run(const HostOptions& options) {
    PassSettingsToPlugin(options);
    Console console(stdout, options.quiet);
    // A bridge that starts before its network waits for it: the node takes its address only at start-up.
    std::optional<InterfaceWatch> network;
    if (options.artNetInterface && !options.listPorts && !options.firmwareFile) {
        network.emplace(*options.artNetInterface, console);
        std::signal(SIGINT, RequestStop);
        std::signal(SIGTERM, RequestStop);
        const auto stop = [] { return stopRequested != 0; };
        if (!network->WaitUntilReady(stop)) return 0;
        if (!PortWatch(BridgePorts(options.sacn), console).WaitUntilFree(stop)) return 0;
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
    }
    console.PrepareForPluginLog();
    // The simulated widget must be port 1 before the plug-in scans its ports.
    std::unique_ptr<prowidget::Simulator> simulator;
    if (options.simulateWidget) {
        simulator = std::make_unique<prowidget::Simulator>();
        setenv("VANTOR_SERIAL_PORTS", simulator->DevicePath().c_str(), 1);
        std::cerr << "vantor-host: simulated widget on " << simulator->DevicePath() << " (serial port 1)\n";
    }

    const std::string pluginPath =
        options.pluginPath.empty() ? PluginLibrary::DefaultPath() : options.pluginPath;
    const PluginLibrary api = PluginLibrary::Load(pluginPath);
    vantor_driver* driver = nullptr;
    Check(api, api.driver_create(&driver), "creating the driver");

    CountingHelper helper;
    char title[] = "vantor-host";
    std::string filenameText = pluginPath;
    char* titlePointer = title;
    char* filenamePointer = filenameText.data();
    vantor_host_helper* helperPointer = &helper.base;
    vantor_bool result = VANTOR_FALSE;
    Check(api, api.init(driver, &titlePointer, &filenamePointer, &helperPointer, &result), "init");
    auto finish = [&](int exitCode) {
        api.Term(driver, &result);
        api.driver_release(driver);
        return exitCode;
    };

    if (options.listPorts) {
        ListPorts(api, std::cout);
        return finish(0);
    }
    if (options.port) {
        vantor_bool opened = VANTOR_FALSE;
        Check(api, api.select_port(*options.port, &opened), "choosing the port");
        // With --reconnect a widget not plugged in yet is waited for.
        if (!opened && !options.reconnect)
            throw HostFailure("port " + std::to_string(*options.port) + " did not open");
    }
    if (options.sendMode)
        Check(api, api.set_bridge_mode(*options.sendMode ? VANTOR_TRUE : VANTOR_FALSE), "mode");
    // A port that another program holds was waited for: what is left fails again on every start.
    if (options.sacn) Check<LastingFailure>(api, api.set_protocol(VANTOR_PROTOCOL_SACN), "choosing sACN");
    if (options.priority) Check(api, api.set_sacn_priority(*options.priority), "sACN priority");
    if (options.ttl) Check(api, api.set_sacn_ttl(*options.ttl), "sACN TTL");
    if (options.universe) Check(api, api.set_universe(*options.universe), "universe");
    for (const auto& level : options.levels) SetLevel(api, driver, level);

    if (options.firmwareFile) return finish(UpdateFirmware(api, *options.firmwareFile, console) ? 0 : 1);

    if (options.enable) Check(api, api.Enable(driver, &result), "Enable");
    const SimWatch watch(simulator.get());
    const int status = RunBridge(api, driver, options, network, console);
    if (simulator) std::cout << watch.Summary();
    return finish(status);
}

}  // namespace

int main(int argc, char** argv) {
    HostOptions options;
    try {
        options = ParseHostOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& bad) {
        std::cerr << "vantor-host: " << bad.what() << " (see --help)\n";
        return 2;
    }
    if (options.help) {
        std::cout << HostUsage();
        return 0;
    }
    try {
        return Run(options);
    } catch (const std::exception& failure) {
        std::cerr << "vantor-host: " << failure.what() << "\n";
        return dynamic_cast<const LastingFailure*>(&failure) ? LastingFailure::kExitStatus : 1;
    }
}
