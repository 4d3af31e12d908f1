#include "node_program.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <iostream>
#include <memory>

#include "console.h"
#include "interface_watch.h"
#include "node/config_file.h"
#include "node/device_locator.h"
#include "node/node.h"
#include "node/status_table.h"
#include "node_identity.h"
#include "node_settings.h"
#include "node_sockets.h"
#include "platform/qt/qt_udp_socket.h"
#include "port_watch.h"
#include "signal_pipe.h"
#include "status_screen.h"
#include "status_service.h"
#include "stuff/socket_error.h"
#include "web_server.h"

namespace {

constexpr std::chrono::milliseconds kTickEvery{50};
constexpr std::chrono::milliseconds kTableEvery{1000};

class NodeProgram {
public:
    NodeProgram(const BridgeOptions& options, LoadedConfig loaded, StatusScreen& screen)
        : settings_(std::move(loaded.parsed.config), options.config, loaded.source, loaded.legacy),
          screen_(screen) {}

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
        const NodeIdentity identity =
            LoadNodeIdentity(chosen, [this](const std::string& line) { Say(line); });
        node_ = std::make_unique<Node>(
            sockets, identity, [](const PortConfig& port) { return LocateDevice(port); },
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
            "): " + std::to_string(settings_.Config().ports.size()) + " ports");
        WebServer page(*node_, settings_, Facts(chosen, identity),
                       [this, &sockets] { return Counts(sockets); });
        if (std::string reason; page.Listen(reason)) {
            Say("page " + page.Address());
            node_->SetWebPage(true);
        } else {
            Say(reason + "; the node runs without its page");
        }
        // A console's ArtAddress is kept in the file as the page's changes are.
        node_->SetSettingsChanger([this](int port, const PortChange& change) {
            return settings_.Change(*node_, port, change, Now()).error;
        });
        node_->Apply(settings_.Config(), Now());

        QSocketNotifier signalWatch(SignalPipe(), QSocketNotifier::Read);
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
                         [this, &sockets] { screen_.ShowTable(TableText(sockets)); });
        if (screen_.OnTerminal()) table.start(kTableEvery);

        StatusService status(
            [this, &sockets](const std::string& request) { return Answer(request, sockets); });
        std::string reason;
        if (!status.Listen(reason)) Say("no status socket: " + reason);
        if (!StopRequested()) QCoreApplication::exec();
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
        while (::read(SignalPipe(), &number, 1) == 1) reload |= number == SIGHUP;
        if (StopRequested()) {
            QCoreApplication::exit(0);
            return;
        }
        if (reload) Reload();
    }

    void Reload() {
        settings_.Reload(
            *node_, [this](const std::string& line) { Say(line); }, Now());
    }

    NodeFacts Facts(const InterfaceChoice& chosen, const NodeIdentity& identity) const {
        char mac[18];
        const auto& m = identity.mac;
        std::snprintf(mac, sizeof mac, "%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
        return {settings_.Config().name.empty() ? identity.hostName : settings_.Config().name,
                chosen.address.interfaceName, chosen.address.ip, mac, Node::Clock::now()};
    }

    QJsonObject Counts(const NodeSockets& sockets) const {
        return {{"artDmxForNoPort", static_cast<qint64>(node_->ArtDmxForNoPort())},
                {"otherInterface", static_cast<qint64>(sockets.OtherInterfaceDrops())}};
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

    NodeSettings settings_;
    StatusScreen& screen_;
    std::unique_ptr<Node> node_;
};

}  // namespace

int Fail(const std::string& text, int status) {
    std::cerr << "vantor-bridge: " << text << "\n";
    return status;
}

int RunNode(const BridgeOptions& options, LoadedConfig loaded, int argc, char** argv) {
    QCoreApplication app(argc, argv);
    StatusScreen screen;
    Console console(stderr, false);
    CatchSignals();
    const auto stop = [] { return StopRequested(); };
    const std::string interface = loaded.parsed.config.interface;
    InterfaceWatch network(interface, console);
    if (!network.WaitUntilReady(stop)) return 0;
    if (!PortWatch(BridgePorts(true), console).WaitUntilFree(stop)) return 0;
    InterfaceChoice chosen;
    try {
        chosen = ChooseInterface(QtUdpSocket::MachineAddresses(), interface);
    } catch (const SocketError& failure) {
        return Fail(failure.what(), kExitUsage);
    }
    return NodeProgram(options, std::move(loaded), screen).Run(chosen, network);
}
