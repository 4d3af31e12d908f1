#include <gtest/gtest.h>

#include <QThread>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>

#include "platform/qt/qt_serial_port.h"
#include "prowidget_sim.h"
#include "qt_test_app.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const Bytes kGetParameters = {0x7E, 0x03, 0x02, 0x00, 0x00, 0x00, 0xE7};

class QtSerialPortOverSimulator : public ::testing::Test {
protected:
    void SetUp() override {
        EnsureQtApplication();
        simulator = std::make_unique<prowidget::Simulator>();
        setenv("VANTOR_SERIAL_PORTS", (",," + simulator->DevicePath()).c_str(), 1);  // the widget is port 3
    }

    void OpenWidgetPort() {
        port.SetCommPort(3);
        port.SetPortOpen(true);
        ASSERT_TRUE(port.PortOpen());
    }

    // Waits with a blocking sleep, as the port scan does: no event loop runs meanwhile. The bytes may come in
    // pieces, and late on a loaded machine.
    int WaitForInputWithoutEvents(int atLeast) {
        for (int round = 0; round < 2000 && port.InBufferCount() < atLeast; ++round) QThread::msleep(10);
        return port.InBufferCount();
    }

    std::unique_ptr<prowidget::Simulator> simulator;
    QtSerialPort port;
};

TEST_F(QtSerialPortOverSimulator, RequestIsAnsweredAndSeenWithoutAnEventLoop) {
    OpenWidgetPort();
    port.Output(kGetParameters);
    ASSERT_EQ(WaitForInputWithoutEvents(10), 10);
    const Bytes reply = port.Input();
    const Bytes expected = {0x7E, 0x03, 0x05, 0x00, 44, 2, 9, 1, 40, 0xE7};
    EXPECT_EQ(reply, expected);
    EXPECT_EQ(port.InBufferCount(), 0);
    EXPECT_EQ(simulator->GetParametersRequests(), 1u);
}

TEST_F(QtSerialPortOverSimulator, EveryByteValuePassesUnchanged) {
    OpenWidgetPort();
    Bytes frame = {0x7E, 0x06, 0x01, 0x02};
    Bytes data(513);
    for (std::size_t index = 0; index < data.size(); ++index)
        data[index] = static_cast<std::uint8_t>(index * 7);
    frame.insert(frame.end(), data.begin(), data.end());
    frame.push_back(0xE7);
    port.Output(frame);
    ASSERT_TRUE(simulator->WaitForFrames(6, 1, 20s));
    EXPECT_EQ(simulator->LastFrame(6)->data, data);
}

TEST_F(QtSerialPortOverSimulator, ClearInBufferDiscardsWhatWaits) {
    OpenWidgetPort();
    simulator->Send({1, 2, 3, 0x7E, 0xE7});
    ASSERT_EQ(WaitForInputWithoutEvents(5), 5);
    port.ClearInBuffer();
    EXPECT_EQ(port.InBufferCount(), 0);
    EXPECT_TRUE(port.Input().empty());
}

TEST_F(QtSerialPortOverSimulator, PortNumberIsRefusedWhileOpenAndOutsideOneToSixteen) {
    EXPECT_THROW(port.SetCommPort(0), SerialError);
    EXPECT_THROW(port.SetCommPort(17), SerialError);
    EXPECT_EQ(port.CommPort(), 1);
    OpenWidgetPort();
    EXPECT_THROW(port.SetCommPort(4), SerialError);
    EXPECT_THROW(port.SetPortOpen(true), SerialError);
    EXPECT_EQ(port.CommPort(), 3);
    port.SetPortOpen(false);
    EXPECT_FALSE(port.PortOpen());
    EXPECT_NO_THROW(port.SetCommPort(4));
}

TEST_F(QtSerialPortOverSimulator, NumbersWithoutADeviceFailToOpenWithADescription) {
    for (int number : {1, 2, 16}) {
        port.SetCommPort(number);
        try {
            port.SetPortOpen(true);
            ADD_FAILURE() << "port " << number << " opened";
        } catch (const SerialError& failure) {
            EXPECT_STRNE(failure.what(), "");
        }
        EXPECT_FALSE(port.PortOpen());
    }
}

TEST_F(QtSerialPortOverSimulator, ClosedPortRefusesInputOutputAndTheWaitingCount) {
    EXPECT_THROW(port.InBufferCount(), SerialError);
    EXPECT_THROW(port.Input(), SerialError);
    EXPECT_THROW(port.Output(kGetParameters), SerialError);
    EXPECT_THROW(port.ClearInBuffer(), SerialError);
}

TEST_F(QtSerialPortOverSimulator, VanishedDeviceFailsOnceThenThePortIsClosedAndCanBeReopened) {
    OpenWidgetPort();
    port.Output(kGetParameters);
    simulator.reset();
    EXPECT_THROW(port.Output(kGetParameters), SerialError);
    EXPECT_FALSE(port.PortOpen());

    simulator = std::make_unique<prowidget::Simulator>();
    setenv("VANTOR_SERIAL_PORTS", (",," + simulator->DevicePath()).c_str(), 1);
    port.SetPortOpen(true);
    port.Output(kGetParameters);
    EXPECT_EQ(WaitForInputWithoutEvents(10), 10);
}

TEST_F(QtSerialPortOverSimulator, DeviceGoneWhileOnlyReadingClosesThePort) {
    OpenWidgetPort();
    simulator.reset();
    EXPECT_THROW(port.InBufferCount(), SerialError);
    EXPECT_FALSE(port.PortOpen());
}

// A device that stops reading: writes fill the line, then one write fails after the time-out and closes the
// port, so that no later write waits again.
TEST_F(QtSerialPortOverSimulator, StalledDeviceFailsOneWriteAfterTheTimeOutAndThePortCloses) {
    OpenWidgetPort();
    simulator->SetStallAfter(0);
    const Bytes frame(518, 0x55);
    int written = 0;
    std::string failure;
    const auto started = std::chrono::steady_clock::now();
    try {
        for (; written < 100000; ++written) port.Output(frame);
    } catch (const SerialError& error) {
        failure = error.what();
    }
    const auto spent = std::chrono::steady_clock::now() - started;
    EXPECT_EQ(failure, "Write timed out");
    EXPECT_GT(written, 0);
    EXPECT_FALSE(port.PortOpen());
    EXPECT_GE(spent, std::chrono::milliseconds(QtSerialPort::kWriteTimeoutMs));
    EXPECT_THROW(port.Output(frame), SerialError);
}

TEST_F(QtSerialPortOverSimulator, InputArrivingThroughTheEventLoopIsKeptInOrder) {
    OpenWidgetPort();
    simulator->Send({0x10, 0x11});
    RunEventsUntil([&] { return port.InBufferCount() >= 2; }, 20s);
    simulator->Send({0x12});
    EXPECT_EQ(WaitForInputWithoutEvents(3), 3);
    EXPECT_EQ(port.Input(), (Bytes{0x10, 0x11, 0x12}));
}

}  // namespace
