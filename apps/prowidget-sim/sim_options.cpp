#include "sim_options.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>

namespace prowidget {
namespace {

bool ParseInt(std::string_view text, long low, long high, long& value) {
    if (text.empty()) return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && value >= low && value <= high;
}

constexpr long kMaxWidgets = 64;

bool ParseByte(std::string_view text, std::uint8_t& byte) {
    long value = 0;
    if (!ParseInt(text, 0, 255, value)) return false;
    byte = static_cast<std::uint8_t>(value);
    return true;
}

bool ParseFirmware(std::string_view text, Parameters& p) {
    auto dot = text.find('.');
    if (dot == std::string_view::npos) return false;
    return ParseByte(text.substr(0, dot), p.firmwareMsb) && ParseByte(text.substr(dot + 1), p.firmwareLsb);
}

bool ParseRate(const std::string& text, double& rate) {
    try {
        std::size_t used = 0;
        rate = std::stod(text, &used);
        return used == text.size() && std::isfinite(rate) && rate >= 0 && rate <= 100000;
    } catch (const std::exception&) {
        return false;
    }
}

// CH=VAL,CH=VAL,... with CH 0 (the start code) to 512.
bool ParseLevels(std::string_view text, SimLevels& levels) {
    while (!text.empty()) {
        auto comma = text.find(',');
        std::string_view item = text.substr(0, comma);
        auto equals = item.find('=');
        long channel = 0;
        std::uint8_t value = 0;
        if (equals == std::string_view::npos || !ParseInt(item.substr(0, equals), 0, 512, channel) ||
            !ParseByte(item.substr(equals + 1), value))
            return false;
        levels[static_cast<std::size_t>(channel)] = value;
        if (comma == std::string_view::npos) break;
        text.remove_prefix(comma + 1);
        if (text.empty()) return false;
    }
    return true;
}

bool ParseHex(std::string_view text, std::vector<std::uint8_t>& bytes) {
    std::string digits;
    for (char c : text)
        if (c != ' ' && c != ':') digits += c;
    if (digits.empty() || digits.size() % 2 != 0) return false;
    bytes.clear();
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        unsigned value = 0;
        auto [end, error] = std::from_chars(digits.data() + i, digits.data() + i + 2, value, 16);
        if (error != std::errc() || end != digits.data() + i + 2) return false;
        bytes.push_back(static_cast<std::uint8_t>(value));
    }
    return true;
}

bool ParsePageAnswer(std::string_view text, std::vector<std::pair<int, PageAnswer>>& answers) {
    static const std::map<std::string_view, PageAnswer> kAnswers = {{"true", PageAnswer::True},
                                                                    {"false", PageAnswer::False},
                                                                    {"silent", PageAnswer::Silent},
                                                                    {"twice", PageAnswer::Twice}};
    auto equals = text.find('=');
    long page = 0;
    if (equals == std::string_view::npos || !ParseInt(text.substr(0, equals), 1, 65535, page)) return false;
    auto answer = kAnswers.find(text.substr(equals + 1));
    if (answer == kAnswers.end()) return false;
    answers.emplace_back(static_cast<int>(page), answer->second);
    return true;
}

}  // namespace

