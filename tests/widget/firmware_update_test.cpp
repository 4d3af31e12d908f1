#include "widget/firmware_update.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "widget/firmware_fakes.h"
#include "widget/firmware_temp_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Answer = FakeProgrammer::Answer;

// The window on the virtual clock: the time-out expires when ten seconds have passed since it was started.
class ClockedWindow : public FirmwareUpdateWindow {
public:
    explicit ClockedWindow(VirtualClock& clock) : clock_(clock) {}
    std::string StatusText() const override { return status; }
    void SetStatusText(const std::string& text) override {
        status = text;
        statusHistory.push_back(text);
    }
    void StartReplyTimeout() override { deadline_ = clock_.now + kReplyTimeoutMs; }
    bool ReplyTimeoutRunning() const override { return clock_.now < deadline_; }
    void WaitForEvents(int maxMs) override { clock_.Advance(maxMs); }
    FrameAssembler::TimePoint Now() const override {
        return FrameAssembler::TimePoint{} + std::chrono::milliseconds(clock_.now);
    }
    void ShowMessage(const std::string& text) override {
        messages.push_back(text);
        if (whileMessageOpen) whileMessageOpen();
    }
    void Reset() {
        status.clear();
        statusHistory.clear();
        messages.clear();
    }

    std::string status;
    std::vector<std::string> statusHistory;
    std::vector<std::string> messages;
    std::function<void()> whileMessageOpen;

private:
    VirtualClock& clock_;
    long deadline_ = -1;
};

struct FirmwareUpdate : ::testing::Test {
    FirmwareUpdate() {
        port.open = true;
        widget.InitWidgetPackets();
    }
    bool Run(const std::string& path) { return UpdateFirmware(widget, window, path); }

    FakeSerialPort port;
    RecordingMessageBox senderBox;
    ProWidget widget{port, senderBox};
    VirtualClock clock;
    FakeProgrammer programmer{port, clock};
    ClockedWindow window{clock};
};

std::string Dots(int count) {
    return std::string(static_cast<std::size_t>(count), '.');
}

TEST_F(FirmwareUpdate, FilesOfEverySizeFlashNinetySixPagesOfTheirFirstBytesPaddedWithZeros) {
    struct Row {
        const char* name;
        std::size_t fileBytes;
    };
    const std::vector<Row> rows{
        {"exactly one image", 6144}, {"longer file", 9000}, {"one byte", 1}, {"page and a half", 96}};
    for (const auto& row : rows) {
        const Bytes contents = FirmwareBytes(row.fileBytes);
        TempFirmware file(contents);
        window.Reset();
        Bytes expected(contents.begin(), contents.begin() + static_cast<std::ptrdiff_t>(std::min<std::size_t>(
                                                                contents.size(), kFirmwareImageBytes)));
        expected.resize(kFirmwareImageBytes, 0);

        EXPECT_TRUE(Run(file.Path())) << row.name;
        EXPECT_EQ(programmer.image, expected) << row.name;
        EXPECT_EQ(programmer.pages, 96) << row.name;
        EXPECT_EQ(window.messages, std::vector<std::string>{"Firmware Updated"}) << row.name;
        ASSERT_EQ(window.statusHistory.size(), 3u + 96u + 1u) << row.name;
        EXPECT_EQ(window.statusHistory[0], "Opening File");
        EXPECT_EQ(window.statusHistory[1], "Enter BootStrap Programmer");
        EXPECT_EQ(window.statusHistory[2], "");
        EXPECT_EQ(window.statusHistory[3 + 95], Dots(96));
        EXPECT_EQ(window.status, "Firmware Update Success!");
    }
}

TEST_F(FirmwareUpdate, EveryFrameOnTheWireIsTheReprogramRequestOrAFullPage) {
    TempFirmware file(FirmwareBytes(6144));
    ASSERT_TRUE(Run(file.Path()));
    ASSERT_EQ(port.writes.size(), 97u);
    EXPECT_EQ(port.writes[0], (Bytes{0x7E, 0x01, 0x00, 0x00, 0xE7}));
    for (std::size_t page = 1; page <= 96; ++page) {
        const Bytes& frame = port.writes[page];
        ASSERT_EQ(frame.size(), 69u);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes{0x7E, 0x02, 0x40, 0x00}));
        EXPECT_EQ(frame.back(), 0xE7);
    }
}

