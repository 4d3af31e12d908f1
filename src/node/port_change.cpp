#include "node/port_change.h"

#include <algorithm>

#include "node/config_checks.h"

namespace {

// The file keeps a name only as the reader takes it back: no blanks around it (they are trimmed) and no
// '#' that would start a comment.
std::optional<std::string> FileSafe(std::string_view name) {
    if (!name.empty() &&
        (name.front() == ' ' || name.front() == '\t' || name.back() == ' ' || name.back() == '\t'))
        return "name '" + std::string(name) + "' starts or ends with a blank";
    if (WithoutComment(name).size() != name.size())
        return "name '" + std::string(name) +
               "' has a '#' at its start or after a blank, where the file reads a comment";
    return std::nullopt;
}

const char* ProtocolName(BridgeProtocol protocol) {
    return protocol == BridgeProtocol::Sacn ? "sACN" : "Art-Net";
}

std::string UniverseRange(BridgeProtocol protocol) {
    return protocol == BridgeProtocol::Sacn
               ? std::to_string(kLowestSacnUniverse) + " to " + std::to_string(kHighestSacnUniverse)
               : "0 to " + std::to_string(kHighestPortAddress);
}

bool UniverseFits(BridgeProtocol protocol, int universe) {
    return protocol == BridgeProtocol::Sacn
               ? universe >= kLowestSacnUniverse && universe <= kHighestSacnUniverse
               : universe >= 0 && universe <= kHighestPortAddress;
}

}  // namespace

std::variant<NodeConfig, std::string> ChangedConfig(const NodeConfig& config, int portNumber,
                                                    const PortChange& change) {
    NodeConfig changed = config;
    const auto found = std::find_if(changed.ports.begin(), changed.ports.end(),
                                    [&](const PortConfig& port) { return port.number == portNumber; });
    if (found == changed.ports.end()) return "there is no port " + std::to_string(portNumber);
    PortConfig& port = *found;
    std::vector<ConfigError> errors;
    ConfigChecks checks("", errors);
    if (change.mode) port.mode = checks.Mode(0, *change.mode).value_or(port.mode);
    if (change.protocol) port.protocol = checks.Protocol(0, *change.protocol).value_or(port.protocol);
    if (change.universe)
        checks.Universe(0, *change.universe, kHighestPortAddress, port);
    else if (!UniverseFits(port.protocol, port.universe))
        checks.Refuse(0, "universe " + std::to_string(port.universe) + " is no " +
                             ProtocolName(port.protocol) + " universe (" + UniverseRange(port.protocol) +
                             "): give one with the protocol");
    if (change.priority)
        port.priority = checks.Number(0, "priority", std::to_string(*change.priority), 0, kHighestPriority)
                            .value_or(port.priority);
    for (auto [given, name] :
         {std::pair(&change.name, &port.name), std::pair(&change.longName, &port.longName)}) {
        if (!*given) continue;
        if (const auto unsafe = FileSafe(**given))
            checks.Refuse(0, *unsafe);
        else
            *name = checks.Name(0, **given).value_or(*name);
    }
    if (change.merge) port.merge = checks.Merge(0, *change.merge).value_or(port.merge);
    if (!errors.empty()) return errors.front().reason;
    // As the file's reader would see the whole: no two receiving ports on one universe.
    std::vector<const PortConfig*> ports;
    for (const PortConfig& each : changed.ports) ports.push_back(&each);
    const auto twice = UniversesSentTwice(ports);
    if (!twice.empty()) {
        // Said from the changed port's side, whichever comes first in the file.
        const auto& [later, first] = twice.front();
        return later->number == portNumber ? SentTwiceText(*later, *first) : SentTwiceText(*first, *later);
    }
    return changed;
}
