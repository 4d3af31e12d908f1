#pragma once

// vantor-bridge as it runs: the real daemon as a child, its widgets simulated on ptys in this process and
// found through a by-id folder of their own, its network loopback in a namespace of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "program.h"
#include "sacn/sacn_packets.h"
#include "support/loopback_udp.h"
#include "widget/records.h"
#include "widget_rack.h"

namespace bridge_testing {

using namespace artnet_loopback;
using namespace std::chrono_literals;
using prowidget::testing::Launch;
using prowidget::testing::Program;
using prowidget::testing::ProgramPath;

struct TestPort {
    int number = 1;
    int widget = 1;  // in the rack
    const char* mode = "send";
    const char* protocol = "artnet";
    int universe = 0;
    const char* name = "";
    bool bySerialNumber = false;  // else by its by-id name
    bool operator==(const TestPort&) const = default;
    std::string Label() const { return *name ? name : "port " + std::to_string(number); }
    bool SendsArtNet() const { return std::string(mode) == "send" && std::string(protocol) == "artnet"; }
};
using Ports = std::vector<TestPort>;

inline bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds within) {
    const auto end = Clock::now() + within;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// ArtDmx number n: channel 1 carries n's low byte (plus one), channel 512 its high byte.
inline Bytes Numbered(int universe, int n) {
    Bytes datagram = ArtDmx(static_cast<std::uint16_t>(universe), static_cast<std::uint8_t>(n));
    datagram.back() = static_cast<std::uint8_t>(n >> 8);
    return datagram;
}

// The number of the last ArtDmx the widget put out, -1 before any.
inline int LastNumber(prowidget::Simulator& widget) {
    const auto frame = widget.LastFrame(kLabelOutputDmx);
    if (!frame || frame->data.size() != 513) return -1;
    return frame->data[512] << 8 | static_cast<std::uint8_t>(frame->data[1] - 1);
}

// The node's sACN data packets of a universe on its group, those that end the stream or the others.
inline std::size_t SacnPackets(LoopbackCapture& capture, int universe, bool terminated) {
    std::size_t count = 0;
    for (const auto& datagram : capture.Poll()) {
        SacnIgnored ignored;
        const std::string group =
            "239.255." + std::to_string(universe >> 8) + "." + std::to_string(universe & 0xFF);
        const auto packet = datagram.toPort == kSacnPort && datagram.to == group
                                ? ParseSacnDataPacket(datagram.payload, ignored)
                                : std::nullopt;
        count += packet && packet->Universe == universe &&
                 ((packet->Options & kSacnOptionStreamTerminated) != 0) == terminated;
    }
    return count;
}

class Bridge : public ::testing::Test {
protected:
    static constexpr int kWidgets = 3;

    void SetUp() override {
        if (!std::filesystem::exists(ProgramPath("vantor-bridge")))
            GTEST_SKIP() << "vantor-bridge is not built";
        std::string why = EnterOwnNetworkNamespace();
        if (why.empty()) why = RouteMulticastOverLoopback();
        if (!why.empty()) GTEST_SKIP() << "needs a network namespace of its own (root): " << why;
        char folder[] = "/tmp/vantor-bridge-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        sender_.emplace();
        rack_ = std::make_unique<prowidget::WidgetRack>(kWidgets, (folder_ / "by-id").string());
    }
    void TearDown() override {
        node_.reset();
        rack_.reset();
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    std::string ConfigText(const Ports& ports) const {
        std::string text = "[node]\ninterface = lo\nname = rig\n";
        for (const TestPort& port : ports) {
            text += "[port " + std::to_string(port.number) + "]\ndevice = " +
                    (port.bySerialNumber ? prowidget::SerialNumberText(rack_->SerialNumber(port.widget))
                                         : rack_->ByIdName(port.widget)) +
                    "\nmode = " + port.mode + "\nprotocol = " + port.protocol +
                    "\nuniverse = " + std::to_string(port.universe) + "\n";
            if (*port.name) text += std::string("name = ") + port.name + "\n";
        }
        return text + extraConfig_;
    }
    std::string WriteConfig(const std::string& text) const {
        const std::string file = (folder_ / "bridge.conf").string();
        std::ofstream(file) << text;
        return file;
    }
    Launch Daemon() const {
        return {.program = "vantor-bridge",
                .withErrors = true,
                .environment = {"VANTOR_SERIAL_BY_ID=" + (folder_ / "by-id").string(),
                                "RUNTIME_DIRECTORY=" + (folder_ / "run").string(),
                                "STATE_DIRECTORY=" + (folder_ / "state").string()}};
    }
    // The daemon on those ports, once each port has linked to its widget.
    void Start(const Ports& ports) {
        node_ = std::make_unique<Program>(
            std::vector<std::string>{"--config", WriteConfig(ConfigText(ports))}, Daemon());
        for (const TestPort& port : ports)
            ASSERT_TRUE(node_->WaitFor(port.Label() + ": linked to the widget", 20s)) << node_->Said();
    }

    // Sends numbered ArtDmx to the universe, again and again, until the widget puts one out.
    bool Reaches(int universe, int widget) {
        const int n = ++tag_;
        return WaitUntil(
            [&] {
                sender_->SendTo("127.0.0.1", 6454, Numbered(universe, n));
                return rack_->Plugged(widget) &&
                       WaitUntil([&] { return LastNumber(rack_->Widget(widget)) == n; }, 100ms);
            },
            20s);
    }

    // Feeds numbered ArtDmx at about 44 Hz to each port's universe, never more than one frame ahead of
    // its widget, so that every datagram sent must show on the widget however loaded the machine is.
    // `between` runs after each frame and ends the feed by returning true.
    ::testing::AssertionResult FeedThroughout(const Ports& ports, const std::function<bool(int)>& between) {
        const auto giveUp = Clock::now() + 120s;
        auto next = Clock::now();
        for (int n = 0; Clock::now() < giveUp; ++n) {
            for (const TestPort& port : ports) sender_->SendTo("127.0.0.1", 6454, Numbered(port.universe, n));
            for (const TestPort& port : ports)
                if (!WaitUntil([&] { return LastNumber(rack_->Widget(port.widget)) == n; }, 10s))
                    return ::testing::AssertionFailure()
                           << "ArtDmx " << n << " of universe " << port.universe << " never reached "
                           << port.Label()
                           << "'s widget (its last: " << LastNumber(rack_->Widget(port.widget)) << ")\n"
                           << node_->Said();
            if (between(n)) return ::testing::AssertionSuccess();
            next += 1000ms / 44;
            std::this_thread::sleep_until(next);
        }
        return ::testing::AssertionFailure() << "the feed never ended\n" << node_->Said();
    }

    std::filesystem::path folder_;
    std::unique_ptr<prowidget::WidgetRack> rack_;
    std::unique_ptr<Program> node_;
    std::optional<UdpSender> sender_;  // made in the test's namespace
    int tag_ = 50000;                  // above the feeds' numbers
    std::string extraConfig_;          // sections after the ports'
};

}  // namespace bridge_testing