ParsedSimOptions ParseSimOptions(const std::vector<std::string>& args) {
    ParsedSimOptions parsed;
    SimOptions& o = parsed.options;
    bool serialBaseGiven = false;
    using Setter = std::function<bool(const std::string&)>;
    const std::map<std::string, Setter> withValue = {
        {"--firmware", [&](const std::string& v) { return ParseFirmware(v, o.parameters); }},
        {"--break", [&](const std::string& v) { return ParseByte(v, o.parameters.breakTime); }},
        {"--mab", [&](const std::string& v) { return ParseByte(v, o.parameters.mabTime); }},
        {"--rate", [&](const std::string& v) { return ParseByte(v, o.parameters.frameRate); }},
        {"--report-rate",
         [&](const std::string& v) {
             double rate = 0;
             if (!ParseRate(v, rate)) return false;
             o.reportRate = rate;
             return true;
         }},
        {"--levels", [&](const std::string& v) { return ParseLevels(v, o.levels); }},
        {"--status", [&](const std::string& v) { return ParseByte(v, o.status); }},
        {"--split",
         [&](const std::string& v) {
             long n = 0;
             if (!ParseInt(v, 0, 1 << 20, n)) return false;
             o.split = static_cast<std::size_t>(n);
             return true;
         }},
        {"--garbage", [&](const std::string& v) { return ParseHex(v, o.garbage); }},
        {"--reply-delay",
         [&](const std::string& v) {
             long ms = 0;
             if (!ParseInt(v, 0, 600000, ms)) return false;
             o.replyDelayMs = static_cast<int>(ms);
             return true;
         }},
        {"--stall-after",
         [&](const std::string& v) {
             long frames = 0;
             if (!ParseInt(v, 0, 1L << 30, frames)) return false;
             o.stallAfter = static_cast<std::size_t>(frames);
             return true;
         }},
        {"--page-answer", [&](const std::string& v) { return ParsePageAnswer(v, o.pageAnswers); }},
        {"--link",
         [&](const std::string& v) {
             o.link = v;
             return !v.empty();
         }},
        {"--widgets",
         [&](const std::string& v) {
             long n = 0;
             if (!ParseInt(v, 1, kMaxWidgets, n)) return false;
             o.widgets = static_cast<int>(n);
             return true;
         }},
        {"--by-id",
         [&](const std::string& v) {
             o.byId = v;
             return !v.empty();
         }},
        {"--serial-base",
         [&](const std::string& v) {
             long base = 0;
             if (!ParseInt(v, 0, 0xFFFFFFFFL, base)) return false;
             o.serialBase = static_cast<std::uint32_t>(base);
             serialBaseGiven = true;
             return true;
         }},
    };
    const std::map<std::string, bool*> flags = {
        {"--silent", &o.silent},
        {"--not-parameters", &o.notParameters},
        {"--receive", &o.receiveMode},
        {"--stray-answer", &o.strayAnswer},
        {"--verbose", &o.verbose},
        {"--help", &o.help},
        {"-h", &o.help},
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::optional<std::string> value;
        if (auto equals = name.find('='); name.starts_with("--") && equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
        }
        if (auto flag = flags.find(name); flag != flags.end() && !value) {
            *flag->second = true;
            continue;
        }
        auto setter = withValue.find(name);
        if (setter == withValue.end()) {
            parsed.error = "unknown option: " + args[i];
            return parsed;
        }
        if (!value) {
            if (i + 1 >= args.size()) {
                parsed.error = name + " needs a value";
                return parsed;
            }
            value = args[++i];
        }
        if (!setter->second(*value)) {
            parsed.error = "bad value for " + name + ": " + *value;
            return parsed;
        }
    }
    if (o.widgets == 0 && (!o.byId.empty() || serialBaseGiven)) {
        parsed.error = (o.byId.empty() ? "--serial-base" : "--by-id") + std::string(" needs --widgets");
    } else if (o.widgets != 0 && !o.link.empty()) {
        parsed.error = "--link serves one widget; with --widgets use --by-id";
    } else if (o.widgets != 0 && o.serialBase > 0xFFFFFFFFL - (o.widgets - 1)) {
        parsed.error = "--serial-base " + std::to_string(o.serialBase) + " leaves no room for " +
                       std::to_string(o.widgets) + " widgets";
    }
    return parsed;
}

void ApplySimOptions(Simulator& sim, const SimOptions& options) {
    sim.SetParameters(options.parameters);
    sim.SetReceivedDmx(options.levels, options.status);
    if (options.reportRate) sim.SetReportRate(*options.reportRate);
    sim.SetSplitWrites(options.split);
    sim.SetGarbageBetweenFrames(options.garbage);
    sim.SetSilent(options.silent);
    sim.SetAnswerNotParameters(options.notParameters);
    sim.SetReplyDelay(std::chrono::milliseconds(options.replyDelayMs));
    sim.SetStrayAnswer(options.strayAnswer);
    for (auto [page, answer] : options.pageAnswers) sim.SetPageAnswer(page, answer);
    if (options.stallAfter) sim.SetStallAfter(*options.stallAfter);
    if (options.receiveMode) sim.SetReceiveMode(true);
}

