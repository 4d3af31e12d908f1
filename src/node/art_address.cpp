#include "node/art_address.h"

#include <algorithm>
#include <cstring>

#include "artnet/artnet_packets.h"

namespace {

constexpr std::uint8_t kProgram = 0x80;
constexpr int kHighestAcnPriority = 200;

template <std::size_t N>
std::optional<std::string> NameOf(const std::array<std::uint8_t, N>& field) {
    if (field[0] == 0) return std::nullopt;
    const auto end = std::find(field.begin(), field.end(), 0);
    return std::string(field.begin(), end);
}

AddressCommand CommandOf(std::uint8_t command) {
    switch (command) {
        case 0x00:
        case 0x05:  // reset the input error flags: the ports keep none
            return AddressCommand::None;
        case 0x01:
            return AddressCommand::CancelMerge;
        case 0x02:
            return AddressCommand::LedNormal;
        case 0x03:
            return AddressCommand::LedMute;
        case 0x04:
            return AddressCommand::LedLocate;
        // The port forms "+0": the only port of the bind index.
        case 0x10:
            return AddressCommand::MergeLtp;
        case 0x50:
            return AddressCommand::MergeHtp;
        case 0x60:
            return AddressCommand::ArtNet;
        case 0x70:
            return AddressCommand::Sacn;
        case 0x90:
            return AddressCommand::ClearOutput;
        default:
            return AddressCommand::Other;
    }
}

// One part of a Port-Address: mask its bits (already shifted down).
std::uint16_t Switched(std::uint16_t current, std::uint16_t local, std::uint8_t switchByte,
                       std::uint16_t mask) {
    if (switchByte & kProgram) return switchByte & mask;
    return switchByte == 0 ? local : current;
}

}  // namespace

std::optional<ArtAddressIn> ReadArtAddress(std::span<const std::uint8_t> datagram) {
    ArtAddressRecord record;
    if (datagram.size() < sizeof record) return std::nullopt;
    std::memcpy(&record, datagram.data(), sizeof record);
    if (record.ID != kArtNetId || record.OpCode != kOpAddress) return std::nullopt;
    ArtAddressIn in;
    in.bindIndex = std::max<int>(1, record.BindIndex);
    in.shortName = NameOf(record.ShortName);
    in.longName = NameOf(record.LongName);
    in.net = record.NetSwitch;
    in.sub = record.SubSwitch;
    in.swIn = record.SwIn[0];
    in.swOut = record.SwOut[0];
    if (record.AcnPriority <= kHighestAcnPriority) in.acnPriority = record.AcnPriority;
    in.command = CommandOf(record.Command);
    in.commandByte = record.Command;
    return in;
}

std::uint16_t SwitchedPortAddress(std::uint16_t current, std::uint16_t local, std::uint8_t net,
                                  std::uint8_t sub, std::uint8_t universe) {
    const auto part = [&](std::uint8_t switchByte, int shift, std::uint16_t mask) {
        return static_cast<std::uint16_t>(Switched(static_cast<std::uint16_t>(current >> shift & mask),
                                                   static_cast<std::uint16_t>(local >> shift & mask),
                                                   switchByte, mask)
                                          << shift);
    };
    return static_cast<std::uint16_t>(part(net, 8, 0x7F) | part(sub, 4, 0x0F) | part(universe, 0, 0x0F));
}
