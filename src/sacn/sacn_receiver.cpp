#include "sacn/sacn_receiver.h"

#include <algorithm>

#include "sacn/source_name.h"

namespace {

constexpr std::chrono::seconds kRateSecond{1};

// The rate is the count of the last whole second; after a longer silence it is none.
void EndSecond(SacnSource& source, SacnSource::TimePoint now) {
    if (now - source.SecondStart < kRateSecond) return;
    source.PacketsPerSecond = now - source.SecondStart < 2 * kRateSecond ? source.PacketsThisSecond : 0;
    source.SecondStart = now;
    source.PacketsThisSecond = 0;
}

}  // namespace

std::string_view SacnSource::Name() const {
    const auto end = std::find(NameBytes.begin(), NameBytes.end(), '\0');
    return {NameBytes.data(), static_cast<std::size_t>(end - NameBytes.begin())};
}

void SacnReceiver::SetUniverse(std::uint16_t universe) {
    if (universe == universe_) return;
    universe_ = universe;
    sourceCount_ = 0;
}

// Compared over the whole call: a time-out the packet undoes at once is no change.
bool SacnReceiver::Receive(std::span<const std::uint8_t> datagram, TimePoint now) {
    const std::array<std::uint8_t, kSacnSlots> before = levels_;
    DropSilentSources(now);
    Take(datagram, now);
    return levels_ != before;
}

void SacnReceiver::Take(std::span<const std::uint8_t> datagram, TimePoint now) {
    SacnIgnored reason{};
    const std::optional<SacnDataPacket> packet = ParseSacnDataPacket(datagram, reason);
    if (!packet) return Ignore(reason);
    if (packet->Universe != universe_) return Ignore(SacnIgnored::OtherUniverse);
    if (packet->Options & kSacnOptionPreview) return Ignore(SacnIgnored::Preview);

    SacnSource* source = FindSource(packet->Cid);
    if (source && SacnSequenceIsStale(source->LastSequence, packet->Sequence))
        return Ignore(SacnIgnored::Sequence);
    const auto noteSync = [&] {
        syncAddress_ = packet->SyncAddress;
        forceSync_ = (packet->Options & kSacnOptionForceSync) != 0;
    };
    if (packet->Options & kSacnOptionStreamTerminated) {
        noteSync();
        if (source) RemoveSource(static_cast<std::size_t>(source - sources_.data()));
        return Merge();
    }
    if (packet->StartCode != 0) {
        // Not levels, but the source is alive and its sequence runs on.
        if (source) {
            source->LastSequence = packet->Sequence;
            source->LastPacket = now;
        }
        return Ignore(SacnIgnored::StartCode);
    }
    if (!source) {
        source = PlaceFor(packet->Priority);
        if (!source) return Ignore(SacnIgnored::SourceLimit);
        *source = SacnSource{};
        std::copy(packet->Cid.begin(), packet->Cid.end(), source->Cid.begin());
        source->SecondStart = now;
    }
    noteSync();
    CleanSourceName(packet->SourceName, source->NameBytes);
    source->Priority = packet->Priority;
    source->LastSequence = packet->Sequence;
    source->LastPacket = now;
    ++source->Packets;
    EndSecond(*source, now);
    ++source->PacketsThisSecond;
    std::copy(packet->Slots.begin(), packet->Slots.end(), source->Levels.begin());
    Merge();
}

bool SacnReceiver::Tick(TimePoint now) {
    const std::array<std::uint8_t, kSacnSlots> before = levels_;
    for (SacnSource& source : std::span(sources_).first(sourceCount_)) EndSecond(source, now);
    DropSilentSources(now);
    return levels_ != before;
}

std::optional<std::size_t> SacnReceiver::Winner() const {
    const std::span<const SacnSource> sources = Sources();
    if (sources.empty()) return std::nullopt;
    const auto best = std::max_element(sources.begin(), sources.end(),
                                       [](const auto& a, const auto& b) { return a.Priority < b.Priority; });
    return static_cast<std::size_t>(best - sources.begin());
}

bool SacnReceiver::Merging() const {
    const std::optional<std::size_t> winner = Winner();
    if (!winner) return false;
    const std::uint8_t top = sources_[*winner].Priority;
    return std::count_if(Sources().begin(), Sources().end(),
                         [top](const auto& s) { return s.Priority == top; }) > 1;
}

void SacnReceiver::Ignore(SacnIgnored reason) {
    ++ignored_[static_cast<std::size_t>(reason)];
}

SacnSource* SacnReceiver::FindSource(std::span<const std::uint8_t, kSacnCidBytes> cid) {
    for (SacnSource& source : std::span(sources_).first(sourceCount_))
        if (std::equal(cid.begin(), cid.end(), source.Cid.begin())) return &source;
    return nullptr;
}

// A free place, or when all are held, the place of the lowest priority if the newcomer's is higher: eight
// sources at priority 0 must not lock out a console. Of several at that lowest priority, the one silent the
// longest goes (the first held of those when they were last heard at once).
SacnSource* SacnReceiver::PlaceFor(std::uint8_t priority) {
    if (sourceCount_ < kMaxSources) return &sources_[sourceCount_++];
    const auto lowest = std::min_element(sources_.begin(), sources_.end(), [](const auto& a, const auto& b) {
        return a.Priority != b.Priority ? a.Priority < b.Priority : a.LastPacket < b.LastPacket;
    });
    return lowest->Priority < priority ? &*lowest : nullptr;
}

void SacnReceiver::RemoveSource(std::size_t index) {
    std::move(sources_.begin() + static_cast<std::ptrdiff_t>(index + 1),
              sources_.begin() + static_cast<std::ptrdiff_t>(sourceCount_),
              sources_.begin() + static_cast<std::ptrdiff_t>(index));
    --sourceCount_;
}

void SacnReceiver::DropSilentSources(TimePoint now) {
    bool dropped = false;
    for (std::size_t i = sourceCount_; i-- > 0;) {
        if (now - sources_[i].LastPacket >= kSourceTimeout) {
            RemoveSource(i);
            dropped = true;
        }
    }
    if (dropped) Merge();
}

// Highest priority wins; sources sharing it merge highest-takes-precedence. With no source left the levels
// hold.
void SacnReceiver::Merge() {
    const std::optional<std::size_t> winner = Winner();
    if (!winner) return;
    const std::uint8_t top = sources_[*winner].Priority;
    levels_.fill(0);
    for (const SacnSource& source : Sources()) {
        if (source.Priority != top) continue;
        for (std::size_t slot = 0; slot < kSacnSlots; ++slot)
            levels_[slot] = std::max(levels_[slot], source.Levels[slot]);
    }
}
