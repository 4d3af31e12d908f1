#include "sacn/sacn_packets.h"

#include <algorithm>

namespace {

constexpr std::uint16_t kFlags = 0x7000;
constexpr std::uint16_t kLengthMask = 0x0FFF;

void Put16(std::span<std::uint8_t> bytes, std::size_t at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value >> 8);
    bytes[at + 1] = static_cast<std::uint8_t>(value);
}

void Put32(std::span<std::uint8_t> bytes, std::size_t at, std::uint32_t value) {
    Put16(bytes, at, static_cast<std::uint16_t>(value >> 16));
    Put16(bytes, at + 2, static_cast<std::uint16_t>(value));
}

std::uint16_t Get16(std::span<const std::uint8_t> bytes, std::size_t at) {
    return static_cast<std::uint16_t>((bytes[at] << 8) | bytes[at + 1]);
}

std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return (std::uint32_t{Get16(bytes, at)} << 16) | Get16(bytes, at + 2);
}

// A layer's flags and length cover it from its own start to the end of the packet.
void PutFlagsLength(std::span<std::uint8_t> packet, std::size_t at) {
    Put16(packet, at, static_cast<std::uint16_t>(kFlags | (packet.size() - at)));
}

bool FlagsLengthFit(std::span<const std::uint8_t> datagram, std::size_t at) {
    const std::uint16_t field = Get16(datagram, at);
    return (field & ~kLengthMask) == kFlags && (field & kLengthMask) == datagram.size() - at;
}

// The root layer and the framing layer's head, which every packet shares.
void PutRootAndFraming(std::span<std::uint8_t> packet, std::uint32_t rootVector, std::uint32_t framingVector,
                       const SacnSenderFields& sender) {
    std::fill(packet.begin(), packet.end(), std::uint8_t{0});
    Put16(packet, kAtPreambleSize, 0x0010);
    Put16(packet, kAtPostambleSize, 0);
    std::copy(kAcnPacketId.begin(), kAcnPacketId.end(), packet.begin() + kAtPacketId);
    PutFlagsLength(packet, kAtRootFlagsLength);
    Put32(packet, kAtRootVector, rootVector);
    std::copy(sender.Cid.begin(), sender.Cid.end(), packet.begin() + kAtCid);
    PutFlagsLength(packet, kAtFramingFlagsLength);
    Put32(packet, kAtFramingVector, framingVector);
    const std::size_t nameBytes = std::min(sender.SourceName.size(), kSacnSourceNameBytes - 1);
    std::copy_n(sender.SourceName.begin(), nameBytes, packet.begin() + kAtSourceName);
}

// Synchronisation and discovery packets share the group and port of data, and are no faults. Read before the
// size check: a synchronisation packet is shorter than any data packet.
std::optional<SacnIgnored> OtherKindOfPacket(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < kAtFramingVector + 4 ||
        !std::equal(kAcnPacketId.begin(), kAcnPacketId.end(), datagram.begin() + kAtPacketId) ||
        Get32(datagram, kAtRootVector) != kRootVectorExtended)
        return std::nullopt;
    switch (Get32(datagram, kAtFramingVector)) {
        case kFramingVectorSynchronization:
            return SacnIgnored::Synchronization;
        case kFramingVectorDiscovery:
            return SacnIgnored::Discovery;
        default:
            return std::nullopt;
    }
}

// The checks every kind of packet shares, up to its framing vector; the size is the caller's to check.
std::optional<SacnIgnored> RootAndFramingFault(std::span<const std::uint8_t> datagram,
                                               std::uint32_t rootVector, std::uint32_t framingVector) {
    if (Get16(datagram, kAtPreambleSize) != 0x0010) return SacnIgnored::PreambleSize;
    if (Get16(datagram, kAtPostambleSize) != 0) return SacnIgnored::PostambleSize;
    if (!std::equal(kAcnPacketId.begin(), kAcnPacketId.end(), datagram.begin() + kAtPacketId))
        return SacnIgnored::PacketId;
    if (!FlagsLengthFit(datagram, kAtRootFlagsLength)) return SacnIgnored::RootFlagsLength;
    if (Get32(datagram, kAtRootVector) != rootVector) return SacnIgnored::RootVector;
    if (!FlagsLengthFit(datagram, kAtFramingFlagsLength)) return SacnIgnored::FramingFlagsLength;
    if (Get32(datagram, kAtFramingVector) != framingVector) return SacnIgnored::FramingVector;
    return std::nullopt;
}

}  // namespace

