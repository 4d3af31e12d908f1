#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>

#include "artnet_loopback.h"
#include "platform/qt/form1_window.h"
#include "prowidget_sim.h"
#include "support/widget_frames.h"

namespace {

using namespace artnet_loopback;
using namespace std::chrono_literals;

constexpr std::uint16_t kOpDmx = 0x5000;
constexpr std::uint8_t kUniverse = 9;

// Level set k: channel n at n * 7 + k, so 0x7E and 0xE7 occur among the levels.
prowidget::SimLevels LevelSet(int k) {
    prowidget::SimLevels levels{};
    for (std::size_t channel = 1; channel <= 512; ++channel)
        levels[channel] = static_cast<std::uint8_t>(channel * 7 + static_cast<std::size_t>(k));
    return levels;
}

// Which level set an ArtDmx's 512 levels are, or -1 when they are none of them whole.
int LevelSetOf(const Bytes& payload, int sets) {
    for (int k = 0; k < sets; ++k) {
        const auto levels = LevelSet(k);
        if (std::equal(levels.begin() + 1, levels.end(), payload.begin() + 18)) return k;
    }
    return -1;
}

// The whole window on universe kUniverse with a simulated widget as its port 1 and its node on lo, as a user
// sets it up; a test then presses "DMX To Art-Net".
struct ReceivingWindow {
    ReceivingWindow() {
        setenv("VANTOR_SERIAL_PORTS", sim.DevicePath().c_str(), 1);
        window = std::make_unique<Form1Window>();
        window->Load();
        form().SelectPort(1);
        form().ArtUniv.SetValue(kUniverse);
    }
    Form1& form() { return window->Form(); }

