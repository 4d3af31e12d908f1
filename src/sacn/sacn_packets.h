#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

// E1.31 (streaming ACN) packets. Every multi-byte field is big-endian; the offsets below are the layout,
// written once, for the builders, the parser and their tests.

inline constexpr std::uint16_t kSacnPort = 5568;
inline constexpr std::size_t kSacnSlots = 512;
inline constexpr std::size_t kSacnCidBytes = 16;
inline constexpr std::size_t kSacnSourceNameBytes = 64;
inline constexpr std::uint16_t kSacnHighestUniverse = 63999;
inline constexpr std::uint16_t kSacnDiscoveryUniverse = 64214;
inline constexpr std::uint8_t kSacnDefaultPriority = 100;
inline constexpr std::uint8_t kSacnHighestPriority = 200;

inline constexpr std::uint8_t kSacnOptionPreview = 0x80;
inline constexpr std::uint8_t kSacnOptionStreamTerminated = 0x40;
inline constexpr std::uint8_t kSacnOptionForceSync = 0x20;

inline constexpr std::array<std::uint8_t, 12> kAcnPacketId{'A', 'S', 'C', '-', 'E', '1',
                                                           '.', '1', '7', 0,   0,   0};
inline constexpr std::uint32_t kRootVectorData = 0x00000004;
inline constexpr std::uint32_t kRootVectorExtended = 0x00000008;
inline constexpr std::uint32_t kFramingVectorData = 0x00000002;
inline constexpr std::uint32_t kFramingVectorSynchronization = 0x00000001;
inline constexpr std::uint32_t kFramingVectorDiscovery = 0x00000002;
inline constexpr std::uint32_t kDiscoveryVectorList = 0x00000001;
inline constexpr std::uint8_t kDmpVectorSetProperty = 0x02;
inline constexpr std::uint8_t kDmpAddressType = 0xA1;

// Root layer, shared by every packet.
inline constexpr std::size_t kAtPreambleSize = 0;
inline constexpr std::size_t kAtPostambleSize = 2;
inline constexpr std::size_t kAtPacketId = 4;
inline constexpr std::size_t kAtRootFlagsLength = 16;
inline constexpr std::size_t kAtRootVector = 18;
inline constexpr std::size_t kAtCid = 22;
// Framing layer.
inline constexpr std::size_t kAtFramingFlagsLength = 38;
inline constexpr std::size_t kAtFramingVector = 40;
inline constexpr std::size_t kAtSourceName = 44;
inline constexpr std::size_t kAtPriority = 108;
inline constexpr std::size_t kAtSyncAddress = 109;
inline constexpr std::size_t kAtSequence = 111;
inline constexpr std::size_t kAtOptions = 112;
inline constexpr std::size_t kAtUniverse = 113;
// The rest of a synchronisation packet's framing layer.
inline constexpr std::size_t kAtSyncSequence = 44;
inline constexpr std::size_t kAtSyncPacketAddress = 45;
inline constexpr std::size_t kSacnSyncPacketBytes = 49;
// DMP layer of a data packet.
inline constexpr std::size_t kAtDmpFlagsLength = 115;
inline constexpr std::size_t kAtDmpVector = 117;
inline constexpr std::size_t kAtAddressType = 118;
inline constexpr std::size_t kAtFirstAddress = 119;
inline constexpr std::size_t kAtAddressIncrement = 121;
inline constexpr std::size_t kAtPropertyCount = 123;
inline constexpr std::size_t kAtStartCode = 125;
// Universe discovery layer, after a framing layer with four reserved bytes at 108.
inline constexpr std::size_t kAtDiscoveryFlagsLength = 112;
inline constexpr std::size_t kAtDiscoveryVector = 114;
inline constexpr std::size_t kAtDiscoveryPage = 118;
inline constexpr std::size_t kAtDiscoveryLastPage = 119;
inline constexpr std::size_t kAtDiscoveryUniverses = 120;

inline constexpr std::size_t kSacnDataPacketBytes = kAtStartCode + 1 + kSacnSlots;
inline constexpr std::size_t kSacnShortestDataPacketBytes = kAtStartCode + 1;
inline constexpr std::size_t kSacnUniversesPerPage = 512;
inline constexpr std::size_t kSacnLongestDiscoveryBytes = kAtDiscoveryUniverses + 2 * kSacnUniversesPerPage;
static_assert(kSacnDataPacketBytes == 638);

using SacnCid = std::array<std::uint8_t, kSacnCidBytes>;
using SacnDataPacketBytes = std::array<std::uint8_t, kSacnDataPacketBytes>;

// What a sender puts in its data packets' framing layer.
struct SacnSenderFields {
    SacnCid Cid{};
    std::string_view SourceName;  // cut to 63 bytes so that a NUL always ends it
    std::uint8_t Priority = kSacnDefaultPriority;
    std::uint16_t Universe = 1;
    std::uint16_t SyncAddress = 0;  // 0: its receivers act on each packet at once
};

