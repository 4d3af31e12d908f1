#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "node/art_address.h"
#include "node/artnet_node_packets.h"
#include "node/level_mailbox.h"
#include "node/node.h"
#include "node/status_table.h"
#include "support/loopback_udp.h"
#include "widget/firmware_update.h"
#include "widget_rack.h"

namespace {

using namespace std::chrono_literals;

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
    std::vector<std::string> said;
    Node node{network, NodeIdentity{{10, 0, 0, 5}, {2, 0, 0, 0, 0, 5}, "host", {}},
              [](const PortConfig&) { return std::string(); },
              [this](const std::string& line) { said.push_back(line); }, [] {}};
    Node::TimePoint now = Node::Clock::now();
    NodeRig() { node.SetPollReplyDelay(0ms); }
};

// An ArtPoll of `size` bytes, targeted at [bottom, top] when its flags say so.
std::vector<std::uint8_t> TargetedPoll(std::uint16_t bottom, std::uint16_t top, std::size_t size = 18,
                                       std::uint8_t flags = 0x20) {
    std::vector<std::uint8_t> poll = artnet_loopback::ArtPoll();
    poll[12] = flags;
    for (const int edge : {top, bottom})
        poll.insert(poll.end(), {std::uint8_t(edge >> 8), std::uint8_t(edge)});
    poll.resize(size);
    return poll;
}

// An sACN port answers too, with sACN's universe 7 as Port-Address 6: a console can switch it to Art-Net.
TEST(NodeRoutingTest, EachPortAnswersAPollWithItsOwnBindIndexAndPortAddress) {
    NodeRig rig;
    rig.node.Apply(Config({Port(1, BridgeProtocol::ArtNet, 0x123), Port(2, BridgeProtocol::Sacn, 7),
                           Port(3, BridgeProtocol::ArtNet, 4, PortMode::Receive)}),
                   rig.now);
    rig.node.TakeArtNet(artnet_loopback::ArtPoll(), UdpEndpoint{{10, 0, 0, 9}, 6454}, rig.now);
    ASSERT_EQ(rig.network.artNet.size(), 3u);
    const struct {
        std::uint8_t bindIndex, net, sub, swIn, swOut, portType, goodOutput;
    } expected[] = {
        {1, 0x01, 0x02, 0, 0x03, 0x80, 0}, {2, 0, 0, 0, 0x06, 0x80, 0x01}, {3, 0, 0, 0x04, 0, 0x40, 0}};
    for (std::size_t i = 0; i < 3; ++i) {
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
        EXPECT_EQ(reply.GoodOutput[0], expected[i].goodOutput);
        EXPECT_EQ(bind.BindIp, (std::array<std::uint8_t, 4>{10, 0, 0, 5}));
        EXPECT_EQ(reply.MAC[5], 5);
        EXPECT_EQ(reply.Status & 0x30, 0x20);  // Port-Address set over the network
        EXPECT_EQ(bind.Status2, 0x18);         // 15-bit, switchable protocol, no page
        EXPECT_EQ(SwapBytes(bind.RefreshRate), 44);
        // The poller is answered, on the Art-Net port.
        ASSERT_TRUE(rig.network.destinations[i]);
        EXPECT_EQ(rig.network.destinations[i]->Address, (std::array<std::uint8_t, 4>{10, 0, 0, 9}));
        EXPECT_EQ(rig.network.destinations[i]->Port, kArtNetPort);
    }
    EXPECT_STRNE(reinterpret_cast<const char*>(rig.network.artNet[0].data() + 26),
                 reinterpret_cast<const char*>(rig.network.artNet[1].data() + 26));
    // Its own poll, come back over loopback, is no poll.
    rig.node.TakeArtNet(artnet_loopback::ArtPoll(), UdpEndpoint{{10, 0, 0, 5}, 6454}, rig.now);
    EXPECT_EQ(rig.network.artNet.size(), 3u);
}

