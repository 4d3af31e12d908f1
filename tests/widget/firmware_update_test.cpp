#include "widget/firmware_update.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "widget/firmware_fakes.h"
#include "widget/firmware_temp_file.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using Answer = FakeProgrammer::Answer;

// A widget's programmer behind the port, the window on the virtual clock.
struct Rig {
    Rig() {
        port.open = true;
        widget.InitWidgetPackets();
    }
    FirmwareAttempt Update(const std::string& path) { return UpdateFirmware(widget, window, path); }

    FakeSerialPort port;
    RecordingMessageBox senderBox;
    ProWidget widget{port, senderBox};
    VirtualClock clock;
    FakeProgrammer programmer{port, clock};
    ClockedWindow window{clock};
};

struct FirmwareUpdate : ::testing::Test, Rig {
    bool Flashed(const std::string& path) { return Update(path) == FirmwareAttempt::Updated; }
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

        EXPECT_TRUE(Flashed(file.Path())) << row.name;
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
    ASSERT_TRUE(Flashed(file.Path()));
    ASSERT_EQ(port.writes.size(), 97u);
    EXPECT_EQ(port.writes[0], (Bytes{0x7E, 0x01, 0x00, 0x00, 0xE7}));
    for (std::size_t page = 1; page <= 96; ++page) {
        const Bytes& frame = port.writes[page];
        ASSERT_EQ(frame.size(), 69u);
        EXPECT_EQ(Bytes(frame.begin(), frame.begin() + 4), (Bytes{0x7E, 0x02, 0x40, 0x00}));
        EXPECT_EQ(frame.back(), 0xE7);
    }
}

