#include <gtest/gtest.h>

#include "link_fixture.h"

namespace {

struct StatusDisplay : ::testing::Test, WindowOnFakes {};

TEST_F(StatusDisplay, AfterALoadWithNoWidgetEverythingWaits) {
    Form1& form = Load();
    form.Timer2.Fire();
    EXPECT_EQ(form.StatusBar1.SimpleText(), "255 Waiting...");
    EXPECT_EQ(form.LabelTest.Caption(), "PRO Recieve Mode");
    EXPECT_EQ(form.ArtDetectedLbl.Caption(), "Art-Net Not Detected");
    EXPECT_EQ(form.ArtDetectedLbl.BackColor(), RGB(127, 0, 0));
    EXPECT_EQ(form.Label1.Caption(), "Firmware Version: 0.0");
    EXPECT_TRUE(form.Timer1.Enabled());
    EXPECT_TRUE(form.Timer2.Enabled());
}

TEST_F(StatusDisplay, EachTickShowsTheCurrentStatusModeAndDetection) {
    Device(3, ParametersReply(2, 44));
    Form1& form = Load();
    struct Row {
        const char* name;
        std::function<void()> change;
        std::string status, mode, detected;
        Rgb detectedColour;
    };
    const std::vector<Row> rows{
        {"a reply parsed by the scan", [] {}, "0 Ready", "PRO Recieve Mode", "Art-Net Not Detected",
         RGB(127, 0, 0)},
        {"send mode", [&] { form.SendMode = kTrue; }, "0 Ready", "PRO Send Mode", "Art-Net Not Detected",
         RGB(127, 0, 0)},
        {"Art-Net seen", [&] { form.artnet.ArtNetDetected = -1; }, "0 Ready", "PRO Send Mode",
         "Art-Net Detected", RGB(0, 127, 0)},
        {"a frame with a bad end byte",
         [&] {
             form.SendMode = kFalse;
             form.prowidget.SetReplyStatus(1);
         },
         "1 Not Valid Packet, Recieved data seems invalid", "PRO Recieve Mode", "Art-Net Detected",
         RGB(0, 127, 0)},
        {"another text in the status bar lasts one tick",
         [&] { form.StatusBar1.SetSimpleText("dmx frame invalid!"); },
         "1 Not Valid Packet, Recieved data seems invalid", "PRO Recieve Mode", "Art-Net Detected",
         RGB(0, 127, 0)},
    };
    for (const auto& row : rows) {
        row.change();
        form.Timer2.Fire();
        EXPECT_EQ(form.StatusBar1.SimpleText(), row.status) << row.name;
        EXPECT_EQ(form.LabelTest.Caption(), row.mode) << row.name;
        EXPECT_EQ(form.ArtDetectedLbl.Caption(), row.detected) << row.name;
        EXPECT_EQ(form.ArtDetectedLbl.BackColor(), row.detectedColour) << row.name;
    }
}

}  // namespace
