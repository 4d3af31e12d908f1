#pragma once

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

#include "sacn/sacn_packets.h"

// One source (CID) sending on the receiver's universe, as far as the receiver has heard it.
struct SacnSource {
    using TimePoint = std::chrono::steady_clock::time_point;

    SacnCid Cid{};
    std::array<char, kSacnSourceNameBytes> NameBytes{};  // cleaned: no control bytes, valid UTF-8
    std::uint8_t Priority = 0;
    std::uint8_t LastSequence = 0;
    TimePoint LastPacket{};
    std::uint64_t Packets = 0;
    std::uint32_t PacketsPerSecond = 0;             // over the last whole second
    std::array<std::uint8_t, kSacnSlots> Levels{};  // slots a short packet does not carry hold

    std::string_view Name() const;

    // For the packet rate: the second being counted.
    TimePoint SecondStart{};
    std::uint32_t PacketsThisSecond = 0;
};

// The sACN side of one bridge: takes the datagrams of one universe, keeps at most kMaxSources sources (a
// newcomer above the lowest priority held takes its place) and merges them into the 512 levels for the
// widget. Source names are kept cleaned of control bytes and invalid UTF-8. Time comes in from the caller, so
// tests move it.
class SacnReceiver {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::size_t kMaxSources = 8;
    static constexpr std::chrono::milliseconds kSourceTimeout{2500};

    explicit SacnReceiver(std::uint16_t universe) : universe_(universe) {}

    // Another universe starts afresh: its sources are others. The levels hold until one sends.
    void SetUniverse(std::uint16_t universe);
    std::uint16_t Universe() const { return universe_; }

    // Each returns whether the merged levels changed, so the caller sends one frame per change.
    bool Receive(std::span<const std::uint8_t> datagram, TimePoint now);
    bool Tick(TimePoint now);

    const std::array<std::uint8_t, kSacnSlots>& Levels() const { return levels_; }
    std::span<const SacnSource> Sources() const { return std::span(sources_).first(sourceCount_); }
    // The first source of the highest priority, and whether others share that priority.
    std::optional<std::size_t> Winner() const;
    bool Merging() const;
    // The synchronisation address and Force_Synchronization of the last data packet taken. The receiver
    // itself acts on each packet at once; a caller that synchronises holds its levels by these.
    std::uint16_t SyncAddress() const { return syncAddress_; }
    bool ForceSync() const { return forceSync_; }
    std::uint64_t Ignored(SacnIgnored reason) const { return ignored_[static_cast<std::size_t>(reason)]; }

private:
    void Take(std::span<const std::uint8_t> datagram, TimePoint now);
    void Ignore(SacnIgnored reason);
    SacnSource* FindSource(std::span<const std::uint8_t, kSacnCidBytes> cid);
    SacnSource* PlaceFor(std::uint8_t priority);
    void RemoveSource(std::size_t index);
    void DropSilentSources(TimePoint now);
    void Merge();

    std::uint16_t universe_;
    std::array<SacnSource, kMaxSources> sources_{};
    std::size_t sourceCount_ = 0;
    std::array<std::uint8_t, kSacnSlots> levels_{};
    std::array<std::uint64_t, kSacnIgnoredReasons> ignored_{};
    std::uint16_t syncAddress_ = 0;
    bool forceSync_ = false;
};
