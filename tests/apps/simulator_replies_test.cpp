#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <system_error>
#include <thread>

#include "frame_codec.h"
#include "prowidget_sim.h"
#include "pty_peer.h"
#include "widget_rack.h"

namespace prowidget {
namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
using testing::PtyPeer;
using testing::ReceivedFrame;

constexpr auto kGenerous = 3000ms;
const Bytes kGetParameters = {0x7E, 0x03, 0x02, 0x00, 0x00, 0x00, 0xE7};

// All 256 byte values among the 512 levels, the delimiters among them.
Bytes EveryByteLevels(std::uint8_t startCode) {
    Bytes levels(kSimLevelCount);
    levels[0] = startCode;
    for (std::size_t n = 1; n < levels.size(); ++n)
        levels[n] = static_cast<std::uint8_t>((n * 7 + 0x7E) & 0xFF);
    return levels;
}

TEST(SimulatorReplies, ParametersAndSerialNumberRequestsAreAnswered) {
    struct Row {
        Parameters parameters;
        Bytes request;
        Bytes reply;
        std::size_t parametersRequests = 1;
    };
    const Row rows[] = {
        {{}, kGetParameters, {0x7E, 0x03, 0x05, 0x00, 0x2C, 0x02, 0x09, 0x01, 0x28, 0xE7}},
        {{7, 1, 0x7E, 0xE7, 0}, kGetParameters, {0x7E, 0x03, 0x05, 0x00, 7, 1, 0x7E, 0xE7, 0, 0xE7}},
        {{},
         {0x7E, 0x03, 0x02, 0x00, 0x03, 0x00, 0xE7},
         {0x7E, 0x03, 0x08, 0x00, 0x2C, 0x02, 0x09, 0x01, 0x28, 0, 0, 0, 0xE7}},
        {{}, {0x7E, 0x0A, 0x00, 0x00, 0xE7}, {0x7E, 0x0A, 0x04, 0x00, 0x78, 0x56, 0x34, 0x12, 0xE7}, 0},
    };
    for (const auto& row : rows) {
        Simulator sim;
        sim.SetParameters(row.parameters);
        PtyPeer peer(sim.DevicePath());
        peer.Write(row.request);
        auto frames = peer.ReadFrames(1, kGenerous);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(BuildFrame(frames[0].label, frames[0].data), row.reply);
        EXPECT_EQ(sim.GetParametersRequests(), row.parametersRequests);
    }
}

TEST(SimulatorReplies, SetParametersRequestChangesTheNextAnswer) {
    Simulator sim;
    PtyPeer peer(sim.DevicePath());
    peer.Write({0x7E, 0x04, 0x05, 0x00, 0x00, 0x00, 20, 3, 30, 0xE7});
    peer.Write(kGetParameters);
    auto frames = peer.ReadFrames(1, kGenerous);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], (ReceivedFrame{3, {0x2C, 0x02, 20, 3, 30}}));
    EXPECT_EQ(sim.SetParametersRequests(), 1u);
    EXPECT_EQ(sim.CurrentParameters(), (Parameters{44, 2, 20, 3, 30}));
}

TEST(SimulatorReplies, SetParametersRequestTooShortIsBadAndChangesNothing) {
    Simulator sim;
    PtyPeer peer(sim.DevicePath());
    peer.Write({0x7E, 0x04, 0x02, 0x00, 0x00, 0x00, 0xE7});
    ASSERT_TRUE(sim.WaitForFrames(4, 1, kGenerous));
    EXPECT_EQ(sim.BadFrames(), 1u);
    EXPECT_EQ(sim.SetParametersRequests(), 0u);
    EXPECT_EQ(sim.CurrentParameters(), Parameters{});
}

