#include "node/artnet_merge.h"

#include <algorithm>
#include <utility>

bool ArtNetMerge::Take(const std::array<std::uint8_t, 4>& address, std::uint8_t physical,
                       std::span<const std::uint8_t> slots, TimePoint now) {
    const auto same = [&](const ArtNetSource& s) { return s.address == address && s.physical == physical; };
    if (std::exchange(cancelled_, false))
        std::erase_if(sources_, [&](const ArtNetSource& s) { return !same(s); });
    auto source = std::find_if(sources_.begin(), sources_.end(), same);
    if (source == sources_.end()) {
        if (sources_.size() == kMostSources) {
            ++thirdSources_;
            return false;
        }
        source = sources_.insert(sources_.end(), ArtNetSource{address, physical});
    }
    source->last = now;
    ++source->packets;
    std::copy_n(slots.begin(), std::min(slots.size(), source->levels.size()), source->levels.begin());
    latest_ = static_cast<std::size_t>(source - sources_.begin());
    return true;
}

std::array<std::uint8_t, 512> ArtNetMerge::Levels(MergeMode mode) const {
    if (sources_.empty()) return {};
    if (!Merging() || mode == MergeMode::Ltp) return sources_[std::min(latest_, sources_.size() - 1)].levels;
    std::array<std::uint8_t, 512> levels;
    std::transform(sources_[0].levels.begin(), sources_[0].levels.end(), sources_[1].levels.begin(),
                   levels.begin(), [](std::uint8_t a, std::uint8_t b) { return std::max(a, b); });
    return levels;
}

bool ArtNetMerge::Expire(TimePoint now) {
    const std::size_t gone =
        std::erase_if(sources_, [&](const ArtNetSource& s) { return now - s.last > kSourceTimeout; });
    if (gone == 0) return false;
    // Of those left, the one heard last is the latest.
    const auto last = std::max_element(sources_.begin(), sources_.end(),
                                       [](const auto& a, const auto& b) { return a.last < b.last; });
    latest_ = static_cast<std::size_t>(last - sources_.begin());
    return true;
}
