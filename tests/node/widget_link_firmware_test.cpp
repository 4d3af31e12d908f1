#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

#include "node/widget_link.h"
#include "prowidget_sim.h"

namespace {

using namespace std::chrono_literals;

// The update reads its page answers from the port while the link waits between them: a wait that read them
// itself left the update waiting out its time-out, with the levels still coming in.
TEST(WidgetLinkFirmware, FlashesEveryPageWhileLevelsKeepComing) {
    prowidget::Simulator sim;
    const std::string image = ::testing::TempDir() + "link-firmware-" + std::to_string(::getpid()) + ".bin";
    {
        std::ofstream out(image, std::ios::binary);
        for (int i = 0; i < 6144; ++i) out.put(static_cast<char>(i * 7));
    }
    WidgetLink link(
        "port 1", [&] { return sim.DevicePath(); }, PortMode::Send, [] {});
    for (auto by = std::chrono::steady_clock::now() + 20s;
         link.State() != LinkState::Linked && std::chrono::steady_clock::now() < by;)
        std::this_thread::sleep_for(20ms);
    ASSERT_EQ(link.State(), LinkState::Linked);

    ASSERT_TRUE(link.UpdateFirmware(image));
    std::vector<std::uint8_t> levels(513, 0x40);
    // "firmware updated" or "firmware update failed: ...", whatever the link says after it.
    std::string outcome;
    for (auto by = std::chrono::steady_clock::now() + 60s;
         outcome.empty() && std::chrono::steady_clock::now() < by;) {
        link.PutLevels(levels, 512);
        for (const auto& line : link.TakeLines())
            if (outcome.empty() && line.find("firmware update") != std::string::npos) outcome = line;
        std::this_thread::sleep_for(23ms);
    }
    EXPECT_EQ(outcome, "port 1: firmware updated");
    EXPECT_EQ(sim.FlashedImage().size(), 6144u);
    std::remove(image.c_str());
}

}  // namespace
