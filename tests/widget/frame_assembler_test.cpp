#include <gtest/gtest.h>

#include "support/widget_frames.h"

#include <chrono>
#include <vector>

#include "widget/frame_assembler.h"
#include "widget/reply_results.h"

namespace {

using std::chrono::milliseconds;

// The bytes of one read and when it came, in milliseconds from the start.
struct Read {
    Bytes bytes;
    int atMs = 0;
};

struct Assembled {
    std::vector<Bytes> frames;
    std::vector<FrameFault> faults;
};

struct Recorder {
    Assembled out;
    FrameAssembler assembler{[this](Bytes& frame) { out.frames.push_back(frame); },
                             [this](FrameFault fault) { out.faults.push_back(fault); }};
    void Feed(const Read& read) {
        assembler.Feed(read.bytes, FrameAssembler::TimePoint{} + milliseconds(read.atMs));
    }
};

Assembled FeedAll(const std::vector<Read>& reads, std::size_t* carried = nullptr) {
    Recorder recorder;
    for (const auto& read : reads) recorder.Feed(read);
    if (carried) *carried = recorder.assembler.CarriedBytes();
    return recorder.out;
}

Bytes Part(const Bytes& bytes, std::size_t from, std::size_t to) {
    return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(from),
                 bytes.begin() + static_cast<std::ptrdiff_t>(to));
}

TEST(FrameAssembler, HandsOnWholeFramesAndReportsWhatIsNotOne) {
    using enum FrameFault;
    const Bytes a = WidgetFrame(3, {0x2C, 0x02, 0x09, 0x01, 0x28});
    const Bytes withDelimiters = WidgetFrame(5, {0x00, 0x00, 0xE7, 0x7E, 0xE7});
    const Bytes b = WidgetFrame(2, {'T', 'R', 'U', 'E'});
    const Bytes longHead{0x7E, 0x05, 0x58, 0x02};  // announces 600 data bytes
    struct Row {
        const char* name;
        std::vector<Read> reads;
        std::vector<Bytes> frames;
        std::vector<FrameFault> faults;
        std::size_t carried;
    };
    const std::vector<Row> rows{
        {"one frame", {{a}}, {a}, {}, 0},
        {"two frames in one read", {{a + b}}, {a, b}, {}, 0},
        {"delimiter values inside the data", {{withDelimiters + a}}, {withDelimiters, a}, {}, 0},
        {"garbage before and between frames is dropped",
         {{Bytes{1, 2, 0xE7} + a + Bytes{9, 9} + b}},
         {a, b},
         {},
         0},
        {"a frame split over three reads",
         {{Part(a, 0, 2)}, {Part(a, 2, 7)}, {Part(a, 7, a.size())}},
         {a},
         {},
         0},
        {"an incomplete frame is carried", {{a + Part(b, 0, 5)}}, {a}, {}, 5},
        {"a lone start byte is carried", {{Bytes{0x7E}}}, {}, {}, 1},
        {"bad end byte: reported, then the next start is found",
         {{Bytes{0x7E, 3, 1, 0, 0x44, 0x00} + a}},
         {a},
         {BadEnd},
         0},
        // A noise 0x7E whose length swallows the start of the real frame must not lose that frame.
        {"noise start byte with a plausible length", {{Bytes{0x7E, 0x10, 0x03, 0x00} + a}}, {a}, {BadEnd}, 0},
        {"length beyond 600", {{Bytes{0x7E, 0x03, 0x59, 0x02} + a}}, {a}, {BadLength}, 0},
        {"rejections while searching for the next start are not reported",
         {{Bytes{0x7E, 0x03, 0x01, 0x00, 0x7E, 0x05, 0x02} + a}},
         {a},
         {BadEnd},
         0},
        {"length 600 is a frame",
         {{WidgetFrame(3, Bytes(600, 0x11))}},
         {WidgetFrame(3, Bytes(600, 0x11))},
         {},
         0},
        {"a partial frame completed within 100 ms",
         {{Part(a, 0, 5), 0}, {Part(a, 5, a.size()), 99}},
         {a},
         {},
         0},
        {"a stale partial frame is dropped and the frame behind it comes",
         {{longHead, 0}, {a, 100}},
         {a},
         {Incomplete},
         0},
        {"no more bytes: an empty read after the time-out lets the held frame out",
         {{longHead + a, 0}, {{}, 99}, {{}, 100}},
         {a},
         {Incomplete},
         0},
        {"a short stale head is dropped too", {{Bytes{0x7E, 0x05}, 0}, {{}, 150}}, {}, {Incomplete}, 0},
        {"a frame that begins in a later read waits from then",
         {{Part(a, 0, 2), 0}, {Part(a, 2, a.size()) + Part(b, 0, 3), 120}, {Part(b, 3, b.size()), 200}},
         {a, b},
         {},
         0},
    };
    for (const auto& row : rows) {
        std::size_t carried = 0;
        const Assembled out = FeedAll(row.reads, &carried);
        EXPECT_EQ(out.frames, row.frames) << row.name;
        EXPECT_EQ(out.faults, row.faults) << row.name;
        EXPECT_EQ(carried, row.carried) << row.name;
    }
}

TEST(FrameAssembler, StreamSplitAtEveryPointGivesTheSameFrames) {
    Bytes dmx{0x00, 0x00};
    for (int channel = 1; channel <= 512; ++channel) dmx.push_back(static_cast<std::uint8_t>(channel * 7));
    const Bytes stream = Bytes{0xE7, 0x00} + WidgetFrame(5, dmx) + Bytes{0x42} +
                         WidgetFrame(3, {0x2C, 0x02, 9, 1, 40}) + WidgetFrame(5, dmx) + Bytes{0x7E};
    const auto expected = FeedAll({{stream}}).frames;
    ASSERT_EQ(expected.size(), 3u);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        std::size_t carried = 0;
        ASSERT_EQ(FeedAll({{Part(stream, 0, cut)}, {Part(stream, cut, stream.size())}}, &carried).frames,
                  expected)
            << "cut at " << cut;
        EXPECT_EQ(carried, 1u) << "cut at " << cut;
    }
}

TEST(FrameAssembler, CarryStaysBoundedWhateverArrives) {
    Recorder recorder;
    std::uint32_t noise = 12345;
    for (int read = 0; read < 2000; ++read) {
        Bytes bytes(97);
        for (auto& byte : bytes) {
            noise = noise * 1103515245u + 12345u;
            byte = static_cast<std::uint8_t>(noise >> 16);
        }
        if (read % 3 == 0) bytes[static_cast<std::size_t>(read % 97)] = 0x7E;
        recorder.Feed({bytes, read});
        ASSERT_LT(recorder.assembler.CarriedBytes(), kMaxReplyFrameBytes);
    }
    // A start followed by a long, still incomplete frame: carried, but no more than one frame's worth.
    recorder.assembler.Reset();
    recorder.Feed({Bytes{0x7E, 0x05, 0x58, 0x02} + Bytes(600, 0x00), 5000});
    EXPECT_EQ(recorder.assembler.CarriedBytes(), 604u);
}

TEST(FrameAssembler, ResetForgetsAPartialFrame) {
    const Bytes a = WidgetFrame(3, {0x2C, 0x02, 0x09, 0x01, 0x28});
    Recorder recorder;
    recorder.Feed({Part(a, 0, 6)});
    recorder.assembler.Reset();
    EXPECT_EQ(recorder.assembler.CarriedBytes(), 0u);
    recorder.Feed({a});
    EXPECT_EQ(recorder.out.frames, std::vector<Bytes>{a});
}

}  // namespace