// Each row: the file and the widget behind the port, then the attempt's outcome, its status line, its message
// boxes and log, and the label-1 and label-2 frames the widget received.
TEST_F(FirmwareUpdate, EveryPageIsJudgedByItsOwnAnswerAndNoUnusableFileReachesTheWidget) {
    using enum FirmwareAttempt;
    using Setup = std::function<void(FakeProgrammer&)>;
    const Bytes kTrue = FakeProgrammer::PageAnswer("TRUE");
    const Setup healthy = [](FakeProgrammer&) {};
    auto answer = [](std::map<int, Answer> answers) {
        return [answers](FakeProgrammer& widget) { widget.answers = answers; };
    };
    enum class File { Image, Long, Empty, Folder, Missing };
    struct Row {
        const char* name;
        File file;
        Setup widget;
        FirmwareAttempt outcome;
        std::string status;
        std::string message;  // contained in the one message box, when there is one
        int reprogramRequests;
        int pages;
    };
    const std::string ok = kFirmwareSuccessText;
    const std::vector<Row> rows{
        {"page 5 refused", File::Image, answer({{5, Answer::False}}), Failed, "....x", "", 1, 5},
        {"first page refused", File::Image, answer({{1, Answer::False}}), Failed, "x", "", 1, 1},
        {"last page refused", File::Image, answer({{96, Answer::False}}), Failed, Dots(95) + "x", "", 1, 96},
        {"only an answer of another kind", File::Image, answer({{3, Answer::NotAPageAnswer}}), Failed, "..",
         kTimeoutText, 1, 3},
        {"no answer to page 1", File::Image, answer({{1, Answer::Silent}}), Failed, "", kTimeoutText, 1, 1},
        {"no answer to page 40", File::Image, answer({{40, Answer::Silent}}), Failed, Dots(39), kTimeoutText,
         1, 40},
        // The stray answer and page 1's own refusal come in one read.
        {"a stray TRUE before page 1, page 1 refused", File::Image,
         [&](FakeProgrammer& widget) {
             widget.afterReprogram = {{1, kTrue}};
             widget.answers = {{1, Answer::False}};
         },
         Failed, "x", "", 1, 1},
        // Every answer comes alone, one page late: only the drain finds page 96's refusal.
        {"a stray TRUE, page 96 refused", File::Image,
         [&](FakeProgrammer& widget) {
             widget.afterReprogram = {{50, kTrue}};
             widget.replyDelayMs = 150;
             widget.answers = {{96, Answer::False}};
         },
         Failed, Dots(96) + "x", "", 1, 96},
        {"two answers for page 5", File::Image,
         [&](FakeProgrammer& widget) {
             widget.deliveries = {{5, {{10, kTrue}, {20, kTrue}}}};
         },
         Failed, "....x", "", 1, 5},
        // The second answer comes after the first was read: only the drain finds it.
        {"two answers for page 96", File::Image,
         [&](FakeProgrammer& widget) {
             widget.deliveries = {{96, {{10, kTrue}, {150, kTrue}}}};
         },
         Failed, Dots(96) + "x", "", 1, 96},
        {"each page answered once, late", File::Image,
         [](FakeProgrammer& widget) { widget.replyDelayMs = kReplyTimeoutMs - 100; }, Updated, ok,
         kFirmwareUpdatedText, 1, 96},
        {"empty file", File::Empty, healthy, UnusableFile, "Opening File", kEmptyFirmwareText, 0, 0},
        {"a folder", File::Folder, healthy, UnusableFile, "Opening File", "Is a directory", 0, 0},
        {"missing file", File::Missing, healthy, UnusableFile, "Opening File", "/missing.bin: No such file",
         0, 0},
        {"a file one byte too long", File::Long, healthy, Updated, ok, kFirmwareUpdatedText, 1, 96},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        Rig rig;
        row.widget(rig.programmer);
        TempFirmware file(FirmwareBytes(row.file == File::Long ? 6145 : row.file == File::Empty ? 0 : 6144));
        const std::string path = row.file == File::Folder    ? file.Folder()
                                 : row.file == File::Missing ? file.Folder() + "/missing.bin"
                                                             : file.Path();
        EXPECT_EQ(rig.Update(path), row.outcome);
        EXPECT_EQ(rig.window.status, row.status);
        const std::vector<std::string>& messages = rig.window.messages;
        EXPECT_EQ(messages.size(), row.message.empty() ? 0u : 1u);
        if (!row.message.empty() && messages.size() == 1) {
            EXPECT_NE(messages[0].find(row.message), std::string::npos) << messages[0];
        }
        EXPECT_EQ(rig.programmer.reprogramRequests, row.reprogramRequests);
        EXPECT_EQ(rig.programmer.pages, row.pages);
        const std::vector<std::string> noted{path + " is 6145 bytes; only the first 6144 are written"};
        EXPECT_EQ(rig.window.log, row.file == File::Long ? noted : std::vector<std::string>{});
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
        EXPECT_EQ(Flashed(file.Path()), row.updated) << row.name;
        EXPECT_EQ(window.status, row.status) << row.name;
        EXPECT_EQ(programmer.reprogramRequests, 1) << row.name;
        programmer.reprogramRequests = 0;
        EXPECT_EQ(widget.WidgetParameters.FirmwareMsb, row.firmwareMsb) << row.name;
    }
}

TEST_F(FirmwareUpdate, AnAcknowledgementWaitingBeforeTheRequestIsDiscarded) {
    TempFirmware file(FirmwareBytes(6144));
    port.Receive(FakeProgrammer::PageAnswer("TRUE"));
    programmer.answers = {{1, Answer::Silent}};
    EXPECT_FALSE(Flashed(file.Path()));
    EXPECT_EQ(window.messages, std::vector<std::string>{kTimeoutText});
}

TEST_F(FirmwareUpdate, WhatArrivesWhileTheSuccessMessageIsOpenIsDiscarded) {
    TempFirmware file(FirmwareBytes(6144));
    window.whileMessageOpen = [this] { port.Receive(FakeProgrammer::PageAnswer("TRUE")); };
    ASSERT_TRUE(Flashed(file.Path()));
    EXPECT_EQ(port.InBufferCount(), 0);
}

}  // namespace