    prowidget::Simulator sim;
    LoopbackCapture capture;
    std::unique_ptr<Form1Window> window;
};

struct ReceiveRow {
    const char* name;
    std::size_t pieceBytes;
    std::vector<std::uint8_t> garbage;
    // Between pieces: a report must still arrive whole within the frame assembler's 100 ms on a loaded
    // machine, where each pause takes longer than asked.
    std::chrono::microseconds pause;
};

// The whole window in receive mode: a simulated widget reports received DMX, the node sends it on lo.
TEST(ReceiveModeEndToEnd, EveryReportedFrameLeavesAsOneWholeArtDmxOnTheSelectedUniverse) {
    const std::string why = EnterOwnNetworkNamespace();
    if (!why.empty()) GTEST_SKIP() << "needs a network namespace of its own (run as root): " << why;
    setenv("VANTOR_ARTNET_INTERFACE", "lo", 1);
    EnsureApplication();
    const std::vector<ReceiveRow> rows{
        {"reports written in 64-byte pieces", 64, {}, 300us},
        {"pieces of 7 bytes with garbage between frames", 7, {0x00, 0xE7, 0x7E, 0x41}, 50us},
    };
    constexpr int kSets = 4;
    for (const auto& row : rows) {
        ReceivingWindow bridge;
        prowidget::Simulator& sim = bridge.sim;
        LoopbackCapture& capture = bridge.capture;
        Form1& form = bridge.form();
        ASSERT_EQ(capture.Failure(), "");
        ASSERT_EQ(form.LinkOpen, kTrue) << row.name;
        sim.SetSplitWrites(row.pieceBytes, row.pause);
        sim.SetGarbageBetweenFrames(row.garbage);
        sim.SetReceivedDmx(LevelSet(0));
        form.Command1.PerformClick();

        for (int k = 1; k < kSets; ++k) {
            ASSERT_TRUE(
                RunEventsUntil([&] { return sim.ReportsSent() >= static_cast<std::size_t>(10 * k); }, 5s))
                << row.name;
            sim.SetReceivedDmx(LevelSet(k));
        }
        ASSERT_TRUE(RunEventsUntil([&] { return sim.ReportsSent() >= 40; }, 5s)) << row.name;
        sim.SetReportRate(0);
        RunEventsFor(100ms);
        const std::size_t reported = sim.ReportsSent();
        ASSERT_TRUE(RunEventsUntil([&] { return capture.ArtNet(kOpDmx).size() >= reported; }, 5s))
            << row.name << ": " << capture.ArtNet(kOpDmx).size() << " of " << reported;
        RunEventsFor(200ms);

        const auto artDmx = capture.ArtNet(kOpDmx);
        EXPECT_EQ(artDmx.size(), reported) << row.name << ": one ArtDmx per frame";
        EXPECT_EQ(sim.ReportsDropped(), 0u) << row.name;
        std::vector<int> setsSeen;
        for (const auto& datagram : artDmx) {
            EXPECT_EQ(datagram.to.rfind("127.", 0), 0u) << datagram.to;
            ASSERT_EQ(datagram.payload.size(), 530u) << row.name;
            EXPECT_EQ(datagram.payload[14], kUniverse) << row.name;
            const int set = LevelSetOf(datagram.payload, kSets);
            ASSERT_NE(set, -1) << row.name << ": levels not intact";
            if (setsSeen.empty() || setsSeen.back() != set) setsSeen.push_back(set);
        }
        EXPECT_EQ(setsSeen, (std::vector<int>{0, 1, 2, 3})) << row.name << ": in the order reported";
        EXPECT_EQ(form.prowidget.ReplyStatus, 0) << row.name;
        // Its own broadcasts come back to the node's socket; they are not Art-Net input.
        EXPECT_EQ(form.prowidget.OutputPacket.Levels[1], 0) << row.name;
    }
}

// Art-Net carries start code 0 levels only: a faulty frame, RDM reports and reports without levels, between
// good ones, leave no ArtDmx (receivers hold the last good frame), are counted by reason, and leave the
// monitor on the last good levels.
TEST(ReceiveModeEndToEnd, OnlyGoodStartCodeZeroReportsLeaveAsArtDmx) {
    const std::string why = EnterOwnNetworkNamespace();
    if (!why.empty()) GTEST_SKIP() << "needs a network namespace of its own (run as root): " << why;
    setenv("VANTOR_ARTNET_INTERFACE", "lo", 1);
    EnsureApplication();
    ReceivingWindow bridge;
    Form1& form = bridge.form();
    ASSERT_EQ(bridge.capture.Failure(), "");
    ASSERT_EQ(form.LinkOpen, kTrue);
    bridge.sim.SetReportRate(0);
    form.Command1.PerformClick();

    auto report = [](int set, std::uint8_t status, std::uint8_t startCode) {
        auto levels = LevelSet(set);
        levels[0] = startCode;
        Bytes data{status};
        data.insert(data.end(), levels.begin(), levels.end());
        return WidgetFrame(5, data);
    };
    const std::vector<Bytes> reports{report(0, 0, 0),    report(1, 1, 0),     report(2, 0, 0xCC),
                                     WidgetFrame(5, {}), WidgetFrame(5, {0}), report(3, 0, 0),
                                     report(2, 0, 0xCC)};
    for (const Bytes& frame : reports) {
        bridge.sim.Send(frame);
        RunEventsFor(50ms);
    }
    ASSERT_TRUE(RunEventsUntil([&] { return bridge.capture.ArtNet(kOpDmx).size() >= 2; }, 5s));
    RunEventsFor(300ms);

    std::vector<int> sets;
    for (const auto& datagram : bridge.capture.ArtNet(kOpDmx))
        sets.push_back(LevelSetOf(datagram.payload, 4));
    EXPECT_EQ(sets, (std::vector<int>{0, 3}));
    EXPECT_EQ(form.prowidget.DroppedReports,
              (DroppedDmxReports{.faulty = 1, .notStartCodeZero = 2, .noLevels = 2}));
    EXPECT_EQ(form.Label8[0]->Caption(), std::to_string(LevelSet(3)[1]));
}

}  // namespace
