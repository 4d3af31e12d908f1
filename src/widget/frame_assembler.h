#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

// Why bytes that began like a frame were not handed on as one.
enum class FrameFault {
    BadLength,   // the length field exceeds the longest accepted reply
    BadEnd,      // the byte after the data is not the end delimiter
    Incomplete,  // the rest of the frame did not come in time
};

// Cuts the widget's byte stream into frames, whatever pieces the serial port delivers it in. Only whole
// frames are handed on: a start delimiter, a length of at most 600, that many data bytes and the end
// delimiter. Bytes before a start delimiter are dropped; an incomplete frame is carried to the next Feed, but
// no longer than kPartialFrameTimeout: a frame that was cut short (a device reset mid-report, a stray 0x7E
// followed by a small length) must not hold back every frame behind it. The carry never exceeds one frame of
// the longest accepted length, so a stream of garbage cannot grow it.
class FrameAssembler {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::chrono::milliseconds kPartialFrameTimeout{100};

    // Receives each frame in stream order; the frame may be trimmed by the callee. The sinks run after the
    // carry is settled, so a sink that leads to another Feed (a nested event loop) finds consistent state.
    using FrameSink = std::function<void(std::vector<std::uint8_t>& frame)>;
    // After a fault, further faults are not reported until the next whole frame: searching through the
    // rejected bytes is noise, not news.
    using FaultSink = std::function<void(FrameFault fault)>;

    explicit FrameAssembler(FrameSink frames, FaultSink faults = {});

    // Takes the bytes read at `now`. Feeding no bytes only lets a stale partial frame go.
    void Feed(std::span<const std::uint8_t> bytes, TimePoint now);
    // Forgets a partial frame, for when the bytes that follow come from somewhere else (another port).
    void Reset() {
        carry_.clear();
        resyncing_ = false;
    }
    std::size_t CarriedBytes() const { return carry_.size(); }

private:
    // A frame found in the carry, or the fault that rejected bytes there.
    struct Found {
        std::optional<FrameFault> fault;
        std::vector<std::uint8_t> frame;
    };

    FrameSink frames_;
    FaultSink faults_;
    std::vector<std::uint8_t> carry_;
    // When the partial frame at the head of the carry began to wait for its rest.
    TimePoint partialSince_{};
    bool resyncing_ = false;
    std::vector<Found> found_;
};
