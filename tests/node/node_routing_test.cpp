#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "node/artnet_node_packets.h"
#include "node/level_mailbox.h"
#include "node/node.h"
#include "support/loopback_udp.h"

namespace {

// Records what the node sends and which groups it is in; no socket is needed for the routing.
class RecordingNetwork : public NodeNetwork {
public:
    bool SendArtNet(std::span<const std::uint8_t> datagram, std::optional<UdpEndpoint> to) override {
        artNet.emplace_back(datagram.begin(), datagram.end());
        destinations.push_back(to);
        return true;
    }
    bool SendSacn(std::span<const std::uint8_t> datagram, std::uint32_t, int) override {
        sacn.emplace_back(datagram.begin(), datagram.end());
        return true;
    }
    void JoinSacnUniverse(std::uint16_t universe) override { joined.push_back(universe); }
    void LeaveSacnUniverse(std::uint16_t universe) override { std::erase(joined, universe); }

    std::vector<std::vector<std::uint8_t>> artNet, sacn;
    std::vector<std::optional<UdpEndpoint>> destinations;
    std::vector<std::uint16_t> joined;
};

PortConfig Port(int number, BridgeProtocol protocol, int universe, PortMode mode = PortMode::Send) {
    PortConfig port;
    port.number = number;
    port.device = "/nonexistent/widget-" + std::to_string(number);
    port.protocol = protocol;
    port.universe = universe;
    port.mode = mode;
    return port;
}

NodeConfig Config(std::vector<PortConfig> ports) {
    return NodeConfig{"lo", "rig", std::move(ports), {}};
}

// Ports whose widgets are absent: their links wait, and the routing is all there is to see.
struct NodeRig {
    RecordingNetwork network;
    Node node{network, NodeIdentity{{10, 0, 0, 5}, {2, 0, 0, 0, 0, 5}, "host", {}},
              [](const PortConfig&) { return std::string(); }, [](const std::string&) {}, [] {}};
    Node::TimePoint now = Node::Clock::now();
};

TEST(NodeRoutingTest, EachArtNetPortAnswersAPollWithItsOwnBindIndexAndPortAddress) {
    NodeRig rig;
    rig.node.Apply(Config({Port(1, BridgeProtocol::ArtNet, 0x123), Port(2, BridgeProtocol::Sacn, 7),
                           Port(3, BridgeProtocol::ArtNet, 4, PortMode::Receive)}),
                   rig.now);
    rig.node.TakeArtNet(artnet_loopback::ArtPoll(), UdpEndpoint{{10, 0, 0, 9}, 6454}, rig.now);
    ASSERT_EQ(rig.network.artNet.size(), 2u);  // the sACN port is no Art-Net node
    const struct {
        std::uint8_t bindIndex, net, sub, swIn, swOut, portType;
    } expected[] = {{1, 0x01, 0x02, 0, 0x03, 0x80}, {2, 0, 0, 0x04, 0, 0x40}};
    for (std::size_t i = 0; i < 2; ++i) {
        PollReplyRecord reply;
        ASSERT_EQ(rig.network.artNet[i].size(), sizeof reply);
        std::memcpy(&reply, rig.network.artNet[i].data(), sizeof reply);
        const PollReplyBindRecord bind = BindFieldsOf(reply);
        EXPECT_EQ(bind.BindIndex, expected[i].bindIndex);
        EXPECT_EQ(reply.NetSwitch, expected[i].net);
        EXPECT_EQ(reply.SubSwitch, expected[i].sub);
        EXPECT_EQ(reply.SwIn[0], expected[i].swIn);
        EXPECT_EQ(reply.SwOut[0], expected[i].swOut);
        EXPECT_EQ(reply.PortTypes[0], expected[i].portType);
        EXPECT_EQ(bind.BindIp, (std::array<std::uint8_t, 4>{10, 0, 0, 5}));
        EXPECT_EQ(reply.MAC[5], 5);
        // The poller is answered, on the Art-Net port.
        ASSERT_TRUE(rig.network.destinations[i]);
        EXPECT_EQ(rig.network.destinations[i]->Address, (std::array<std::uint8_t, 4>{10, 0, 0, 9}));
        EXPECT_EQ(rig.network.destinations[i]->Port, kArtNetPort);
    }
    EXPECT_STRNE(reinterpret_cast<const char*>(rig.network.artNet[0].data() + 26),
                 reinterpret_cast<const char*>(rig.network.artNet[1].data() + 26));
    // Its own poll, come back over loopback, is no poll.
    rig.node.TakeArtNet(artnet_loopback::ArtPoll(), UdpEndpoint{{10, 0, 0, 5}, 6454}, rig.now);
    EXPECT_EQ(rig.network.artNet.size(), 2u);
}

TEST(NodeRoutingTest, ReloadJoinsAndLeavesTheGroupsOfSendingSacnPortsOnce) {
    struct Step {
        std::vector<PortConfig> ports;
        std::vector<std::uint16_t> joined;
    } steps[] = {
        {{Port(1, BridgeProtocol::Sacn, 5), Port(2, BridgeProtocol::Sacn, 5)}, {5}},
        {{Port(1, BridgeProtocol::Sacn, 5), Port(2, BridgeProtocol::Sacn, 6)}, {5, 6}},
        // A port that sends its widget's input needs no group.
        {{Port(1, BridgeProtocol::Sacn, 5, PortMode::Receive), Port(2, BridgeProtocol::Sacn, 6)}, {6}},
        {{Port(2, BridgeProtocol::ArtNet, 6)}, {}},
    };
    NodeRig rig;
    for (const Step& step : steps) {
        rig.node.Apply(Config(step.ports), rig.now);
        auto joined = rig.network.joined;
        std::sort(joined.begin(), joined.end());
        EXPECT_EQ(joined, step.joined);
    }
}

TEST(NodeRoutingTest, ArtDmxIsReadByItsFifteenBitPortAddressAndWhatCame) {
    struct Row {
        const char* name;
        std::vector<std::uint8_t> datagram;
        std::optional<std::uint16_t> portAddress;
        std::size_t slots;
    };
    auto dmx = [](std::uint8_t subUni, std::uint8_t net, std::uint16_t length, std::size_t carried) {
        std::vector<std::uint8_t> bytes = {'A',
                                           'r',
                                           't',
                                           '-',
                                           'N',
                                           'e',
                                           't',
                                           0,
                                           0x00,
                                           0x50,
                                           0,
                                           14,
                                           1,
                                           0,
                                           subUni,
                                           net,
                                           static_cast<std::uint8_t>(length >> 8),
                                           static_cast<std::uint8_t>(length)};
        bytes.resize(bytes.size() + carried, 9);
        return bytes;
    };
    const Row rows[] = {
        {"whole", dmx(0x23, 0x01, 512, 512), 0x123, 512},
        {"net's top bit is not address", dmx(0x00, 0x80, 2, 2), 0, 2},
        {"claims more than came", dmx(0x05, 0, 512, 100), 5, 100},
        {"claims less than came", dmx(0x05, 0, 24, 512), 5, 24},
        {"no slots", dmx(0x05, 0, 0, 0), std::nullopt, 0},
    };
    for (const Row& row : rows) {
        const auto in = ReadArtDmx(row.datagram);
        ASSERT_EQ(in.has_value(), row.portAddress.has_value()) << row.name;
        if (!in) continue;
        EXPECT_EQ(in->portAddress, *row.portAddress) << row.name;
        EXPECT_EQ(in->slots.size(), row.slots) << row.name;
    }
}

// The reader never sees a frame that the writer was still filling, and frames never go backwards.
TEST(NodeRoutingTest, MailboxHandsOverWholeFramesOnlyNewestFirst) {
    LevelMailbox mailbox;
    std::atomic<bool> done = false;
    std::thread writer([&] {
        std::array<std::uint8_t, 513> levels{};
        for (int frame = 1; frame <= 20000; ++frame) {
            levels.fill(static_cast<std::uint8_t>(frame));
            mailbox.Put(levels, static_cast<std::size_t>(frame % 512 + 1));
        }
        done = true;
    });
    int last = 0, taken = 0;
    while (!done || taken == 0) {
        const DmxFrame* frame = mailbox.Take();
        if (!frame) continue;
        ++taken;
        const std::uint8_t value = frame->levels[0];
        ASSERT_TRUE(
            std::all_of(frame->levels.begin(), frame->levels.end(), [&](auto v) { return v == value; }));
        ASSERT_NE(value, static_cast<std::uint8_t>(last));
        last = value;
    }
    writer.join();
    EXPECT_GT(taken, 0);
}

}  // namespace
