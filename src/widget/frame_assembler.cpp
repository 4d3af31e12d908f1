#include "widget/frame_assembler.h"

#include <algorithm>

#include "widget/records.h"
#include "widget/reply_results.h"

void FrameAssembler::Feed(std::span<const std::uint8_t> bytes, const FrameSink& sink) {
    carry_.insert(carry_.end(), bytes.begin(), bytes.end());
    // Borrowed for the call, so that a Feed from within the sink has frames of its own; the frames' storage
    // is reused from one call to the next.
    std::vector<std::vector<std::uint8_t>> frames = std::move(frames_);
    std::size_t frameCount = 0;
    auto at = carry_.begin();
    for (;;) {
        at = std::find(at, carry_.end(), kStartDelimiter);
        if (carry_.end() - at < 4) break;
        const std::size_t dataLength = at[2] | (at[3] << 8);
        std::ptrdiff_t frameBytes = static_cast<std::ptrdiff_t>(4 + dataLength + 1);
        bool framed = true;
        if (dataLength > kMaxReplyDataLength) {
            // The head alone lets the parser report the bad length; what follows cannot be trusted as a
            // frame.
            frameBytes = 4;
            framed = false;
        } else if (carry_.end() - at < frameBytes) {
            break;
        } else {
            framed = at[frameBytes - 1] == kEndDelimiter;
        }
        if (framed || !resyncing_) {
            if (frameCount == frames.size()) frames.emplace_back();
            frames[frameCount++].assign(at, at + frameBytes);
        }
        resyncing_ = !framed;
        // A start byte that led to no proper frame may have been noise: look for the next start just after
        // it, so that a real frame among the rejected bytes is still found.
        at += framed ? frameBytes : 1;
    }
    carry_.erase(carry_.begin(), at);
    for (std::size_t index = 0; index < frameCount; ++index) sink(frames[index]);
    frames_ = std::move(frames);
}
