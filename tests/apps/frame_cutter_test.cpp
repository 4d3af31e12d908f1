#include <gtest/gtest.h>

#include "frame_codec.h"
#include "prowidget_sim.h"

namespace prowidget {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct Cut {
    std::uint8_t label;
    Bytes data;
    bool operator==(const Cut&) const = default;
};

struct CutterCase {
    const char* name;
    std::vector<Bytes> pieces;
    std::vector<Cut> frames;
    std::size_t bad;
    std::size_t stray;
};

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const auto& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

std::vector<Bytes> Pieces(const Bytes& bytes, std::size_t size) {
    std::vector<Bytes> pieces;
    for (std::size_t at = 0; at < bytes.size(); at += size)
        pieces.emplace_back(bytes.begin() + at, bytes.begin() + std::min(bytes.size(), at + size));
    return pieces;
}

const Bytes kDelimiterLevels = {0xE7, 0x7E, 0xE7, 0xE7, 0x00, 0x7E};

TEST(FrameCutter, CutsFramesByTheirLengthField) {
    const Bytes params = BuildFrame(3, Bytes{0x2C, 0x02, 0x09, 0x01, 0x28});
    const Bytes delimiters = BuildFrame(6, kDelimiterLevels);
    const CutterCase cases[] = {
        {"whole frame", {params}, {{3, {0x2C, 0x02, 0x09, 0x01, 0x28}}}, 0, 0},
        {"one byte at a time", Pieces(params, 1), {{3, {0x2C, 0x02, 0x09, 0x01, 0x28}}}, 0, 0},
        {"levels holding both delimiters", Pieces(delimiters, 3), {{6, kDelimiterLevels}}, 0, 0},
        {"empty data", {{0x7E, 0x01, 0x00, 0x00, 0xE7}}, {{1, {}}}, 0, 0},
        {"two frames in one piece",
         {Concat({params, delimiters})},
         {{3, {0x2C, 0x02, 0x09, 0x01, 0x28}}, {6, kDelimiterLevels}},
         0,
         0},
        {"garbage before a frame is skipped",
         {Concat({{0x00, 0xFF, 0xE7}, params})},
         {{3, {0x2C, 0x02, 0x09, 0x01, 0x28}}},
         0,
         3},
        {"wrong end byte is bad and the next frame still counts",
         {Concat({{0x7E, 0x03, 0x01, 0x00, 0x11, 0x22}, params})},
         {{3, {0x2C, 0x02, 0x09, 0x01, 0x28}}},
         1,
         1},
        {"a start byte in place of the end byte opens the next frame",
         {Concat({{0x7E, 0x03, 0x01, 0x00, 0x11}, params})},
         {{3, {0x2C, 0x02, 0x09, 0x01, 0x28}}},
         1,
         0},
        {"length above the limit is bad",
         {Concat({{0x7E, 0x06, 0x59, 0x02}, params})},
         {{3, {0x2C, 0x02, 0x09, 0x01, 0x28}}},
         1,
         0},
        {"unfinished frame stays pending", {{0x7E, 0x06, 0x01, 0x02, 0x00}}, {}, 0, 0},
    };
    for (const auto& c : cases) {
        std::vector<Cut> frames;
        std::size_t bad = 0;
        FrameCutter cutter(
            kSimMaxDataLength,
            [&](std::uint8_t label, Bytes data) {
                frames.push_back({label, std::move(data)});
            },
            [&] { ++bad; });
        for (const auto& piece : c.pieces) cutter.Feed(piece);
        EXPECT_EQ(frames, c.frames) << c.name;
        EXPECT_EQ(bad, c.bad) << c.name;
        EXPECT_EQ(cutter.StrayBytes(), c.stray) << c.name;
    }
}

TEST(FrameCutter, LengthOfExactlyTheLimitIsAccepted) {
    Bytes data(kSimMaxDataLength, 0xE7);
    std::size_t frames = 0, bad = 0;
    FrameCutter cutter(
        kSimMaxDataLength, [&](std::uint8_t, Bytes got) { frames += got == data; }, [&] { ++bad; });
    cutter.Feed(BuildFrame(5, data));
    EXPECT_EQ(frames, 1u);
    EXPECT_EQ(bad, 0u);
}

}  // namespace
}  // namespace prowidget
