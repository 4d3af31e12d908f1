#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

// Cuts the widget's byte stream into frames, whatever pieces the serial port delivers it in. Bytes before a
// start delimiter are dropped; an incomplete frame is carried to the next Feed. The carry never exceeds one
// frame of the longest accepted length, so a stream of garbage cannot grow it.
class FrameAssembler {
public:
    // Receives each frame in stream order; the frame may be trimmed by the callee. The sink runs after the
    // carry is settled, so a sink that leads to another Feed (a nested event loop) finds consistent state.
    using FrameSink = std::function<void(std::vector<std::uint8_t>& frame)>;

    void Feed(std::span<const std::uint8_t> bytes, const FrameSink& sink);
    // Forgets a partial frame, for when the bytes that follow come from somewhere else (another port).
    void Reset() {
        carry_.clear();
        resyncing_ = false;
    }
    std::size_t CarriedBytes() const { return carry_.size(); }

private:
    std::vector<std::uint8_t> carry_;
    std::vector<std::vector<std::uint8_t>> frames_;
    // After a rejected frame, until the next good one: only the first rejection is handed on, so that the
    // parser reports what broke and not the noise of searching through its bytes.
    bool resyncing_ = false;
};
