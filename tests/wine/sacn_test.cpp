// sACN on the Windows build, under wine, on loopback only: the test and wine's server move into a network
// namespace of their own, where lo takes multicast and carries 239.0.0.0/8.

#include <cstdlib>
#include <optional>
#include <thread>

#include "loopback_fixture.h"
#include "sacn/cid_store.h"
#include "sacn/sacn_packets.h"
#include "support/widget_frames.h"

namespace {

using namespace artnet_loopback;
using namespace std::chrono_literals;

constexpr std::uint8_t kOutputLabel = 6;

class SacnUnderWine : public wine::OnLoopbackOnly {
protected:
    SacnUnderWine() : OnLoopbackOnly(true) {}

    // A data packet of one source whose every slot is level, with the source's next sequence number.
    Bytes Packet(std::uint16_t universe, std::uint8_t level) {
        SacnSenderFields fields;
        fields.Cid.fill(0x5A);
        fields.SourceName = "wine test";
        fields.Universe = universe;
        std::array<std::uint8_t, kSacnSlots> levels;
        levels.fill(level);
        const auto packet = BuildSacnDataPacket(fields, sequence++, 0, levels);
        return Bytes(packet.begin(), packet.end());
    }

    // The groups' route goes to a veth pair whose both ends stay in this namespace: what is joined and sent
    // must still be on the chosen adapter (lo), by its address, whatever the route table says.
    static void RouteTheGroupsAway() {
        ASSERT_EQ(std::system("ip link add vantor0 type veth peer name vantor1 && "
                              "ip addr add 10.77.0.1/24 dev vantor0 && ip link set vantor0 up && "
                              "ip link set vantor1 up && ip route replace 239.0.0.0/8 dev vantor0"),
                  0);
    }

    std::uint8_t sequence = 0;
};

TEST_P(SacnUnderWine, TheUniversesLevelsReachTheWidgetAndAnotherUniversesDoNot) {
    RouteTheGroupsAway();
    const auto host =
        wine->Start({wine->BuildProgram("vantor-host.exe"), "--port", "1", "--mode", "send", "--protocol",
                     "sacn", "--universe", "300", "--headless", "--duration", "8"});
    // Universe 300 is group 239.255.1.44. Until the host has joined, the packets are lost: they repeat.
    bool arrived = false;
    for (int round = 0; round < 80 && !arrived; ++round) {
        ASSERT_TRUE(sender->SendToGroup("239.255.1.45", kSacnPort, Packet(301, 99)));
        ASSERT_TRUE(sender->SendToGroup("239.255.1.44", kSacnPort, Packet(300, 42)));
        std::this_thread::sleep_for(100ms);
        for (const auto& frame : sim.TakeFrames()) {
            if (frame.label != kOutputLabel || frame.data.size() != 513) continue;
            EXPECT_NE(frame.data[1], 99) << "universe 301 reached the widget";
            arrived = arrived || (frame.data[1] == 42 && frame.data[512] == 42);
        }
    }
    EXPECT_TRUE(arrived) << "the levels of universe 300 reached the widget\n" << host->Wait(1s).output;
    for (const auto& datagram : capture->Poll())
        EXPECT_TRUE(datagram.to.rfind("127.", 0) == 0 || datagram.to.rfind("239.255.", 0) == 0)
            << datagram.to;
    EXPECT_EQ(host->Wait(30s).exitCode, 0);
}

// In receive mode each good frame of the widget leaves as a data packet of the bridge's own stream, to the
// universe's group by the chosen adapter with the TTL asked for, even where the route table would send the
// group elsewhere; its CID is made once and kept in the user's registry, so that the next run sends with the
// same.
TEST_P(SacnUnderWine, AReceivedFrameLeavesAsTheStreamOfTheCidThatTheRegistryKeeps) {
    const std::string key = "HKCU\\Software\\VantorDMX\\sACN";
    wine->Run({wine->SystemProgram("reg"), "delete", key, "/f"});
    sim.SetReportRate(0);
    Bytes report{0x00, 0x00};  // status, start code
    for (int channel = 1; channel <= 512; ++channel) report.push_back(static_cast<std::uint8_t>(channel * 3));
    std::string firstCid;
    for (int run = 0; run < 2; ++run) {
        SCOPED_TRACE(run == 0 ? "first run" : "second run, the groups routed to another interface");
        if (run == 1) RouteTheGroupsAway();
        const std::size_t before = capture->Poll().size();
        const auto host = wine->Start({wine->BuildProgram("vantor-host.exe"), "--port", "1", "--mode",
                                       "receive", "--protocol", "sacn", "--universe", "5", "--priority",
                                       "120", "--ttl", "3", "--headless", "--duration", "5"});
        std::optional<CapturedDatagram> sent;
        for (int round = 0; round < 50 && !sent; ++round) {
            if (sim.InReceiveMode()) sim.Send(WidgetFrame(5, report));
            std::this_thread::sleep_for(100ms);
            const auto& seen = capture->Poll();
            for (std::size_t index = before; index < seen.size() && !sent; ++index)
                if (seen[index].to == "239.255.0.5" && seen[index].toPort == kSacnPort &&
                    seen[index].payload.size() == kSacnDataPacketBytes)
                    sent = seen[index];
        }
        ASSERT_TRUE(sent) << "no data packet to 239.255.0.5\n" << host->Wait(1s).output;
        SacnIgnored why{};
        const auto packet = ParseSacnDataPacket(sent->payload, why);
        ASSERT_TRUE(packet) << SacnIgnoredName(why);
        EXPECT_EQ(sent->from, "127.0.0.1");
        EXPECT_EQ(sent->ttl, 3);
        EXPECT_EQ(packet->Universe, 5);
        EXPECT_EQ(packet->Priority, 120);
        EXPECT_EQ(packet->Slots[0], 3);
        EXPECT_EQ(packet->Slots[511], static_cast<std::uint8_t>(512 * 3));
        const std::string name(reinterpret_cast<const char*>(packet->SourceName.data()));
        EXPECT_NE(name.find(" Vantor DMX bridge"), std::string::npos) << name;
        SacnCid cid;
        std::copy(packet->Cid.begin(), packet->Cid.end(), cid.begin());
        const std::string cidText = CidText(cid);
        EXPECT_EQ(host->Wait(30s).exitCode, 0);
        const auto stored = wine->Run({wine->SystemProgram("reg"), "query", key, "/v", "CID"});
        EXPECT_NE(stored.output.find(cidText), std::string::npos) << stored.output;
        if (run == 0)
            firstCid = cidText;
        else
            EXPECT_EQ(cidText, firstCid) << "the second run made another CID";
    }
    for (const auto& datagram : capture->Poll())
        EXPECT_TRUE(datagram.to.rfind("127.", 0) == 0 || datagram.to.rfind("239.255.", 0) == 0)
            << datagram.to;
}

VANTOR_ON_EACH_BUILD(SacnUnderWine);

}  // namespace