RackCommand ParseRackCommand(std::string_view line, int widgets) {
    std::vector<std::string_view> words;
    while (!line.empty()) {
        auto start = line.find_first_not_of(" \t\r");
        if (start == std::string_view::npos) break;
        line.remove_prefix(start);
        auto end = std::min(line.find_first_of(" \t\r"), line.size());
        words.push_back(line.substr(0, end));
        line.remove_prefix(end);
    }
    RackCommand command;
    if (words.empty()) return command;
    if (words[0] == "unplug") {
        command.action = RackCommand::Action::Unplug;
    } else if (words[0] == "plug") {
        command.action = RackCommand::Action::Plug;
    } else {
        command.error = "unknown command: " + std::string(words[0]) + " (expected unplug K or plug K)";
        return command;
    }
    long number = 0;
    if (words.size() != 2 || !ParseInt(words[1], 1, widgets, number)) {
        command = {};
        command.error =
            std::string(words[0]) + " needs one widget number from 1 to " + std::to_string(widgets);
        return command;
    }
    command.number = static_cast<int>(number);
    return command;
}

std::string SimUsage() {
    return "Usage: prowidget-sim [options]\n"
           "       prowidget-sim --widgets N [--by-id DIR] [--serial-base S] [options]\n"
           "A simulated USB Pro widget on a pseudo-terminal. Prints the device path on its first line,\n"
           "then serves it until SIGINT or SIGTERM.\n"
           "With --widgets, serves N widgets, each with the options below and a serial number of its own,\n"
           "prints a line per widget (widget K: PATH serial NNNNNNNN [by-id LINK]) and reads commands on\n"
           "standard input, one a line: \"unplug K\" (its pty closes, its link goes) and \"plug K\" (a new "
           "pty,\n"
           "the same serial number); each is answered with the widget's new line.\n"
           "\n"
           "  --firmware MSB.LSB       firmware version in the parameters reply (default 2.44)\n"
           "  --break N                break time byte (default 9)\n"
           "  --mab N                  mark-after-break time byte (default 1)\n"
           "  --rate N                 frame rate byte (default 40)\n"
           "  --report-rate HZ         received-DMX reports per second in receive mode (default 40, 0 = "
           "none)\n"
           "  --levels CH=VAL,...      received levels to report; CH 0 is the start code, 1..512 channels\n"
           "  --status N               receive status byte of the reports (default 0)\n"
           "  --receive                start in receive mode without waiting for a receive-mode request\n"
           "  --split N                write replies and reports in pieces of N bytes\n"
           "  --garbage HEX            bytes written before every reply and report, e.g. 00FF\n"
           "  --silent                 answer nothing at all\n"
           "  --not-parameters         answer a parameters request with another message\n"
           "  --reply-delay MS         wait this long before each reply\n"
           "  --stall-after N          stop reading the line after N frames received, as a hung device\n"
           "  --page-answer N=true|false|silent|twice\n"
           "                           answer firmware page N (from 1) so; may be repeated\n"
           "  --stray-answer           answer every reprogram request with a page answer \"TRUE\"\n"
           "  --link PATH              make PATH a symbolic link to the device while running\n"
           "  --widgets N              serve N widgets (1 to 64) with commands on standard input\n"
           "  --by-id DIR              link DIR/usb-Vantor_Simulated_Pro_Widget_<serial>-if00-port0 to\n"
           "                           each widget's pty, as udev does in /dev/serial/by-id\n"
           "  --serial-base S          serial number of widget 1; widget K has S+K-1 (default 1)\n"
           "  --verbose                log every frame received and written to standard error\n"
           "  --help                   show this text\n";
}

}  // namespace prowidget
