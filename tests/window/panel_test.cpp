#include <gtest/gtest.h>

#include "link_fixture.h"
#include "window/number_format.h"

namespace {

constexpr Rgb kEdited = RGB(0, 0, 100);

struct ParametersPanel : ::testing::Test, WindowOnFakes {};

TEST(FormatNumber, ShortestDecimalWithTheGivenSeparator) {
    const std::vector<std::tuple<double, const char*, std::string>> rows{
        {9 * 10.67, ".", "96.03"},     {10 * 10.67, ".", "106.7"}, {100 * 10.67, ".", "1067"},
        {127 * 10.67, ".", "1355.09"}, {0 * 10.67, ".", "0"},      {1 * 10.67, ".", "10.67"},
        {9 * 10.67, ",", "96,03"},     {0.1 + 0.2, ".", "0.3"},    {-0.0, ".", "0"},
        {1e15, ".", "1E+15"},
    };
    for (const auto& [value, separator, text] : rows)
        EXPECT_EQ(FormatNumber(value, separator), text) << value;
}

TEST_F(ParametersPanel, LoadShowsTheEmptyRecord) {
    Form1& form = Load();
    EXPECT_EQ(form.Label1.Caption(), "Firmware Version: 0.0");
    EXPECT_EQ(form.Label2.Caption(), "BreakTime: 0us");
    EXPECT_EQ(form.Label3.Caption(), "MAB Time: 0us");
    EXPECT_EQ(form.Label4.Caption(), "Frame Rate: 0");
    for (Label* label : {&form.Label1, &form.Label2, &form.Label3, &form.Label4})
        EXPECT_EQ(label->BackColor(), kDarkGrey);
}

TEST_F(ParametersPanel, EditedBreakTimeShowsDarkBlueUntilApplied) {
    Device(16);
    Form1& form = Load();
    ASSERT_EQ(form.LinkOpen, kTrue);
    form.HScroll1.SetValue(10);
    EXPECT_EQ(form.Label2.Caption(), "BreakTime: 106.7us");
    EXPECT_EQ(form.Label2.BackColor(), kEdited);
    EXPECT_EQ(form.Label3.BackColor(), kDarkGrey);
    EXPECT_EQ(form.prowidget.WidgetParameters.BreakTime, 10);

    port.writes.clear();
    form.Command3.PerformClick();
    ASSERT_EQ(port.writes.size(), 1u);
    // Break 10; MAB and rate as the record holds them (nothing parsed yet: 0).
    EXPECT_EQ(port.writes[0], (Bytes{0x7E, 0x04, 0x05, 0x00, 0x00, 0x00, 10, 0, 0, 0xE7}));
    EXPECT_EQ(form.Label2.BackColor(), kDarkGrey);
}

TEST_F(ParametersPanel, ApplyWithoutALinkOnlyResetsTheColours) {
    Form1& form = Load();
    form.HScroll3.SetValue(40);
    EXPECT_EQ(form.Label4.Caption(), "Frame Rate: 40");
    EXPECT_EQ(form.Label4.BackColor(), kEdited);
    form.Command3.PerformClick();
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(form.Label4.BackColor(), kDarkGrey);
    EXPECT_EQ(form.prowidget.SetParametersRequest.FrameRate, 40);
}

TEST_F(ParametersPanel, RefreshClampsARecordValueIntoTheBarsRange) {
    Device(16);
    Form1& form = Load();
    form.HScroll1.SetValue(20);
    form.prowidget.WidgetParameters.BreakTime = 5;
    port.writes.clear();
    form.cfg_request.PerformClick();
    ASSERT_FALSE(port.writes.empty());
    EXPECT_EQ(port.writes[0], (Bytes{0x7E, 0x03, 0x02, 0x00, 0x00, 0x00, 0xE7}));
    EXPECT_EQ(form.HScroll1.Value(), 9);
    EXPECT_EQ(form.prowidget.WidgetParameters.BreakTime, 9);
    EXPECT_EQ(form.Label2.Caption(), "BreakTime: 96.03us");
    EXPECT_EQ(form.Label2.BackColor(), kDarkGrey);
}

TEST_F(ParametersPanel, RefreshBeforeAnyReplyLeavesTheBarsAndShowsZeros) {
    Device(16);
    Form1& form = Load();
    form.cfg_request.PerformClick();
    EXPECT_EQ(form.HScroll1.Value(), 9);
    EXPECT_EQ(form.HScroll2.Value(), 1);
    EXPECT_EQ(form.HScroll3.Value(), 1);
    EXPECT_EQ(form.Label2.Caption(), "BreakTime: 0us");
    EXPECT_EQ(form.Label3.Caption(), "MAB Time: 0us");
    EXPECT_EQ(form.Label4.Caption(), "Frame Rate: 0");
    for (Label* label : {&form.Label2, &form.Label3, &form.Label4}) EXPECT_EQ(label->BackColor(), kDarkGrey);
    port.writes.clear();
    form.Command3.PerformClick();
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], (Bytes{0x7E, 0x04, 0x05, 0x00, 0x00, 0x00, 0, 0, 0, 0xE7}));
}

TEST_F(ParametersPanel, RefreshWithoutALinkDoesNothing) {
    Form1& form = Load();
    form.prowidget.WidgetParameters.BreakTime = 50;
    form.cfg_request.PerformClick();
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(form.HScroll1.Value(), 9);
    EXPECT_EQ(form.Label2.Caption(), "BreakTime: 0us");
}

TEST_F(ParametersPanel, ChosenPortShowsTheReplyTheScanStored) {
    Device(3, ParametersReply(2, 44, 100, 12, 33));
    separator = ",";
    Form1& form = Load();
    form.SelectPort(3);
    EXPECT_EQ(form.Label1.Caption(), "Firmware Version: 2.44");
    EXPECT_EQ(form.Label2.Caption(), "BreakTime: 1067us");
    EXPECT_EQ(form.Label3.Caption(), "MAB Time: 128,04us");
    EXPECT_EQ(form.Label4.Caption(), "Frame Rate: 33");
    EXPECT_EQ(form.HScroll1.Value(), 100);
    EXPECT_EQ(form.Label2.BackColor(), kDarkGrey);
}

}  // namespace
