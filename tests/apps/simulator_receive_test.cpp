#include <gtest/gtest.h>

#include <thread>

#include "frame_codec.h"
#include "prowidget_sim.h"
#include "pty_peer.h"

namespace prowidget {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using testing::PtyPeer;
using testing::ReceivedFrame;

constexpr auto kGenerous = 5000ms;

Bytes ReceiveRequest() {
    return BuildFrame(7, Bytes(kSimLevelCount, 0));
}

SimLevels PatternLevels() {
    SimLevels levels{};
    levels[0] = 0x00;
    levels[1] = 0xE7;
    levels[2] = 0x7E;
    levels[100] = 42;
    levels[512] = 0xFF;
    return levels;
}

Bytes ReportData(const SimLevels& levels, std::uint8_t status) {
    Bytes data(1 + levels.size());
    data[0] = status;
    std::copy(levels.begin(), levels.end(), data.begin() + 1);
    return data;
}

TEST(SimulatorReceive, NoReportsBeforeAReceiveModeRequest) {
    Simulator sim;
    sim.SetReportRate(200);
    PtyPeer peer(sim.DevicePath());
    peer.Write(BuildFrame(6, Bytes(kSimLevelCount, 0)));
    ASSERT_TRUE(sim.WaitForFrames(6, 1, kGenerous));
    EXPECT_TRUE(peer.ReadUntilQuiet(200ms).empty());
    EXPECT_FALSE(sim.InReceiveMode());
    EXPECT_EQ(sim.ReportsSent(), 0u);
}

TEST(SimulatorReceive, ReceiveModeReportsTheGivenLevelsAndStatus) {
    struct Row {
        std::uint8_t status;
        double rate;
        std::size_t splitPiece;
    };
    const Row rows[] = {{0, 40, 0}, {0x02, 200, 0}, {0x04, 100, 64}, {0x00, 50, 1}};
    for (const auto& row : rows) {
        Simulator sim;
        sim.SetReceivedDmx(PatternLevels(), row.status);
        sim.SetReportRate(row.rate);
        sim.SetSplitWrites(row.splitPiece, 100us);
        PtyPeer peer(sim.DevicePath());
        peer.Write(ReceiveRequest());
        auto frames = peer.ReadFrames(5, kGenerous);
        ASSERT_EQ(frames.size(), 5u) << row.rate;
        for (const auto& frame : frames)
            EXPECT_EQ(frame, (ReceivedFrame{5, ReportData(PatternLevels(), row.status)})) << row.rate;
        EXPECT_TRUE(sim.InReceiveMode());
        EXPECT_TRUE(sim.WaitForReports(5, kGenerous));
        EXPECT_EQ(peer.BadFrames(), 0u);
    }
}

TEST(SimulatorReceive, ChangedLevelsShowInLaterReports) {
    Simulator sim;
    sim.SetReportRate(200);
    PtyPeer peer(sim.DevicePath());
    peer.Write(ReceiveRequest());
    ASSERT_EQ(peer.ReadFrames(1, kGenerous).size(), 1u);
    sim.SetReceivedDmx(PatternLevels(), 1);
    const ReceivedFrame wanted{5, ReportData(PatternLevels(), 1)};
    bool seen = false;
    for (int i = 0; i < 200 && !seen; ++i) {
        auto frames = peer.ReadFrames(1, kGenerous);
        ASSERT_EQ(frames.size(), 1u);
        seen = frames[0] == wanted;
    }
    EXPECT_TRUE(seen);
}

TEST(SimulatorReceive, ReportRateZeroStopsReportsAndReceiveModeCanBeLeft) {
    Simulator sim;
    sim.SetReportRate(500);
    sim.SetReceiveMode(true);
    ASSERT_TRUE(sim.WaitForReports(3, kGenerous));
    sim.SetReportRate(0);
    std::this_thread::sleep_for(50ms);
    auto sent = sim.ReportsSent();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sim.ReportsSent(), sent);
    sim.SetReceiveMode(false);
    EXPECT_FALSE(sim.InReceiveMode());
}

TEST(SimulatorReceive, SplitWritesArriveInPiecesAndReassembleToTheSameBytes) {
    Simulator sim;
    sim.SetSplitWrites(4, 100ms);
    PtyPeer peer(sim.DevicePath());
    peer.Write({0x7E, 0x03, 0x02, 0x00, 0x00, 0x00, 0xE7});
    auto first = peer.ReadOnce(kGenerous);
    EXPECT_EQ(first.size(), 4u);
    auto rest = peer.ReadUntilQuiet(500ms);
    first.insert(first.end(), rest.begin(), rest.end());
    EXPECT_EQ(first, (Bytes{0x7E, 0x03, 0x05, 0x00, 0x2C, 0x02, 0x09, 0x01, 0x28, 0xE7}));
}

// Reports and replies come from different sources in the simulator; on the line they must stay whole.
TEST(SimulatorReceive, RepliesNeverInterleaveWithReports) {
    Simulator sim;
    sim.SetReceivedDmx(PatternLevels(), 0);
    sim.SetReportRate(1000);
    sim.SetSplitWrites(7, 50us);
    PtyPeer peer(sim.DevicePath());
    peer.Write(ReceiveRequest());
    constexpr std::size_t kRequests = 30;
    std::size_t replies = 0, reports = 0;
    for (std::size_t i = 0; i < kRequests; ++i) {
        peer.Write({0x7E, 0x03, 0x02, 0x00, 0x00, 0x00, 0xE7});
        sim.Send(BuildFrame(9, Bytes{1, 2, 3}));
        for (const auto& frame : peer.ReadFrames(3, kGenerous)) {
            replies += frame.label == 3 || frame.label == 9;
            reports += frame.label == 5 && frame.data == ReportData(PatternLevels(), 0);
        }
    }
    for (const auto& frame : peer.ReadFrames(1000, 500ms)) replies += frame.label == 3 || frame.label == 9;
    EXPECT_EQ(replies, 2 * kRequests);
    EXPECT_GT(reports, 0u);
    EXPECT_EQ(peer.BadFrames(), 0u);
}

TEST(SimulatorReceive, ReportsAreDroppedWholeWhileNobodyReads) {
    Simulator sim;
    sim.SetReceivedDmx(PatternLevels(), 0);
    sim.SetReportRate(1000);
    PtyPeer peer(sim.DevicePath());
    peer.Write(ReceiveRequest());
    for (int i = 0; i < 100 && sim.ReportsDropped() < 10; ++i) std::this_thread::sleep_for(20ms);
    EXPECT_GE(sim.ReportsDropped(), 10u);
    auto frames = peer.ReadFrames(3, kGenerous);
    EXPECT_EQ(frames.size(), 3u);
    for (const auto& frame : frames) EXPECT_EQ(frame.data, ReportData(PatternLevels(), 0));
    EXPECT_EQ(peer.BadFrames(), 0u);
}

}  // namespace
}  // namespace prowidget
