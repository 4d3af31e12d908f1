#include <algorithm>
#include <array>
#include <map>

#include "node/config_checks.h"
#include "node/node_config.h"
#include "stuff/trimmed.h"

namespace {

struct Setting {
    int line = 0;  // 0: absent
    std::string value;
};

using Settings = std::map<std::string, Setting, std::less<>>;

constexpr std::array<std::string_view, 8> kSettingNames{"INTERFACE", "DEVICES",  "PORT",     "MODE",
                                                        "PROTOCOL",  "UNIVERSE", "PRIORITY", "OPTIONS"};

// The old unit put OPTIONS after the options it built from the settings, so an option given there won.
constexpr std::array<std::pair<std::string_view, std::string_view>, 8> kOptionSettings{
    {{"--interface", "INTERFACE"},
     {"--devices", "DEVICES"},
     {"--port", "PORT"},
     {"--mode", "MODE"},
     {"--protocol", "PROTOCOL"},
     {"--universe", "UNIVERSE"},
     {"--priority", "PRIORITY"},
     {"--ttl", "TTL"}}};

std::string_view Unquoted(std::string_view value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::vector<std::string_view> Split(std::string_view text, std::string_view separators) {
    std::vector<std::string_view> items;
    for (std::size_t start = 0; start <= text.size();) {
        const auto end = std::min(text.find_first_of(separators, start), text.size());
        items.push_back(Trimmed(text.substr(start, end - start)));
        start = end + 1;
    }
    return items;
}

void ReadOptions(const Setting& options, Settings& settings, ConfigChecks& checks,
                 std::vector<std::string>& notes) {
    std::vector<std::string_view> words = Split(options.value, " \t");
    std::erase(words, std::string_view());
    for (std::size_t at = 0; at < words.size(); ++at) {
        const std::string_view word = words[at];
        const auto equals = word.find('=');
        const std::string_view option = word.substr(0, equals);
        // The node always sends the levels in send mode, which is what --enable asked for.
        if (word == "--enable") continue;
        const auto setting = std::find_if(kOptionSettings.begin(), kOptionSettings.end(),
                                          [&](const auto& entry) { return entry.first == option; });
        if (setting != kOptionSettings.end()) {
            if (equals == std::string_view::npos && at + 1 >= words.size()) {
                checks.Refuse(options.line, "OPTIONS: " + std::string(option) + " needs a value");
                continue;
            }
            const std::string_view value =
                equals != std::string_view::npos ? word.substr(equals + 1) : words[++at];
            settings[std::string(setting->second)] = {options.line, std::string(value)};
            continue;
        }
        std::string left(word);
        while (at + 1 < words.size() && !words[at + 1].starts_with('-'))
            left += " " + std::string(words[++at]);
        notes.push_back("OPTIONS: " + left + " has no place in the node and is left out");
    }
}

void ReadSetting(int line, std::string_view text, Settings& settings, ConfigChecks& checks,
                 std::vector<std::string>& notes) {
    text = Trimmed(text);
    if (text.empty() || text.front() == '#' || text.front() == ';') return;
    const auto equals = text.find('=');
    const std::string_view name = Trimmed(text.substr(0, equals));
    if (equals == std::string_view::npos || name.empty())
        return checks.Refuse(line, "'" + std::string(text) + "' is not NAME=value");
    if (std::find(kSettingNames.begin(), kSettingNames.end(), name) != kSettingNames.end())
        settings[std::string(name)] = {line, std::string(Unquoted(Trimmed(text.substr(equals + 1))))};
    else if (name == "QT_LOGGING_RULES")
        notes.push_back(
            "QT_LOGGING_RULES is left out: set it in the service's environment "
            "(systemctl edit vantor-bridge)");
    else
        notes.push_back(std::string(name) + " is no setting of the old bridge and is left out");
}

// The widget: item PORT of DEVICES, or the system's serial device of that number when DEVICES is empty.
void ReadDevice(const Setting& devices, const Setting& portSetting, std::size_t oldPort, PortConfig& port,
                ConfigChecks& checks) {
    std::vector<std::string_view> paths = Split(devices.value, ",");
    while (!paths.empty() && paths.back().empty()) paths.pop_back();
    if (paths.empty()) {
        port.numberedDevice = static_cast<int>(oldPort);
    } else if (oldPort > paths.size() || paths[oldPort - 1].empty()) {
        checks.Refuse(portSetting.line,
                      "PORT " + std::to_string(oldPort) + " but DEVICES names no device for it");
    } else {
        port.device = paths[oldPort - 1];
    }
}

}  // namespace

ParsedConfig ParseLegacyDefaults(std::string_view text, const std::string& fileName) {
    ParsedConfig parsed;
    ConfigChecks checks(fileName, parsed.errors);
    Settings settings;
    ForEachLine(text, [&](int line, std::string_view content) {
        ReadSetting(line, content, settings, checks, parsed.notes);
    });
    if (const auto options = settings.find("OPTIONS"); options != settings.end())
        ReadOptions(options->second, settings, checks, parsed.notes);
    const auto get = [&](std::string_view name) {
        return settings.contains(name) ? settings.find(name)->second : Setting{};
    };

    if (const Setting interface = get("INTERFACE"); interface.value.empty())
        checks.Refuse(interface.line,
                      "INTERFACE is empty: the node broadcasts and must never pick a network by itself");
    else
        parsed.config.interface = interface.value;

    // The old port number picks the widget; the node's one port is port 1 whatever it was.
    PortConfig port;
    port.number = 1;
    const Setting portSetting = get("PORT");
    if (const auto oldPort = checks.Number(portSetting.line, "PORT", portSetting.value, 1, kMaxNodePorts))
        ReadDevice(get("DEVICES"), portSetting, static_cast<std::size_t>(*oldPort), port, checks);
    const Setting mode = get("MODE");
    port.mode = checks.Mode(mode.line, mode.value).value_or(port.mode);
    // Empty stands for the default in a file older than the setting.
    if (const Setting protocol = get("PROTOCOL"); !protocol.value.empty())
        port.protocol = checks.Protocol(protocol.line, protocol.value).value_or(port.protocol);
    const Setting universe = get("UNIVERSE");
    // Art-Net universes 0 to 255 were all the old bridge took, and are the same Port-Addresses.
    checks.Universe(universe.line, universe.value, 255, port);
    if (const Setting priority = get("PRIORITY"); !priority.value.empty())
        port.priority = checks.Number(priority.line, "PRIORITY", priority.value, 0, kHighestPriority)
                            .value_or(port.priority);
    if (const Setting ttl = get("TTL"); ttl.line != 0)
        port.ttl = checks.Number(ttl.line, "--ttl", ttl.value, 1, kHighestTtl).value_or(port.ttl);
    parsed.config.ports.push_back(port);
    checks.SortByLine();
    return parsed;
}
