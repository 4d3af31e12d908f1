#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <span>

// One frame of DMX: the start code and up to 512 slots.
struct DmxFrame {
    std::array<std::uint8_t, 513> levels{};
    std::size_t slotCount = 0;  // after the start code
};

// Hands the latest frame from one thread to another without a lock: a triple buffer. The writer never waits
// for the reader, and the reader takes the newest frame written; one that was overwritten before it was
// taken is counted, not queued, since a widget's output and a network stream both want only the latest look.
class LevelMailbox {
public:
    // Writer side.
    void Put(std::span<const std::uint8_t> levels, std::size_t slotCount) {
        DmxFrame& frame = frames_[back_];
        const std::size_t count = levels.size() < frame.levels.size() ? levels.size() : frame.levels.size();
        for (std::size_t i = 0; i < count; ++i) frame.levels[i] = levels[i];
        frame.slotCount = slotCount;
        const std::uint8_t previous = middle_.exchange(static_cast<std::uint8_t>(back_ | kFresh));
        if (previous & kFresh) overwritten_.fetch_add(1, std::memory_order_relaxed);
        back_ = previous & kIndex;
    }

    // Reader side: the newest frame when one came since the last take.
    const DmxFrame* Take() {
        if (!(middle_.load() & kFresh)) return nullptr;
        const std::uint8_t previous = middle_.exchange(front_);
        front_ = previous & kIndex;
        return &frames_[front_];
    }

    // Frames that a newer one replaced before the reader came.
    std::uint64_t Overwritten() const { return overwritten_.load(std::memory_order_relaxed); }

private:
    static constexpr std::uint8_t kFresh = 0x80;
    static constexpr std::uint8_t kIndex = 0x03;

    std::array<DmxFrame, 3> frames_{};
    std::atomic<std::uint8_t> middle_{1};
    std::uint8_t back_ = 0;   // the writer's
    std::uint8_t front_ = 2;  // the reader's
    std::atomic<std::uint64_t> overwritten_{0};
};
