#pragma once

#include <cstdint>

// An ArtPoll's target range: a targeted poll is answered only for ports inside [bottom, top].
struct PollTarget {
    std::uint16_t bottom = 0;
    std::uint16_t top = 0x7FFF;  // the highest 15-bit Port-Address
    bool Covers(std::uint16_t portAddress) const { return portAddress >= bottom && portAddress <= top; }
    bool operator==(const PollTarget&) const = default;
};
