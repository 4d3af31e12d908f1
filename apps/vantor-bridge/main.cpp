// vantor-bridge: every USB Pro widget listed in its configuration file served as a port of its own, on one
// Art-Net and one sACN socket, on one thread of events (each widget link on a thread of its own).
#include <termios.h>
#include <unistd.h>

#include <QCoreApplication>
#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>

#include "bridge_options.h"
#include "list_ports.h"
#include "node/config_file.h"
#include "node_program.h"
#include "simulation.h"
#include "status_service.h"
#include "web_access.h"

namespace {

// Read without echo from a terminal, so that the password stays off the screen and out of its scroll-back.
int PrintPasswordLine() {
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved{};
    if (terminal) {
        std::cerr << "Password for the node's page: " << std::flush;
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    std::string password;
    std::getline(std::cin, password);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::cerr << "\n";
    }
    if (password.empty()) return Fail("no password given", kExitUsage);
    std::cout << "password = " << HashPassword(QByteArray::fromStdString(password)) << "\n";
    return 0;
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
    if (options.hashPassword) return PrintPasswordLine();

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
    return RunNode(options, std::move(loaded), argc, argv);
}
