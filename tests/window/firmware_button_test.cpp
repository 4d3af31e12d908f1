#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "dialogs/scripted_file_dialog.h"
#include "support/fakes.h"
#include "widget/firmware_fakes.h"
#include "widget/firmware_temp_file.h"
#include "widget/firmware_update.h"
#include "window/form1.h"

namespace {

using namespace std::string_literals;
using Bytes = std::vector<std::uint8_t>;
using Answer = FakeProgrammer::Answer;
const Bytes kGetParameters{0x7E, 0x03, 0x02, 0x00, 0x00, 0x00, 0xE7};
constexpr const char* kFailed = "Failed, Please Try Again.";

// The window on fakes, on a virtual clock that delivers the time-out and the output pump while the update
// waits, with a programmer behind the port and a person at the dialog and the message boxes.
struct FirmwareButton : ::testing::Test {
    FirmwareButton() {
        port.open = true;
        form = std::make_unique<Form1>(
            WindowServices{port, socket, box, events, &dialog, {}, "/usr/lib/vantor", "."});
        form->prowidget.InitWidgetPackets();
        clock.Watch(form->timeout);
        clock.Watch(form->timOutput);
        clock.Drive(events);
        form->StatusBar1.Changed = [this] {
            const std::string& text = form->StatusBar1.SimpleText();
            if (statusHistory.empty() || statusHistory.back() != text) statusHistory.push_back(text);
        };
        box.whileOpen = [this] { statusWhenBoxShown.push_back(form->StatusBar1.SimpleText()); };
    }

    // The attempts as the status line told them: each begins with "Opening File".
    std::vector<std::string> AttemptEnds() const {
        std::vector<std::string> ends;
        for (std::size_t i = 1; i < statusHistory.size(); ++i)
            if (statusHistory[i] == "Opening File") ends.push_back(statusHistory[i - 1]);
        if (!statusHistory.empty()) ends.push_back(statusHistory.back());
        return ends;
    }

