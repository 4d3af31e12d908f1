// The frame assembler and the reply parser on a widget byte stream cut into pieces that arrive at chosen
// times. Besides memory errors it looks for logic faults: frames that are not whole, frames that depend on
// where the stream was cut, a partial frame held forever, a carry beyond one frame, and parse results or
// records that do not follow from the frame (a page counts as written only for a label-2 "TRUE"; no levels
// leave but from a good report of start code 0).

#include <fuzzer/FuzzedDataProvider.h>

#include <chrono>
#include <cstring>
#include <variant>

#include "fuzz_check.h"
#include "support/fakes.h"
#include "widget/frame_assembler.h"
#include "widget/prowidget.h"
#include "widget/reply_results.h"

namespace {

using std::chrono::milliseconds;

struct Piece {
    Bytes bytes;
    milliseconds after;
};

struct Assembled {
    std::vector<Bytes> frames;
    std::vector<FrameFault> faults;
    bool operator==(const Assembled&) const = default;
};

// Feeds the pieces; `timed` lets each arrive after its pause, otherwise all arrive at the same moment.
// With `drain`, idle reads follow until the carry is empty.
Assembled Assemble(const std::vector<Piece>& pieces, bool timed, bool drain = false) {
    Assembled out;
    FrameAssembler assembler([&](Bytes& frame) { out.frames.push_back(frame); },
                             [&](FrameFault fault) { out.faults.push_back(fault); });
    FrameAssembler::TimePoint now{};
    for (const Piece& piece : pieces) {
        if (timed) now += piece.after;
        assembler.Feed(piece.bytes, now);
        FUZZ_CHECK(assembler.CarriedBytes() < kMaxReplyFrameBytes);
    }
    // Nothing more arrives: every partial frame must go in time, however many heads the carry holds.
    for (std::size_t idleFeeds = 0; drain && assembler.CarriedBytes() > 0; ++idleFeeds) {
        FUZZ_CHECK(idleFeeds <= kMaxReplyFrameBytes);
        now += FrameAssembler::kPartialFrameTimeout;
        assembler.Feed({}, now);
    }
    return out;
}

// What the parser must make of a whole frame, as the protocol reads.
void CheckParse(ProWidget& widget, const Bytes& frame, bool receiveMode, int& forwards) {
    const std::uint8_t label = frame[1];
    const std::size_t length = frame.size() - 5;
    const std::uint8_t* data = frame.data() + 4;
    const int forwardsBefore = forwards;
    Bytes text = frame;
    const std::int32_t result = widget.ParseWidgetReply(text);
    FUZZ_CHECK(std::memcmp(&widget.MessageHeader, frame.data(), 4) == 0);

    auto recordHolds = [&](const auto& record) {
        return std::memcmp(&record, frame.data(), std::min(frame.size() - 1, sizeof record)) == 0;
    };
    const bool readsTrue = length >= 4 && std::memcmp(data, "TRUE", 4) == 0;
    switch (label) {
        case kLabelFlashPage:
            FUZZ_CHECK(recordHolds(widget.FlashReply));
            if (length > 0 && data[0] == 'T') {
                FUZZ_CHECK(result == (readsTrue ? kReplyPageWritten : kLabelFlashPage));
                FUZZ_CHECK(widget.ReplyStatus == kStatusReady);
            } else {
                FUZZ_CHECK(result == kReplyPageRefused);
                FUZZ_CHECK(widget.ReplyStatus == kStatusPageFailed);
            }
            break;
        case kLabelGetParameters:
            FUZZ_CHECK(recordHolds(widget.WidgetParameters));
            FUZZ_CHECK(result == label && widget.ReplyStatus == kStatusReady);
            break;
        case kLabelReceivedDmx: {
            // Only good start code 0 levels leave; a faulty frame is kept for the monitor, other reports not.
            const bool faulty = length >= 1 && data[0] != 0;
            const bool goodLevels = !faulty && length >= 3 && data[1] == 0;
            if (faulty || goodLevels) FUZZ_CHECK(recordHolds(widget.ReceivedDmx));
            FUZZ_CHECK(result == label && widget.ReplyStatus == kStatusReady);
            FUZZ_CHECK(forwards == forwardsBefore + (receiveMode && goodLevels ? 1 : 0));
            break;
        }
        default:
            FUZZ_CHECK(result == label && widget.ReplyStatus == kStatusReady);
            break;
    }
    // The firmware update's rule: a reply labelled 254 gives the parser's 254 too, but writes no page.
    const bool pageWritten = label == kLabelFlashPage && result == kReplyPageWritten;
    FUZZ_CHECK(pageWritten == (label == kLabelFlashPage && readsTrue));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    const bool receiveMode = in.ConsumeBool();
    std::vector<Piece> pieces;
    Bytes stream;
    while (in.remaining_bytes() > 0) {
        Piece piece;
        piece.after = milliseconds(in.ConsumeIntegralInRange<int>(0, 150));
        piece.bytes = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 700));
        stream.insert(stream.end(), piece.bytes.begin(), piece.bytes.end());
        pieces.push_back(std::move(piece));
    }

    // Where the stream was cut does not matter while no time passes.
    const Assembled whole = Assemble({{stream, milliseconds(0)}}, false);
    FUZZ_CHECK(Assemble(pieces, false) == whole);

    const Assembled timed = Assemble(pieces, true, true);
    FakeSerialPort port;
    RecordingMessageBox box;
    ProWidget widget(port, box);
    widget.InitWidgetPackets();
    int forwards = 0;
    LevelArray forwarded{};
    widget.SetDmxForwarder([&] { return receiveMode; },
                           [&](std::span<const std::uint8_t, kLevelCount> levels) {
                               ++forwards;
                               std::copy(levels.begin(), levels.end(), forwarded.begin());
                           });
    for (const Bytes& frame : timed.frames) {
        FUZZ_CHECK(IsWholeFrame(frame));
        FUZZ_CHECK(Contains(stream, frame));
        const int forwardsBefore = forwards;
        CheckParse(widget, frame, receiveMode, forwards);
        if (forwards > forwardsBefore)
            FUZZ_CHECK(forwarded == widget.ReceivedDmx.Levels && forwarded[0] == 0);
    }
    for (const Bytes& frame : whole.frames) FUZZ_CHECK(IsWholeFrame(frame));

    // The parser alone on whatever a read delivered, as callers with raw text use it.
    for (const Piece& piece : pieces) {
        Bytes text = piece.bytes;
        const std::int32_t result = widget.ParseWidgetReply(text);
        FUZZ_CHECK(result >= kReplyDataMissing && result <= 255);
    }
    FUZZ_CHECK(box.shown.empty());
    return 0;
}
