#include <cstdio>
#include <utility>

#include "node/node_port.h"

namespace {

std::string CidText(const SacnCid& cid) {
    std::string text;
    char hex[3];
    for (std::size_t i = 0; i < cid.size(); ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text += '-';
        std::snprintf(hex, sizeof hex, "%02x", cid[i]);
        text += hex;
    }
    return text;
}

// The receiver's merge: the highest priority's sources alone count, and among several of it each slot
// takes the highest level.
void HeardOverSacn(const SacnReceiver& receiver, PortStatus& row) {
    const auto sources = receiver.Sources();
    const std::optional<std::size_t> winner = receiver.Winner();
    const bool merging = receiver.Merging();
    const std::uint8_t top = winner ? sources[*winner].Priority : 0;
    std::size_t winning = 0;
    for (std::size_t i = 0; i < sources.size(); ++i) {
        const SacnSource& source = sources[i];
        const bool wins = merging ? source.Priority == top : winner == i;
        winning += wins ? 1 : 0;
        row.heard.push_back({std::string(source.Name()), CidText(source.Cid), source.Priority,
                             static_cast<double>(source.PacketsPerSecond), wins});
    }
    const std::string count = std::to_string(sources.size()) + " sources";
    if (sources.size() < 2)
        row.merge = sources.empty() ? "no source" : "one source";
    else if (!merging)
        row.merge = count + ", highest priority wins";
    else if (winning == sources.size())
        row.merge = count + " at priority " + std::to_string(top) + " merged (highest level)";
    else
        row.merge = count + ", " + std::to_string(winning) + " at priority " + std::to_string(top) +
                    " merged (highest level)";
}

// Two sources merge: each slot's highest level (HTP), or the latest packet's levels (LTP).
void HeardOverArtNet(const ArtNetMerge& merge, MergeMode mode, PortStatus& row) {
    const auto& sources = merge.Sources();
    const bool both = merge.Merging() && mode == MergeMode::Htp;
    for (std::size_t i = 0; i < sources.size(); ++i)
        row.heard.push_back(
            {"", AddressText(sources[i].address), 0, sources[i].perSecond, both || i == merge.Latest()});
    row.merging = merge.Merging();
    if (sources.size() < 2)
        row.merge = sources.empty() ? "no source" : "one source";
    else
        row.merge = std::to_string(sources.size()) + " sources merged (" + MergeText(mode) + ")";
}

}  // namespace

std::vector<PortStatus> Node::Status() const {
    std::vector<PortStatus> rows;
    for (const auto& [number, port] : ports_) {
        PortStatus row;
        row.number = number;
        row.label = port->settings.Label();
        row.name = port->settings.name;
        row.longName = port->settings.longName;
        row.mergeMode = MergeKeyText(port->settings.merge);
        row.device = port->settings.device;
        const WidgetLink& link = *port->link;
        const LinkState state = link.State();
        row.widget = state == LinkState::Linked || state == LinkState::Updating ? link.DevicePath()
                                                                                : port->settings.device;
        row.serialNumber = link.SerialNumber();
        row.firmware = link.Firmware();
        row.statusText = link.StatusText();
        row.link = LinkText(state);
        row.mode = ModeText(port->settings.mode);
        row.protocol = ProtocolText(port->settings.protocol);
        row.universe = port->settings.universe;
        row.priority = port->settings.priority;
        row.ttl = port->settings.ttl;
        row.framesInPerSecond = port->inPerSecond;
        row.framesOutPerSecond = port->outPerSecond;
        row.framesIn = port->FramesIn();
        row.sources = port->receiver ? port->receiver->Sources().size() : port->artNet.Sources().size();
        if (port->receiver) {
            HeardOverSacn(*port->receiver, row);
            if (Holds(*port)) row.sync = "sACN " + std::to_string(port->syncAddress);
        } else if (port->Sends()) {
            HeardOverArtNet(port->artNet, port->settings.merge, row);
            if (HoldsArtDmx(*port)) row.sync = "ArtSync";
        }
        const LinkCounters& counters = link.Counters();
        const auto add = [&row](const char* reason, std::uint64_t count) {
            if (count > 0) row.drops.emplace_back(reason, count);
        };
        add("superseded", link.FramesOverwritten());
        add("faulty", counters.faulty.load());
        add("start code", counters.otherStartCode.load());
        add("empty", counters.noLevels.load());
        add("unsent", port->notSent + (port->sender ? port->sender->SendFailures : 0));
        add("link lost", counters.linkLosses.load());
        if (port->receiver) {
            add("sequence", port->receiver->Ignored(SacnIgnored::Sequence));
            add("source limit", port->receiver->Ignored(SacnIgnored::SourceLimit));
            add("preview", port->receiver->Ignored(SacnIgnored::Preview));
        }
        add("third source", port->artNet.ThirdSources());
        row.lastMessage = port->lastMessage;
        row.locating = port->locating;
        row.firmwareUpdate = link.UpdateProgress();
        rows.push_back(std::move(row));
    }
    return rows;
}

std::optional<std::array<std::uint8_t, 512>> Node::Levels(int portNumber) const {
    const auto found = ports_.find(portNumber);
    if (found == ports_.end()) return std::nullopt;
    std::array<std::uint8_t, 512> levels{};
    std::copy(found->second->levels.begin() + 1, found->second->levels.end(), levels.begin());
    return levels;
}

bool Node::LevelsChanged(int portNumber) {
    const auto found = ports_.find(portNumber);
    return found != ports_.end() && std::exchange(found->second->levelsChanged, false);
}

bool Node::SetLocating(int portNumber, bool on) {
    const auto found = ports_.find(portNumber);
    if (found == ports_.end()) return false;
    Port& port = *found->second;
    if (port.locating != on) SayFor(port, on ? "locating its widget" : "locating ended");
    port.locating = on;
    return true;
}