TEST(SimulatorReplies, OutputFramesAreRecordedWithEveryLevelIntact) {
    Simulator sim;
    PtyPeer peer(sim.DevicePath());
    for (std::uint8_t label : {6, 6, 7}) peer.Write(BuildFrame(label, EveryByteLevels(label)));
    ASSERT_TRUE(sim.WaitForFrames(7, 1, kGenerous));
    EXPECT_EQ(sim.FrameCount(6), 2u);
    EXPECT_EQ(sim.FrameCount(7), 1u);
    EXPECT_EQ(sim.LastFrame(6)->data, EveryByteLevels(6));
    auto frames = sim.TakeFrames();
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(frames[2].label, 7);
    EXPECT_EQ(frames[2].data, EveryByteLevels(7));
    EXPECT_LE(frames[0].at, frames[2].at);
    EXPECT_TRUE(sim.TakeFrames().empty());
    EXPECT_EQ(sim.BadFrames(), 0u);
}

TEST(SimulatorReplies, FrameWrittenInPiecesIsRecordedOnce) {
    for (std::size_t piece : {1u, 2u, 5u, 100u, 517u}) {
        Simulator sim;
        PtyPeer peer(sim.DevicePath());
        Bytes frame = BuildFrame(6, EveryByteLevels(0));
        for (std::size_t at = 0; at < frame.size(); at += piece) {
            peer.Write(Bytes(frame.begin() + at, frame.begin() + std::min(frame.size(), at + piece)));
            if (at % 64 == 0) std::this_thread::sleep_for(1ms);
        }
        ASSERT_TRUE(sim.WaitForFrames(6, 1, kGenerous)) << piece;
        EXPECT_EQ(sim.LastFrame(6)->data, EveryByteLevels(0)) << piece;
        EXPECT_EQ(sim.BadFrames(), 0u) << piece;
    }
}

TEST(SimulatorReplies, BrokenFrameIsCountedBadAndTheNextOneStillServed) {
    Simulator sim;
    PtyPeer peer(sim.DevicePath());
    Bytes broken = BuildFrame(6, Bytes(513, 0));
    broken.back() = 0x00;
    peer.Write(broken);
    peer.Write(kGetParameters);
    EXPECT_EQ(peer.ReadFrames(1, kGenerous).size(), 1u);
    EXPECT_EQ(sim.BadFrames(), 1u);
    EXPECT_EQ(sim.FrameCount(6), 0u);
}

TEST(SimulatorReplies, FaultsChangeTheAnswerToAParametersRequest) {
    struct Row {
        const char* name;
        std::function<void(Simulator&)> fault;
        Bytes expected;
    };
    const Row rows[] = {
        {"silent", [](Simulator& s) { s.SetSilent(true); }, {}},
        {"not parameters",
         [](Simulator& s) { s.SetAnswerNotParameters(true); },
         {0x7E, kSimNotParametersLabel, 0x04, 0x00, 0, 0, 0, 0, 0xE7}},
        {"garbage first",
         [](Simulator& s) {
             s.SetGarbageBetweenFrames({0x00, 0xFF});
         },
         {0x00, 0xFF, 0x7E, 0x03, 0x05, 0x00, 0x2C, 0x02, 0x09, 0x01, 0x28, 0xE7}},
        {"delayed",
         [](Simulator& s) { s.SetReplyDelay(50ms); },
         {0x7E, 0x03, 0x05, 0x00, 0x2C, 0x02, 0x09, 0x01, 0x28, 0xE7}},
    };
    for (const auto& row : rows) {
        Simulator sim;
        row.fault(sim);
        PtyPeer peer(sim.DevicePath());
        peer.Write(kGetParameters);
        EXPECT_EQ(peer.ReadUntilQuiet(300ms), row.expected) << row.name;
        EXPECT_EQ(sim.GetParametersRequests(), 1u) << row.name;
    }
}

TEST(SimulatorReplies, StalledWidgetTakesNoFrameAfterItsLast) {
    Simulator sim;
    sim.SetStallAfter(2);
    PtyPeer peer(sim.DevicePath());
    for (int request = 0; request < 3; ++request) peer.Write(kGetParameters);
    EXPECT_EQ(peer.ReadFrames(2, kGenerous).size(), 2u);
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(sim.GetParametersRequests(), 2u);
    EXPECT_TRUE(sim.Stalled());
}

TEST(SimulatorReplies, SendWritesRawBytesUntouched) {
    Simulator sim;
    sim.SetGarbageBetweenFrames({0x55});
    sim.SetSplitWrites(1);
    PtyPeer peer(sim.DevicePath());
    Bytes raw = {0x7E, 0x03, 0xE7, 0x00, 0xFF};
    sim.Send(raw);
    EXPECT_EQ(peer.ReadUntilQuiet(200ms), raw);
}

