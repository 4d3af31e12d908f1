#include <gtest/gtest.h>

#include <string>

#include "artnet_fixture.h"

namespace {

void PutText(Bytes& bytes, std::size_t offset, std::size_t width, const std::string& text) {
    for (std::size_t i = 0; i < width; ++i) bytes[offset + i] = i < text.size() ? text[i] : ' ';
}

// The reply as the published layout has it, written out by offset, without the mode-dependent bytes.
Bytes ExpectedPollReply(const std::array<std::uint8_t, 6>& nodeAddress) {
    Bytes bytes(239, 0);
    const Bytes head = ArtNetHead(0x2100);
    std::copy(head.begin(), head.end(), bytes.begin());
    std::copy(nodeAddress.begin(), nodeAddress.end(), bytes.begin() + 10);
    bytes[17] = 14;
    bytes[20] = 0x00;
    bytes[21] = 0xFF;
    PutText(bytes, 26, 18, "Zephrax");
    PutText(bytes, 44, 64, "Tarvo's Zephrax");
    PutText(bytes, 108, 64, "OK");
    bytes[173] = 1;
    return bytes;
}

struct PacketsFromNode : ::testing::Test, NodeOnFakes {
    PacketsFromNode() { Start("10.1.2.3"); }

    Bytes PollReplySent() {
        socket.sent.clear();
        node.SendArtPollReply();
        EXPECT_EQ(socket.sent.size(), 1u);
        return socket.sent.empty() ? Bytes{} : socket.sent.back().bytes;
    }
};

TEST_F(PacketsFromNode, ReceiveModeReplyWithUniverse255IsByteExact) {
    bridge.sendMode = false;
    bridge.universe = 255;
    Bytes expected = ExpectedPollReply({10, 1, 2, 3, 0x36, 0x19});
    expected[19] = 0x0F;  // readers take the universe's bits 7 to 4 from the sub-net switch
    expected[174] = 0x40;
    expected[178] = 0x80;
    expected[186] = 0x0F;

    const Bytes reply = PollReplySent();
    EXPECT_EQ(reply, expected);
    EXPECT_EQ(socket.sent.back().host, "10.255.255.255");
    EXPECT_EQ(socket.sent.back().port, 6454);
    // Padding is spaces right up to each field's end: no terminator.
    EXPECT_EQ(reply[43], ' ');
    EXPECT_EQ(reply[107], ' ');
    EXPECT_EQ(reply[171], ' ');
}

TEST_F(PacketsFromNode, ModeDependentBytesKeepWhatTheOtherModeLastWrote) {
    struct Row {
        bool sendMode;
        std::uint8_t universe;
        BridgeProtocol protocol;
        // Bytes 19 (sub-net switch), 174 (port type), 178 (good input), 182 (good output), 186 (SwIn), 190
        // (SwOut).
        std::array<std::uint8_t, 6> portBytes;
    };
    const auto artNet = BridgeProtocol::ArtNet;
    const auto sacn = BridgeProtocol::Sacn;
    const std::vector<Row> rows{
        {false, 3, artNet, {0, 0x40, 0x80, 0x00, 3, 0}},
        {true, 5, artNet, {0, 0x80, 0x80, 0x80, 3, 5}},
        {true, 16, artNet, {1, 0x80, 0x80, 0x80, 3, 0}},
        {false, 7, artNet, {0, 0x40, 0x80, 0x80, 7, 0}},
        {true, 37, artNet, {2, 0x80, 0x80, 0x80, 7, 5}},
        // sACN feeds the output: bit 0 of the good output byte says so; the node's universe stays named.
        {true, 37, sacn, {2, 0x80, 0x80, 0x81, 7, 5}},
        {false, 255, sacn, {0x0F, 0x40, 0x80, 0x81, 0x0F, 5}},
    };
    for (const auto& row : rows) {
        bridge.sendMode = row.sendMode;
        bridge.universe = row.universe;
        bridge.protocol = row.protocol;
        Bytes expected = ExpectedPollReply({10, 1, 2, 3, 0x36, 0x19});
        const std::array<std::size_t, 6> offsets{19, 174, 178, 182, 186, 190};
        for (std::size_t i = 0; i < offsets.size(); ++i) expected[offsets[i]] = row.portBytes[i];
        EXPECT_EQ(PollReplySent(), expected) << "send mode " << row.sendMode << ", universe "
                                             << int(row.universe) << ", sACN " << (row.protocol == sacn);
    }
}

TEST_F(PacketsFromNode, ArtDmxCarriesLevelsOneTo512OnTheGivenUniverse) {
    struct Row {
        std::uint8_t universe;
        std::uint8_t startCode;
        std::function<std::uint8_t(int)> levelOf;
    };
    const std::vector<Row> rows{
        {7, 0, [](int) { return std::uint8_t{0}; }},
        {255, 0xAA, [](int channel) { return static_cast<std::uint8_t>(channel * 7); }},
        {0, 0xCC, [](int channel) { return channel == 512 ? std::uint8_t{0xE7} : std::uint8_t{0xFF}; }},
    };
    for (const auto& row : rows) {
        LevelArray levels{};
        levels[0] = row.startCode;
        for (int channel = 1; channel <= 512; ++channel) levels[channel] = row.levelOf(channel);
        socket.sent.clear();
        node.SendArtDmx(row.universe, levels);

        ASSERT_EQ(socket.sent.size(), 1u);
        Bytes expected = ArtDmxDatagram(row.universe, 0, row.levelOf);
        expected[12] = 0;  // the node sends sequence 0
        EXPECT_EQ(socket.sent[0].bytes, expected) << "universe " << int(row.universe);
        EXPECT_EQ(socket.sent[0].host, "10.255.255.255");
    }
}

TEST(PacketsBeforeStartUp, NothingIsSentAndNothingLoggedWithoutABroadcastAddress) {
    NodeOnFakes fakes;
    LevelArray levels{};
    fakes.node.SendArtPollReply();
    fakes.node.SendArtDmx(3, levels);
    EXPECT_TRUE(fakes.socket.sent.empty());
    EXPECT_TRUE(fakes.log.empty());
    // The reply is still built.
    EXPECT_EQ(fakes.node.PollReply.OpCode, 0x2100);
}

}  // namespace
