// vantor-bridge: every USB Pro widget listed in its configuration file served as a port of its own, on one
// Art-Net and one sACN socket, on one thread of events (each widget link on a thread of its own).
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <csignal>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "bridge_options.h"
#include "console.h"
#include "interface_watch.h"
#include "list_ports.h"
#include "node/config_file.h"
#include "node/device_locator.h"
#include "node/node.h"
#include "node/status_table.h"
#include "node_identity.h"
#include "node_sockets.h"
#include "platform/qt/qt_udp_socket.h"
#include "port_watch.h"
#include "prowidget_sim.h"
#include "status_screen.h"
#include "status_service.h"
#include "stuff/socket_error.h"
#include "widget_rack.h"

namespace {

constexpr int kExitUsage = 2;
constexpr int kExitUnavailable = 69;
constexpr std::chrono::milliseconds kTickEvery{50};
constexpr std::chrono::milliseconds kTableEvery{1000};

int signalPipe[2] = {-1, -1};
volatile std::sig_atomic_t stopRequested = 0;

void OnSignal(int number) {
    if (number != SIGHUP) stopRequested = 1;
    const unsigned char byte = static_cast<unsigned char>(number);
    [[maybe_unused]] auto written = ::write(signalPipe[1], &byte, 1);
}

void CatchSignals() {
    ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, signalPipe);
    struct sigaction action {};
    action.sa_handler = OnSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int number : {SIGHUP, SIGINT, SIGTERM}) ::sigaction(number, &action, nullptr);
}

// N simulated widgets, each a send-mode Art-Net port of its own universe (port k: universe k - 1).
struct Simulation {
    std::filesystem::path folder;
    std::unique_ptr<prowidget::WidgetRack> rack;
};

std::unique_ptr<Simulation> Simulate(int count, NodeConfig& config) {
    auto simulation = std::make_unique<Simulation>();
    std::string pattern = (std::filesystem::temp_directory_path() / "vantor-bridge-sim-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("no folder for the simulated widgets");
    simulation->folder = pattern;
    simulation->rack = std::make_unique<prowidget::WidgetRack>(count, pattern);
    ::setenv("VANTOR_SERIAL_BY_ID", pattern.c_str(), 1);
    if (config.interface.empty()) config.interface = "lo";
    if (config.ports.empty()) {
        for (int k = 1; k <= count; ++k) {
            PortConfig port;
            port.number = k;
            port.device = simulation->rack->ByIdName(k);
            port.universe = k - 1;
            config.ports.push_back(port);
        }
    }
    return simulation;
}

int Fail(const std::string& text, int status) {
    std::cerr << "vantor-bridge: " << text << "\n";
    return status;
}

class NodeProgram {
public:
    NodeProgram(const BridgeOptions& options, NodeConfig config, StatusScreen& screen)
        : options_(options), config_(std::move(config)), screen_(screen) {}

    int Run(const InterfaceChoice& chosen, InterfaceWatch& network) {
        NodeSockets sockets(chosen);
        try {
            sockets.Open(
                [this](std::span<const std::uint8_t> datagram, const UdpEndpoint& from) {
                    node_->TakeArtNet(datagram, from, Now());
                },
                [this](std::span<const std::uint8_t> datagram) { node_->TakeSacn(datagram, Now()); });
        } catch (const SocketError& failure) {
            return Fail(std::string(failure.what()) + " on " + chosen.address.interfaceName,
                        kExitUnavailable);
        }
        const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
        node_ = std::make_unique<Node>(
            sockets, LoadNodeIdentity(chosen, [this](const std::string& line) { Say(line); }),
            [](const PortConfig& port) { return LocateDevice(port); },
            [this](const std::string& line) { Say(line); },
            [wake] {
                const std::uint64_t one = 1;
                [[maybe_unused]] auto written = ::write(wake, &one, sizeof one);
            });
        QSocketNotifier links(wake, QSocketNotifier::Read);
        QObject::connect(&links, &QSocketNotifier::activated, [this, wake] {
            std::uint64_t count = 0;
            [[maybe_unused]] auto read = ::read(wake, &count, sizeof count);
            node_->ServiceLinks(Now());
        });
        Say("node " + chosen.address.interfaceName + " (" + chosen.address.ip +
            "): " + std::to_string(config_.ports.size()) + " ports");
        node_->Apply(config_, Now());

        QSocketNotifier signalWatch(signalPipe[0], QSocketNotifier::Read);
        QObject::connect(&signalWatch, &QSocketNotifier::activated, [this] { TakeSignals(); });
        int exitStatus = 0;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        QObject::connect(&tick, &QTimer::timeout, [&] {
            node_->Tick(Now());
            if (!network.Unchanged(Now())) {
                exitStatus = InterfaceWatch::kExitForRestart;
                QCoreApplication::exit(exitStatus);
            }
        });
        tick.start(kTickEvery);
        QTimer table;
        QObject::connect(&table, &QTimer::timeout,
                         [this] { screen_.ShowTable(StatusTable(node_->Status())); });
        if (screen_.OnTerminal()) table.start(kTableEvery);

        StatusService status(
            [this, &sockets](const std::string& request) { return Answer(request, sockets); });
        std::string reason;
        if (!status.Listen(reason)) Say("no status socket: " + reason);
        if (!stopRequested) QCoreApplication::exec();
        node_->Stop();
        screen_.Finish();
        ::close(wake);
        return exitStatus;
    }

private:
    static Node::TimePoint Now() { return Node::Clock::now(); }
    void Say(const std::string& line) { screen_.Print(line); }

    void TakeSignals() {
        unsigned char number = 0;
        bool reload = false;
        while (::read(signalPipe[0], &number, 1) == 1) reload |= number == SIGHUP;
        if (stopRequested) {
            QCoreApplication::exit(0);
            return;
        }
        if (reload) Reload();
    }

    // A file that no longer parses changes nothing.
    void Reload() {
        LoadedConfig loaded = LoadNodeConfig(options_.config);
        if (!loaded.parsed.Ok()) {
            for (const ConfigError& error : loaded.parsed.errors) Say("reload: " + error.Text());
            Say("reload: " + loaded.source + " not taken; nothing changed");
            return;
        }
        NodeConfig& config = loaded.parsed.config;
        if (config.interface != config_.interface) {
            Say("reload: the interface stays " + config_.interface + " until the next start");
            config.interface = config_.interface;
        }
        Say("reload: " + loaded.source);
        config_ = config;
        node_->Apply(config_, Now());
    }

    // The ports' table, and what the node itself dropped before any port saw it.
    std::string TableText(const NodeSockets& sockets) const {
        return StatusTable(node_->Status()) + "node: ArtDmx of no port's universe " +
               std::to_string(node_->ArtDmxForNoPort()) + ", arrived on another interface " +
               std::to_string(sockets.OtherInterfaceDrops()) + "\n";
    }

    std::string Answer(const std::string& request, const NodeSockets& sockets) {
        if (request == "status") return TableText(sockets);
        const std::string update = "update-firmware ";
        if (request.starts_with(update)) {
            const std::string rest = request.substr(update.size());
            const auto space = rest.find(' ');
            int port = 0;
            try {
                port = std::stoi(rest.substr(0, space));
            } catch (const std::exception&) {
            }
            if (space == std::string::npos || port < 1)
                return "refused: update-firmware needs a port and a file\n";
            return node_->UpdateFirmware(port, rest.substr(space + 1))
                       ? "updating port " + std::to_string(port) + "; the journal tells how it ends\n"
                       : "refused: port " + std::to_string(port) + " has no widget to update now\n";
        }
        return "refused: unknown request '" + request + "'\n";
    }

    const BridgeOptions& options_;
    NodeConfig config_;
    StatusScreen& screen_;
    std::unique_ptr<Node> node_;
};

int RunNode(const BridgeOptions& options, NodeConfig config, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    StatusScreen screen;
    Console console(stderr, false);
    CatchSignals();
    const auto stop = [] { return stopRequested != 0; };
    InterfaceWatch network(config.interface, console);
    if (!network.WaitUntilReady(stop)) return 0;
    if (!PortWatch(BridgePorts(true), console).WaitUntilFree(stop)) return 0;
    InterfaceChoice chosen;
    try {
        chosen = ChooseInterface(QtUdpSocket::MachineAddresses(), config.interface);
    } catch (const SocketError& failure) {
        return Fail(failure.what(), kExitUsage);
    }
    return NodeProgram(options, std::move(config), screen).Run(chosen, network);
}

}  // namespace

