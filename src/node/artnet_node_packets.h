#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "artnet/artnet_packets.h"
#include "node/poll_target.h"

// The most ArtDmx per second a DMX512 port takes.
inline constexpr std::uint16_t kDmxRefreshRate = 44;

#pragma pack(push, 1)
// What a node with one port per reply puts where the plug-in's poll reply has its filler (from byte 207):
// the bind fields that tell a node's ports apart. Fields marked BE go out high byte first.
struct PollReplyBindRecord {
    std::array<std::uint8_t, 4> BindIp;
    std::uint8_t BindIndex;
    std::uint8_t Status2;
    std::array<std::uint8_t, 4> GoodOutputB;
    std::uint8_t Status3;
    std::array<std::uint8_t, 6> DefaultRespUid;
    std::uint16_t User;         // BE
    std::uint16_t RefreshRate;  // BE
    std::uint8_t BackgroundQueuePolicy;
    std::array<std::uint8_t, 10> Filler;
};
#pragma pack(pop)

static_assert(sizeof(PollReplyBindRecord) == sizeof(PollReplyRecord::Filler));
static_assert(offsetof(PollReplyBindRecord, Status2) == 212 - 207);
static_assert(offsetof(PollReplyBindRecord, Status3) == 217 - 207);
static_assert(offsetof(PollReplyBindRecord, RefreshRate) == 226 - 207);

// What a port's reply says beside its settings.
struct PortReplyFacts {
    std::array<std::uint8_t, 4> address{};
    std::array<std::uint8_t, 6> mac{};
    std::uint8_t bindIndex = 1;
    std::uint16_t portAddress = 0;
    bool output = true;  // send mode: Art-Net to the widget's output
    bool dataFlowing = false;
    bool locating = false;  // the indicators say "locate" for finding the widget on the rig
    bool muted = false;     // a console asked for the indicators off
    // Consoles may set the Port-Address (ArtAddress); else only the file and the page do.
    bool addressFromNetwork = true;
    bool merging = false;      // two sources merge now
    bool latestTakes = false;  // the merge is LTP (else HTP)
    bool sacn = false;         // the port outputs what sACN brings, or sends its input as sACN
    bool webPage = false;      // the node's page is up: settings can be changed there
    std::uint8_t acnPriority = 100;
    std::string shortName;
    std::string longName;
    std::string report;  // the text after "#0001 [counter] "
    std::uint32_t reportCounter = 0;
};

PollReplyRecord BuildNodePollReply(const PortReplyFacts& facts);

// nullopt for no ArtPoll (shorter than 14 bytes); a poll without the targeted flag or its range covers all.
std::optional<PollTarget> ReadArtPoll(std::span<const std::uint8_t> datagram);
// How long a node waits before answering polls: up to half a second, the same for each poll, different
// for nodes of different MACs.
std::chrono::milliseconds PollReplyDelayOf(const std::array<std::uint8_t, 6>& mac);
PollReplyBindRecord BindFieldsOf(const PollReplyRecord& reply);

// An ArtDmx as it came: its 15-bit Port-Address and the slots it carries (a span into the datagram).
struct ArtDmxIn {
    std::uint16_t portAddress = 0;
    std::uint8_t sequence = 0;
    std::uint8_t physical = 0;
    std::span<const std::uint8_t> slots;
};
// nullopt for a datagram that is no ArtDmx of at least one slot.
std::optional<ArtDmxIn> ReadArtDmx(std::span<const std::uint8_t> datagram);

// Writes an ArtDmx of the slots (1 to 512, sent as an even count) into out and returns its size.
std::size_t BuildNodeArtDmx(std::uint16_t portAddress, std::uint8_t sequence, std::uint8_t physical,
                            std::span<const std::uint8_t> slots, ArtDmxRecord& out);
