#pragma once

#include <cstdint>
#include <vector>

#include "sacn/sacn_packets.h"

using Bytes = std::vector<std::uint8_t>;

inline SacnCid CidOf(std::uint8_t n) {
    SacnCid cid{};
    cid.fill(n);
    return cid;
}

struct TestPacket {
    std::uint8_t source = 1;  // the CID's every byte
    std::uint8_t priority = 100;
    std::uint8_t sequence = 0;
    std::uint8_t level = 0;  // every slot's, unless `levels` is set
    std::vector<std::uint8_t> levels{};
    std::size_t slots = 512;
    std::uint8_t options = 0;
    std::uint16_t universe = 1;
    std::uint8_t startCode = 0;
    std::uint16_t syncAddress = 0;
};

// A data packet from the builder, cut to `slots` slots with its lengths set to match.
inline Bytes Datagram(const TestPacket& p) {
    std::array<std::uint8_t, kSacnSlots> levels{};
    levels.fill(p.level);
    std::copy(p.levels.begin(), p.levels.end(), levels.begin());
    const SacnSenderFields sender{CidOf(p.source), "Desk", p.priority, p.universe, p.syncAddress};
    const SacnDataPacketBytes full = BuildSacnDataPacket(sender, p.sequence, p.options, levels);
    Bytes bytes(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(kAtStartCode + 1 + p.slots));
    for (std::size_t at : {kAtRootFlagsLength, kAtFramingFlagsLength, kAtDmpFlagsLength}) {
        bytes[at] = static_cast<std::uint8_t>(0x70 | ((bytes.size() - at) >> 8));
        bytes[at + 1] = static_cast<std::uint8_t>(bytes.size() - at);
    }
    bytes[kAtStartCode] = p.startCode;
    bytes[kAtPropertyCount] = static_cast<std::uint8_t>((p.slots + 1) >> 8);
    bytes[kAtPropertyCount + 1] = static_cast<std::uint8_t>(p.slots + 1);
    return bytes;
}