    FakeSerialPort port;
    FakeUdpSocket socket;
    RecordingMessageBox box;
    FakeEventLoop events;
    ScriptedFileDialog dialog;
    VirtualClock clock;
    FakeProgrammer programmer{port, clock};
    std::unique_ptr<Form1> form;
    std::vector<std::string> statusHistory;
    std::vector<std::string> statusWhenBoxShown;
};

TEST_F(FirmwareButton, ChosenImageIsFlashedThenParametersAreAskedFor) {
    TempFirmware file(FirmwareBytes(6144));
    dialog.ChooseFile(file.Path());
    form->Command4.PerformClick();

    EXPECT_EQ(programmer.image, FirmwareBytes(6144));
    EXPECT_EQ(box.shown, std::vector<std::string>{"Firmware Updated"});
    EXPECT_EQ(statusWhenBoxShown, std::vector<std::string>{std::string(96, '.')});
    EXPECT_EQ(form->StatusBar1.SimpleText(), "Firmware Update Success!");
    ASSERT_FALSE(port.writes.empty());
    EXPECT_EQ(port.writes.back(), kGetParameters);
    EXPECT_EQ(programmer.getParametersRequests, 1);
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_TRUE(form->Timer2.Enabled());
    EXPECT_TRUE(events.sleptMs.empty());
}

TEST_F(FirmwareButton, DialogAsksForBinaryFilesInTheLibraryFolderCentredOverTheWindow) {
    dialog.Cancel();
    form->Command4.PerformClick();
    ASSERT_EQ(dialog.shownWith.size(), 1u);
    const OpenFileNameRecord& shown = dialog.shownWith[0];
    EXPECT_EQ(shown.lpstrFilter, "Binary Files (*.bin)\0*.bin\0All Files (*.*)\0*.*"s);
    EXPECT_EQ(shown.lpstrTitle, "Update Firmware");
    EXPECT_EQ(shown.lpstrInitialDir, "/usr/lib/vantor/");
    EXPECT_EQ(shown.nFilterIndex, 0u);
    EXPECT_EQ(shown.hwndOwner, ScriptedFileDialog::kOwner);
    EXPECT_EQ(dialog.moves, (std::vector<ScriptedFileDialog::Move>{{ScriptedFileDialog::kDialog, 300, 250}}));
}

TEST_F(FirmwareButton, CancelledDialogRestartsTheTimersAndSendsNothing) {
    bool timersOffDuringDialog = false;
    dialog.whileShown = [&] { timersOffDuringDialog = !form->Timer1.Enabled() && !form->Timer2.Enabled(); };
    dialog.Cancel();
    form->Command4.PerformClick();
    EXPECT_TRUE(timersOffDuringDialog);
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_TRUE(form->Timer2.Enabled());
    EXPECT_TRUE(port.writes.empty());
    EXPECT_TRUE(box.shown.empty());
}

TEST_F(FirmwareButton, SeveralChosenFilesFlashTheFirstJoinedToItsFolder) {
    TempFirmware file(FirmwareBytes(6144), "a.bin");
    file.Add("b.bin", FirmwareBytes(100));
    dialog.ChooseFiles(file.Folder(), {"a.bin", "b.bin"});
    form->Command4.PerformClick();
    EXPECT_EQ(box.shown, std::vector<std::string>{"Firmware Updated"});
    EXPECT_EQ(programmer.image, FirmwareBytes(6144));
}

TEST_F(FirmwareButton, FailuresAreRetriedOnceAfterTheBlockingPauseUnlessTheFileIsUnusable) {
    struct Row {
        const char* name;
        std::size_t fileBytes;
        std::map<int, Answer> answers;
        std::map<int, Answer> answersOnce;
        std::vector<std::string> messages;
        std::vector<std::string> attemptEnds;
        int reprogramRequests;  // one per attempt that reached the widget; a second follows the pause
    };
    const std::string success = "Firmware Update Success!";
    const std::vector<Row> rows{
        {"page 5 refused twice", 6144, {{5, Answer::False}}, {}, {kFailed}, {"....x", "....x"}, 2},
        {"page 5 refused once", 6144, {}, {{5, Answer::False}}, {"Firmware Updated"}, {"....x", success}, 2},
        {"empty file", 0, {}, {}, {kEmptyFirmwareText, kFailed}, {"Opening File"}, 0},
        {"no answer", 6144, {{1, Answer::Silent}}, {}, {kTimeoutText, kTimeoutText, kFailed}, {"", ""}, 2},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        TempFirmware file(FirmwareBytes(row.fileBytes));
        programmer.answers = row.answers;
        programmer.answersOnce = row.answersOnce;
        box.shown.clear();
        events.sleptMs.clear();
        statusHistory.clear();
        port.writes.clear();
        dialog.ChooseFile(file.Path());
        form->Command4.PerformClick();

        EXPECT_EQ(box.shown, row.messages);
        EXPECT_EQ(AttemptEnds(), row.attemptEnds);
        EXPECT_EQ(events.sleptMs,
                  row.reprogramRequests == 2 ? std::vector<int>{kRetryPauseMs} : std::vector<int>{});
        EXPECT_EQ(programmer.reprogramRequests, row.reprogramRequests);
        EXPECT_TRUE(form->Timer1.Enabled());
        EXPECT_TRUE(form->Timer2.Enabled());
        ASSERT_FALSE(port.writes.empty());
        EXPECT_EQ(port.writes.back(), kGetParameters);
        programmer.reprogramRequests = 0;
    }
}

// The port closes while the update waits for page 3's answer: the attempt ends at once with the port's own
// description instead of waiting out the time-out, no second attempt follows on the closed port, and the
// window sees no port. A port chosen meanwhile opens once the update has ended.
TEST_F(FirmwareButton, PortClosedDuringTheUpdateEndsItAtOnce) {
    struct Row {
        const char* name;
        std::function<void()> whileWaiting;
        std::vector<std::string> messages;
        bool linkOpenAfter;
        int linkPort;
    };
    const std::vector<Row> rows{
        {"Search", [this] { form->Command2.PerformClick(); }, {"Port is closed", kFailed}, false, 16},
        {"a write the widget does not take",
         [this] { port.failWrites = true; },
         {"Write timed out", "Port is closed", kFailed},
         false,
         1},
        {"another port chosen", [this] { form->SelectPort(3); }, {"Port is closed", kFailed}, true, 3},
    };
    TempFirmware file(FirmwareBytes(6144));
    programmer.answers = {{3, Answer::Silent}};
    port.existing = {1, 3};
    form->PortOpened[3] = kTrue;
    form->timOutput.SetEnabled(true);
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        port.open = true;
        port.commPort = 1;
        port.failWrites = false;
        form->LinkOpen = kTrue;
        box.shown.clear();
        programmer.reprogramRequests = 0;
        bool acted = false;
        clock.onWait = [&] {
            if (programmer.pages == 3 && !std::exchange(acted, true)) row.whileWaiting();
        };
        form->UpdateFirmwareFromFile(file.Path());
        EXPECT_EQ(box.shown, row.messages);
        EXPECT_EQ(programmer.reprogramRequests, 1);
        EXPECT_EQ(FromVBool(form->LinkOpen), row.linkOpenAfter);
        EXPECT_EQ(port.open, row.linkOpenAfter);
        EXPECT_EQ(port.commPort, row.linkPort);
    }
}

