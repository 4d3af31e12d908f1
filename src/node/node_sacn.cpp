#include <algorithm>

#include "node/node_port.h"

void Node::TakeSacn(std::span<const std::uint8_t> datagram, TimePoint now) {
    constexpr std::size_t kUniverseEnd = kAtUniverse + 2;
    if (datagram.size() < kUniverseEnd) return;
    // The node's own streams come back over loopback and to other ports of the same universe.
    if (std::equal(identity_.cid.begin(), identity_.cid.end(), datagram.begin() + kAtCid)) return;
    const auto universe = static_cast<std::uint16_t>(datagram[kAtUniverse] << 8 | datagram[kAtUniverse + 1]);
    for (auto& [number, port] : ports_) {
        if (!port->receiver || port->receiver->Universe() != universe) continue;
        if (!port->receiver->Receive(datagram, now)) continue;
        port->SetLevels(port->receiver->Levels());
        port->PutLevels(kSacnSlots);
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
