#include <gtest/gtest.h>

#include "link_fixture.h"

namespace {

struct ChannelMonitor : ::testing::Test, WindowOnFakes {};

TEST_F(ChannelMonitor, OutputViewShowsChannels1To132AsTextAndRed) {
    Form1& form = Load();
    auto& levels = form.prowidget.OutputPacket.Levels;
    levels[1] = 255;
    levels[2] = 128;
    levels[132] = 0;
    levels[133] = 77;
    form.Timer3.SetEnabled(true);
    form.Timer3.Fire();
    EXPECT_EQ(form.Label8[0]->Caption(), "255");
    EXPECT_EQ(form.Label8[0]->BackColor(), RGB(255, 0, 0));
    EXPECT_EQ(form.Label8[1]->Caption(), "128");
    EXPECT_EQ(form.Label8[1]->BackColor(), RGB(128, 0, 0));
    EXPECT_EQ(form.Label8[131]->Caption(), "0");
    EXPECT_EQ(form.Label8[131]->BackColor(), kBlack);
    EXPECT_EQ(form.Label8.size(), 132u);
}

TEST_F(ChannelMonitor, InputViewBeforeAnyReceivedDmxShowsZeros) {
    Form1& form = Load();
    form.Timer4.SetEnabled(true);
    form.Timer4.Fire();
    for (const auto& label : form.Label8) {
        EXPECT_EQ(label->Caption(), "0");
        EXPECT_EQ(label->BackColor(), kBlack);
    }
}

TEST_F(ChannelMonitor, InvalidReceivedFrameKeepsTheGridAndSaysSo) {
    Form1& form = Load();
    form.prowidget.ReceivedDmx.Levels[1] = 200;
    form.Timer4.SetEnabled(true);
    form.Timer4.Fire();
    ASSERT_EQ(form.Label8[0]->Caption(), "200");
    form.prowidget.ReceivedDmx.ReceiveStatus = 1;
    form.prowidget.ReceivedDmx.Levels[1] = 3;
    form.Timer4.Fire();
    EXPECT_EQ(form.Label8[0]->Caption(), "200");
    EXPECT_EQ(form.Label8[0]->BackColor(), RGB(200, 0, 0));
    EXPECT_EQ(form.StatusBar1.SimpleText(), "dmx frame invalid!");
}

}  // namespace