TEST_F(FirmwareButton, SlowWidgetGetsTenSecondsForEveryPage) {
    TempFirmware file(FirmwareBytes(6144));
    programmer.replyDelayMs = 9500;
    EXPECT_TRUE(form->UpdateFirmwareFromFile(file.Path()));
    EXPECT_EQ(box.shown, std::vector<std::string>{"Firmware Updated"});
}

// sACN keeps its own time too: its sources time out and its stream ends while the update waits.
TEST_F(FirmwareButton, OutputPumpRunsWhileReceivePollAndStatusWait) {
    TempFirmware file(FirmwareBytes(6144));
    programmer.replyDelayMs = 50;
    form->timOutput.SetEnabled(true);
    bool pollOrStatusRan = false;
    bool sacnPaused = false;
    clock.onWait = [&] {
        pollOrStatusRan = pollOrStatusRan || form->Timer1.Enabled() || form->Timer2.Enabled();
        sacnPaused = sacnPaused || !form->timSacn.Enabled();
    };
    EXPECT_TRUE(form->UpdateFirmwareFromFile(file.Path()));
    EXPECT_FALSE(pollOrStatusRan);
    EXPECT_FALSE(sacnPaused);
    // About 50 ms per page at one frame every 20 ms.
    EXPECT_GE(programmer.outputFrames, 96 * 2);
    EXPECT_EQ(programmer.image, FirmwareBytes(6144));
}

TEST_F(FirmwareButton, SecondClickDuringAnUpdateIsIgnored) {
    TempFirmware file(FirmwareBytes(6144));
    dialog.ChooseFile(file.Path());
    dialog.ChooseFile(file.Path());
    clock.onWait = [this] { form->Command4.PerformClick(); };
    form->Command4.PerformClick();
    EXPECT_EQ(dialog.shownWith.size(), 1u);
    EXPECT_EQ(programmer.reprogramRequests, 1);
    EXPECT_EQ(box.shown, std::vector<std::string>{"Firmware Updated"});
}

TEST_F(FirmwareButton, DialogReplyThatCannotBeSplitIsShownAndTheWindowCarriesOn) {
    std::vector<std::string> names;
    for (int i = 1; i <= kNameListSize + 1; ++i) names.push_back(std::to_string(i));
    dialog.ChooseFiles("/fw", names);
    form->Command4.PerformClick();
    ASSERT_EQ(box.shown.size(), 1u);
    EXPECT_NE(box.shown[0].find("200"), std::string::npos) << box.shown[0];
    EXPECT_TRUE(form->Timer1.Enabled());
    EXPECT_TRUE(form->Timer2.Enabled());
    EXPECT_TRUE(port.writes.empty());
}

}  // namespace
