#include "widget/frame_assembler.h"

#include <algorithm>
#include <utility>

#include "widget/records.h"
#include "widget/reply_results.h"

FrameAssembler::FrameAssembler(FrameSink frames, FaultSink faults)
    : frames_(std::move(frames)), faults_(std::move(faults)) {}

void FrameAssembler::Feed(std::span<const std::uint8_t> bytes, TimePoint now) {
    const bool fresh = carry_.empty();
    // Only the frame that was already waiting can be stale; one that begins in these bytes starts its wait
    // now.
    bool stale = !fresh && now - partialSince_ >= kPartialFrameTimeout;
    carry_.insert(carry_.end(), bytes.begin(), bytes.end());

    // Borrowed for the call, so that a Feed from within a sink has a list of its own; the frames' storage is
    // reused from one call to the next, so that a steady stream allocates nothing.
    std::vector<Found> found = std::move(found_);
    std::size_t foundCount = 0;
    auto next = [&]() -> Found& {
        if (foundCount == found.size()) found.emplace_back();
        return found[foundCount++];
    };
    auto reject = [&](FrameFault fault) {
        if (!resyncing_) next().fault = fault;
        resyncing_ = true;
    };
    auto at = carry_.begin();
    for (;;) {
        at = std::find(at, carry_.end(), kStartDelimiter);
        if (at == carry_.end()) break;
        const std::ptrdiff_t available = carry_.end() - at;
        if (available >= 4) {
            const std::size_t dataLength = at[2] | (at[3] << 8);
            const auto frameBytes = static_cast<std::ptrdiff_t>(4 + dataLength + 1);
            if (dataLength > kMaxReplyDataLength) {
                reject(FrameFault::BadLength);
            } else if (available >= frameBytes && at[frameBytes - 1] == kEndDelimiter) {
                Found& item = next();
                item.fault.reset();
                item.frame.assign(at, at + frameBytes);
                resyncing_ = false;
                at += frameBytes;
                stale = false;
                continue;
            } else if (available >= frameBytes) {
                reject(FrameFault::BadEnd);
            } else if (!stale) {
                break;
            } else {
                reject(FrameFault::Incomplete);
            }
        } else if (!stale) {
            break;
        } else {
            reject(FrameFault::Incomplete);
        }
        // A start byte that led to no proper frame may have been noise: look for the next start just after
        // it, so that a real frame among the rejected bytes is still found.
        stale = false;
        ++at;
    }
    if (fresh || at != carry_.begin()) partialSince_ = now;
    carry_.erase(carry_.begin(), at);

    for (std::size_t index = 0; index < foundCount; ++index) {
        Found& item = found[index];
        if (!item.fault)
            frames_(item.frame);
        else if (faults_)
            faults_(*item.fault);
    }
    found_ = std::move(found);
}