std::size_t BuildSacnDataPacket(const SacnSenderFields& sender, std::uint8_t sequence, std::uint8_t options,
                                std::span<const std::uint8_t> levels,
                                std::span<std::uint8_t, kSacnDataPacketBytes> out) {
    const std::size_t slots = std::clamp<std::size_t>(levels.size(), 1, kSacnSlots);
    const std::span<std::uint8_t> packet = out.first(kAtStartCode + 1 + slots);
    PutRootAndFraming(packet, kRootVectorData, kFramingVectorData, sender);
    packet[kAtPriority] = sender.Priority;
    Put16(packet, kAtSyncAddress, sender.SyncAddress);
    packet[kAtSequence] = sequence;
    packet[kAtOptions] = options;
    Put16(packet, kAtUniverse, sender.Universe);
    PutFlagsLength(packet, kAtDmpFlagsLength);
    packet[kAtDmpVector] = kDmpVectorSetProperty;
    packet[kAtAddressType] = kDmpAddressType;
    Put16(packet, kAtFirstAddress, 0);
    Put16(packet, kAtAddressIncrement, 1);
    Put16(packet, kAtPropertyCount, static_cast<std::uint16_t>(slots + 1));
    packet[kAtStartCode] = 0;
    std::copy_n(levels.begin(), std::min(levels.size(), slots), packet.begin() + kAtStartCode + 1);
    return packet.size();
}

SacnDataPacketBytes BuildSacnDataPacket(const SacnSenderFields& sender, std::uint8_t sequence,
                                        std::uint8_t options,
                                        std::span<const std::uint8_t, kSacnSlots> levels) {
    SacnDataPacketBytes packet;
    BuildSacnDataPacket(sender, sequence, options, levels, packet);
    return packet;
}

std::size_t BuildSacnStreamTerminatedPacket(const SacnSenderFields& sender, std::uint8_t sequence,
                                            std::span<const std::uint8_t> lastLevels,
                                            std::span<std::uint8_t, kSacnDataPacketBytes> out) {
    return BuildSacnDataPacket(sender, sequence, kSacnOptionStreamTerminated, lastLevels, out);
}

std::size_t BuildSacnDiscoveryPacket(const SacnSenderFields& sender, std::uint8_t page, std::uint8_t lastPage,
                                     std::span<const std::uint16_t> universes,
                                     std::span<std::uint8_t, kSacnLongestDiscoveryBytes> out) {
    std::array<std::uint16_t, kSacnUniversesPerPage> sorted{};
    const std::size_t count = std::min(universes.size(), kSacnUniversesPerPage);
    std::copy_n(universes.begin(), count, sorted.begin());
    std::sort(sorted.begin(), sorted.begin() + static_cast<std::ptrdiff_t>(count));

    const std::span<std::uint8_t> packet = out.first(kAtDiscoveryUniverses + 2 * count);
    PutRootAndFraming(packet, kRootVectorExtended, kFramingVectorDiscovery, sender);
    PutFlagsLength(packet, kAtDiscoveryFlagsLength);
    Put32(packet, kAtDiscoveryVector, kDiscoveryVectorList);
    packet[kAtDiscoveryPage] = page;
    packet[kAtDiscoveryLastPage] = lastPage;
    for (std::size_t i = 0; i < count; ++i) Put16(packet, kAtDiscoveryUniverses + 2 * i, sorted[i]);
    return packet.size();
}

