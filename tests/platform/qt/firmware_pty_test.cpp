// The firmware update end to end: the window on Qt (offscreen), its serial port on the simulated widget's
// pseudo-terminal, Qt's own file dialog answered through its seam.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/centring.h"
#include "platform/qt/form1_window.h"
#include "prowidget_sim.h"
#include "qt_test_app.h"
#include "widget/firmware_temp_file.h"
#include "widget/firmware_update.h"

namespace {

using Bytes = std::vector<std::uint8_t>;
using prowidget::PageAnswer;
constexpr const char* kFailed = "Failed, Please Try Again.";

WindowRect FrameOf(const QWidget& widget) {
    const QRect frame = widget.frameGeometry();
    return {frame.x(), frame.y(), frame.x() + frame.width(), frame.y() + frame.height()};
}

struct FirmwareOverPty : ::testing::Test {
    void SetUp() override {
        // The application goes with the test: Qt's dialog leaves threads behind that must not outlive it.
        if (QCoreApplication::instance() == nullptr) app = std::make_unique<QApplication>(argc, argv);
        setenv("VANTOR_SERIAL_PORTS", sim.DevicePath().c_str(), 1);
        window = std::make_unique<Form1Window>();
        Form1& form = window->Form();
        form.prowidget.InitWidgetPackets();
        form.MSComm1.SetCommPort(1);
        form.MSComm1.SetPortOpen(true);
        window->Messages().Observer = [this](const std::string& text, QMessageBox* box) {
            messages.push_back(text);
            if (box != nullptr) box->accept();
        };
    }
    void TearDown() override {
        window.reset();
        app.reset();
        unsetenv("VANTOR_SERIAL_PORTS");
    }
    Form1& Form() { return window->Form(); }

