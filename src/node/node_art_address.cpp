#include <cstdio>
#include <utility>
#include <vector>

#include "node/art_address.h"
#include "node/node_port.h"

namespace {

std::string HexByte(std::uint8_t byte) {
    char text[5];
    std::snprintf(text, sizeof text, "0x%02X", byte);
    return text;
}

// What changed, as the journal says it: "universe 291, merge LTP"; empty for nothing.
std::string Changes(const PortConfig& before, const PortConfig& after) {
    std::vector<std::string> said;
    if (before.protocol != after.protocol) said.push_back(ProtocolText(after.protocol));
    if (before.universe != after.universe) said.push_back("universe " + std::to_string(after.universe));
    if (before.name != after.name) said.push_back("name '" + after.name + "'");
    if (before.longName != after.longName) said.push_back("long name '" + after.longName + "'");
    if (before.priority != after.priority) said.push_back("priority " + std::to_string(after.priority));
    if (before.merge != after.merge) said.push_back(std::string("merge ") + MergeText(after.merge));
    std::string text;
    for (const std::string& each : said) text += (text.empty() ? "" : ", ") + each;
    return text;
}

}  // namespace

void Node::TakeArtAddress(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now) {
    const std::optional<ArtAddressIn> in = ReadArtAddress(datagram);
    if (!in) return;
    const auto found = ports_.find(in->bindIndex);
    if (found == ports_.end()) return;
    const int number = found->first;
    const std::string sender = "ArtAddress from " + AddressText(from.Address);
    // The console sees in the reply that nothing changed.
    const PollAnswer reply{now, ReplyTo(from), PollTarget{}, number};
    if (!config_.remoteConfig) {
        if (!std::exchange(remoteConfigRefusalSaid_, true))
            say_(sender + " ignored: remote_config = off (said once)");
        return AnswerPoll(reply);
    }
    Port* port = found->second.get();
    PortChange change;
    change.name = in->shortName;
    change.longName = in->longName;
    if (in->acnPriority) change.priority = *in->acnPriority;
    BridgeProtocol protocol = port->settings.protocol;
    if (in->command == AddressCommand::ArtNet) protocol = BridgeProtocol::ArtNet;
    if (in->command == AddressCommand::Sacn) protocol = BridgeProtocol::Sacn;
    if (const std::optional<std::uint16_t> current = port->PortAddress()) {
        const std::uint16_t switched = SwitchedPortAddress(*current, port->localPortAddress, in->net, in->sub,
                                                           port->Sends() ? in->swOut : in->swIn);
        if (switched != *current || protocol != port->settings.protocol)
            change.universe = std::to_string(Port::UniverseOf(protocol, switched));
    }
    if (protocol != port->settings.protocol) change.protocol = ProtocolText(protocol);
    if (in->command == AddressCommand::MergeLtp) change.merge = MergeKeyText(MergeMode::Ltp);
    if (in->command == AddressCommand::MergeHtp) change.merge = MergeKeyText(MergeMode::Htp);
    if (!(change == PortChange{})) {
        const PortConfig before = port->settings;
        changingFromConsole_ = true;
        const std::string refused = changeSettings_ ? changeSettings_(number, change) : [&] {
            auto changed = ChangedConfig(config_, number, change);
            if (auto* reason = std::get_if<std::string>(&changed)) return *reason;
            Apply(std::get<NodeConfig>(changed), now);
            return std::string();
        }();
        changingFromConsole_ = false;
        // A changed port may have started afresh.
        port = ports_.at(number).get();
        const std::string changes = Changes(before, port->settings);
        // A repeated ArtAddress changes nothing and says nothing.
        if (!refused.empty())
            SayFor(*port, sender + " refused: " + refused);
        else if (!changes.empty())
            SayFor(*port, sender + ": " + changes);
    }
    switch (in->command) {
        case AddressCommand::CancelMerge:
            port->artNet.Cancel();
            break;
        case AddressCommand::LedNormal:
        case AddressCommand::LedLocate:
            SetLocating(number, in->command == AddressCommand::LedLocate);
            port->muted = false;
            break;
        case AddressCommand::LedMute:
            SetLocating(number, false);
            port->muted = true;
            break;
        case AddressCommand::ClearOutput:
            ClearOutput(*port);
            break;
        case AddressCommand::Other:
            SayFor(*port, sender + ": command " + HexByte(in->commandByte) + " is not one this node has");
            break;
        default:
            break;
    }
    AnswerPoll(reply);
}

// The widget goes dark until the next data; what waited for a sync goes too.
void Node::ClearOutput(Port& port) {
    if (!port.Sends()) return;
    port.held = false;
    port.sacnHeld.reset();
    port.SetLevels(std::array<std::uint8_t, kSacnSlots>{});
    port.PutLevels(kSacnSlots);
}