// The universe's multicast group 239.255.hi.lo, host byte order.
constexpr std::uint32_t SacnGroupOf(std::uint16_t universe) {
    return (239u << 24) | (255u << 16) | universe;
}

// Writes a data packet of as many slots as `levels` holds (1 to 512) into `out` and returns its size.
std::size_t BuildSacnDataPacket(const SacnSenderFields& sender, std::uint8_t sequence, std::uint8_t options,
                                std::span<const std::uint8_t> levels,
                                std::span<std::uint8_t, kSacnDataPacketBytes> out);
// A whole universe's data packet.
SacnDataPacketBytes BuildSacnDataPacket(const SacnSenderFields& sender, std::uint8_t sequence,
                                        std::uint8_t options,
                                        std::span<const std::uint8_t, kSacnSlots> levels);
// The packet a sender repeats when its stream ends. It carries the last levels sent: a receiver that takes no
// note of the option then holds them rather than going dark.
std::size_t BuildSacnStreamTerminatedPacket(const SacnSenderFields& sender, std::uint8_t sequence,
                                            std::span<const std::uint8_t> lastLevels,
                                            std::span<std::uint8_t, kSacnDataPacketBytes> out);
// A synchronisation packet: the receivers holding data that names `address` act on it now.
std::array<std::uint8_t, kSacnSyncPacketBytes> BuildSacnSyncPacket(const SacnCid& cid, std::uint8_t sequence,
                                                                   std::uint16_t address);
// Writes one page of universe discovery into `out` and returns its size. The universes (at most 512) need
// not be sorted; the packet lists them sorted.
std::size_t BuildSacnDiscoveryPacket(const SacnSenderFields& sender, std::uint8_t page, std::uint8_t lastPage,
                                     std::span<const std::uint16_t> universes,
                                     std::span<std::uint8_t, kSacnLongestDiscoveryBytes> out);

// Why a received datagram is ignored: the parser's reasons first, then the receiver's.
enum class SacnIgnored : std::uint8_t {
    Size,  // shorter than a one-slot data packet or longer than a 512-slot one
    PreambleSize,
    PostambleSize,
    PacketId,
    RootFlagsLength,
    RootVector,
    FramingFlagsLength,
    FramingVector,
    Priority,
    Universe,
    DmpFlagsLength,
    DmpVector,
    AddressType,
    FirstAddress,
    AddressIncrement,
    PropertyCount,
    // The receiver's reasons.
    OtherUniverse,
    Preview,
    StartCode,
    Sequence,
    SourceLimit,
    // No faults: packets of the protocol that carry no levels. Last, so that the earlier numbers hold.
    Synchronization,
    Discovery,
};
inline constexpr std::size_t kSacnIgnoredReasons = static_cast<std::size_t>(SacnIgnored::Discovery) + 1;
std::string_view SacnIgnoredName(SacnIgnored reason);

// A valid data packet's fields; the spans point into the datagram.
struct SacnDataPacket {
    std::span<const std::uint8_t, kSacnCidBytes> Cid;
    std::span<const std::uint8_t, kSacnSourceNameBytes> SourceName;
    std::uint8_t Priority;
    std::uint16_t SyncAddress;
    std::uint8_t Sequence;
    std::uint8_t Options;
    std::uint16_t Universe;
    std::uint8_t StartCode;
    std::span<const std::uint8_t> Slots;  // 0 to 512, after the start code
};

// Returns the datagram as a data packet, or the first check it fails in `ignored`.
std::optional<SacnDataPacket> ParseSacnDataPacket(std::span<const std::uint8_t> datagram,
                                                  SacnIgnored& ignored);

// A valid synchronisation packet's fields; the CID points into the datagram.
struct SacnSyncPacket {
    std::span<const std::uint8_t, kSacnCidBytes> Cid;
    std::uint8_t Sequence;
    std::uint16_t Address;  // 1..63999: the universe number whose group it came to
};

// Returns the datagram as a synchronisation packet, or the first check it fails in `ignored` (an address
// out of the universes' range counts as Universe).
std::optional<SacnSyncPacket> ParseSacnSyncPacket(std::span<const std::uint8_t> datagram,
                                                  SacnIgnored& ignored);

// A packet at most 19 behind the source's last one, or the same, is a late or repeated one; further behind,
// the source has restarted. Data and synchronisation count apart.
constexpr bool SacnSequenceIsStale(std::uint8_t last, std::uint8_t sequence) {
    const auto behind = static_cast<std::int8_t>(static_cast<std::uint8_t>(sequence - last));
    return behind <= 0 && behind > -20;
}
