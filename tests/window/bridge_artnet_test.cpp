#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "window/bridge_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

// The window over fakes with its node started on 10.1.2.3 and the widget's port open.
struct BridgedWindow : ::testing::Test, BridgeWindow {
    BridgedWindow() : BridgeWindow(true) {
        socket.localIp = "10.1.2.3";
        form.artnet.StartArtNetNode();
        log.clear();
    }

    static Bytes ArtDmx(std::uint8_t universe, std::uint8_t level) {
        Bytes datagram{'A',  'r', 't', '-', 'N', 'e',      't', 0,    0x00,
                       0x50, 0,   14,  0,   0,   universe, 0,   0x02, 0x00};
        datagram.resize(530, level);
        return datagram;
    }
    static Bytes ArtPoll() { return {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x20, 0, 14, 0, 0}; }
};

TEST_F(BridgedWindow, OneArrivalReadsEveryPendingDatagram) {
    socket.pending = {ArtPoll(), Bytes{1, 2, 3}, ArtPoll(), ArtDmx(0, 5)};
    socket.DataArrival(14);
    EXPECT_TRUE(socket.pending.empty());
    EXPECT_EQ(socket.sent.size(), 2u);
    EXPECT_EQ(form.prowidget.OutputPacket.Levels[1], 5);
    EXPECT_EQ(form.artnet.ArtNetDetected, -1);
}

// The node's own broadcasts come back to its socket: its ArtDmx must not become output, nor its poll reply
// Art-Net seen. Another node on the same address, or the node's address on another port, is heard.
TEST_F(BridgedWindow, OnlyDatagramsFromTheNodesOwnAddressAndPortAreIgnored) {
    struct Row {
        UdpEndpoint sender;
        bool heard;
    };
    const std::vector<Row> rows{
        {{{10, 1, 2, 3}, 6454}, false},
        {{{10, 1, 2, 3}, 50123}, true},
        {{{10, 1, 2, 4}, 6454}, true},
    };
    form.senddmxbutton.PerformClick();
    for (const auto& row : rows) {
        form.prowidget.OutputPacket.Levels[1] = 0;
        form.artnet.ArtNetDetected = 0;
        port.writes.clear();
        socket.arrivingFrom = row.sender;
        socket.Arrive(ArtDmx(0, 0x55));
        EXPECT_EQ(form.prowidget.OutputPacket.Levels[1], row.heard ? 0x55 : 0) << row.sender.Port;
        EXPECT_EQ(port.writes.size(), row.heard ? 1u : 0u) << row.sender.Port;
        EXPECT_EQ(form.artnet.ArtNetDetected, row.heard ? -1 : 0) << row.sender.Port;
    }
}

TEST_F(BridgedWindow, AReadFailureIsLoggedAndTheNextArrivalIsHandled) {
    socket.failReads = 1;
    socket.Arrive(ArtPoll());
    EXPECT_EQ(log, std::vector<std::string>{"! Art-Net Receive Error: Connection refused"});
    EXPECT_TRUE(socket.sent.empty());
    socket.Arrive(ArtPoll());
    EXPECT_EQ(socket.sent.size(), 2u) << "both polls answered once the socket reads again";
}

TEST_F(BridgedWindow, AfterReceiveThenSendModeArtDmxGoesOutAsLabel7WithTheLevels) {
    form.Command1.PerformClick();
    form.senddmxbutton.PerformClick();
    port.writes.clear();

    socket.Arrive(ArtDmx(0, 0x44));
    ASSERT_EQ(port.writes.size(), 1u);
    const Bytes& frame = port.writes[0];
    ASSERT_EQ(frame.size(), 518u);
    EXPECT_EQ((Bytes{frame.begin(), frame.begin() + 5}), (Bytes{0x7E, 7, 0x01, 0x02, 0x00}));
    EXPECT_EQ(frame[5], 0x44);
    EXPECT_EQ(frame[516], 0x44);
}

TEST_F(BridgedWindow, TheUniverseBarSelectsWhatIsTakenAndWhatTheReplyAnnounces) {
    form.senddmxbutton.PerformClick();
    form.ArtUniv.SetValue(16);
    port.writes.clear();

    socket.Arrive(ArtDmx(0, 1));
    EXPECT_TRUE(port.writes.empty());
    socket.Arrive(ArtDmx(16, 2));
    EXPECT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(form.prowidget.OutputPacket.Levels[1], 2);

    socket.Arrive(ArtPoll());
    ASSERT_EQ(socket.sent.size(), 1u);
    EXPECT_EQ(socket.sent[0].bytes[174], 0x80);
    EXPECT_EQ(socket.sent[0].bytes[19] << 4 | (socket.sent[0].bytes[190] & 0x0F), 16);
}

TEST_F(BridgedWindow, ReceivedDmxIsForwardedOnTheSelectedUniverseInReceiveModeOnly) {
    Bytes report{0x7E, 5, 0x02, 0x02, 0x00, 0x00};
    for (int channel = 1; channel <= 512; ++channel) report.push_back(static_cast<std::uint8_t>(channel));
    report.push_back(0xE7);

    form.ArtUniv.SetValue(9);
    Bytes text = report;
    form.prowidget.ParseWidgetReply(text);
    ASSERT_EQ(socket.sent.size(), 1u);
    const Bytes& artDmx = socket.sent[0].bytes;
    ASSERT_EQ(artDmx.size(), 530u);
    EXPECT_EQ(artDmx[14], 9);
    EXPECT_EQ(artDmx[18], 1);
    EXPECT_EQ(artDmx[529], 0);  // channel 512 as a byte
    EXPECT_EQ(socket.sent[0].host, "10.255.255.255");

    form.senddmxbutton.PerformClick();
    text = report;
    form.prowidget.ParseWidgetReply(text);
    EXPECT_EQ(socket.sent.size(), 1u);
}

}  // namespace
