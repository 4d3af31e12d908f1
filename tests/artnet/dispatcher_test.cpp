#include <gtest/gtest.h>

#include <string>

#include "artnet_fixture.h"

namespace {

struct Dispatcher : ::testing::Test, NodeOnFakes {
    Dispatcher() {
        Start();
        socket.DataArrival = [this](std::size_t) { node.HandleArtNetPacket(socket.GetData()); };
        port.writes.clear();
    }
};

Bytes Text(const std::string& text) {
    return {text.begin(), text.end()};
}

TEST_F(Dispatcher, IdentifierAndOpCodeDecideDetectionLogAndReply) {
    struct Row {
        const char* name;
        Bytes datagram;
        bool detected;
        std::vector<std::string> log;
        std::size_t replies;
    };
    Bytes lowerCase = ArtPollDatagram();
    lowerCase[0] = 'a';
    Bytes spaceInsteadOfZero = ArtPollDatagram();
    spaceInsteadOfZero[7] = ' ';
    Bytes headOnly = ArtNetHead(0x2100);
    headOnly.resize(8);
    Bytes bigDatagram = ArtNetHead(0x6000);
    bigDatagram.resize(65507, 0x5A);

    const std::vector<Row> rows{
        {"empty", {}, false, {}, 0},
        {"lower-case identifier", lowerCase, false, {}, 0},
        {"space instead of the zero byte", spaceInsteadOfZero, false, {}, 0},
        {"seven bytes spelling Art-Net", Text("Art-Net"), false, {}, 0},
        {"identifier only: missing OpCode counts as zero", headOnly, true, {"Art-Net: NYI OpCode : 0x0"}, 0},
        {"poll reply from another node", ArtNetHead(0x2100), true, {"Art-Net: NYI OpCode : 0x2100"}, 0},
        {"OpCode with letters", ArtNetHead(0x9ABC), true, {"Art-Net: NYI OpCode : 0x9ABC"}, 0},
        {"largest datagram", bigDatagram, true, {"Art-Net: NYI OpCode : 0x6000"}, 0},
        {"poll", ArtPollDatagram(), true, {"ArtPoll Recieved"}, 1},
        {"poll cut after its OpCode", ArtNetHead(0x2000), true, {"ArtPoll Recieved"}, 1},
    };
    for (const auto& row : rows) {
        NodeOnFakes fresh;
        fresh.Start();
        fresh.node.HandleArtNetPacket(row.datagram);
        EXPECT_EQ(fresh.node.ArtNetDetected, row.detected ? -1 : 0) << row.name;
        EXPECT_EQ(fresh.log, row.log) << row.name;
        EXPECT_EQ(fresh.socket.sent.size(), row.replies) << row.name;
        EXPECT_TRUE(fresh.port.writes.empty()) << row.name;
    }
}

TEST_F(Dispatcher, EveryPollIsAnsweredWithOneBroadcastReply) {
    socket.Arrive(ArtPollDatagram());
    socket.Arrive(ArtPollDatagram());
    ASSERT_EQ(socket.sent.size(), 2u);
    for (const auto& sent : socket.sent) {
        EXPECT_EQ(sent.bytes.size(), 239u);
        EXPECT_EQ(sent.host, "10.255.255.255");
        EXPECT_EQ(sent.port, 6454);
    }
    EXPECT_EQ(log, (std::vector<std::string>{"ArtPoll Recieved", "ArtPoll Recieved"}));
}

TEST_F(Dispatcher, DetectionStaysOnAfterForeignTraffic) {
    socket.Arrive(ArtNetHead(0x2100));
    socket.Arrive(Text("not Art-Net at all"));
    EXPECT_EQ(node.ArtNetDetected, -1);
}

TEST_F(Dispatcher, ArtDmxIsTakenOnlyForTheSelectedUniverseWithNetZero) {
    struct Row {
        const char* name;
        std::uint8_t setting;
        std::uint8_t subUni, net;
        bool sendMode;
        bool taken;
        BridgeProtocol protocol = BridgeProtocol::ArtNet;
    };
    const std::vector<Row> rows{
        {"3/0 at 3, receive mode", 3, 3, 0, false, true},
        {"3/0 at 3, send mode", 3, 3, 0, true, true},
        {"3/1 at 3: net 1", 3, 3, 1, true, false},
        {"3/0 at 4", 4, 3, 0, true, false},
        {"255/0 at 255", 255, 255, 0, true, true},
        {"0/0 at 0", 0, 0, 0, true, true},
        {"0/0 at 0, sACN chosen", 0, 0, 0, true, false, BridgeProtocol::Sacn},
        {"3/0 at 3, sACN chosen, receive mode", 3, 3, 0, false, false, BridgeProtocol::Sacn},
    };
    for (const auto& row : rows) {
        NodeOnFakes fresh;
        fresh.Start();
        fresh.bridge.universe = row.setting;
        fresh.bridge.sendMode = row.sendMode;
        fresh.bridge.protocol = row.protocol;
        fresh.port.writes.clear();
        fresh.node.HandleArtNetPacket(ArtDmxDatagram(
            row.subUni, row.net, [](int channel) { return static_cast<std::uint8_t>(channel % 251 + 1); }));

        const auto& levels = fresh.widget.OutputPacket.Levels;
        EXPECT_EQ(fresh.node.ArtNetDetected, -1) << row.name;
        EXPECT_EQ(levels[1], row.taken ? 2 : 0) << row.name;
        EXPECT_EQ(levels[512], row.taken ? 512 % 251 + 1 : 0) << row.name;
        EXPECT_EQ(levels[0], 0) << row.name << ": the start code is never written";
        EXPECT_EQ(fresh.port.writes.size(), row.taken && row.sendMode ? 1u : 0u) << row.name;
        EXPECT_EQ(fresh.node.ArtDmxIgnoredForSacn, row.protocol == BridgeProtocol::Sacn ? 1u : 0u)
            << row.name;
        EXPECT_TRUE(fresh.log.empty()) << row.name;
    }
}

TEST_F(Dispatcher, SendModeWritesOneFramePerMatchingArtDmxWithItsLevels) {
    bridge.sendMode = true;
    bridge.universe = 3;
    for (std::uint8_t level : {10, 20, 30}) socket.Arrive(ArtDmxDatagram(3, 0, level));
    socket.Arrive(ArtDmxDatagram(4, 0, 99));

    ASSERT_EQ(port.writes.size(), 3u);
    const Bytes& last = port.writes.back();
    ASSERT_EQ(last.size(), 518u);
    EXPECT_EQ((Bytes{last.begin(), last.begin() + 5}), (Bytes{0x7E, 6, 0x01, 0x02, 0x00}));
    EXPECT_EQ(last[5], 30);
    EXPECT_EQ(last[516], 30);
    EXPECT_EQ(last[517], 0xE7);
}

TEST_F(Dispatcher, MovingTheUniverseTakesEffectFromTheNextPacket) {
    bridge.sendMode = true;
    bridge.universe = 3;
    socket.Arrive(ArtDmxDatagram(3, 0, 50));
    bridge.universe = 4;
    socket.Arrive(ArtDmxDatagram(3, 0, 60));
    EXPECT_EQ(widget.OutputPacket.Levels[1], 50);
    socket.Arrive(ArtDmxDatagram(4, 0, 70));
    EXPECT_EQ(widget.OutputPacket.Levels[1], 70);
    EXPECT_EQ(port.writes.size(), 2u);
}

TEST_F(Dispatcher, ReceiveModeChangesTheOutputLevelsAndWritesNothing) {
    bridge.sendMode = false;
    socket.Arrive(ArtDmxDatagram(0, 0, 77));
    EXPECT_EQ(widget.OutputPacket.Levels[1], 77);
    EXPECT_EQ(widget.OutputPacket.Levels[512], 77);
    EXPECT_TRUE(port.writes.empty());
}

TEST_F(Dispatcher, AShortArtDmxChangesOnlyTheLevelsItCarries) {
    bridge.sendMode = true;
    socket.Arrive(ArtDmxDatagram(0, 0, 9));
    struct Row {
        std::size_t length;
        int lastChanged;  // channels 1..lastChanged become 1, the rest stay 9
    };
    const std::vector<Row> rows{{529, 511}, {21, 3}, {19, 1}, {18, 0}, {16, 0}, {15, 0}};
    for (const auto& row : rows) {
        Bytes datagram = ArtDmxDatagram(0, 0, 1);
        datagram.resize(row.length);
        for (auto& level : widget.OutputPacket.Levels) level = 9;
        widget.OutputPacket.Levels[0] = 0;
        node.HandleArtNetPacket(datagram);
        for (int channel = 1; channel <= 512; ++channel)
            ASSERT_EQ(widget.OutputPacket.Levels[channel], channel <= row.lastChanged ? 1 : 9)
                << "length " << row.length << ", channel " << channel;
    }
    // Missing universe bytes count as zero, so even the 15-byte packet matched universe 0 and went out.
    EXPECT_EQ(port.writes.size(), 1u + rows.size());
}

TEST_F(Dispatcher, TheLargestDatagramIsReadForItsFirst512LevelsOnly) {
    bridge.sendMode = true;
    Bytes datagram = ArtDmxDatagram(0, 0, 42);
    datagram.resize(65507, 0xEE);
    socket.Arrive(datagram);
    EXPECT_EQ(widget.OutputPacket.Levels[512], 42);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0].size(), 518u);
}

TEST_F(Dispatcher, ASendFailureEndsThatDatagramOnlyAndIsLogged) {
    socket.failSends = true;
    socket.Arrive(ArtPollDatagram());
    socket.failSends = false;
    socket.Arrive(ArtPollDatagram());
    EXPECT_EQ(log, (std::vector<std::string>{"ArtPoll Recieved", "! Art-Net Packet Error: Send failed",
                                             "ArtPoll Recieved"}));
    EXPECT_EQ(socket.sent.size(), 1u);
}

TEST_F(Dispatcher, TheNodesOwnArtDmxComingBackIsTakenLikeAnyOther) {
    bridge.universe = 5;
    LevelArray levels{};
    levels.fill(123);
    node.SendArtDmx(5, levels);
    ASSERT_EQ(socket.sent.size(), 1u);
    socket.Arrive(socket.sent[0].bytes);
    EXPECT_EQ(widget.OutputPacket.Levels[1], 123);
    EXPECT_EQ(widget.OutputPacket.Levels[0], 0);
}

}  // namespace