TEST_F(FirmwareUpdate, FailedAttemptsEndAsTheirCauseRequires) {
    struct Row {
        const char* name;
        std::map<int, Answer> answers;
        std::string status;
        std::vector<std::string> messages;
        int pagesSent;
    };
    const std::vector<Row> rows{
        {"page 5 refused", {{5, Answer::False}}, "....x", {}, 5},
        {"first page refused", {{1, Answer::False}}, "x", {}, 1},
        {"last page refused", {{96, Answer::False}}, Dots(95) + "x", {}, 96},
        {"only an answer of another kind", {{3, Answer::NotAPageAnswer}}, "..", {kTimeoutText}, 3},
        {"no answer to page 1", {{1, Answer::Silent}}, "", {kTimeoutText}, 1},
        {"no answer to page 40", {{40, Answer::Silent}}, Dots(39), {kTimeoutText}, 40},
    };
    TempFirmware file(FirmwareBytes(6144));
    for (const auto& row : rows) {
        programmer.answers = row.answers;
        window.Reset();
        EXPECT_FALSE(Run(file.Path())) << row.name;
        EXPECT_EQ(window.status, row.status) << row.name;
        EXPECT_EQ(window.messages, row.messages) << row.name;
        EXPECT_EQ(programmer.pages, row.pagesSent) << row.name;
    }
}

TEST_F(FirmwareUpdate, OnlyAWholeLabel2AnswerJudgesThePageHoweverItArrives) {
    using Delivery = FakeProgrammer::Delivery;
    const Bytes answer = FakeProgrammer::PageAnswer("TRUE");
    const Bytes parameters = WidgetFrame(3, {44, 2, 9, 1, 40});
    Bytes dmx{0, 0};
    dmx.resize(514, 0xE7);
    const Bytes report = WidgetFrame(5, dmx);
    struct Row {
        const char* name;
        int page;
        std::vector<Delivery> deliveries;
        bool updated;
        std::string status;
        int firmwareMsb;  // a parameters reply set aside still fills its record
    };
    const Bytes answerStart(answer.begin(), answer.begin() + 5), answerRest(answer.begin() + 5, answer.end());
    const std::string ok = kFirmwareSuccessText;
    const std::vector<Row> rows{
        {"an earlier request's parameters first", 1, {{5, parameters}, {10, answer}}, true, ok, 2},
        {"DMX reports around the answer", 7, {{5, report}, {10, report + answer + report}}, true, ok, 0},
        {"the answer in two reads", 1, {{10, answerStart}, {150, answerRest}}, true, ok, 0},
        {"label 254 is no answer", 3, {{10, WidgetFrame(254, Bytes{'T', 'R', 'U', 'E'})}}, false, "..", 0},
    };
    TempFirmware file(FirmwareBytes(6144));
    for (const auto& row : rows) {
        programmer.deliveries = {{row.page, row.deliveries}};
        window.Reset();
        widget.WidgetParameters = {};
        EXPECT_EQ(Run(file.Path()), row.updated) << row.name;
        EXPECT_EQ(window.status, row.status) << row.name;
        EXPECT_EQ(programmer.reprogramRequests, 1) << row.name;
        programmer.reprogramRequests = 0;
        EXPECT_EQ(widget.WidgetParameters.FirmwareMsb, row.firmwareMsb) << row.name;
    }
}

TEST_F(FirmwareUpdate, EmptyFileFailsWithItsOwnMessageAfterTheReprogramRequest) {
    TempFirmware file({});
    EXPECT_FALSE(Run(file.Path()));
    EXPECT_EQ(window.messages, std::vector<std::string>{"The firmware file is empty."});
    EXPECT_EQ(programmer.reprogramRequests, 1);
    EXPECT_EQ(programmer.pages, 0);
}

TEST_F(FirmwareUpdate, MissingFileFailsBeforeAnythingIsSent) {
    EXPECT_FALSE(Run("/nonexistent-folder/image.bin"));
    ASSERT_EQ(window.messages.size(), 1u);
    EXPECT_NE(window.messages[0].find("/nonexistent-folder/image.bin"), std::string::npos)
        << window.messages[0];
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(window.status, "Opening File");
}

TEST_F(FirmwareUpdate, AnAcknowledgementWaitingBeforeTheRequestIsDiscarded) {
    TempFirmware file(FirmwareBytes(6144));
    port.Receive(FakeProgrammer::PageAnswer("TRUE"));
    programmer.answers = {{1, Answer::Silent}};
    EXPECT_FALSE(Run(file.Path()));
    EXPECT_EQ(window.messages, std::vector<std::string>{kTimeoutText});
}

TEST_F(FirmwareUpdate, WhatArrivesWhileTheSuccessMessageIsOpenIsDiscarded) {
    TempFirmware file(FirmwareBytes(6144));
    window.whileMessageOpen = [this] { port.Receive(FakeProgrammer::PageAnswer("TRUE")); };
    ASSERT_TRUE(Run(file.Path()));
    EXPECT_EQ(port.InBufferCount(), 0);
}

}  // namespace
