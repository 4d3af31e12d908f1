#pragma once

// A Windows build under wine in a network namespace of the test's own, with only loopback: the test and
// wine's server move there, and a simulated widget serves COM1.

#include <optional>
#include <string>

#include "prowidget_sim.h"
#include "support/loopback_udp.h"
#include "wine_fixture.h"

namespace wine {

class OnLoopbackOnly : public OnEachBuild {
protected:
    // multicast: lo also takes multicast and carries 239.0.0.0/8.
    explicit OnLoopbackOnly(bool multicast = false) : multicast_(multicast) {}

    void SetUp() override {
        std::string why = artnet_loopback::EnterOwnNetworkNamespace();
        if (why.empty() && multicast_) why = artnet_loopback::RouteMulticastOverLoopback();
        if (!why.empty()) GTEST_SKIP() << "needs a network namespace of its own (run as root): " << why;
        OnEachBuild::SetUp();
        if (IsSkipped()) return;
        // Sockets belong to the namespace they are made in: both are made after the move.
        capture.emplace();
        sender.emplace();
        ASSERT_EQ(capture->Failure(), "");
        ASSERT_TRUE(wine->RegisterComponent());
        // Also starts the server, and so every socket of wine's, in this namespace.
        wine->MapComPort(1, sim.DevicePath());
    }

    prowidget::Simulator sim;
    std::optional<artnet_loopback::LoopbackCapture> capture;
    std::optional<artnet_loopback::UdpSender> sender;

private:
    bool multicast_;
};

}  // namespace wine
