// The Art-Net node of the Windows build, under wine, on loopback only: the test and wine's server move into a
// network namespace of their own.

#include <thread>

#include "loopback_fixture.h"
#include "support/widget_frames.h"

namespace {

using namespace artnet_loopback;
using namespace std::chrono_literals;

constexpr std::uint8_t kOutputLabel = 6;
constexpr std::uint16_t kOpPollReply = 0x2100;
constexpr std::uint16_t kOpDmx = 0x5000;
constexpr std::size_t kPollReplyBytes = 239;

class ArtNetUnderWine : public wine::OnLoopbackOnly {
protected:
    std::unique_ptr<wine::Running> StartHost(const std::string& mode, const std::string& universe) {
        return wine->Start({wine->BuildProgram("vantor-host.exe"), "--port", "1", "--mode", mode,
                            "--universe", universe, "--headless", "--duration", "8"});
    }

    // Polls until the node answers: it is up once it does.
    bool WaitForTheNode() {
        for (int round = 0; round < 60; ++round) {
            sender->SendTo("127.0.0.1", 6454, ArtPoll());
            std::this_thread::sleep_for(100ms);
            if (!capture->ArtNet(kOpPollReply).empty()) return true;
        }
        return false;
    }
};

TEST_P(ArtNetUnderWine, AnswersPollsAndSendsTheSelectedUniverseToTheWidget) {
    const auto host = StartHost("send", "3");
    ASSERT_TRUE(WaitForTheNode()) << host->Wait(1s).output;
    const auto replies = capture->ArtNet(kOpPollReply);
    EXPECT_EQ(replies.front().payload.size(), kPollReplyBytes);
    EXPECT_EQ(replies.front().to, "127.255.255.255");

    sim.TakeFrames();
    ASSERT_TRUE(sender->SendTo("127.0.0.1", 6454, ArtDmx(4, 99)));  // another universe: ignored
    ASSERT_TRUE(sender->SendTo("127.0.0.1", 6454, ArtDmx(3, 7)));
    const auto matches = [&](const prowidget::Frame& frame) {
        return frame.label == kOutputLabel && frame.data.size() == 513 && frame.data[1] == 8 &&
               frame.data[512] == 7;
    };
    bool arrived = false;
    for (int round = 0; round < 40 && !arrived; ++round) {
        std::this_thread::sleep_for(50ms);
        for (const auto& frame : sim.TakeFrames()) {
            EXPECT_NE(frame.data.size() > 1 ? frame.data[1] : 0, 100) << "universe 4 reached the widget";
            arrived = arrived || matches(frame);
        }
    }
    EXPECT_TRUE(arrived) << "the ArtDmx of universe 3 reached the widget";
    for (const auto& datagram : capture->Poll()) EXPECT_EQ(datagram.to.rfind("127.", 0), 0u) << datagram.to;
    EXPECT_EQ(host->Wait(30s).exitCode, 0);
}

TEST_P(ArtNetUnderWine, AReceivedDmxReportLeavesAsOneArtDmx) {
    sim.SetReportRate(0);
    const auto host = StartHost("receive", "5");
    ASSERT_TRUE(WaitForTheNode()) << host->Wait(1s).output;
    for (int round = 0; round < 40 && !sim.InReceiveMode(); ++round) std::this_thread::sleep_for(50ms);
    ASSERT_TRUE(sim.InReceiveMode());

    Bytes report{0x00, 0x00};  // status, start code
    for (int channel = 1; channel <= 512; ++channel) report.push_back(static_cast<std::uint8_t>(channel * 3));
    sim.Send(WidgetFrame(5, report));
    std::vector<CapturedDatagram> dmx;
    for (int round = 0; round < 40 && dmx.empty(); ++round) {
        std::this_thread::sleep_for(50ms);
        dmx = capture->ArtNet(kOpDmx);
    }
    std::this_thread::sleep_for(300ms);
    dmx = capture->ArtNet(kOpDmx);
    ASSERT_EQ(dmx.size(), 1u);
    ASSERT_EQ(dmx[0].payload.size(), 530u);
    EXPECT_EQ(dmx[0].payload[14], 5);  // universe
    EXPECT_EQ(dmx[0].payload[18], 3);  // channel 1
    EXPECT_EQ(dmx[0].payload[529], static_cast<std::uint8_t>(512 * 3));
    EXPECT_EQ(dmx[0].to, "127.255.255.255");
    EXPECT_EQ(host->Wait(30s).exitCode, 0);
}

VANTOR_ON_EACH_BUILD(ArtNetUnderWine);

}  // namespace
