#include <gtest/gtest.h>

#include <vector>

#include "support/fakes.h"
#include "widget/prowidget.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct WidgetOnOpenPort : ::testing::Test {
    WidgetOnOpenPort() {
        port.open = true;
        widget.InitWidgetPackets();
    }
    FakeSerialPort port;
    RecordingMessageBox box;
    ProWidget widget{port, box};
};

Bytes OutputFrame(std::uint8_t label, const std::vector<std::pair<int, std::uint8_t>>& levels) {
    Bytes frame{0x7E, label, 0x01, 0x02};
    frame.resize(4 + 513, 0);
    for (auto [channel, level] : levels) frame[4 + static_cast<std::size_t>(channel)] = level;
    frame.push_back(0xE7);
    return frame;
}

TEST_F(WidgetOnOpenPort, EverySenderWritesItsRecordAndTheEndDelimiterInOneWrite) {
    struct Row {
        const char* name;
        std::function<void()> send;
        Bytes expected;
    };
    const std::vector<Row> rows{
        {"output", [&] { widget.SendOutputPacket(); }, OutputFrame(6, {})},
        {"get parameters", [&] { widget.SendGetParameters(); }, {0x7E, 0x03, 0x02, 0x00, 0x00, 0x00, 0xE7}},
        {"set parameters",
         [&] { widget.SendSetParameters(); },
         {0x7E, 0x04, 0x05, 0x00, 0x00, 0x00, 0x09, 0x01, 0x28, 0xE7}},
        {"reprogram", [&] { widget.SendReprogramRequest(); }, {0x7E, 0x01, 0x00, 0x00, 0xE7}},
    };
    for (const auto& row : rows) {
        port.writes.clear();
        row.send();
        ASSERT_EQ(port.writes.size(), 1u) << row.name;
        EXPECT_EQ(port.writes[0], row.expected) << row.name;
    }
    EXPECT_TRUE(box.shown.empty());
}

TEST_F(WidgetOnOpenPort, LevelsAreSentVerbatimIncludingDelimiterValues) {
    auto& levels = widget.OutputPacket.Levels;
    levels[1] = 0xFF;
    levels[2] = 0x7E;
    levels[3] = 0xE7;
    levels[512] = 7;
    widget.SendOutputPacket();
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], OutputFrame(6, {{1, 0xFF}, {2, 0x7E}, {3, 0xE7}, {512, 7}}));
    EXPECT_EQ(port.writes[0].size(), 518u);
    EXPECT_EQ(port.writes[0][4], 0x00) << "the start code stays zero";
}

TEST_F(WidgetOnOpenPort, FlashPageCarriesTheHeadAndPageAsFilled) {
    widget.FlashPageRequest.StartDelimiter = 0x7E;
    widget.FlashPageRequest.Label = 2;
    widget.FlashPageRequest.DataLength = 64;
    for (std::size_t i = 0; i < 64; ++i)
        widget.FlashPageRequest.PageData[i] = static_cast<std::uint8_t>(i * 4);
    widget.SendFlashPage();
    ASSERT_EQ(port.writes.size(), 1u);
    const Bytes& frame = port.writes[0];
    ASSERT_EQ(frame.size(), 69u);
    EXPECT_EQ((Bytes{frame.begin(), frame.begin() + 4}), (Bytes{0x7E, 0x02, 0x40, 0x00}));
    EXPECT_EQ(frame[4 + 63], 252);
    EXPECT_EQ(frame.back(), 0xE7);
}

TEST_F(WidgetOnOpenPort, ReceiveRequestClearsLevelsAndSwitchesLabel) {
    widget.OutputPacket.Levels[10] = 99;
    widget.PrepareReceiveRequest();
    widget.SendOutputPacket();
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], OutputFrame(7, {}));
}

TEST(WidgetPackets, InitClearsLevelsWrittenBeforeStartUp) {
    FakeSerialPort port;
    RecordingMessageBox box;
    ProWidget widget{port, box};
    widget.OutputPacket.Levels[5] = 200;
    widget.InitWidgetPackets();
    EXPECT_EQ(widget.OutputPacket.Levels[5], 0);
    EXPECT_EQ(widget.OutputPacket.Label, 6);
    EXPECT_EQ(+widget.OutputPacket.DataLength, 513);
    EXPECT_EQ(widget.ReplyStatus, 255);
}

TEST(WidgetPackets, UserConfigLengthIsClampedTo508ForBothRequests) {
    FakeSerialPort port;
    RecordingMessageBox box;
    ProWidget widget{port, box};
    const std::vector<std::pair<std::int16_t, std::int16_t>> rows{{600, 508}, {509, 508}, {508, 508}, {7, 7}};
    for (auto [given, stored] : rows) {
        std::int16_t length = given;
        widget.InitGetParametersRequest(length);
        EXPECT_EQ(length, stored) << given;
        EXPECT_EQ(+widget.GetParametersRequest.UserConfigLength, stored) << given;
        length = given;
        widget.InitSetParametersRequest(length);
        EXPECT_EQ(length, stored) << given;
        EXPECT_EQ(+widget.SetParametersRequest.UserConfigLength, stored) << given;
    }
}

TEST(WidgetPackets, OutputOnClosedPortIsSilentOtherSendersShowThePortFailure) {
    FakeSerialPort port;
    RecordingMessageBox box;
    ProWidget widget{port, box};
    widget.InitWidgetPackets();
    widget.SendOutputPacket();
    EXPECT_TRUE(port.writes.empty());
    EXPECT_TRUE(box.shown.empty());
    widget.SendGetParameters();
    EXPECT_EQ(box.shown, std::vector<std::string>{"Port is closed"});
}

TEST(WidgetPackets, RepeatedWriteFailuresNeverStackMessageBoxes) {
    FakeSerialPort port;
    port.open = true;
    port.failWrites = true;
    RecordingMessageBox box;
    ProWidget widget{port, box};
    widget.InitWidgetPackets();
    // While the first box is open the pump keeps ticking, as under a nested event loop.
    int ticksWhileOpen = 0;
    box.whileOpen = [&] {
        for (; ticksWhileOpen < 25; ++ticksWhileOpen) widget.SendOutputPacket();
    };
    widget.SendOutputPacket();
    EXPECT_EQ(box.shown.size(), 1u);
    EXPECT_EQ(ticksWhileOpen, 25);
}

}  // namespace
