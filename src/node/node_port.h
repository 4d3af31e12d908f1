#pragma once

// The node's record of one port, shared by the files that make up the node.

#include <algorithm>
#include <array>
#include <memory>
#include <optional>
#include <vector>

#include "node/artnet_merge.h"
#include "node/artnet_node_packets.h"
#include "node/node.h"
#include "sacn/sacn_receiver.h"
#include "sacn/sacn_sender.h"
#include "sacn/sacn_socket.h"

// A port's sending side of sACN reaches the node's one socket through this, with the port's TTL.
class SacnOut : public SacnSocket {
public:
    SacnOut(NodeNetwork& network, int ttl) : network_(network), ttl_(ttl) {}
    void Open(std::uint16_t) override {}
    void Close() override {}
    bool ReadDatagram(std::vector<std::uint8_t>&) override { return false; }
    bool Send(std::span<const std::uint8_t> datagram, std::uint32_t group, std::uint16_t) override {
        return network_.SendSacn(datagram, group, ttl_);
    }
    void SetMulticastTtl(int ttl) override { ttl_ = ttl; }

private:
    NodeNetwork& network_;
    int ttl_;
};

inline const char* LinkText(LinkState state) {
    switch (state) {
        case LinkState::Waiting:
            return "waiting";
        case LinkState::Probing:
            return "probing";
        case LinkState::Linked:
            return "linked";
        case LinkState::Updating:
            return "updating";
    }
    return "?";
}

struct Node::Port {
    PortConfig settings;
    std::unique_ptr<WidgetLink> link;
    // Send mode: what the network asked for, start code first; receive mode: the widget's last input.
    std::array<std::uint8_t, 513> levels{};
    bool levelsChanged = false;  // since the page last asked
    bool locating = false;
    bool muted = false;  // a console asked for the indicators off
    // The Port-Address the file or the page gave the port, to which a console's ArtAddress may return it.
    std::uint16_t localPortAddress = 0;
    std::string lastMessage;
    std::optional<SacnReceiver> receiver;
    // sACN send mode, synchronised: the address whose group the port is in for its data (0: none), and the
    // merged levels that wait for that address's next synchronisation packet.
    std::uint16_t syncAddress = 0;
    std::optional<std::array<std::uint8_t, kSacnSlots>> sacnHeld;
    ArtNetMerge artNet;
    // Receive mode.
    std::optional<SacnOut> sacnOut;
    std::optional<SacnSender> sender;
    TimePoint lastInput{};
    std::uint8_t artNetSequence = 0;
    // Counted here; the link counts the widget's side.
    std::uint64_t fromNetwork = 0;
    std::uint64_t toNetwork = 0;
    std::uint64_t notSent = 0;
    std::uint64_t lastIn = 0, lastOut = 0;
    double inPerSecond = 0, outPerSecond = 0;
    // Art-Net send mode: two sources merge now (as settings.merge says).
    bool merging = false;
    // Art-Net send mode: levels wait for the next ArtSync.
    bool held = false;

    bool Sends() const { return settings.mode == PortMode::Send; }
    // As consoles see it: sACN universe 1 is Port-Address 0. None for sACN universes above 32768.
    std::optional<std::uint16_t> PortAddress() const {
        const int address = Is(BridgeProtocol::Sacn) ? settings.universe - 1 : settings.universe;
        if (address < 0 || address > kHighestPortAddress) return std::nullopt;
        return static_cast<std::uint16_t>(address);
    }
    static int UniverseOf(BridgeProtocol protocol, std::uint16_t portAddress) {
        return protocol == BridgeProtocol::Sacn ? portAddress + 1 : portAddress;
    }
    bool Is(BridgeProtocol protocol) const { return settings.protocol == protocol; }
    std::uint64_t FramesIn() const {
        return Sends() ? fromNetwork : link->Counters().framesIn.load(std::memory_order_relaxed);
    }
    std::uint64_t FramesOut() const {
        return Sends() ? link->Counters().framesOut.load(std::memory_order_relaxed) : toNetwork;
    }
    // The slots from the first on; the rest keep theirs.
    void SetLevels(std::span<const std::uint8_t> slots) {
        const auto first = levels.begin() + 1;
        const std::size_t count = std::min(slots.size(), levels.size() - 1);
        if (!std::equal(slots.begin(), slots.begin() + static_cast<std::ptrdiff_t>(count), first)) {
            std::copy_n(slots.begin(), count, first);
            levelsChanged = true;
        }
    }
    void PutLevels(std::size_t slots) {
        ++fromNetwork;
        link->PutLevels(levels, slots);
    }
};
