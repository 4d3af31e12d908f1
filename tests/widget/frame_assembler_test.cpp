#include <gtest/gtest.h>

#include "support/widget_frames.h"

#include <vector>

#include "widget/frame_assembler.h"
#include "widget/reply_results.h"

namespace {

std::vector<Bytes> FeedAll(FrameAssembler& assembler, const std::vector<Bytes>& reads) {
    std::vector<Bytes> frames;
    for (const auto& read : reads) assembler.Feed(read, [&](Bytes& frame) { frames.push_back(frame); });
    return frames;
}

struct AssemblyRow {
    const char* name;
    std::vector<Bytes> reads;
    std::vector<Bytes> frames;
    std::size_t carried;
};

TEST(FrameAssembler, CutsTheStreamIntoFramesByTheirLength) {
    const Bytes a = WidgetFrame(3, {0x2C, 0x02, 0x09, 0x01, 0x28});
    const Bytes withDelimiters = WidgetFrame(5, {0x00, 0x00, 0xE7, 0x7E, 0xE7});
    const Bytes b = WidgetFrame(2, {'T', 'R', 'U', 'E'});
    const std::vector<AssemblyRow> rows{
        {"one frame", {a}, {a}, 0},
        {"two frames in one read", {a + b}, {a, b}, 0},
        {"delimiter values inside the data", {withDelimiters + a}, {withDelimiters, a}, 0},
        {"garbage before and between frames is dropped",
         {Bytes{1, 2, 0xE7} + a + Bytes{9, 9} + b},
         {a, b},
         0},
        {"a frame split over three reads",
         {Bytes(a.begin(), a.begin() + 2), Bytes(a.begin() + 2, a.begin() + 7),
          Bytes(a.begin() + 7, a.end())},
         {a},
         0},
        {"an incomplete frame is carried", {a + Bytes(b.begin(), b.begin() + 5)}, {a}, 5},
        {"a lone start byte is carried", {Bytes{0x7E}}, {}, 1},
        {"bad end byte: handed on, then the next start is found",
         {Bytes{0x7E, 3, 1, 0, 0x44, 0x00} + a},
         {Bytes{0x7E, 3, 1, 0, 0x44, 0x00}, a},
         0},
        // A noise 0x7E whose length swallows the start of the real frame must not lose that frame.
        {"noise start byte with a plausible length",
         {Bytes{0x7E, 0x10, 0x03, 0x00} + a},
         {Bytes{0x7E, 0x10, 0x03, 0x00, 0x7E, 0x03, 0x05, 0x00}, a},
         0},
        {"length beyond 600: only the head is handed on",
         {Bytes{0x7E, 0x03, 0x59, 0x02} + a},
         {Bytes{0x7E, 0x03, 0x59, 0x02}, a},
         0},
        {"rejections while searching for the next start are not handed on",
         {Bytes{0x7E, 0x03, 0x01, 0x00, 0x7E, 0x05, 0x02} + a},
         {Bytes{0x7E, 0x03, 0x01, 0x00, 0x7E, 0x05}, a},
         0},
        {"length 600 is a frame", {WidgetFrame(3, Bytes(600, 0x11))}, {WidgetFrame(3, Bytes(600, 0x11))}, 0},
    };
    for (const auto& row : rows) {
        FrameAssembler assembler;
        EXPECT_EQ(FeedAll(assembler, row.reads), row.frames) << row.name;
        EXPECT_EQ(assembler.CarriedBytes(), row.carried) << row.name;
    }
}

TEST(FrameAssembler, StreamSplitAtEveryPointGivesTheSameFrames) {
    Bytes dmx{0x00, 0x00};
    for (int channel = 1; channel <= 512; ++channel) dmx.push_back(static_cast<std::uint8_t>(channel * 7));
    const Bytes stream = Bytes{0xE7, 0x00} + WidgetFrame(5, dmx) + Bytes{0x42} +
                         WidgetFrame(3, {0x2C, 0x02, 9, 1, 40}) + WidgetFrame(5, dmx) + Bytes{0x7E};
    FrameAssembler whole;
    const auto expected = FeedAll(whole, {stream});
    ASSERT_EQ(expected.size(), 3u);
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        FrameAssembler assembler;
        const Bytes first(stream.begin(), stream.begin() + static_cast<std::ptrdiff_t>(cut));
        const Bytes second(stream.begin() + static_cast<std::ptrdiff_t>(cut), stream.end());
        ASSERT_EQ(FeedAll(assembler, {first, second}), expected) << "cut at " << cut;
        EXPECT_EQ(assembler.CarriedBytes(), 1u) << "cut at " << cut;
    }
}

TEST(FrameAssembler, CarryStaysBoundedWhateverArrives) {
    FrameAssembler assembler;
    std::size_t frames = 0;
    std::uint32_t noise = 12345;
    for (int read = 0; read < 2000; ++read) {
        Bytes bytes(97);
        for (auto& byte : bytes) {
            noise = noise * 1103515245u + 12345u;
            byte = static_cast<std::uint8_t>(noise >> 16);
        }
        if (read % 3 == 0) bytes[read % 97] = 0x7E;
        assembler.Feed(bytes, [&](Bytes&) { ++frames; });
        ASSERT_LT(assembler.CarriedBytes(), kMaxReplyFrameBytes);
    }
    // A start followed by a long, still incomplete frame: carried, but no more than one frame's worth.
    assembler.Reset();
    assembler.Feed(Bytes{0x7E, 0x05, 0x58, 0x02} + Bytes(600, 0x00), [&](Bytes&) { ++frames; });
    EXPECT_EQ(assembler.CarriedBytes(), 604u);
}

TEST(FrameAssembler, ResetForgetsAPartialFrame) {
    const Bytes a = WidgetFrame(3, {0x2C, 0x02, 0x09, 0x01, 0x28});
    FrameAssembler assembler;
    FeedAll(assembler, {Bytes(a.begin(), a.begin() + 6)});
    assembler.Reset();
    EXPECT_EQ(assembler.CarriedBytes(), 0u);
    EXPECT_EQ(FeedAll(assembler, {a}), std::vector<Bytes>{a});
}

}  // namespace
