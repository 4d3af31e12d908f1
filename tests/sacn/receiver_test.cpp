#include <gtest/gtest.h>

#include "sacn/sacn_receiver.h"
#include "sacn_fixture.h"

namespace {

using namespace std::chrono_literals;

// One step of a case: a packet at a time (ms from the start), or only the clock's tick when `tick` is set.
struct Step {
    int atMs;
    TestPacket packet;
    bool tick = false;
};

struct Expected {
    std::array<std::uint8_t, 3> firstLevels;
    std::size_t sources;
    std::uint8_t winner;  // the winner's CID byte, 0 for none
    bool merging;
};

struct Case {
    const char* name;
    std::vector<Step> steps;
    Expected expected;
    std::vector<std::pair<SacnIgnored, std::uint64_t>> ignored{};
};

TestPacket From(std::uint8_t source, std::uint8_t priority, std::uint8_t sequence,
                std::vector<std::uint8_t> levels, std::uint8_t options = 0) {
    return {
        .source = source, .priority = priority, .sequence = sequence, .levels = levels, .options = options};
}

// Sources 1 to 8 at one priority from the start, each with its number as its first level, then the steps.
std::vector<Step> AllPlacesHeld(std::uint8_t priority, std::vector<Step> then) {
    std::vector<Step> steps;
    for (std::uint8_t source = 1; source <= SacnReceiver::kMaxSources; ++source)
        steps.push_back({0, From(source, priority, 0, {source})});
    steps.insert(steps.end(), then.begin(), then.end());
    return steps;
}

TEST(SacnReceiver, MergeAndPriorityCases) {
    const std::vector<Case> cases{
        {"higher priority wins",
         {{0, From(1, 100, 0, {10, 200, 30})}, {10, From(2, 120, 0, {50, 60, 70})}},
         {{50, 60, 70}, 2, 2, false}},
        {"loser takes over when the winner terminates",
         {{0, From(1, 100, 0, {10, 200, 30})},
          {10, From(2, 120, 0, {50, 60, 70})},
          {20, From(2, 120, 1, {}, kSacnOptionStreamTerminated)}},
         {{10, 200, 30}, 1, 1, false}},
        {"loser takes over when the winner times out, on the tick",
         {{0, From(1, 100, 0, {10, 200, 30})},
          {0, From(2, 120, 0, {50, 60, 70})},
          {2400, From(1, 100, 1, {10, 200, 30})},
          {2500, {}, true}},
         {{10, 200, 30}, 1, 1, false}},
        {"a winner back in the packet that times it out is no change",
         {{0, From(1, 120, 0, {10, 200, 30})},
          {100, From(2, 100, 0, {50, 60, 70})},
          {2500, From(1, 120, 1, {10, 200, 30})}},
         {{10, 200, 30}, 2, 1, false}},
        {"a source silent 2.4 s still wins",
         {{0, From(2, 120, 0, {50, 60, 70})}, {2400, From(1, 100, 0, {10, 200, 30})}},
         {{50, 60, 70}, 2, 2, false}},
        {"equal priorities merge slot by slot",
         {{0, From(1, 100, 0, {10, 200, 30})},
          {10, From(2, 100, 0, {50, 60, 70})},
          {20, From(3, 90, 0, {99, 99, 99})}},
         {{50, 200, 70}, 3, 1, true}},
        {"a short packet holds the other slots",
         {{0, From(1, 100, 0, {10, 200, 30})}, {10, {.source = 1, .sequence = 1, .level = 5, .slots = 1}}},
         {{5, 200, 30}, 1, 1, false}},
        {"levels hold when the last source goes",
         {{0, From(1, 100, 0, {10, 200, 30})}, {10, From(1, 100, 1, {}, kSacnOptionStreamTerminated)}},
         {{10, 200, 30}, 0, 0, false}},
        {"sequence wraps from 255 to 0",
         {{0, From(1, 100, 255, {1, 1, 1})}, {10, From(1, 100, 0, {2, 2, 2})}},
         {{2, 2, 2}, 1, 1, false}},
        {"a repeated sequence is dropped",
         {{0, From(1, 100, 7, {1, 1, 1})}, {10, From(1, 100, 7, {2, 2, 2})}},
         {{1, 1, 1}, 1, 1, false},
         {{SacnIgnored::Sequence, 1}}},
        {"19 behind is dropped, across the wrap",
         {{0, From(1, 100, 10, {1, 1, 1})}, {10, From(1, 100, 247, {2, 2, 2})}},
         {{1, 1, 1}, 1, 1, false},
         {{SacnIgnored::Sequence, 1}}},
        {"20 behind is a restart and taken",
         {{0, From(1, 100, 10, {1, 1, 1})}, {10, From(1, 100, 246, {2, 2, 2})}},
         {{2, 2, 2}, 1, 1, false}},
        {"preview, other universe and other start code are not output",
         {{0, From(1, 100, 0, {1, 1, 1})},
          {1, From(1, 100, 1, {2, 2, 2}, kSacnOptionPreview)},
          {2, {.source = 1, .sequence = 2, .level = 3, .universe = 2}},
          {3, {.source = 2, .priority = 200, .level = 4, .startCode = 0xDD}}},
         {{1, 1, 1}, 1, 1, false},
         {{SacnIgnored::Preview, 1}, {SacnIgnored::OtherUniverse, 1}, {SacnIgnored::StartCode, 1}}},
        {"a ninth source no higher than the lowest held is counted and ignored",
         AllPlacesHeld(100, {{0, From(9, 100, 0, {9})}}),
         {{8, 0, 0}, 8, 1, true},
         {{SacnIgnored::SourceLimit, 1}}},
        {"a ninth source above the lowest takes the place of the lowest silent longest",
         AllPlacesHeld(0, {{10, From(1, 0, 1, {1})},
                           {20, From(9, 100, 0, {9})},
                           {30, From(1, 0, 2, {1})},    // still held
                           {40, From(2, 0, 1, {2})}}),  // its place was taken: a newcomer, refused
         {{9, 0, 0}, 8, 9, false},
         {{SacnIgnored::SourceLimit, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SacnReceiver receiver(1);
        const SacnReceiver::TimePoint start{};
        for (const Step& step : c.steps) {
            const auto before = receiver.Levels();
            const auto now = start + std::chrono::milliseconds(step.atMs);
            const bool changed =
                step.tick ? receiver.Tick(now) : receiver.Receive(Datagram(step.packet), now);
            EXPECT_EQ(changed, before != receiver.Levels());
        }
        EXPECT_EQ(std::vector(receiver.Levels().begin(), receiver.Levels().begin() + 3),
                  std::vector(c.expected.firstLevels.begin(), c.expected.firstLevels.end()));
        EXPECT_EQ(receiver.Sources().size(), c.expected.sources);
        const std::optional<std::size_t> winner = receiver.Winner();
        EXPECT_EQ(winner ? receiver.Sources()[*winner].Cid[0] : 0, c.expected.winner);
        EXPECT_EQ(receiver.Merging(), c.expected.merging);
        for (const auto& [reason, count] : c.ignored)
            EXPECT_EQ(receiver.Ignored(reason), count) << SacnIgnoredName(reason);
    }
}

TEST(SacnReceiver, SourcesReportNamePriorityAndRate) {
    SacnReceiver receiver(7);
    const SacnReceiver::TimePoint start{};
    for (int i = 0; i < 50; ++i)
        receiver.Receive(
            Datagram({.source = 3, .priority = 140, .sequence = static_cast<std::uint8_t>(i), .universe = 7}),
            start + std::chrono::milliseconds(i * 25));
    receiver.Tick(start + 1250ms);
    ASSERT_EQ(receiver.Sources().size(), 1u);
    const SacnSource& source = receiver.Sources()[0];
    EXPECT_EQ(source.Name(), "Desk");
    EXPECT_EQ(source.Priority, 140);
    EXPECT_EQ(source.Cid, CidOf(3));
    EXPECT_EQ(source.Packets, 50u);
    EXPECT_EQ(source.PacketsPerSecond, 40u);
    receiver.Receive(Bytes(10), start + 1300ms);
    EXPECT_EQ(receiver.Ignored(SacnIgnored::Size), 1u);
}

// Names reach terminals, the journal and hosts: control bytes and invalid UTF-8 leave as one '?' a byte.
TEST(SacnReceiver, SourceNamesAreCleaned) {
    const std::vector<std::pair<std::string, std::string>> rows{
        {"Desk\x1b[2J", "Desk?[2J"},
        {"a\nb\r\x7f", "a?b??"},
        {"caf\xc3\xa9 \xe2\x82\xac", "caf\xc3\xa9 \xe2\x82\xac"},
        {"x\xc3", "x?"},
        {"\xff\xfe\xc0\xaf", "????"},  // never in UTF-8; an overlong '/'
        {"\xed\xa0\x80", "???"},       // a surrogate
        {"\xc2\x9b"
         "31m",
         "?31m"},                                                         // a C1 control (CSI)
        {std::string(62, 'a') + "\xc3\xa9", std::string(62, 'a') + "?"},  // cut to leave room for the NUL
    };
    for (const auto& [name, shown] : rows) {
        SCOPED_TRACE(shown);
        Bytes datagram = Datagram({});
        std::fill_n(datagram.begin() + kAtSourceName, kSacnSourceNameBytes, 0);
        std::copy(name.begin(), name.end(), datagram.begin() + kAtSourceName);
        SacnReceiver receiver(1);
        receiver.Receive(datagram, {});
        ASSERT_EQ(receiver.Sources().size(), 1u);
        EXPECT_EQ(receiver.Sources()[0].Name(), shown);
    }
}

}  // namespace
