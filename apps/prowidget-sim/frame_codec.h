#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace prowidget {

// Builds one wire frame: 7E label length-lo length-hi data E7.
std::vector<std::uint8_t> BuildFrame(std::uint8_t label, std::span<const std::uint8_t> data);

// Cuts a byte stream that arrives in arbitrary pieces into whole frames. The length field, not the first E7,
// decides where a frame ends, since levels may hold E7. A frame whose end byte is wrong, or whose length is
// beyond the limit, is reported bad and the cutter looks for the next start byte (which may be that byte).
class FrameCutter {
public:
    using FrameFn = std::function<void(std::uint8_t label, std::vector<std::uint8_t> data)>;
    using BadFn = std::function<void()>;

    FrameCutter(std::size_t maxDataLength, FrameFn onFrame, BadFn onBad);

    void Feed(std::span<const std::uint8_t> bytes);
    std::size_t StrayBytes() const { return stray_; }

private:
    enum class State { Start, Label, LengthLo, LengthHi, Data, End };
    void Eat(std::uint8_t byte);

    std::size_t maxDataLength_;
    FrameFn onFrame_;
    BadFn onBad_;
    State state_ = State::Start;
    std::uint8_t label_ = 0;
    std::size_t length_ = 0;
    std::vector<std::uint8_t> data_;
    std::size_t stray_ = 0;
};

}  // namespace prowidget
