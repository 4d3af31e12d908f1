#include "frame_codec.h"

#include "prowidget_sim.h"

namespace prowidget {

std::vector<std::uint8_t> BuildFrame(std::uint8_t label, std::span<const std::uint8_t> data) {
    std::vector<std::uint8_t> frame;
    frame.reserve(data.size() + 5);
    frame.push_back(kSimStart);
    frame.push_back(label);
    frame.push_back(static_cast<std::uint8_t>(data.size() & 0xFF));
    frame.push_back(static_cast<std::uint8_t>((data.size() >> 8) & 0xFF));
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(kSimEnd);
    return frame;
}

FrameCutter::FrameCutter(std::size_t maxDataLength, FrameFn onFrame, BadFn onBad)
    : maxDataLength_(maxDataLength), onFrame_(std::move(onFrame)), onBad_(std::move(onBad)) {}

void FrameCutter::Feed(std::span<const std::uint8_t> bytes) {
    for (std::uint8_t byte : bytes) Eat(byte);
}

void FrameCutter::Eat(std::uint8_t byte) {
    switch (state_) {
        case State::Start:
            if (byte == kSimStart) {
                state_ = State::Label;
            } else {
                ++stray_;
            }
            return;
        case State::Label:
            label_ = byte;
            state_ = State::LengthLo;
            return;
        case State::LengthLo:
            length_ = byte;
            state_ = State::LengthHi;
            return;
        case State::LengthHi:
            length_ |= static_cast<std::size_t>(byte) << 8;
            if (length_ > maxDataLength_) {
                state_ = State::Start;
                onBad_();
                return;
            }
            data_.clear();
            data_.reserve(length_);
            state_ = length_ == 0 ? State::End : State::Data;
            return;
        case State::Data:
            data_.push_back(byte);
            if (data_.size() == length_) state_ = State::End;
            return;
        case State::End:
            state_ = State::Start;
            if (byte == kSimEnd) {
                onFrame_(label_, std::move(data_));
                data_ = {};
                return;
            }
            onBad_();
            // The wrong byte may itself open the next frame.
            Eat(byte);
            return;
    }
}

}  // namespace prowidget
