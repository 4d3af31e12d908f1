#include <algorithm>

#include "node/node_port.h"

void Node::TakeSacn(std::span<const std::uint8_t> datagram, TimePoint now) {
    constexpr std::size_t kUniverseEnd = kAtUniverse + 2;
    if (datagram.size() < kAtCid + kSacnCidBytes) return;
    // The node's own streams come back over loopback and to other ports of the same universe.
    if (std::equal(identity_.cid.begin(), identity_.cid.end(), datagram.begin() + kAtCid)) return;
    SacnIgnored notSync{};
    if (const std::optional<SacnSyncPacket> sync = ParseSacnSyncPacket(datagram, notSync))
        return TakeSacnSync(*sync, now);
    if (datagram.size() < kUniverseEnd) return;
    const auto universe = static_cast<std::uint16_t>(datagram[kAtUniverse] << 8 | datagram[kAtUniverse + 1]);
    for (auto& [number, port] : ports_) {
        if (!port->receiver || port->receiver->Universe() != universe) continue;
        DeliverSacn(*port, port->receiver->Receive(datagram, now));
    }
}

namespace {

// An address no synchronisation packet can carry synchronises nothing.
std::uint16_t SyncAddressOf(const SacnReceiver& receiver) {
    const std::uint16_t address = receiver.SyncAddress();
    return address <= kSacnHighestUniverse ? address : 0;
}

}  // namespace

void Node::Write(Port& port, std::span<const std::uint8_t> levels) {
    port.SetLevels(levels);
    port.PutLevels(kSacnSlots);
}

bool Node::Holds(const Port& port) const {
    const std::uint16_t address = SyncAddressOf(*port.receiver);
    const auto found = syncs_.find(address);
    return address != 0 && found != syncs_.end() && found->second.seen &&
           !(found->second.lost && port.receiver->ForceSync());
}

// The merged levels are held, never a source's: the next synchronisation packet writes the merge as it
// then stands. Data that is not held writes whatever waited with it.
void Node::DeliverSacn(Port& port, bool changed) {
    const std::uint16_t address = SyncAddressOf(*port.receiver);
    // Data that names no address keeps the group: a stream that goes back and forth stays in it.
    if (address != 0 && address != port.syncAddress) UseSyncAddress(port, address);
    if (Holds(port)) {
        if (changed) port.sacnHeld = port.receiver->Levels();
        return;
    }
    const bool waited = port.sacnHeld.has_value();
    port.sacnHeld.reset();
    if (changed || waited) Write(port, port.receiver->Levels());
}

void Node::UseSyncAddress(Port& port, std::uint16_t address) {
    port.sacnHeld.reset();
    if (port.syncAddress != 0) {
        const auto found = syncs_.find(port.syncAddress);
        if (--found->second.ports == 0) {
            syncs_.erase(found);
            LeaveGroup(port.syncAddress);
        }
    }
    port.syncAddress = address;
    if (address != 0 && syncs_[address].ports++ == 0) JoinGroup(port, address);
}

void Node::TakeSacnSync(const SacnSyncPacket& sync, TimePoint now) {
    const auto found = syncs_.find(sync.Address);
    if (found == syncs_.end()) return;
    SyncState& state = found->second;
    auto source = std::find_if(state.sources.begin(), state.sources.end(), [&](const auto& known) {
        return std::equal(sync.Cid.begin(), sync.Cid.end(), known.cid.begin());
    });
    if (source != state.sources.end() && SacnSequenceIsStale(source->sequence, sync.Sequence)) return;
    if (source == state.sources.end()) {
        source = state.sources.emplace(state.sources.end());
        std::copy(sync.Cid.begin(), sync.Cid.end(), source->cid.begin());
    }
    source->sequence = sync.Sequence;
    source->last = now;
    state.seen = true;
    state.lost = false;
    state.last = now;
    Release(sync.Address, false);
}

// Every port held on the address, on one packet.
void Node::Release(std::uint16_t address, bool forcedOnly) {
    for (auto& [number, port] : ports_) {
        if (port->syncAddress != address || !port->sacnHeld) continue;
        if (forcedOnly && !port->receiver->ForceSync()) continue;
        Write(*port, *port->sacnHeld);
        port->sacnHeld.reset();
    }
}

// Loss: data that allows it (Force_Synchronization) is written at once again, starting with what waited;
// the rest keeps the last look until synchronisation comes back.
void Node::WatchSync(TimePoint now) {
    for (auto& [address, state] : syncs_) {
        std::erase_if(state.sources, [&](const auto& source) { return now - source.last >= kSyncLoss; });
        if (!state.seen || state.lost || now - state.last < kSyncLoss) continue;
        state.lost = true;
        Release(address, true);
    }
}

void Node::SendDiscovery(TimePoint now) {
    if (now < nextDiscovery_) return;
    std::vector<std::uint16_t> universes;
    for (const auto& [number, port] : ports_)
        if (port->sender && port->sender->Running())
            universes.push_back(static_cast<std::uint16_t>(port->settings.universe));
    if (universes.empty()) return;
    nextDiscovery_ = now + SacnSender::kDiscoveryInterval;
    std::sort(universes.begin(), universes.end());
    universes.erase(std::unique(universes.begin(), universes.end()), universes.end());
    SacnSenderFields fields;
    fields.Cid = identity_.cid;
    const std::string name = NodeName();
    fields.SourceName = name;
    const std::size_t pages = (universes.size() + kSacnUniversesPerPage - 1) / kSacnUniversesPerPage;
    for (std::size_t page = 0; page < pages; ++page) {
        const auto list = std::span(universes).subspan(
            page * kSacnUniversesPerPage,
            std::min(kSacnUniversesPerPage, universes.size() - page * kSacnUniversesPerPage));
        const std::size_t size = BuildSacnDiscoveryPacket(
            fields, static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(pages - 1), list, discovery_);
        // The lowest TTL of the ports it speaks for would be as right as any: discovery stays on the link.
        network_.SendSacn(std::span(discovery_).first(size), SacnGroupOf(kSacnDiscoveryUniverse), 1);
    }
}
