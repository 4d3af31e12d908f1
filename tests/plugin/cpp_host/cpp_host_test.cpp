// A lighting host written in C++: it links the plug-in and uses the class of vantor_out.hpp only. Each test
// runs in a process of its own, since a process loads the plug-in's window once.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "prowidget_sim.h"
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

}  // namespace