    int argc = 1;
    char name[16] = "tests_platform";
    char* argv[2] = {name, nullptr};
    std::unique_ptr<QApplication> app;
    prowidget::Simulator sim;
    std::unique_ptr<Form1Window> window;
    std::vector<std::string> messages;
};

TEST_F(FirmwareOverPty, ImageIsFlashedWhileTheOutputPumpKeepsSending) {
    TempFirmware file(FirmwareBytes(6144 + 100));
    sim.SetReplyDelay(std::chrono::milliseconds(5));
    Form().timOutput.SetEnabled(true);

    EXPECT_TRUE(Form().UpdateFirmwareFromFile(file.Path()));

    const Bytes contents = FirmwareBytes(6144 + 100);
    EXPECT_EQ(sim.FlashedImage(), Bytes(contents.begin(), contents.begin() + 6144));
    EXPECT_EQ(sim.PagesReceived(), 96u);
    EXPECT_EQ(messages, std::vector<std::string>{"Firmware Updated"});
    EXPECT_EQ(Form().StatusBar1.SimpleText(), "Firmware Update Success!");
    EXPECT_TRUE(sim.WaitForFrames(3, 1, std::chrono::milliseconds(3000)));
    EXPECT_EQ(sim.BadFrames(), 0u);
    EXPECT_TRUE(Form().Timer1.Enabled());
    EXPECT_TRUE(Form().Timer2.Enabled());

    // Output frames arrived between the first and the last page, and the pages still came in order.
    const auto frames = sim.TakeFrames();
    std::size_t firstPage = frames.size(), lastPage = 0, outputBetween = 0;
    for (std::size_t i = 0; i < frames.size(); ++i) {
        if (frames[i].label != 2) continue;
        firstPage = std::min(firstPage, i);
        lastPage = i;
    }
    for (std::size_t i = firstPage; i < lastPage; ++i) outputBetween += frames[i].label == 6 ? 1 : 0;
    EXPECT_GT(outputBetween, 0u);
}

TEST_F(FirmwareOverPty, RefusedPageFailsBothAttemptsFromTheStart) {
    TempFirmware file(FirmwareBytes(6144));
    sim.SetPageAnswer(5, PageAnswer::False);
    std::vector<std::string> attemptEnds;
    Form().StatusBar1.Changed = [&] {
        if (Form().StatusBar1.SimpleText() == "Opening File" && !attemptEnds.empty()) return;
        if (Form().StatusBar1.SimpleText().find('x') != std::string::npos)
            attemptEnds.push_back(Form().StatusBar1.SimpleText());
    };
    EXPECT_FALSE(Form().UpdateFirmwareFromFile(file.Path()));
    EXPECT_EQ(attemptEnds, (std::vector<std::string>{"....x", "....x"}));
    EXPECT_EQ(messages, std::vector<std::string>{kFailed});
    EXPECT_EQ(sim.ReprogramRequests(), 2u);
}

TEST_F(FirmwareOverPty, ButtonOpensQtsDialogCentredOverTheWindowAndFlashesTheChoice) {
    TempFirmware file(FirmwareBytes(6144), "widget.bin");
    window->Show();
    WindowRect dialogAt, ownerAt;
    std::string title;
    window->FileDialog().SetAnswer([&](QFileDialog& dialog) {
        dialogAt = FrameOf(dialog);
        ownerAt = FrameOf(window->View());
        title = dialog.windowTitle().toStdString();
        dialog.selectFile(QString::fromStdString(file.Path()));
        static_cast<QDialog&>(dialog).accept();
    });
    Form().Command4.PerformClick();

    EXPECT_EQ(title, "Update Firmware");
    const WindowPosition centred = CentreOverOwner(ownerAt, dialogAt);
    EXPECT_EQ(dialogAt.Left, centred.X);
    EXPECT_EQ(dialogAt.Top, centred.Y);
    EXPECT_EQ(messages, std::vector<std::string>{"Firmware Updated"});
    EXPECT_EQ(sim.FlashedImage(), FirmwareBytes(6144));
}

TEST_F(FirmwareOverPty, CancelledQtDialogSendsNothing) {
    window->Show();
    window->FileDialog().SetAnswer([](QFileDialog& dialog) { dialog.reject(); });
    Form().Command4.PerformClick();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(sim.ReprogramRequests(), 0u);
    EXPECT_TRUE(Form().Timer1.Enabled());
    EXPECT_TRUE(Form().Timer2.Enabled());
}

TEST_F(FirmwareOverPty, HeadlessDialogWithNoOneToAnswerCountsAsCancelled) {
    Form().Command4.PerformClick();
    EXPECT_TRUE(messages.empty());
    EXPECT_EQ(sim.ReprogramRequests(), 0u);
    EXPECT_TRUE(Form().Timer1.Enabled());
}

// The receive poll runs when the widget's bytes arrive, piece by piece, never on an idle clock, and not at
// all while an update reads the page answers itself.
TEST_F(FirmwareOverPty, ReceivePollTicksOnInputAndStaysStoppedDuringAnUpdate) {
    int ticks = 0, ticksDuringUpdate = 0;
    bool updating = false;
    auto poll = Form().Timer1.Tick;
    Form().Timer1.Tick = [&] {
        ++ticks;
        ticksDuringUpdate += updating ? 1 : 0;
        poll();
    };
    RunEventsFor(std::chrono::milliseconds(50));  // the one tick that follows the timer's start
    ticks = 0;
    RunEventsFor(std::chrono::milliseconds(100));
    EXPECT_EQ(ticks, 0) << "an idle port was asked for input";

    sim.Send({0x7E, 0x03, 0x05, 0x00, 44});
    ASSERT_TRUE(RunEventsUntil([&] { return ticks > 0; }, std::chrono::seconds(2)));
    sim.Send({2, 33, 1, 40, 0xE7});
    EXPECT_TRUE(RunEventsUntil([&] { return Form().prowidget.WidgetParameters.BreakTime == 33; },
                               std::chrono::seconds(2)));
    // A frame cut short is given up in time, although nothing more comes.
    sim.Send({0x7E, 0x03, 0x05, 0x00, 44});
    EXPECT_TRUE(RunEventsUntil([&] { return Form().prowidget.ReplyStatus == kStatusLengthMismatch; },
                               std::chrono::seconds(2)));

    TempFirmware file(FirmwareBytes(6144));
    updating = true;
    EXPECT_TRUE(Form().UpdateFirmwareFromFile(file.Path()));
    updating = false;
    EXPECT_EQ(ticksDuringUpdate, 0);
    // The parameters asked for after the update are read by the poll again.
    EXPECT_TRUE(RunEventsUntil([&] { return Form().prowidget.WidgetParameters.BreakTime == 9; },
                               std::chrono::seconds(2)));
}

// Slow: two full ten-second time-outs on the real clock.
TEST_F(FirmwareOverPty, SilentWidgetTimesOutTwiceAndAStaleAcknowledgementDoesNotCount) {
    TempFirmware file(FirmwareBytes(6144));
    sim.SetPageAnswer(1, PageAnswer::Silent);
    sim.Send({0x7E, 0x02, 0x04, 0x00, 'T', 'R', 'U', 'E', 0xE7});
    EXPECT_FALSE(Form().UpdateFirmwareFromFile(file.Path()));
    EXPECT_EQ(messages, (std::vector<std::string>{kTimeoutText, kTimeoutText, kFailed}));
    EXPECT_EQ(sim.ReprogramRequests(), 2u);
}

}  // namespace