TEST(SimulatorReplies, PortClosedAndReopenedIsStillServed) {
    Simulator sim;
    for (int open = 0; open < 3; ++open) {
        PtyPeer peer(sim.DevicePath());
        peer.Write(kGetParameters);
        EXPECT_EQ(peer.ReadFrames(1, kGenerous).size(), 1u) << open;
    }
    EXPECT_EQ(sim.GetParametersRequests(), 3u);
}

TEST(SimulatorReplies, SeveralSimulatorsServeTheirOwnPorts) {
    constexpr int kCount = 4;
    std::vector<std::unique_ptr<Simulator>> sims;
    std::vector<std::unique_ptr<PtyPeer>> peers;
    for (int i = 0; i < kCount; ++i) {
        sims.push_back(std::make_unique<Simulator>());
        sims.back()->SetParameters({static_cast<std::uint8_t>(i), 1, 9, 1, 40});
        peers.push_back(std::make_unique<PtyPeer>(sims.back()->DevicePath()));
    }
    for (int i = 0; i < kCount; ++i) {
        for (int j = 0; j < i; ++j) EXPECT_NE(sims[i]->DevicePath(), sims[j]->DevicePath());
        peers[i]->Write(kGetParameters);
        peers[i]->Write(BuildFrame(6, Bytes(513, static_cast<std::uint8_t>(i))));
    }
    for (int i = 0; i < kCount; ++i) {
        auto frames = peers[i]->ReadFrames(1, kGenerous);
        ASSERT_EQ(frames.size(), 1u) << i;
        EXPECT_EQ(frames[0].data[0], i) << i;
        ASSERT_TRUE(sims[i]->WaitForFrames(6, 1, kGenerous)) << i;
        EXPECT_EQ(sims[i]->FrameCount(6), 1u) << i;
        EXPECT_EQ(sims[i]->LastFrame(6)->data, Bytes(513, static_cast<std::uint8_t>(i))) << i;
    }
}

TEST(SimulatorReplies, RackWidgetsKeepTheirSerialNumberAndLinkAcrossAReplug) {
    const auto folder = std::filesystem::temp_directory_path() / ("widget-rack-" + std::to_string(getpid()));
    const auto serialThrough = [](const std::string& path) {
        PtyPeer peer(path);
        peer.Write({0x7E, 0x0A, 0x00, 0x00, 0xE7});
        auto frames = peer.ReadFrames(1, kGenerous);
        return frames.empty() ? ReceivedFrame{} : frames[0];
    };
    {
        WidgetRack rack(3, (folder / "by-id").string(), 0x01020304);
        EXPECT_EQ(rack.ByIdName(1), "usb-Vantor_Simulated_Pro_Widget_16909060-if00-port0");
        for (int k = 1; k <= 3; ++k) {
            EXPECT_EQ(std::filesystem::read_symlink(rack.ByIdPath(k)), rack.DevicePath(k)) << k;
            EXPECT_EQ(serialThrough(rack.ByIdPath(k)),
                      (ReceivedFrame{10, {static_cast<std::uint8_t>(3 + k), 3, 2, 1}}))
                << k;
        }
        PtyPeer unplugged(rack.DevicePath(2));
        rack.Unplug(2);
        EXPECT_THROW(unplugged.Write({0x7E, 0x0A, 0x00, 0x00, 0xE7}), std::system_error);
        EXPECT_FALSE(std::filesystem::is_symlink(rack.ByIdPath(2)));
        EXPECT_THROW(rack.Widget(2), std::logic_error);
        rack.Plug(2);
        EXPECT_EQ(std::filesystem::read_symlink(rack.ByIdPath(2)), rack.DevicePath(2));
        EXPECT_EQ(serialThrough(rack.ByIdPath(2)), (ReceivedFrame{10, {5, 3, 2, 1}}));
    }
    EXPECT_TRUE(std::filesystem::is_empty(folder / "by-id"));
    std::filesystem::remove_all(folder);
}

}  // namespace
}  // namespace prowidget
