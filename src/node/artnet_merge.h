#pragma once

// The Art-Net sources of one send-mode port: two at most merge, a third is ignored.

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <vector>

#include "node/node_config.h"

// A sender of the port's universe: its address and the ArtDmx's Physical byte, since one machine may send
// from several of its own ports.
struct ArtNetSource {
    std::array<std::uint8_t, 4> address{};
    std::uint8_t physical = 0;
    std::chrono::steady_clock::time_point last{};
    std::uint64_t packets = 0, lastPackets = 0;
    double perSecond = 0;
    std::array<std::uint8_t, 512> levels{};  // its own, as its packets left them
};

class ArtNetMerge {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::chrono::seconds kSourceTimeout{10};
    static constexpr std::size_t kMostSources = 2;

    // A packet's slots into its source's levels (a short packet changes only those it carries); false for
    // a third source's, which is ignored and counted.
    bool Take(const std::array<std::uint8_t, 4>& address, std::uint8_t physical,
              std::span<const std::uint8_t> slots, TimePoint now);
    // The port's levels: the one source's, or the two merged as the mode says.
    std::array<std::uint8_t, 512> Levels(MergeMode mode) const;
    // Drops the sources silent for kSourceTimeout; true when one went.
    bool Expire(TimePoint now);
    // The next packet's source becomes the only one, until another appears.
    void Cancel() { cancelled_ = true; }
    void Clear() { *this = ArtNetMerge{}; }

    bool Merging() const { return sources_.size() == kMostSources; }
    const std::vector<ArtNetSource>& Sources() const { return sources_; }
    std::vector<ArtNetSource>& Sources() { return sources_; }
    // Where in Sources() the latest packet's source is, while there is one.
    std::size_t Latest() const { return latest_; }
    std::uint64_t ThirdSources() const { return thirdSources_; }

private:
    std::vector<ArtNetSource> sources_;
    std::size_t latest_ = 0;
    bool cancelled_ = false;
    std::uint64_t thirdSources_ = 0;
};