int main(int argc, char** argv) {
    const ParsedBridgeOptions parsed = ParseBridgeOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.error.empty()) return Fail(parsed.error + " (--help lists the options)", kExitUsage);
    const BridgeOptions& options = parsed.options;
    if (options.help) {
        std::cout << BridgeUsage();
        return 0;
    }
    if (options.status || options.firmwarePort) {
        QCoreApplication app(argc, argv);
        std::string request = "status";
        if (options.firmwarePort)
            request = "update-firmware " + std::to_string(*options.firmwarePort) + " " +
                      std::filesystem::absolute(options.firmwareFile).string();
        std::string reason;
        const std::optional<std::string> answer = AskRunningNode(request, reason);
        if (!answer) return Fail(reason, 1);
        std::cout << *answer;
        return answer->starts_with("refused") ? 1 : 0;
    }
    if (options.listPorts) return ListPorts(std::cout);

    std::unique_ptr<Simulation> simulation;
    LoadedConfig loaded;
    if (!options.simulateWidgets || options.config) loaded = LoadNodeConfig(options.config);
    for (const std::string& note : loaded.parsed.notes)
        std::cerr << "vantor-bridge: " << loaded.source << ": " << note << "\n";
    if (!loaded.parsed.Ok()) {
        for (const ConfigError& error : loaded.parsed.errors) std::cerr << error.Text() << "\n";
        return Fail(loaded.source + " not taken", kExitUsage);
    }
    if (options.check) {
        std::cout << loaded.source << ": " << loaded.parsed.config.ports.size() << " ports, good\n";
        return 0;
    }
    if (loaded.legacy)
        std::cerr << "vantor-bridge: no " << kNodeConfigPath << "; bridging as " << loaded.source
                  << " says\n";
    try {
        if (options.simulateWidgets) simulation = Simulate(options.simulateWidgets, loaded.parsed.config);
    } catch (const std::exception& failure) {
        return Fail(std::string("cannot simulate widgets: ") + failure.what(), 1);
    }
    const int status = RunNode(options, std::move(loaded.parsed.config), argc, argv);
    if (simulation) {
        simulation->rack.reset();
        std::error_code ignored;
        std::filesystem::remove_all(simulation->folder, ignored);
    }
    return status;
}
