#include <gtest/gtest.h>

#include <stdexcept>

#include "artnet/node_address.h"
#include "artnet_fixture.h"

namespace {

const std::string kNotConfigured = "Network not configured for Art-Net";
const std::string kPleaseSet = "Please set IP address to 10.x.x.x or 2.x.x.x!!!!";

TEST(NodeAddressPlan, ArtNetNetworksKeepTheirBroadcastAndOthersGetTheirSubnetBroadcast) {
    struct Row {
        std::string localIp, netmask, broadcast;
        std::vector<std::string> log;
        std::array<std::uint8_t, 6> nodeAddress;
    };
    const std::vector<Row> rows{
        {"10.1.2.3",
         "255.0.0.0",
         "10.255.255.255",
         {"Art-Net 10.x.x.x BCAST: 10.255.255.255"},
         {10, 1, 2, 3, 0x36, 0x19}},
        // The Art-Net networks need no netmask at all.
        {"10.1.2.3",
         "",
         "10.255.255.255",
         {"Art-Net 10.x.x.x BCAST: 10.255.255.255"},
         {10, 1, 2, 3, 0x36, 0x19}},
        {"2.0.0.1",
         "255.0.0.0",
         "2.255.255.255",
         {"Art-Net 2.x.x.x BCAST: 2.255.255.255"},
         {2, 0, 0, 1, 0x36, 0x19}},
        {"192.168.1.5",
         "255.255.255.0",
         "192.168.1.255",
         {kNotConfigured, kPleaseSet},
         {192, 168, 1, 5, 0x36, 0x19}},
        // 100 is not the text "10", nor is 20 the text "2".
        {"100.1.1.1",
         "255.255.0.0",
         "100.1.255.255",
         {kNotConfigured, kPleaseSet},
         {100, 1, 1, 1, 0x36, 0x19}},
        {"20.0.0.9", "255.255.255.0", "20.0.0.255", {kNotConfigured, kPleaseSet}, {20, 0, 0, 9, 0x36, 0x19}},
        {"127.0.0.1",
         "255.0.0.0",
         "127.255.255.255",
         {kNotConfigured, kPleaseSet},
         {127, 0, 0, 1, 0x36, 0x19}},
        {"172.16.5.4",
         "255.240.0.0",
         "172.31.255.255",
         {kNotConfigured, kPleaseSet},
         {172, 16, 5, 4, 0x36, 0x19}},
    };
    for (const auto& row : rows) {
        std::vector<std::string> log;
        const NodeAddressPlan plan =
            PlanNodeAddress(row.localIp, row.netmask, [&](const std::string& line) { log.push_back(line); });
        EXPECT_EQ(plan.BroadcastAddress, row.broadcast) << row.localIp;
        EXPECT_EQ(log, row.log) << row.localIp;
        EXPECT_EQ(plan.NodeAddress, row.nodeAddress) << row.localIp;
    }
}

TEST(NodeAddressPlan, UnusableAddressesAreRefusedWithTheirText) {
    struct Row {
        std::string localIp, netmask, descriptionPart;
    };
    const std::vector<Row> rows{
        {"", "255.0.0.0", "no local IPv4 address"},
        {"192.168.1", "255.255.255.0", "192.168.1"},
        {"192.168.1.5.6", "255.255.255.0", "192.168.1.5.6"},
        {"192.168.1.256", "255.255.255.0", "192.168.1.256"},
        {"192.168..5", "255.255.255.0", "192.168..5"},
        {"a.b.c.d", "255.255.255.0", "a.b.c.d"},
        {"192.168.1.5", "", "no netmask for 192.168.1.5"},
        {"192.168.1.5", "255.255.0", "255.255.0"},
    };
    for (const auto& row : rows) {
        try {
            PlanNodeAddress(row.localIp, row.netmask, [](const std::string&) {});
            ADD_FAILURE() << row.localIp << " / " << row.netmask << " was accepted";
        } catch (const std::invalid_argument& failure) {
            EXPECT_NE(std::string(failure.what()).find(row.descriptionPart), std::string::npos)
                << failure.what();
        }
    }
}

struct NodeStartUp : ::testing::Test, NodeOnFakes {
    // After start-up, a poll and a forwarded frame show whether the node sends.
    void PollAndForward() {
        socket.Arrive(ArtPollDatagram());
        LevelArray levels{};
        node.SendArtDmx(0, levels);
    }
};

TEST_F(NodeStartUp, BindsTheArtNetPortLogsTheRulesAndStarts) {
    socket.localIp = "192.168.1.5";
    socket.netmask = "255.255.255.0";
    socket.DataArrival = [this](std::size_t) { node.HandleArtNetPacket(socket.GetData()); };

    EXPECT_EQ(node.StartArtNetNode(), 1);
    EXPECT_EQ(socket.boundPort, 6454);
    EXPECT_EQ(socket.remotePort, 6454);
    EXPECT_EQ(log, (std::vector<std::string>{kNotConfigured, kPleaseSet, "Art-Net Node Started..."}));
    EXPECT_EQ(node.BroadcastAddress, "192.168.1.255");
    EXPECT_EQ(node.NodeAddress, (std::array<std::uint8_t, 6>{192, 168, 1, 5, 0x36, 0x19}));

    PollAndForward();
    ASSERT_EQ(socket.sent.size(), 2u);
    for (const auto& sent : socket.sent) {
        EXPECT_EQ(sent.host, "192.168.1.255");
        EXPECT_EQ(sent.port, 6454);
    }
}

TEST(NodeStartUpFailure, AFailedStepLogsTheInitErrorAndTheNodeNeverSends) {
    struct Row {
        const char* name;
        bool portTaken;
        std::string localIp, netmask;
        std::vector<std::string> log;
    };
    const std::vector<Row> rows{
        {"port taken", true, "10.1.2.3", "255.0.0.0", {"! Art-Net Init Error: Address in use"}},
        {"no address", false, "", "", {"! Art-Net Init Error: No local IPv4 address"}},
        // What was decided before the failure is still told.
        {"no netmask",
         false,
         "192.168.1.5",
         "",
         {kNotConfigured, kPleaseSet, "! Art-Net Init Error: no netmask for 192.168.1.5"}},
    };
    for (const auto& row : rows) {
        NodeOnFakes fresh;
        fresh.socket.portTaken = row.portTaken;
        fresh.socket.localIp = row.localIp;
        fresh.socket.netmask = row.netmask;
        fresh.socket.DataArrival = [&fresh](std::size_t) {
            fresh.node.HandleArtNetPacket(fresh.socket.GetData());
        };

        EXPECT_EQ(fresh.node.StartArtNetNode(), 0) << row.name;
        EXPECT_EQ(fresh.log, row.log) << row.name;
        EXPECT_EQ(fresh.node.BroadcastAddress, "") << row.name;

        fresh.socket.Arrive(ArtPollDatagram());
        LevelArray levels{};
        fresh.node.SendArtDmx(0, levels);
        EXPECT_TRUE(fresh.socket.sent.empty()) << row.name;
        // A half-started node still sees Art-Net traffic.
        EXPECT_EQ(fresh.node.ArtNetDetected, -1) << row.name;
    }
}

}  // namespace
