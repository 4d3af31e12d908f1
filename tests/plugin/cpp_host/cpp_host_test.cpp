// A lighting host written in C++: it links the plug-in and uses the class of vantor_out.hpp only. Each test
// runs in a process of its own, since a process loads the plug-in's window once.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "prowidget_sim.h"
#include "support/loopback_udp.h"
#include "vantor_out.hpp"

namespace {

using namespace std::chrono_literals;
constexpr std::uint8_t kOutputLabel = 6;

struct HostWithWidget : ::testing::Test {
    HostWithWidget() { setenv("VANTOR_SERIAL_PORTS", sim.DevicePath().c_str(), 1); }
    prowidget::Simulator sim;
};

TEST_F(HostWithWidget, TheSevenOperationsDriveTheWidget) {
    vantor::OutputDriver driver;
    EXPECT_EQ(driver.PluginName(), "Vantor Driver");
    EXPECT_FALSE(driver.Configure());
    EXPECT_FALSE(driver.init("C++ test host", "vantor.out.so"));
    ASSERT_TRUE(vantor::SelectPort(1));
    EXPECT_FALSE(driver.SetChannel(0, 10));
    EXPECT_TRUE(driver.SetChannel(5, 200));
    EXPECT_TRUE(driver.Enable());
    for (int slice = 0; slice < 100 && sim.FrameCount(kOutputLabel) < 2; ++slice) vantor::ProcessEvents(20);
    ASSERT_GE(sim.FrameCount(kOutputLabel), 2u);
    EXPECT_EQ(sim.LastFrame(kOutputLabel)->data[5], 200);
    EXPECT_TRUE(driver.Disable());
    sim.Send({0x7E, 5, 1, 0, 1, 0xE7});  // a faulty frame's report, of its status only
    for (int slice = 0; slice < 100 && vantor::ReceiveCounts().faulty == 0; ++slice)
        vantor::ProcessEvents(20);
    EXPECT_EQ(vantor::ReceiveCounts().faulty, 1u);
    EXPECT_FALSE(driver.Term());
}

TEST(Host, FailuresAreThrownWithTheirStatusAndDescription) {
    vantor::OutputDriver driver;
    try {
        driver.SetChannel(5, 256);
        ADD_FAILURE() << "a level of 256 was taken";
    } catch (const vantor::Error& failure) {
        EXPECT_EQ(failure.status(), VANTOR_E_OVERFLOW);
        EXPECT_NE(std::string(failure.what()).find("Overflow"), std::string::npos) << failure.what();
    }
    try {
        vantor::SelectPort(17);
        ADD_FAILURE() << "port 17 was taken";
    } catch (const vantor::Error& failure) {
        EXPECT_EQ(failure.status(), VANTOR_E_FAIL);
        EXPECT_NE(std::string(failure.what()).find("17"), std::string::npos) << failure.what();
    }
}

TEST(Host, EveryDriverIsReleasedOnceWhenItsLastOwnerGoes) {
    {
        vantor::OutputDriver first;
        vantor::OutputDriver second(std::move(first));
        vantor::OutputDriver third;
        third = std::move(second);
        EXPECT_EQ(first.get(), nullptr);
        EXPECT_EQ(DllCanUnloadNow(), VANTOR_S_FALSE);
    }
    EXPECT_EQ(DllCanUnloadNow(), VANTOR_S_OK);
}

// Universe 0 is every console's default: while sACN feeds the widget, an ArtDmx for it must not reach it.
TEST_F(HostWithWidget, ArtDmxChangeNothingWhileSacnIsChosenAndAreBridgedAgainWithArtNet) {
    std::string why = artnet_loopback::EnterOwnNetworkNamespace();
    if (why.empty()) why = artnet_loopback::RouteMulticastOverLoopback();
    if (!why.empty()) GTEST_SKIP() << "needs a network namespace of its own (root): " << why;
    vantor::OutputDriver driver;
    driver.init("C++ test host", "vantor.out.so");
    ASSERT_TRUE(vantor::SelectPort(1));
    vantor::SetBridgeMode(true);
    vantor::SetProtocol(vantor::Protocol::Sacn);
    artnet_loopback::UdpSender console;
    const std::size_t framesBefore = sim.FrameCount(kOutputLabel);

    ASSERT_TRUE(console.SendTo("127.0.0.1", 6454, artnet_loopback::ArtDmx(0, 40)));
    for (int slice = 0; slice < 250 && vantor::DropCounts().artdmx_while_sacn == 0; ++slice)
        vantor::ProcessEvents(20);
    EXPECT_EQ(vantor::DropCounts().artdmx_while_sacn, 1u);
    vantor::ProcessEvents(100);
    EXPECT_EQ(sim.FrameCount(kOutputLabel), framesBefore) << "an ArtDmx reached the widget under sACN";

    vantor::SetProtocol(vantor::Protocol::ArtNet);
    ASSERT_TRUE(console.SendTo("127.0.0.1", 6454, artnet_loopback::ArtDmx(0, 40)));
    for (int slice = 0; slice < 250 && sim.FrameCount(kOutputLabel) == framesBefore; ++slice)
        vantor::ProcessEvents(20);
    ASSERT_EQ(sim.FrameCount(kOutputLabel), framesBefore + 1);
    EXPECT_EQ(sim.LastFrame(kOutputLabel)->data[1], 41);  // channel 1 of offset 40
    driver.Term();
}

// One host call: 'p' chooses the protocol (value 0 Art-Net, 1 sACN), 'u' sets the universe, 'm' the mode
// (value 1 send); whether it succeeds.
struct Call {
    char what;
    int value;
    bool succeeds = true;
};

struct OrderRow {
    std::string name;
    std::vector<Call> calls;
    int protocol, universe;
    bool send;
};

void PrintTo(const OrderRow& row, std::ostream* out) {
    *out << row.name;
}

// Every order of the three calls ends in the same state when each call succeeds; a call that fails (checked
// against the protocol chosen when it is made) changes nothing.
std::vector<OrderRow> SettingsOrderRows() {
    std::vector<OrderRow> rows;
    auto everyOrder = [&](const std::string& name, std::vector<Call> prefix, std::vector<Call> calls,
                          int protocol, int universe, bool send) {
        std::sort(calls.begin(), calls.end(), [](const Call& a, const Call& b) { return a.what < b.what; });
        do {
            OrderRow row{name + "_", prefix, protocol, universe, send};
            for (const Call& call : calls) {
                row.name += call.what;
                row.calls.push_back(call);
            }
            rows.push_back(row);
        } while (std::next_permutation(calls.begin(), calls.end(),
                                       [](const Call& a, const Call& b) { return a.what < b.what; }));
    };
    everyOrder("Sacn3Send", {}, {{'p', 1}, {'u', 3}, {'m', 1}}, 1, 3, true);
    everyOrder("BackToArtNet200Receive", {{'m', 1}, {'p', 1}, {'u', 5}}, {{'p', 0}, {'u', 200}, {'m', 0}}, 0,
               200, false);
    rows.push_back({"SacnAloneTakesUniverse1", {{'p', 1}}, 1, 1, false});
    rows.push_back({"SacnThen300", {{'p', 1}, {'u', 300}}, 1, 300, false});
    rows.push_back({"300BeforeSacnFails", {{'u', 300, false}, {'p', 1}}, 1, 1, false});
    rows.push_back({"Universe0ThenSacnFails", {{'u', 0}, {'p', 1, false}}, 0, 0, false});
    rows.push_back({"SacnThenUniverse0Fails", {{'p', 1}, {'u', 0, false}}, 1, 1, false});
    rows.push_back({"ArtNetAfterSacn300Fails", {{'p', 1}, {'u', 300}, {'p', 0, false}}, 1, 300, false});
    rows.push_back({"BarUniverseCarriesToSacn", {{'u', 7}, {'p', 1}, {'p', 0}}, 0, 7, false});
    return rows;
}

struct SettingsOrder : ::testing::TestWithParam<OrderRow> {
    void SetUp() override {
        // sACN joins its group on lo: a namespace of the test's own, with the groups routed there.
        std::string why = artnet_loopback::EnterOwnNetworkNamespace();
        if (why.empty()) why = artnet_loopback::RouteMulticastOverLoopback();
        if (!why.empty()) GTEST_SKIP() << "needs a network namespace of its own (root): " << why;
        setenv("VANTOR_SERIAL_PORTS", "", 1);
    }
};

TEST_P(SettingsOrder, EndsInTheStateOfTheCallsGivenLast) {
    vantor::OutputDriver driver;
    driver.init("C++ test host", "vantor.out.so");
    for (const Call& call : GetParam().calls) {
        bool succeeded = true;
        try {
            if (call.what == 'p') vantor::SetProtocol(static_cast<vantor::Protocol>(call.value));
            if (call.what == 'u') vantor::SetUniverse(call.value);
            if (call.what == 'm') vantor::SetBridgeMode(call.value == 1);
        } catch (const vantor::Error&) {
            succeeded = false;
        }
        EXPECT_EQ(succeeded, call.succeeds) << call.what << " " << call.value;
    }
    vantor_bridge_status status{};
    ASSERT_EQ(vantor_get_bridge_status(&status), VANTOR_S_OK);
    EXPECT_EQ(vantor::SacnStatus().protocol, GetParam().protocol);
    EXPECT_EQ(status.universe, GetParam().universe);
    EXPECT_EQ(status.send_mode != VANTOR_FALSE, GetParam().send);
    driver.Term();
}

INSTANTIATE_TEST_SUITE_P(Rows, SettingsOrder, ::testing::ValuesIn(SettingsOrderRows()),
                         [](const ::testing::TestParamInfo<OrderRow>& info) { return info.param.name; });

}  // namespace
