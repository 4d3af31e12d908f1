#include "host_options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <optional>

#include "stuff/trimmed.h"

namespace {

long WholeNumber(const std::string& text, const std::string& what) {
    if (text.empty()) throw UsageError(what + " is missing");
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0') throw UsageError(what + " '" + text + "' is not a whole number");
    return value;
}

long InRange(const std::string& text, const std::string& what, long low, long high) {
    const long value = WholeNumber(text, what);
    if (value < low || value > high)
        throw UsageError(what + " " + std::to_string(value) + " is outside " + std::to_string(low) + " to " +
                         std::to_string(high));
    return value;
}

}  // namespace

std::pair<int, int> ParseLevel(const std::string& text, char separator) {
    const std::string line(Trimmed(text));
    const auto split = separator == ' ' ? line.find_first_of(" \t") : line.find(separator);
    if (split == std::string::npos)
        throw UsageError("level '" + text + "' should read CH" + std::string(1, separator) + "VAL");
    const int channel =
        static_cast<int>(InRange(std::string(Trimmed(line.substr(0, split))), "channel", 1, 512));
    const int level =
        static_cast<int>(InRange(std::string(Trimmed(line.substr(split + 1))), "level", 0, 255));
    return {channel, level};
}

HostOptions ParseHostOptions(const std::vector<std::string>& args) {
    HostOptions options;
    // Checked once the protocol is known, wherever --protocol stands.
    std::optional<std::string> universeText;
    for (std::size_t index = 0; index < args.size(); ++index) {
        const std::string& arg = args[index];
        auto value = [&]() -> std::string {
            if (index + 1 >= args.size()) throw UsageError(arg + " needs a value");
            return args[++index];
        };
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--plugin") {
            options.pluginPath = value();
        } else if (arg == "--port") {
            options.port = static_cast<int>(InRange(value(), "port", 1, 16));
        } else if (arg == "--enable") {
            options.enable = true;
        } else if (arg == "--set") {
            options.levels.push_back(ParseLevel(value(), '='));
        } else if (arg == "--stdin") {
            options.readStdin = true;
        } else if (arg == "--mode") {
            const std::string mode = value();
            if (mode != "send" && mode != "receive")
                throw UsageError("mode '" + mode + "' should be send or receive");
            options.sendMode = mode == "send";
        } else if (arg == "--universe") {
            universeText = value();
        } else if (arg == "--protocol") {
            // Empty is the default, for a service whose settings file predates the setting.
            const std::string protocol = value();
            if (!protocol.empty() && protocol != "artnet" && protocol != "sacn")
                throw UsageError("protocol '" + protocol + "' should be artnet or sacn");
            options.sacn = protocol == "sacn";
        } else if (arg == "--priority") {
            if (const std::string text = value(); !text.empty())
                options.priority = static_cast<int>(InRange(text, "priority", 0, 200));
        } else if (arg == "--ttl") {
            if (const std::string text = value(); !text.empty())
                options.ttl = static_cast<int>(InRange(text, "TTL", 1, 255));
        } else if (arg == "--update-firmware") {
            options.firmwareFile = value();
        } else if (arg == "--headless") {
            options.headless = true;
        } else if (arg == "--simulate-widget") {
            options.simulateWidget = true;
        } else if (arg == "--interface") {
            options.artNetInterface = value();
            // A service must not fall back to a guessed interface: it would broadcast on an unknown network.
            if (options.artNetInterface->empty())
                throw UsageError("the Art-Net interface is empty: name one (lo, eth0 or an IPv4 address)");
        } else if (arg == "--devices") {
            options.devices = value();
        } else if (arg == "--reconnect") {
            options.reconnect = true;
        } else if (arg == "--list-ports") {
            options.listPorts = true;
        } else if (arg == "--quiet" || arg == "-q") {
            options.quiet = true;
        } else if (arg == "--duration") {
            const std::string text = value();
            char* end = nullptr;
            const double seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' || !std::isfinite(seconds) || seconds < 0)
                throw UsageError("duration '" + text + "' is not a number of seconds");
            options.durationSeconds = seconds;
        } else {
            throw UsageError("unknown option '" + arg + "'");
        }
    }
    if (universeText)
        options.universe = static_cast<int>(options.sacn ? InRange(*universeText, "sACN universe", 1, 63999)
                                                         : InRange(*universeText, "universe", 0, 255));
    if (options.reconnect && !options.port) throw UsageError("--reconnect needs --port");
    return options;
}

std::string HostUsage() {
    return R"(Usage: vantor-host [options]
A stand-in lighting host: loads the Vantor plug-in (vantor.out.so), initialises it, which opens its window,
and drives it.

  --plugin PATH          the plug-in library (default: vantor.out.so beside this program)
  --port N               choose serial port N (1 to 16), as picking it in the window's port list does
  --enable               switch output on (the 518-byte DMX frame goes to the widget every 20 ms)
  --set CH=VAL           set channel CH (1 to 512) to level VAL (0 to 255); repeatable
  --stdin                read further levels from standard input, one "CH VAL" per line
  --mode send|receive    Art-Net bridge: send = Art-Net to DMX, receive = DMX to Art-Net
  --universe N           the universe: Art-Net 0 to 255, sACN 1 to 63999
  --protocol artnet|sacn the network protocol (default artnet); sACN joins 239.255.hi.lo of the universe on
                         the chosen interface instead of Art-Net: ArtDmx then change nothing, and the node
                         only answers polls
  --priority N           the priority of the bridge's own sACN packets (0 to 200, default 100)
  --ttl N                the multicast TTL of the bridge's own sACN packets (1 to 255, default 1)
  --update-firmware FILE flash FILE to the widget on the chosen port, then exit (0 when it succeeded)
  --headless             no window on screen; message boxes go to the log (also without a display)
  --simulate-widget      start a simulated Pro widget on a pseudo-terminal as serial port 1, and report
                         the frames it received at exit
  --duration S           run S seconds, then exit (default: until Ctrl-C)
  --interface NAME       the Art-Net interface (lo, eth0 or one of the machine's IPv4 addresses); sets
                         VANTOR_ARTNET_INTERFACE. The bridge waits for its IPv4 address, and exits with
                         status 75 when that address changes (its service starts it again)
  --devices LIST         device paths for ports 1, 2, ... (comma-separated); sets VANTOR_SERIAL_PORTS
                         unless empty
  --reconnect            wait for a widget not there at start, and when it fails or vanishes, for the
                         same widget (its by-id name or USB serial number) to come back; then choose its
                         port, with the same mode, universe and output
  --list-ports           for ports 1 to 16: the device path, and whether a widget answered the start-up
                         scan, with its firmware version; then exit
  --quiet, -q            no status line, progress bar or status log lines
  --help                 this text

On a terminal a status line shows the port, the widget's status, output frames and ArtDmx per second and
the last message, and --update-firmware shows a progress bar; otherwise each change of state is one line.

Serial ports: VANTOR_SERIAL_PORTS=/dev/a,/dev/b,... names ports 1, 2, ...; otherwise ttyUSB*, ttyACM*, then
the rest are numbered from 1. The Art-Net node uses VANTOR_ARTNET_INTERFACE (e.g. lo) when set.
Art-Net log lines: QT_LOGGING_RULES="vantor.artnet.debug=true".
)";
}