TEST(NodeRoutingTest, TargetedPollsAreAnsweredForThePortsInTheirRange) {
    NodeRig rig;
    rig.node.Apply(Config({Port(1, BridgeProtocol::ArtNet, 5), Port(2, BridgeProtocol::ArtNet, 37),
                           Port(3, BridgeProtocol::ArtNet, 32767)}),
                   rig.now);
    const struct {
        std::vector<std::uint8_t> poll;
        std::vector<std::uint8_t> bindIndexes;
    } rows[] = {{TargetedPoll(6, 37), {2}},
                {TargetedPoll(37, 32767), {2, 3}},
                {TargetedPoll(6, 36), {}},
                // Not targeted, too short for a range, no poll.
                {TargetedPoll(6, 36, 18, 0), {1, 2, 3}},
                {TargetedPoll(6, 36, 17), {1, 2, 3}},
                {TargetedPoll(6, 36, 13), {}}};
    for (const auto& row : rows) {
        rig.network.artNet.clear();
        rig.node.TakeArtNet(row.poll, UdpEndpoint{{10, 0, 0, 9}, 6454}, rig.now);
        std::vector<std::uint8_t> answered;
        for (const auto& reply : rig.network.artNet) answered.push_back(reply[211]);
        EXPECT_EQ(answered, row.bindIndexes) << row.poll.size() << " " << int(row.poll[17]);
    }
}

