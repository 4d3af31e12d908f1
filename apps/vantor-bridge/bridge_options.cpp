#include "bridge_options.h"

#include <charconv>

#include "node/node_config.h"

namespace {

std::optional<int> Number(const std::string& text, int lowest, int highest) {
    int value = 0;
    const auto [end, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (failure != std::errc() || end != text.data() + text.size() || value < lowest || value > highest)
        return std::nullopt;
    return value;
}

}  // namespace

ParsedBridgeOptions ParseBridgeOptions(const std::vector<std::string>& args) {
    ParsedBridgeOptions parsed;
    BridgeOptions& options = parsed.options;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= args.size()) return std::nullopt;
            return args[++i];
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--list-ports") {
            options.listPorts = true;
        } else if (arg == "--status") {
            options.status = true;
        } else if (arg == "--hash-password") {
            options.hashPassword = true;
        } else if (arg == "--check") {
            options.check = true;
        } else if (arg == "--config") {
            options.config = value();
            if (!options.config || options.config->empty()) parsed.error = "--config needs a file";
        } else if (arg == "--simulate-widgets") {
            const auto count = value();
            const auto number = count ? Number(*count, 1, kMaxNodePorts) : std::nullopt;
            if (!number) parsed.error = "--simulate-widgets needs a number from 1 to 16";
            options.simulateWidgets = number.value_or(0);
        } else if (arg == "--update-firmware") {
            const auto port = value();
            const auto file = value();
            options.firmwarePort = port ? Number(*port, 1, kMaxNodePorts) : std::nullopt;
            if (!options.firmwarePort || !file || file->empty())
                parsed.error = "--update-firmware needs a port number (1 to 16) and a file";
            else
                options.firmwareFile = *file;
        } else {
            parsed.error = "unknown option " + arg;
        }
        if (!parsed.error.empty()) return parsed;
    }
    const int actions = options.listPorts + options.status + options.check + options.hashPassword +
                        (options.firmwarePort ? 1 : 0);
    if (actions > 1)
        parsed.error = "--list-ports, --status, --check, --hash-password and --update-firmware go alone";
    return parsed;
}

std::string BridgeUsage() {
    return "Usage: vantor-bridge [--config FILE] [--simulate-widgets N]\n"
           "       vantor-bridge --list-ports | --status | --check [--config FILE]\n"
           "       vantor-bridge --update-firmware PORT FILE\n"
           "       vantor-bridge --hash-password\n"
           "Runs the node: every USB Pro widget listed in the configuration file as a port of its own,\n"
           "bridging Art-Net or sACN to its output or its input to the network.\n"
           "\n"
           "  --config FILE         the configuration file (default /etc/vantor-bridge.conf; while it is\n"
           "                        absent, /etc/default/vantor-bridge of the single-widget bridge)\n"
           "  --list-ports          print each widget found, with its identity and firmware, as [port N]\n"
           "                        sections ready to paste into the file\n"
           "  --status              print the running node's status table\n"
           "  --check               read the configuration file, say what is wrong, and exit\n"
           "  --simulate-widgets N  run the node on N simulated widgets (interface lo unless the file names\n"
           "                        one), for a first try without hardware\n"
           "  --update-firmware PORT FILE\n"
           "                        have the running node flash a port's widget; the other ports go on\n"
           "  --hash-password       read a password from standard input and print the [web] section's\n"
           "                        password line for it (a salted hash)\n"
           "  --help                this text\n"
           "\n"
           "SIGHUP (systemctl reload vantor-bridge) reads the file again: unchanged ports run on untouched.\n"
           "The node's page and its JSON API listen on http://127.0.0.1:8454/ unless the file's [web]\n"
           "section says otherwise (another address needs a password).\n"
           "Exit status: 0 stopped, 2 bad command line or file, 69 a socket that cannot be set up on the\n"
           "interface, 75 the interface's address changed (to be started again).\n";
}
