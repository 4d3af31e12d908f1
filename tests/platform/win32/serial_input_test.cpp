// The serial port's input as an event, on a simulated widget that the Linux suite maps as COM1
// (tests/wine/serial_input_test.cpp, which names the port in VANTOR_TEST_COM_PORT and takes the widget away
// once it has been asked for its parameters a second time): input that arrives while nobody asks raises
// InputArrived, so does a device that goes, and a firmware update takes each page's answer as soon as it
// arrives.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <functional>

#include "platform/win32/win32_event_loop.h"
#include "platform/win32/win32_serial_port.h"
#include "widget/firmware_update.h"
#include "widget/frame_assembler.h"

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
};

TEST_F(SerialInput, RaisedForInputThatArrivesWhileIdleAndForADeviceThatGoes) {
    // Each event's input is taken at once, as the window does. The reply may come in pieces, each with its
    // event, so they are gathered until the frame is whole; one fixed time lets no piece go stale, however
    // long a loaded machine keeps the rest.
    std::vector<std::vector<std::uint8_t>> replies;
    FrameAssembler frames{[&](std::vector<std::uint8_t>& frame) { replies.push_back(frame); }};
    bool gone = false;
    serial.InputArrived = [&] {
        try {
            frames.Feed(serial.Input(), FrameAssembler::TimePoint{});
        } catch (const SerialError&) {
            gone = true;
        }
    };
    prowidget.InitWidgetPackets();
    prowidget.SendGetParameters();
    ASSERT_TRUE(RunUntil([&] { return !replies.empty(); }))
        << "no whole parameters reply, " << frames.CarriedBytes() << " bytes of one held";
    EXPECT_EQ(replies.front()[1], kLabelGetParameters);

    // Asking again tells the Linux side that the reply is here: it then takes the widget away.
    prowidget.SendGetParameters();
    ASSERT_TRUE(RunUntil([&] { return gone; })) << "the device went unannounced";
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
