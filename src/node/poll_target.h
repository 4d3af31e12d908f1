#pragma once

#include <cstdint>

// The highest 15-bit Port-Address of Art-Net: net 127, sub-net 15, universe 15.
inline constexpr std::uint16_t kHighestPortAddress = 0x7FFF;

// An ArtPoll's target range: a targeted poll is answered only for ports inside [bottom, top].
struct PollTarget {
    std::uint16_t bottom = 0;
    std::uint16_t top = kHighestPortAddress;
    bool Covers(std::uint16_t portAddress) const { return portAddress >= bottom && portAddress <= top; }
    bool operator==(const PollTarget&) const = default;
};
