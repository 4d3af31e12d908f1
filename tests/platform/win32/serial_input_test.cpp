// The serial port's input as an event, on a simulated widget that the Linux suite maps as COM1
// (tests/wine/serial_input_test.cpp, which names the port in VANTOR_TEST_COM_PORT and takes the widget away
// once it has answered a parameters request): input that arrives while nobody asks raises InputArrived, so
// does a device that goes, and a firmware update takes each page's answer as soon as it arrives.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "platform/win32/win32_event_loop.h"
#include "platform/win32/win32_serial_port.h"
#include "widget/firmware_update.h"

namespace {

using Clock = std::chrono::steady_clock;

class NoMessageBox : public MessageBox {
public:
    void Show(const std::string& text) override { ADD_FAILURE() << text; }
    bool IsOpen() const override { return false; }
};

class SerialInput : public ::testing::Test {
protected:
    void SetUp() override {
        const char* port = std::getenv("VANTOR_TEST_COM_PORT");
        if (!port) GTEST_SKIP() << "VANTOR_TEST_COM_PORT names no port with a widget";
        serial.SetCommPort(std::atoi(port));
        serial.SetPortOpen(true);
        serial.InputArrived = [this] { ++raised; };
    }

    // Runs the thread's messages until the condition holds, for at most 20 s.
    static bool RunUntil(const std::function<bool()>& condition) {
        const auto end = Clock::now() + std::chrono::seconds(20);
        while (!condition() && Clock::now() < end) Win32EventLoop::RunFor(10);
        return condition();
    }

    MessageWindow window{L"serial input test"};
    Win32SerialPort serial{window};
    NoMessageBox messages;
    ProWidget prowidget{serial, messages};
    int raised = 0;
};

TEST_F(SerialInput, RaisedForInputThatArrivesWhileIdleAndForADeviceThatGoes) {
    prowidget.InitWidgetPackets();
    prowidget.SendGetParameters();
    ASSERT_TRUE(RunUntil([&] { return raised > 0; })) << "the parameters reply raised nothing";
    EXPECT_GT(serial.InBufferCount(), 0);
    EXPECT_EQ(serial.Input()[1], kLabelGetParameters);

    // The Linux side takes the widget away a little after the parameters request.
    const int before = raised;
    ASSERT_TRUE(RunUntil([&] { return raised > before; })) << "the device went unannounced";
    EXPECT_THROW(serial.InBufferCount(), SerialError);
    EXPECT_FALSE(serial.PortOpen());
}

// The page wait as the window runs it, counting the waits that ran out with no event to end them.
class CountingWindow : public FirmwareUpdateWindow {
public:
    std::string StatusText() const override { return status; }
    void SetStatusText(const std::string& text) override { status = text; }
    void StartReplyTimeout() override {
        deadline = Clock::now() + std::chrono::milliseconds(kReplyTimeoutMs);
    }
    bool ReplyTimeoutRunning() const override { return Clock::now() < deadline; }
    void WaitForEvents(int maxMs) override {
        ++waits;
        if (MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(maxMs), QS_ALLINPUT,
                                        MWMO_INPUTAVAILABLE) == WAIT_TIMEOUT)
            ++ranOut;
        Win32EventLoop().ProcessEvents();
    }
    FrameAssembler::TimePoint Now() const override { return Clock::now(); }
    void ShowMessage(const std::string& text) override { messages.push_back(text); }
    void Log(const std::string&) override {}

    std::string status;
    Clock::time_point deadline;
    int waits = 0;
    int ranOut = 0;
    std::vector<std::string> messages;
};

TEST_F(SerialInput, FirmwareUpdateTakesEachPageAnswerAsSoonAsItArrives) {
    char folder[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, folder);
    const std::string image = std::string(folder) + "vantor-serial-input.bin";
    std::ofstream(image, std::ios::binary) << std::string(kFirmwareImageBytes, '\x5A');
    CountingWindow counting;
    const FirmwareAttempt outcome = UpdateFirmware(prowidget, counting, image);
    DeleteFileA(image.c_str());
    ASSERT_EQ(outcome, FirmwareAttempt::Updated) << counting.status;
    EXPECT_GE(counting.waits, kFirmwarePages / 2);
    // Only the wait after the last page, for an answer that should not come, may run out.
    EXPECT_LE(counting.ranOut, 2) << "of " << counting.waits << " waits";
}

}  // namespace