TEST(NodeRoutingTest, RepliesGoOutWhenDueToThePollerOrTheBroadcast) {
    for (const bool broadcast : {false, true}) {
        NodeRig rig;
        rig.node.SetPollReplyDelay(300ms);
        rig.node.SetWebPage(broadcast);
        NodeConfig config = Config({Port(1, BridgeProtocol::ArtNet, 5)});
        config.pollRepliesBroadcast = broadcast;
        rig.node.Apply(config, rig.now);
        // A second poll while the first's reply waits is answered by that reply.
        for (const auto at : {0ms, 100ms})
            rig.node.TakeArtNet(artnet_loopback::ArtPoll(), UdpEndpoint{{10, 0, 0, 9}, 1234}, rig.now + at);
        rig.node.Tick(rig.now + 299ms);
        EXPECT_TRUE(rig.network.artNet.empty());
        rig.node.Tick(rig.now + 400ms);
        ASSERT_EQ(rig.network.artNet.size(), 1u);
        EXPECT_EQ(rig.network.destinations[0],
                  broadcast ? std::nullopt : std::optional(UdpEndpoint{{10, 0, 0, 9}, 6454}));
        EXPECT_EQ(rig.network.artNet[0][212] & 0x01, broadcast ? 1 : 0);  // the page is up
    }
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

// Finding a port's widget on the rig shows in the poll reply's indicators and the status, never in its DMX.
TEST(NodeRoutingTest, LocateShowsInThePollReplyAndTheStatusOnly) {
    NodeRig rig;
    rig.node.Apply(Config({Port(1, BridgeProtocol::ArtNet, 3), Port(2, BridgeProtocol::ArtNet, 4)}), rig.now);
    rig.node.TakeArtNet(artnet_loopback::ArtDmx(3, 10), UdpEndpoint{{10, 0, 0, 9}, 6454}, rig.now);
    const auto levels = rig.node.Levels(1);
    EXPECT_TRUE(rig.node.LevelsChanged(1));
    const struct {
        int port;
        bool on;
        std::uint8_t indicators1, indicators2;  // Status1 b7-6 of port 1's and port 2's replies
    } rows[] = {{1, true, 0x40, 0xC0}, {2, true, 0x40, 0x40}, {1, false, 0xC0, 0x40}, {2, false, 0xC0, 0xC0}};
    for (const auto& row : rows) {
        ASSERT_TRUE(rig.node.SetLocating(row.port, row.on));
        rig.network.artNet.clear();
        rig.node.TakeArtNet(artnet_loopback::ArtPoll(), UdpEndpoint{{10, 0, 0, 9}, 6454}, rig.now);
        ASSERT_EQ(rig.network.artNet.size(), 2u);
        EXPECT_EQ(rig.network.artNet[0][23] & 0xC0, row.indicators1) << row.port << row.on;
        EXPECT_EQ(rig.network.artNet[1][23] & 0xC0, row.indicators2) << row.port << row.on;
        const std::vector<PortStatus> status = rig.node.Status();
        EXPECT_EQ(status[static_cast<std::size_t>(row.port - 1)].locating, row.on);
        EXPECT_EQ(
            StatusTable(status).find("port " + std::to_string(row.port) + " LOCATE") != std::string::npos,
            row.on);
        EXPECT_EQ(rig.node.Levels(1), levels);
        EXPECT_FALSE(rig.node.LevelsChanged(1));
    }
    EXPECT_FALSE(rig.node.SetLocating(3, true));
}

TEST(NodeRoutingTest, LevelsAreTheNetworksAndChangeOnlyWhenTheyDiffer) {
    NodeRig rig;
    rig.node.Apply(Config({Port(1, BridgeProtocol::ArtNet, 3), Port(2, BridgeProtocol::ArtNet, 4)}), rig.now);
    const struct {
        std::uint16_t universe;
        std::uint8_t offset;
        bool changed1, changed2;
    } rows[] = {{3, 10, true, false}, {3, 10, false, false}, {3, 11, true, false}, {4, 11, false, true}};
    for (const auto& row : rows) {
        rig.node.TakeArtNet(artnet_loopback::ArtDmx(row.universe, row.offset),
                            UdpEndpoint{{10, 0, 0, 9}, 6454}, rig.now);
        EXPECT_EQ(rig.node.LevelsChanged(1), row.changed1) << int(row.offset);
        EXPECT_EQ(rig.node.LevelsChanged(2), row.changed2) << int(row.offset);
        EXPECT_FALSE(rig.node.LevelsChanged(1));  // the call clears it
        const auto levels = rig.node.Levels(row.universe == 3 ? 1 : 2);
        ASSERT_TRUE(levels);
        EXPECT_EQ((*levels)[0], row.offset + 1);
        EXPECT_EQ((*levels)[511], static_cast<std::uint8_t>(512 + row.offset));
    }
    EXPECT_FALSE(rig.node.Levels(3));
    EXPECT_FALSE(rig.node.LevelsChanged(3));
}

TEST(NodeRoutingTest, SourcesHeardAndHowTheyMerge) {
    struct Source {
        std::uint8_t cid;
        const char* name;
        std::uint8_t priority, level;
    };
    const struct {
        std::vector<Source> sources;
        std::string merge;
        std::vector<bool> winning;
        std::uint8_t level;  // the port's
    } rows[] = {
        {{{1, "desk", 100, 50}}, "one source", {true}, 50},
        {{{1, "desk", 100, 50}, {2, "backup", 100, 80}},
         "2 sources at priority 100 merged (highest level)",
         {true, true},
         80},
        {{{1, "desk", 150, 50}, {2, "backup", 100, 80}},
         "2 sources, highest priority wins",
         {true, false},
         50},
        {{{1, "desk", 150, 50}, {2, "backup", 100, 80}, {3, "wing", 150, 60}},
         "3 sources, 2 at priority 150 merged (highest level)",
         {true, false, true},
         60},
    };
    for (const auto& row : rows) {
        NodeRig rig;
        rig.node.Apply(Config({Port(1, BridgeProtocol::Sacn, 7)}), rig.now);
        EXPECT_EQ(rig.node.Status()[0].merge, "no source");
        for (const Source& source : row.sources) {
            SacnSenderFields fields;
            fields.Cid.fill(source.cid);
            fields.SourceName = source.name;
            fields.Priority = source.priority;
            fields.Universe = 7;
            std::array<std::uint8_t, kSacnSlots> levels{};
            levels.fill(source.level);
            rig.node.TakeSacn(BuildSacnDataPacket(fields, 1, 0, levels), rig.now);
        }
        const PortStatus status = rig.node.Status()[0];
        EXPECT_EQ(status.merge, row.merge);
        ASSERT_EQ(status.heard.size(), row.sources.size());
        for (std::size_t i = 0; i < row.sources.size(); ++i) {
            EXPECT_EQ(status.heard[i].name, row.sources[i].name);
            EXPECT_EQ(status.heard[i].priority, row.sources[i].priority);
            EXPECT_EQ(status.heard[i].winning, row.winning[i]) << row.merge << i;
        }
        EXPECT_EQ(status.heard[0].address, "01010101-0101-0101-0101-010101010101");
        EXPECT_EQ((*rig.node.Levels(1))[100], row.level) << row.merge;
        EXPECT_TRUE(rig.node.LevelsChanged(1));
    }
    // Art-Net's two sources: each slot's highest level.
    NodeRig rig;
    rig.node.Apply(Config({Port(1, BridgeProtocol::ArtNet, 3)}), rig.now);
    rig.node.TakeArtNet(artnet_loopback::ArtDmx(3, 1), UdpEndpoint{{10, 0, 0, 8}, 6454}, rig.now);
    rig.node.TakeArtNet(artnet_loopback::ArtDmx(3, 2), UdpEndpoint{{10, 0, 0, 9}, 6454}, rig.now + 1ms);
    const PortStatus status = rig.node.Status()[0];
    EXPECT_EQ(status.merge, "2 sources merged (HTP)");
    ASSERT_EQ(status.heard.size(), 2u);
    EXPECT_EQ(status.heard[0].address, "10.0.0.8");
    EXPECT_TRUE(status.heard[0].winning);
    EXPECT_TRUE(status.heard[1].winning);
}

// Synchronisation of port 1 (universe 7) and port 2 (universe 8): each step is a data packet, a
// synchronisation packet or time passing, then each port's level.
TEST(NodeRoutingTest, SacnDataNamingASyncAddressWaitsForItsPacket) {
    // Data naming address 50, the same with Force_Synchronization, data naming none.
    enum Kind { Held, Forced, Unsynced, Sync, Wait };
    struct Step {
        Kind kind;
        std::uint16_t at;    // data: its universe; sync: its address; wait: milliseconds
        std::uint8_t value;  // data: its level; sync: its sequence
        std::array<int, 2> levels;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } rows[] = {
        {"address 0 at once, dropping what waited",
         {{Held, 7, 10, {10, 0}},
          {Sync, 50, 1, {10, 0}},
          {Held, 7, 20, {10, 0}},
          {Unsynced, 7, 30, {30, 0}},
          {Sync, 50, 2, {30, 0}}}},
        {"a late sync is none",
         {{Held, 7, 10, {10, 0}},
          {Sync, 50, 5, {10, 0}},
          {Held, 7, 20, {10, 0}},
          {Sync, 50, 4, {10, 0}},
          {Sync, 50, 6, {20, 0}}}},
        {"two ports on one sync",
         {{Held, 7, 10, {10, 0}},
          {Sync, 50, 1, {10, 0}},
          {Held, 7, 20, {10, 0}},
          {Held, 8, 21, {10, 0}},
          {Sync, 50, 2, {20, 21}}}},
        {"loss keeps the last look",
         {{Held, 7, 10, {10, 0}},
          {Sync, 50, 1, {10, 0}},
          {Held, 7, 20, {10, 0}},
          {Wait, 3000, 0, {10, 0}},
          {Held, 7, 30, {10, 0}},
          {Sync, 50, 2, {30, 0}}}},
        {"loss with Force_Synchronization writes at once",
         {{Forced, 7, 10, {10, 0}},
          {Sync, 50, 1, {10, 0}},
          {Forced, 7, 20, {10, 0}},
          {Wait, 3000, 0, {20, 0}},
          {Forced, 7, 30, {30, 0}},
          {Sync, 50, 2, {30, 0}},
          {Forced, 7, 40, {30, 0}}}},
    };
    for (const auto& row : rows) {
        NodeRig rig;
        rig.node.Apply(Config({Port(1, BridgeProtocol::Sacn, 7), Port(2, BridgeProtocol::Sacn, 8)}), rig.now);
        std::uint8_t sequence = 0;
        for (const Step& step : row.steps) {
            SacnSenderFields fields;
            fields.Cid.fill(1);
            if (step.kind <= Unsynced) {
                fields.Universe = step.at;
                fields.SyncAddress = step.kind == Unsynced ? 0 : 50;
                std::array<std::uint8_t, kSacnSlots> levels{};
                levels.fill(step.value);
                const std::uint8_t options = step.kind == Forced ? kSacnOptionForceSync : 0;
                rig.node.TakeSacn(BuildSacnDataPacket(fields, ++sequence, options, levels), rig.now);
            } else if (step.kind == Sync) {
                rig.node.TakeSacn(BuildSacnSyncPacket(fields.Cid, step.value, step.at), rig.now);
            } else {
                rig.now += std::chrono::milliseconds(step.at);
                rig.node.Tick(rig.now);
            }
            for (int port = 1; port <= 2; ++port)
                EXPECT_EQ((*rig.node.Levels(port))[0], step.levels[port - 1])
                    << row.name << ", port " << port << " after " << int(step.value);
        }
        // The address's group is joined while ports' data names it.
        EXPECT_EQ(std::count(rig.network.joined.begin(), rig.network.joined.end(), 50), 1) << row.name;
        rig.node.Apply(Config({}), rig.now);
        EXPECT_TRUE(rig.network.joined.empty()) << row.name;
    }
}

enum class Do { Dmx, Sync, Cancel, Tick, Send };
struct NetStep {
    Do what;
    std::uint8_t host = 0;  // 10.0.0.host sends it
    std::uint16_t universe = 0;
    std::uint8_t offset = 0;
    int second = 0;
    std::uint8_t physical = 0;
    artnet_loopback::Bytes datagram = {};  // Send
};
NetStep Dmx(std::uint8_t host, std::uint16_t universe, std::uint8_t offset, int second = 0,
            std::uint8_t physical = 0) {
    return {Do::Dmx, host, universe, offset, second, physical};
}
NetStep Sync(std::uint8_t host, int second = 0) {
    return {Do::Sync, host, 0, 0, second};
}

void Play(NodeRig& rig, const NetStep& step) {
    const Node::TimePoint at = rig.now + std::chrono::seconds(step.second);
    const UdpEndpoint from{{10, 0, 0, step.host}, 6454};
    auto dmx = artnet_loopback::ArtDmx(step.universe, step.offset);
    dmx[13] = step.physical;
    if (step.what == Do::Dmx) rig.node.TakeArtNet(dmx, from, at);
    if (step.what == Do::Sync) rig.node.TakeArtNet(artnet_loopback::ArtSync(), from, at);
    if (step.what == Do::Cancel) rig.node.CancelMerge(1);
    if (step.what == Do::Send) rig.node.TakeArtNet(step.datagram, from, at);
    rig.node.Tick(at);
}

// An ArtAddress from 10.0.0.9 that changes nothing but what it names.
struct Asks {
    std::uint8_t bindIndex = 1;
    std::uint8_t command = 0;
    std::uint8_t net = 0x7F, sub = 0x7F, swIn = 0x7F, swOut = 0x7F, priority = 255;
    std::string shortName = "", longName = "";
};
NetStep Address(const Asks& asks) {
    ArtAddressRecord record{};
    record.ID = kArtNetId;
    record.OpCode = kOpAddress;
    record.ProtVerLo = 14;
    record.BindIndex = asks.bindIndex;
    record.NetSwitch = asks.net;
    record.SubSwitch = asks.sub;
    record.SwIn = {asks.swIn, 0x7F, 0x7F, 0x7F};
    record.SwOut = {asks.swOut, 0x7F, 0x7F, 0x7F};
    record.AcnPriority = asks.priority;
    record.Command = asks.command;
    std::copy(asks.shortName.begin(), asks.shortName.end(), record.ShortName.begin());
    std::copy(asks.longName.begin(), asks.longName.end(), record.LongName.begin());
    const auto* bytes = reinterpret_cast<const std::uint8_t*>(&record);
    return {.what = Do::Send, .host = 9, .datagram = {bytes, bytes + sizeof record}};
}

// Channel 1 of ArtDmx(offset) carries offset + 1, channel 241 (241 + offset) mod 256: HTP and LTP differ.
TEST(NodeRoutingTest, TwoArtNetSourcesMergeAThirdIsIgnored) {
    const NetStep cancel{Do::Cancel}, both[] = {Dmx(8, 3, 10), Dmx(9, 3, 20)},
                                      after11s{Do::Tick, 0, 0, 0, 11};
    const std::string htp = "2 sources merged (HTP)";
    constexpr MergeMode H = MergeMode::Htp;
    const struct {
        MergeMode mode;
        std::vector<NetStep> steps;
        std::string merge;
        std::uint8_t slot1, slot241;
        bool thirdSource;
        long journalLines;  // of merging
    } rows[] = {
        {H, {both[0], both[1]}, htp, 21, 251, false, 1},
        {MergeMode::Ltp, {both[0], both[1]}, "2 sources merged (LTP)", 21, 5, false, 1},
        {H, {both[0], Dmx(8, 3, 20, 0, 1)}, htp, 21, 251, false, 1},
        {H, {both[0], both[1], Dmx(7, 3, 30)}, htp, 21, 251, true, 1},
        {H, {both[0], both[1], Dmx(9, 3, 30, 6), after11s}, "one source", 31, 15, false, 2},
        {H, {both[0], both[1], cancel, Dmx(9, 3, 30)}, "one source", 31, 15, false, 2},
        {H, {both[0], both[1], cancel, Dmx(9, 3, 30), both[0]}, htp, 31, 251, false, 3},
    };
    for (const auto& row : rows) {
        NodeRig rig;
        PortConfig port = Port(1, BridgeProtocol::ArtNet, 3);
        port.merge = row.mode;
        rig.node.Apply(Config({port}), rig.now);
        for (const NetStep& step : row.steps) Play(rig, step);
        const PortStatus status = rig.node.Status()[0];
        EXPECT_EQ(status.merge, row.merge) << row.journalLines;
        EXPECT_EQ((*rig.node.Levels(1))[0], row.slot1) << row.merge;
        EXPECT_EQ((*rig.node.Levels(1))[240], row.slot241) << row.merge;
        const std::pair<std::string, std::uint64_t> third("third source", 1);
        EXPECT_EQ(std::count(status.drops.begin(), status.drops.end(), third), row.thirdSource) << row.merge;
        EXPECT_EQ(
            std::count_if(rig.said.begin(), rig.said.end(),
                          [](const std::string& line) { return line.find("merging") != std::string::npos; }),
            row.journalLines);
        EXPECT_EQ(StatusTable({status}).find("2 merged") != std::string::npos, status.merging) << row.merge;
    }
}

// Port 1 and 2 follow ArtSync from 10.0.0.9; port 3 merges two sources and writes at once.
TEST(NodeRoutingTest, ArtSyncHoldsArtDmxUntilTheNext) {
    const struct {
        NetStep step;
        std::vector<std::uint64_t> written;
    } rows[] = {
        {Dmx(9, 3, 1), {1, 0, 0}},
        {Dmx(8, 5, 2), {1, 0, 1}},
        {Dmx(9, 5, 3), {1, 0, 2}},
        {Sync(9), {1, 0, 2}},  // synchronous from now on
        {Dmx(9, 3, 4), {1, 0, 2}},
        {Dmx(9, 4, 5), {1, 0, 2}},
        {Dmx(9, 5, 6), {1, 0, 3}},
        {Sync(8, 1), {1, 0, 3}},  // not the ArtDmx's sender
        {Sync(9, 1), {2, 1, 3}},
        {Dmx(9, 3, 7, 2), {2, 1, 3}},
        {{Do::Tick, 0, 0, 0, 6}, {3, 1, 3}},  // 4 s without ArtSync
        {Dmx(9, 3, 8, 6), {4, 1, 3}},
    };
    NodeRig rig;
    rig.node.Apply(Config({Port(1, BridgeProtocol::ArtNet, 3), Port(2, BridgeProtocol::ArtNet, 4),
                           Port(3, BridgeProtocol::ArtNet, 5)}),
                   rig.now);
    for (const auto& row : rows) {
        Play(rig, row.step);
        std::vector<std::uint64_t> written;
        for (const PortStatus& port : rig.node.Status()) written.push_back(port.framesIn);
        EXPECT_EQ(written, row.written) << int(row.step.offset) << " " << row.step.second;
        // Held or not, the port's levels are the latest.
        if (row.step.what == Do::Dmx) {
            EXPECT_EQ((*rig.node.Levels(row.step.universe - 2))[0], row.step.offset + 1);
        }
    }
}

// Port 1 sends Art-Net universe 5 to its widget, port 2 universe 0x123, port 3 its widget's input to
// universe 4. Each row's ArtAddress steps, then what the port addressed is and what its last reply says.
TEST(NodeRoutingTest, ArtAddressChangesThePortItNamesAndItsReplySaysSo) {
    constexpr std::uint8_t kNormal = 0xE0;  // indicators normal, Port-Address set over the network
    struct After {
        int port = 1;
        int universe = 5;
        BridgeProtocol protocol = BridgeProtocol::ArtNet;
        std::string shortName = "", longName = "";
        int priority = 100;
        MergeMode merge = MergeMode::Htp;
        std::uint8_t status1 = kNormal, goodOutput = 0;
        std::string said = "";    // a part of the port's journal
        std::uint8_t level1 = 6;  // port 1's first slot, after ArtDmx(5, 5) before the steps
    };
    const struct {
        const char* name;
        std::vector<NetStep> steps;
        After after;
        bool remoteConfig = true;
    } rows[] = {
        {"switches",
         {Address({.net = 0x81, .sub = 0x82, .swOut = 0x83})},
         {.universe = 0x123, .said = ": universe 291"}},
        {"input switch", {Address({.bindIndex = 3, .swIn = 0x87})}, {.port = 3, .universe = 7}},
        {"back to the file's",
         {Address({.net = 0x81, .swOut = 0x8F}), Address({.net = 0, .sub = 0, .swOut = 0})},
         {}},
        {"bind index 0 is 1", {Address({.bindIndex = 0, .swOut = 0x84})}, {.universe = 4}},
        {"names",
         {Address({.bindIndex = 2, .shortName = "left", .longName = "stage left"})},
         {.port = 2, .universe = 0x123, .shortName = "left", .longName = "stage left"}},
        {"refused name",
         {Address({.shortName = "a\x01b"})},
         {.said = "ArtAddress from 10.0.0.9 refused: name 'a"}},
        {"priority", {Address({.priority = 150}), Address({.priority = 201})}, {.priority = 150}},
        {"merge LTP", {Address({.command = 0x10})}, {.merge = MergeMode::Ltp, .said = "merge LTP"}},
        {"merge HTP", {Address({.command = 0x10}), Address({.command = 0x50})}, {}},
        {"locate", {Address({.command = 0x04})}, {.status1 = 0x60}},
        {"mute", {Address({.command = 0x04}), Address({.command = 0x03})}, {.status1 = 0xA0}},
        {"normal", {Address({.command = 0x03}), Address({.command = 0x02})}, {}},
        {"sACN",
         {Address({.command = 0x70})},
         {.universe = 6, .protocol = BridgeProtocol::Sacn, .goodOutput = 0x01, .said = "sacn"}},
        {"and back", {Address({.command = 0x70}), Address({.command = 0x60})}, {}},
        {"clear output", {Address({.command = 0x90})}, {.level1 = 0}},
        {"cancel merge",
         {Dmx(8, 5, 7), Address({.command = 0x01}), Dmx(8, 5, 9)},
         {.goodOutput = 0x08, .said = "merging ended", .level1 = 10}},
        {"unknown command", {Address({.command = 0x08})}, {.said = "command 0x08 is not one this node has"}},
        {"off", {Address({.swOut = 0x83})}, {.status1 = 0xD0}, false},
    };
    for (const auto& row : rows) {
        NodeRig rig;
        NodeConfig config =
            Config({Port(1, BridgeProtocol::ArtNet, 5), Port(2, BridgeProtocol::ArtNet, 0x123),
                    Port(3, BridgeProtocol::ArtNet, 4, PortMode::Receive)});
        config.remoteConfig = row.remoteConfig;
        rig.node.Apply(config, rig.now);
        Play(rig, Dmx(9, 5, 5));
        for (const NetStep& step : row.steps) Play(rig, step);
        const After& after = row.after;
        const PortConfig& port = rig.node.Config().ports[after.port - 1];
        EXPECT_EQ(port.universe, after.universe) << row.name;
        EXPECT_EQ(port.protocol, after.protocol) << row.name;
        EXPECT_EQ(port.name, after.shortName) << row.name;
        EXPECT_EQ(port.longName, after.longName) << row.name;
        EXPECT_EQ(port.priority, after.priority) << row.name;
        EXPECT_EQ(port.merge, after.merge) << row.name;
        EXPECT_EQ((*rig.node.Levels(1))[0], after.level1) << row.name;
        ASSERT_FALSE(rig.network.artNet.empty()) << row.name;
        PollReplyRecord reply;
        std::memcpy(&reply, rig.network.artNet.back().data(), sizeof reply);
        EXPECT_EQ(BindFieldsOf(reply).BindIndex, after.port) << row.name;
        const int portAddress = after.protocol == BridgeProtocol::Sacn ? after.universe - 1 : after.universe;
        EXPECT_EQ(reply.NetSwitch << 8 | reply.SubSwitch << 4 | (reply.SwOut[0] | reply.SwIn[0]), portAddress)
            << row.name;
        EXPECT_EQ(reply.Status, after.status1) << row.name;
        EXPECT_EQ(reply.GoodOutput[0] & 0x0F, after.goodOutput) << row.name;
        if (!after.shortName.empty()) {
            EXPECT_STREQ(reinterpret_cast<const char*>(reply.ShortName.data()), after.shortName.c_str());
            EXPECT_STREQ(reinterpret_cast<const char*>(reply.LongName.data()), after.longName.c_str());
        }
        std::string said;
        for (const std::string& line : rig.said) said += line + "\n";
        EXPECT_NE(said.find(after.said), std::string::npos) << row.name << ":\n" << said;
    }
    // An ArtAddress for no port has no reply.
    NodeRig rig;
    rig.node.Apply(Config({Port(1, BridgeProtocol::ArtNet, 5)}), rig.now);
    Play(rig, Address({.bindIndex = 2, .swOut = 0x83}));
    EXPECT_TRUE(rig.network.artNet.empty());
}

// Widgets of a rack: one whose by-id link names its serial number, one that only says it when asked.
TEST(NodeRoutingTest, PortStatusTellsOfTheWidgetAndTheSettings) {
    const std::string folder = std::filesystem::temp_directory_path() / "node-status-by-id";
    prowidget::WidgetRack named(1, folder, 41);
    prowidget::WidgetRack bare(1, "", 42);
    ::setenv("VANTOR_SERIAL_BY_ID", folder.c_str(), 1);
    PortConfig first = Port(1, BridgeProtocol::Sacn, 9);
    first.device = named.ByIdName(1);
    first.name = "truss";
    first.priority = 150;
    first.ttl = 4;
    PortConfig second = Port(2, BridgeProtocol::ArtNet, 2, PortMode::Receive);
    RecordingNetwork network;
    Node node(
        network, NodeIdentity{{10, 0, 0, 5}, {}, "host", {}},
        [&](const PortConfig& port) { return port.number == 1 ? named.ByIdPath(1) : bare.DevicePath(1); },
        [](const std::string&) {}, [] {});
    node.Apply(Config({first, second}), Node::Clock::now());
    const auto linked = [&] {
        node.ServiceLinks(Node::Clock::now());
        const auto status = node.Status();
        return std::all_of(status.begin(), status.end(), [](const PortStatus& port) {
            return port.link == "linked" && port.statusText == "Ready" &&
                   port.lastMessage.starts_with("linked to the widget at");
        });
    };
    for (const auto deadline = Node::Clock::now() + 20s; !linked() && Node::Clock::now() < deadline;)
        std::this_thread::sleep_for(10ms);
    const std::vector<PortStatus> status = node.Status();
    const struct {
        std::string name, device, serialNumber;
        int priority, ttl;
    } rows[] = {{"truss", named.ByIdName(1), "00000041", 150, 4}, {"", second.device, "00000042", 100, 1}};
    ASSERT_EQ(status.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(status[i].link, "linked");
        EXPECT_EQ(status[i].statusText, "Ready");
        EXPECT_EQ(status[i].name, rows[i].name);
        EXPECT_EQ(status[i].device, rows[i].device);
        EXPECT_EQ(status[i].serialNumber, rows[i].serialNumber);
        EXPECT_FALSE(status[i].firmware.empty());
        EXPECT_EQ(status[i].priority, rows[i].priority);
        EXPECT_EQ(status[i].ttl, rows[i].ttl);
        EXPECT_TRUE(status[i].lastMessage.starts_with("linked to the widget at")) << status[i].lastMessage;
        EXPECT_EQ(status[i].firmwareUpdate.state, FirmwareProgress::State::None);
    }
    // A search lists the ports' widgets as their links know them.
    ASSERT_TRUE(node.StartSearch());
    for (const auto deadline = Node::Clock::now() + 30s; node.Searching() && Node::Clock::now() < deadline;)
        std::this_thread::sleep_for(10ms);
    std::vector<FoundWidget> found = node.FoundWidgets();
    std::erase_if(found, [](const FoundWidget& widget) { return widget.port == 0; });
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0].byId, named.ByIdName(1));
    EXPECT_EQ(found[0].serialNumber, "00000041");
    EXPECT_EQ(found[1].path, bare.DevicePath(1));
    EXPECT_EQ(found[1].port, 2);
    // A firmware update's progress: every page counted, then how it ended.
    const std::string image = folder + "/firmware.bin";
    std::ofstream(image, std::ios::binary) << std::string(kFirmwareImageBytes, '\x5A');
    ASSERT_TRUE(node.UpdateFirmware(2, image));
    EXPECT_EQ(node.Status()[1].firmwareUpdate.state, FirmwareProgress::State::Running);
    const auto ended = [&] {
        return node.Status()[1].firmwareUpdate.state != FirmwareProgress::State::Running;
    };
    for (const auto deadline = Node::Clock::now() + 60s; !ended() && Node::Clock::now() < deadline;)
        std::this_thread::sleep_for(10ms);
    const FirmwareProgress update = node.Status()[1].firmwareUpdate;
    EXPECT_EQ(update.state, FirmwareProgress::State::Updated) << update.message;
    EXPECT_EQ(update.pagesWritten, kFirmwarePages);
    EXPECT_EQ(update.message, kFirmwareSuccessText);
    node.Stop();
    ::unsetenv("VANTOR_SERIAL_BY_ID");
    std::filesystem::remove_all(folder);
}

}  // namespace
