#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "window/bridge_fixture.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes ReceiveModeRequest() {
    Bytes frame{0x7E, 0x07, 0x01, 0x02};
    frame.resize(4 + 513, 0);
    frame.push_back(0xE7);
    return frame;
}

TEST(BridgeButtons, ModeMonitorsAndRequestFollowTheButtonAndTheLink) {
    struct Row {
        const char* name;
        bool linkOpen;
        bool timer3Before, timer4Before;
        bool pressSend;  // "Art-Net To DMX", else "DMX To Art-Net"
        VBool sendMode;
        bool timer3After, timer4After;
        std::size_t writes;
    };
    const std::vector<Row> rows{
        {"to DMX, link open", true, false, true, true, kTrue, true, false, 0},
        {"to DMX, link closed: monitors untouched", false, false, true, true, kTrue, false, true, 0},
        {"to DMX, link closed, other monitor states", false, true, false, true, kTrue, true, false, 0},
        {"to Art-Net, link open", true, true, false, false, kFalse, false, true, 1},
        {"to Art-Net, link closed", false, true, false, false, kFalse, false, true, 0},
    };
    for (const auto& row : rows) {
        BridgeWindow window(row.linkOpen);
        window.form.SendMode = row.pressSend ? kFalse : kTrue;
        window.form.Timer3.SetEnabled(row.timer3Before);
        window.form.Timer4.SetEnabled(row.timer4Before);

        (row.pressSend ? window.form.senddmxbutton : window.form.Command1).PerformClick();

        EXPECT_EQ(window.form.SendMode, row.sendMode) << row.name;
        EXPECT_EQ(window.form.Timer3.Enabled(), row.timer3After) << row.name;
        EXPECT_EQ(window.form.Timer4.Enabled(), row.timer4After) << row.name;
        ASSERT_EQ(window.port.writes.size(), row.writes) << row.name;
        if (row.writes) {
            EXPECT_EQ(window.port.writes[0], ReceiveModeRequest()) << row.name;
        }
        EXPECT_TRUE(window.socket.sent.empty()) << row.name << ": a mode change sends no Art-Net";
        EXPECT_TRUE(window.box.shown.empty()) << row.name;
    }
}

TEST(BridgeButtons, ReceiveModeRequestClearsTheLevelsAndIsRepeatedOnEveryPress) {
    BridgeWindow window(true);
    window.form.prowidget.OutputPacket.Levels[7] = 200;
    window.form.Command1.PerformClick();
    window.form.Command1.PerformClick();
    ASSERT_EQ(window.port.writes.size(), 2u);
    EXPECT_EQ(window.port.writes[1], ReceiveModeRequest());
    EXPECT_EQ(window.form.prowidget.OutputPacket.Levels[7], 0);
}

TEST(BridgeButtons, ToDmxLeavesTheOutputPacketAsItIs) {
    BridgeWindow window(true);
    window.form.prowidget.OutputPacket.Levels[3] = 33;
    window.form.senddmxbutton.PerformClick();
    EXPECT_EQ(window.form.prowidget.OutputPacket.Label, 6);
    EXPECT_EQ(window.form.prowidget.OutputPacket.Levels[3], 33);
}

TEST(UniverseBar, LabelShowsTheValueInHexadecimalOnDarkBlue) {
    BridgeWindow window(false);
    EXPECT_EQ(window.form.ArtUnivLbl.Caption(), "Universe 0");
    const std::vector<std::pair<int, std::string>> rows{
        {255, "Universe: FF"}, {16, "Universe: 10"},  {1, "Universe: 1"},
        {0, "Universe: 0"},    {171, "Universe: AB"},
    };
    for (const auto& [value, caption] : rows) {
        window.form.ArtUniv.SetValue(value);
        EXPECT_EQ(window.form.ArtUnivLbl.Caption(), caption);
        EXPECT_EQ(window.form.ArtUnivLbl.BackColor(), RGB(0, 0, 127));
    }
    EXPECT_TRUE(window.socket.sent.empty());
}

}  // namespace
