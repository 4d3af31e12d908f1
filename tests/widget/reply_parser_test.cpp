#include <gtest/gtest.h>

#include <cstring>
#include <stdexcept>
#include <vector>

#include "support/fakes.h"
#include "support/widget_frames.h"
#include "widget/prowidget.h"
#include "widget/reply_results.h"

namespace {

Bytes Text(const char* s) {
    return Bytes(s, s + std::strlen(s));
}

// Status byte, start code 0, then channel n holding n * 7 (so 0x7E and 0xE7 both occur among the levels).
Bytes DmxData(std::size_t levelCount = 512, std::uint8_t status = 0) {
    Bytes data{status, 0x00};
    for (std::size_t channel = 1; channel <= levelCount; ++channel)
        data.push_back(static_cast<std::uint8_t>(channel * 7));
    return data;
}

Bytes Filled(std::size_t count, std::uint8_t value) {
    return Bytes(count, value);
}

const Bytes kParameters = WidgetFrame(3, {0x2C, 0x02, 0x09, 0x01, 0x28});

enum class Stored { Nothing, Parameters, Dmx, Flash };

struct ParseRow {
    const char* name;
    Bytes text;
    bool sendMode;
    std::int32_t result;
    std::uint8_t status;
    Stored stored;
    Bytes frame;  // the text as trimmed, when a record takes it
    int forwards;
    DroppedDmxReports dropped{};
};

template <typename Record>
void Prefill(Record& record) {
    std::memset(&record, 0xAA, sizeof record);
}

// What a record holds after taking the frame: the frame without its end byte, cut at the record's size, over
// the older bytes.
Bytes Expected(std::size_t recordSize, const Bytes& frame) {
    Bytes bytes(recordSize, 0xAA);
    std::copy_n(frame.begin(), std::min(frame.size() - 1, recordSize), bytes.begin());
    return bytes;
}

TEST(ParseWidgetReply, EveryReplyShapeGivesItsResultStatusAndStoredRecord) {
    const Bytes dmx = WidgetFrame(5, DmxData());
    const Bytes longParameters = WidgetFrame(3, Filled(600, 0x11));
    const Bytes faulty = WidgetFrame(5, DmxData(512, 1));
    Bytes rdmData = DmxData(24);
    rdmData[1] = 0xCC;
    const Bytes rdm = WidgetFrame(5, rdmData);
    const std::vector<ParseRow> rows{
        {"parameters reply", kParameters, false, 3, 0, Stored::Parameters, kParameters, 0},
        {"garbage before the start is dropped", Bytes{0x00, 0xFF} + kParameters, false, 3, 0,
         Stored::Parameters, kParameters, 0},
        {"only the first of two messages is used", kParameters + dmx, false, 3, 0, Stored::Parameters,
         kParameters, 0},
        {"page written", WidgetFrame(2, Text("TRUE")), false, 254, 0, Stored::Flash,
         WidgetFrame(2, Text("TRUE")), 0},
        {"page refused", WidgetFrame(2, Text("FALS")), false, 255, 4, Stored::Flash,
         WidgetFrame(2, Text("FALS")), 0},
        {"page answer starting T but not TRUE", WidgetFrame(2, Text("TRUX")), false, 2, 0, Stored::Flash,
         WidgetFrame(2, Text("TRUX")), 0},
        {"three bytes", {0x7E, 0x03, 0xE7}, false, -1, 2, Stored::Nothing, {}, 0},
        {"empty text", {}, false, -1, 2, Stored::Nothing, {}, 0},
        {"no start delimiter", {0x41, 0x42, 0x43, 0x44}, false, -2, 0, Stored::Nothing, {}, 0},
        {"data length 601", {0x7E, 0x03, 0x59, 0x02, 0x00, 0xE7}, false, -3, 3, Stored::Nothing, {}, 0},
        {"data length 600 is accepted and the excess not stored", longParameters, false, 3, 0,
         Stored::Parameters, longParameters, 0},
        {"received DMX with 0x7E and 0xE7 among its levels is stored whole and forwarded once in receive "
         "mode",
         dmx, false, 5, 0, Stored::Dmx, dmx, 1},
        {"received DMX in send mode is not forwarded", dmx, true, 5, 0, Stored::Dmx, dmx, 0},
        {"faulty frame: kept for the monitor, not forwarded",
         faulty,
         false,
         5,
         0,
         Stored::Dmx,
         faulty,
         0,
         {.faulty = 1}},
        {"RDM report: neither stored nor forwarded",
         rdm,
         false,
         5,
         0,
         Stored::Nothing,
         {},
         0,
         {.notStartCodeZero = 1}},
        {"report without data", WidgetFrame(5, {}), false, 5, 0, Stored::Nothing, {}, 0, {.noLevels = 1}},
        {"report of a status only",
         WidgetFrame(5, {0}),
         false,
         5,
         0,
         Stored::Nothing,
         {},
         0,
         {.noLevels = 1}},
        {"report of a start code only",
         WidgetFrame(5, {0, 0}),
         false,
         5,
         0,
         Stored::Nothing,
         {},
         0,
         {.noLevels = 1}},
        {"one level", WidgetFrame(5, {0, 0, 9}), false, 5, 0, Stored::Dmx, WidgetFrame(5, {0, 0, 9}), 1},
        {"label 254 stores only the head",
         WidgetFrame(254, Text("TRUE")),
         false,
         254,
         0,
         Stored::Nothing,
         {},
         0},
        {"label 255 stores only the head", WidgetFrame(255, {}), false, 255, 0, Stored::Nothing, {}, 0},
        {"unknown label", WidgetFrame(9, {1, 2, 3}), false, 9, 0, Stored::Nothing, {}, 0},
        {"bad end byte",
         Bytes{0x7E, 0x03, 0x05, 0x00, 0x2C, 0x02, 0x09, 0x01, 0x28, 0x00},
         false,
         -4,
         1,
         Stored::Nothing,
         {},
         0},
        {"end byte early inside the data",
         Bytes{0x7E, 0x03, 0x05, 0x00, 0x2C, 0xE7, 0x09, 0x01, 0x28, 0x55},
         false,
         -4,
         1,
         Stored::Nothing,
         {},
         0},
        {"text ends before its data",
         Bytes{0x7E, 0x03, 0x05, 0x00, 0x2C, 0x02},
         false,
         -5,
         5,
         Stored::Nothing,
         {},
         0},
        {"text ends at its data, no end byte",
         Bytes{0x7E, 0x03, 0x05, 0x00, 0x2C, 0x02, 0x09, 0x01, 0x28},
         false,
         -5,
         5,
         Stored::Nothing,
         {},
         0},
        {"received DMX cut short is not stored or forwarded",
         Bytes(dmx.begin(), dmx.begin() + 300),
         false,
         -5,
         5,
         Stored::Nothing,
         {},
         0},
    };
    for (const auto& row : rows) {
        FakeSerialPort port;
        RecordingMessageBox box;
        ProWidget widget{port, box};
        Prefill(widget.WidgetParameters);
        Prefill(widget.ReceivedDmx);
        Prefill(widget.FlashReply);
        widget.ReplyStatus = 255;
        bool sendMode = row.sendMode;
        std::vector<LevelArray> forwarded;
        widget.SetDmxForwarder([&] { return !sendMode; },
                               [&](std::span<const std::uint8_t, kLevelCount> levels) {
                                   LevelArray copy;
                                   std::copy(levels.begin(), levels.end(), copy.begin());
                                   forwarded.push_back(copy);
                               });

        Bytes text = row.text;
        EXPECT_EQ(widget.ParseWidgetReply(text), row.result) << row.name;
        EXPECT_EQ(widget.ReplyStatus, row.status) << row.name;
        EXPECT_EQ(static_cast<int>(forwarded.size()), row.forwards) << row.name;
        EXPECT_EQ(widget.DroppedReports, row.dropped) << row.name;
        EXPECT_EQ(BytesOf(widget.WidgetParameters),
                  row.stored == Stored::Parameters ? Expected(517, row.frame) : Filled(517, 0xAA))
            << row.name;
        EXPECT_EQ(BytesOf(widget.ReceivedDmx),
                  row.stored == Stored::Dmx ? Expected(518, row.frame) : Filled(518, 0xAA))
            << row.name;
        EXPECT_EQ(BytesOf(widget.FlashReply),
                  row.stored == Stored::Flash ? Expected(8, row.frame) : Filled(8, 0xAA))
            << row.name;
        if (row.stored != Stored::Nothing) {
            EXPECT_EQ(text, row.frame) << row.name << ": trimmed in place";
        }
        if (row.forwards > 0) {
            // The frame's start code and levels, between its status byte and its end byte.
            const auto carried = std::min<std::size_t>(kLevelCount, row.frame.size() - 6);
            EXPECT_TRUE(
                std::equal(row.frame.begin() + 5, row.frame.begin() + 5 + carried, forwarded[0].begin()))
                << row.name << ": the levels carried forwarded";
        }
        EXPECT_TRUE(box.shown.empty()) << row.name;
    }
}

TEST(ParseWidgetReply, ParametersReplyFillsTheNamedFields) {
    FakeSerialPort port;
    RecordingMessageBox box;
    ProWidget widget{port, box};
    Bytes text = kParameters;
    ASSERT_EQ(widget.ParseWidgetReply(text), 3);
    EXPECT_EQ(widget.WidgetParameters.FirmwareMsb, 2);
    EXPECT_EQ(widget.WidgetParameters.FirmwareLsb, 44);
    EXPECT_EQ(widget.WidgetParameters.BreakTime, 9);
    EXPECT_EQ(widget.WidgetParameters.MABTime, 1);
    EXPECT_EQ(widget.WidgetParameters.FrameRate, 40);
}

TEST(ParseWidgetReply, FewerLevelsUpdateOnlyTheLevelsCarried) {
    FakeSerialPort port;
    RecordingMessageBox box;
    ProWidget widget{port, box};
    widget.ReceivedDmx.Levels.fill(99);
    Bytes text = WidgetFrame(5, DmxData(10));
    ASSERT_EQ(widget.ParseWidgetReply(text), 5);
    EXPECT_EQ(widget.ReceivedDmx.Levels[10], 70);
    EXPECT_EQ(widget.ReceivedDmx.Levels[11], 99);
    EXPECT_EQ(widget.ReceivedDmx.Levels[512], 99);
}

TEST(ParseWidgetReply, ShortPageAnswerDoesNotPassOnAnEarlierTrue) {
    FakeSerialPort port;
    RecordingMessageBox box;
    ProWidget widget{port, box};
    Bytes written = WidgetFrame(2, Text("TRUE"));
    ASSERT_EQ(widget.ParseWidgetReply(written), 254);
    const std::vector<std::pair<Bytes, std::int32_t>> rows{
        {WidgetFrame(2, {}), 255}, {WidgetFrame(2, Text("T")), 2}, {WidgetFrame(2, Text("TRU")), 2}};
    for (const auto& [frame, result] : rows) {
        Bytes text = frame;
        EXPECT_EQ(widget.ParseWidgetReply(text), result) << frame.size();
    }
}

TEST(ParseWidgetReply, FailingForwardIsShownAndTheResultKept) {
    FakeSerialPort port;
    RecordingMessageBox box;
    ProWidget widget{port, box};
    widget.SetDmxForwarder(
        [] { return true; },
        [](std::span<const std::uint8_t, kLevelCount>) { throw std::runtime_error("Send failed"); });
    Bytes text = WidgetFrame(5, DmxData());
    EXPECT_EQ(widget.ParseWidgetReply(text), 5);
    EXPECT_EQ(box.shown, std::vector<std::string>{"Send failed"});
    EXPECT_EQ(widget.ReceivedDmx.Levels[1], 7);
}

TEST(StatusText, EveryCodeHasItsText) {
    const std::vector<std::pair<int, std::string>> rows{
        {0, "Ready"},
        {1, "Not Valid Packet, Recieved data seems invalid"},
        {2, "Packet length is too short"},
        {3, "The packet specified an invalid data field length"},
        {4, "Failed to flash firmware page"},
        {5, "The data length did not match the actual size in the packet"},
        {255, "Waiting..."},
        {6, "Unknown Error"},
        {254, "Unknown Error"},
    };
    for (const auto& [code, text] : rows)
        EXPECT_EQ(ProWidget::StatusText(static_cast<std::uint8_t>(code)), text) << code;
}

}  // namespace
