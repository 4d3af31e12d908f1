#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <optional>

#include "artnet_loopback.h"
#include "platform/qt/form1_window.h"
#include "prowidget_sim.h"

namespace {

using namespace artnet_loopback;
using namespace std::chrono_literals;

constexpr std::uint8_t kOutputLabel = 6;

// The whole window over Qt's socket and serial port, its node on lo in a namespace of this test's own, and a
// simulated widget as serial port 1.
class ArtNetOverLoopback : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string why = EnterOwnNetworkNamespace();
        if (!why.empty()) GTEST_SKIP() << "needs a network namespace of its own (run as root): " << why;
        setenv("VANTOR_ARTNET_INTERFACE", "lo", 1);
        setenv("VANTOR_SERIAL_PORTS", sim.DevicePath().c_str(), 1);
        // Sockets belong to the namespace they are made in: both are made after the move.
        capture.emplace();
        sender.emplace();
        ASSERT_EQ(capture->Failure(), "");
        EnsureApplication();
        window = std::make_unique<Form1Window>();
        window->Load();
        // As a user would: choose the widget the scan found.
        window->Form().SelectPort(1);
    }
    void TearDown() override { window.reset(); }

    Form1& form() { return window->Form(); }

    // Every datagram seen went to a loopback address.
    void ExpectOnlyLoopbackTraffic() {
        for (const auto& datagram : capture->Poll())
            EXPECT_EQ(datagram.to.rfind("127.", 0), 0u) << datagram.to;
    }

    prowidget::Simulator sim;
    std::optional<LoopbackCapture> capture;
    std::optional<UdpSender> sender;
    std::unique_ptr<Form1Window> window;
};

TEST_F(ArtNetOverLoopback, EachPollIsAnsweredWithOneReplyBroadcastToTheLoopbackSubnet) {
    for (std::size_t poll = 1; poll <= 2; ++poll) {
        ASSERT_TRUE(sender->SendTo("127.0.0.1", 6454, ArtPoll()));
        ASSERT_TRUE(RunEventsUntil([&] { return capture->ArtNet(0x2100).size() >= poll; }, 5s))
            << "poll " << poll;
        RunEventsFor(200ms);
        ASSERT_EQ(capture->ArtNet(0x2100).size(), poll) << "one reply per poll";
    }
    for (const auto& reply : capture->ArtNet(0x2100)) {
        EXPECT_EQ(reply.from, "127.0.0.1");
        EXPECT_EQ(reply.fromPort, 6454);
        EXPECT_EQ(reply.to, "127.255.255.255");
        EXPECT_EQ(reply.toPort, 6454);
        ASSERT_EQ(reply.payload.size(), 239u);
        EXPECT_EQ((Bytes{reply.payload.begin() + 10, reply.payload.begin() + 16}),
                  (Bytes{127, 0, 0, 1, 0x36, 0x19}));
        EXPECT_EQ(reply.payload[174], 0x40) << "receive mode at load";
    }
    EXPECT_EQ(form().artnet.ArtNetDetected, -1);
    EXPECT_EQ(form().artnet.BroadcastAddress, "127.255.255.255");
    ExpectOnlyLoopbackTraffic();
}

TEST_F(ArtNetOverLoopback, SendModeArtDmxForTheSelectedUniverseReachesTheWidgetAsOneFrame) {
    ASSERT_EQ(form().LinkOpen, kTrue) << "the simulated widget should be open on port 1";
    form().senddmxbutton.PerformClick();
    form().ArtUniv.SetValue(3);
    const std::size_t before = sim.FrameCount(kOutputLabel);

    ASSERT_TRUE(sender->SendTo("127.0.0.1", 6454, ArtDmx(4, 100)));
    ASSERT_TRUE(sender->SendTo("127.0.0.1", 6454, ArtDmx(3, 0)));
    ASSERT_TRUE(RunEventsUntil([&] { return sim.FrameCount(kOutputLabel) > before; }, 5s));
    RunEventsFor(300ms);

    EXPECT_EQ(sim.FrameCount(kOutputLabel), before + 1) << "universe 4 is not selected";
    const auto frame = sim.LastFrame(kOutputLabel);
    ASSERT_TRUE(frame.has_value());
    ASSERT_EQ(frame->data.size(), 513u) << "a 518-byte frame: head, start code, 512 levels, end byte";
    EXPECT_EQ(frame->data[0], 0);
    for (std::size_t channel = 1; channel <= 512; ++channel)
        ASSERT_EQ(frame->data[channel], static_cast<std::uint8_t>(channel)) << "channel " << channel;
    EXPECT_EQ(sim.BadFrames(), 0u);
    ExpectOnlyLoopbackTraffic();
}

TEST_F(ArtNetOverLoopback, ReceiveModeForwardsTheWidgetsDmxAsArtDmxOnTheSelectedUniverse) {
    ASSERT_EQ(form().LinkOpen, kTrue) << "the simulated widget should be open on port 1";
    prowidget::SimLevels levels{};
    for (std::size_t channel = 1; channel <= 512; ++channel)
        levels[channel] = static_cast<std::uint8_t>(255 - channel);
    sim.SetReceivedDmx(levels);
    form().ArtUniv.SetValue(5);
    form().Command1.PerformClick();

    ASSERT_TRUE(RunEventsUntil([&] { return !capture->ArtNet(0x5000).empty(); }, 5s));
    const CapturedDatagram artDmx = capture->ArtNet(0x5000).front();
    EXPECT_EQ(artDmx.to, "127.255.255.255");
    EXPECT_EQ(artDmx.toPort, 6454);
    ASSERT_EQ(artDmx.payload.size(), 530u);
    EXPECT_EQ(artDmx.payload[14], 5);
    EXPECT_EQ(artDmx.payload[15], 0);
    for (std::size_t channel = 1; channel <= 512; ++channel)
        ASSERT_EQ(artDmx.payload[17 + channel], levels[channel]) << "channel " << channel;
    ExpectOnlyLoopbackTraffic();
}

}  // namespace