std::optional<SacnDataPacket> ParseSacnDataPacket(std::span<const std::uint8_t> datagram,
                                                  SacnIgnored& ignored) {
    const auto reject = [&ignored](SacnIgnored reason) {
        ignored = reason;
        return std::nullopt;
    };
    if (const std::optional<SacnIgnored> kind = OtherKindOfPacket(datagram)) return reject(*kind);
    if (datagram.size() < kSacnShortestDataPacketBytes || datagram.size() > kSacnDataPacketBytes)
        return reject(SacnIgnored::Size);
    if (const auto fault = RootAndFramingFault(datagram, kRootVectorData, kFramingVectorData))
        return reject(*fault);
    if (datagram[kAtPriority] > kSacnHighestPriority) return reject(SacnIgnored::Priority);
    const std::uint16_t universe = Get16(datagram, kAtUniverse);
    if (universe < 1 || universe > kSacnHighestUniverse) return reject(SacnIgnored::Universe);
    if (!FlagsLengthFit(datagram, kAtDmpFlagsLength)) return reject(SacnIgnored::DmpFlagsLength);
    if (datagram[kAtDmpVector] != kDmpVectorSetProperty) return reject(SacnIgnored::DmpVector);
    if (datagram[kAtAddressType] != kDmpAddressType) return reject(SacnIgnored::AddressType);
    if (Get16(datagram, kAtFirstAddress) != 0) return reject(SacnIgnored::FirstAddress);
    if (Get16(datagram, kAtAddressIncrement) != 1) return reject(SacnIgnored::AddressIncrement);
    // The size check bounds the count to 1 to 513; it must also be what the datagram holds.
    if (Get16(datagram, kAtPropertyCount) != datagram.size() - kAtStartCode)
        return reject(SacnIgnored::PropertyCount);

    return SacnDataPacket{
        .Cid = datagram.subspan<kAtCid, kSacnCidBytes>(),
        .SourceName = datagram.subspan<kAtSourceName, kSacnSourceNameBytes>(),
        .Priority = datagram[kAtPriority],
        .SyncAddress = Get16(datagram, kAtSyncAddress),
        .Sequence = datagram[kAtSequence],
        .Options = datagram[kAtOptions],
        .Universe = universe,
        .StartCode = datagram[kAtStartCode],
        .Slots = datagram.subspan(kAtStartCode + 1),
    };
}

std::array<std::uint8_t, kSacnSyncPacketBytes> BuildSacnSyncPacket(const SacnCid& cid, std::uint8_t sequence,
                                                                   std::uint16_t address) {
    std::array<std::uint8_t, kSacnSyncPacketBytes> packet{};
    SacnSenderFields sender;  // no name: the packet has no room for one
    sender.Cid = cid;
    PutRootAndFraming(packet, kRootVectorExtended, kFramingVectorSynchronization, sender);
    packet[kAtSyncSequence] = sequence;
    Put16(packet, kAtSyncPacketAddress, address);
    return packet;
}

std::optional<SacnSyncPacket> ParseSacnSyncPacket(std::span<const std::uint8_t> datagram,
                                                  SacnIgnored& ignored) {
    const auto reject = [&ignored](SacnIgnored reason) {
        ignored = reason;
        return std::nullopt;
    };
    if (datagram.size() != kSacnSyncPacketBytes) return reject(SacnIgnored::Size);
    if (const auto fault = RootAndFramingFault(datagram, kRootVectorExtended, kFramingVectorSynchronization))
        return reject(*fault);
    const std::uint16_t address = Get16(datagram, kAtSyncPacketAddress);
    if (address < 1 || address > kSacnHighestUniverse) return reject(SacnIgnored::Universe);
    return SacnSyncPacket{
        .Cid = datagram.subspan<kAtCid, kSacnCidBytes>(),
        .Sequence = datagram[kAtSyncSequence],
        .Address = address,
    };
}

std::string_view SacnIgnoredName(SacnIgnored reason) {
    static constexpr std::array<std::string_view, kSacnIgnoredReasons> kNames{"size",
                                                                              "preamble size",
                                                                              "post-amble size",
                                                                              "packet identifier",
                                                                              "root flags and length",
                                                                              "root vector",
                                                                              "framing flags and length",
                                                                              "framing vector",
                                                                              "priority",
                                                                              "universe",
                                                                              "DMP flags and length",
                                                                              "DMP vector",
                                                                              "address type",
                                                                              "first address",
                                                                              "address increment",
                                                                              "property count",
                                                                              "other universe",
                                                                              "preview",
                                                                              "start code",
                                                                              "sequence",
                                                                              "source limit",
                                                                              "synchronization",
                                                                              "discovery"};
    return kNames[static_cast<std::size_t>(reason)];
}
