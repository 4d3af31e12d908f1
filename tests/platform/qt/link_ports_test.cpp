#include <gtest/gtest.h>

#include <QApplication>
#include <QThread>
#include <cstdlib>
#include <map>
#include <memory>

#include "platform/qt/qt_event_loop.h"
#include "platform/qt/qt_serial_port.h"
#include "prowidget_sim.h"
#include "support/fakes.h"
#include "window/form1.h"

namespace {

using namespace std::chrono_literals;
using Entries = std::vector<std::string>;

void EnsureApplication() {
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "tests_platform";
    static char* argv[] = {name, nullptr};
    static QApplication app(argc, argv);
}

// Port discovery over Qt's serial port against simulated widgets on pseudo-terminals. The Art-Net side is a
// fake: nothing here needs the network.
class PortsWithSimulatedWidgets : public ::testing::Test {
protected:
    void SetUp() override { EnsureApplication(); }
    void TearDown() override {
        form.reset();
        unsetenv("VANTOR_SERIAL_PORTS");
    }

    prowidget::Simulator& Widget(int port) {
        auto& sim = sims[port];
        if (!sim) sim = std::make_unique<prowidget::Simulator>();
        return *sim;
    }

    Form1& Load() {
        std::string list;
        const int highest = sims.empty() ? 1 : sims.rbegin()->first;
        for (int port = 1; port <= highest; ++port) {
            if (port > 1) list += ",";
            if (sims.count(port)) list += sims[port]->DevicePath();
        }
        setenv("VANTOR_SERIAL_PORTS", list.c_str(), 1);
        form = std::make_unique<Form1>(WindowServices{serial, socket, box, events, nullptr, {}, "", "."});
        form->Form_Load();
        return *form;
    }

    // Runs the receive poll until the widget's answers have come in.
    void PollFor(std::chrono::milliseconds span) {
        const auto end = std::chrono::steady_clock::now() + span;
        while (std::chrono::steady_clock::now() < end) {
            form->Timer1.Fire();
            QThread::msleep(2);
        }
    }

    std::map<int, std::unique_ptr<prowidget::Simulator>> sims;
    QtSerialPort serial;
    FakeUdpSocket socket;
    RecordingMessageBox box;
    QtEventLoop events;
    std::unique_ptr<Form1> form;
};

TEST_F(PortsWithSimulatedWidgets, NoPortsAtAllLeavesTheListEmptyAndNothingOpen) {
    Form1& form = Load();
    EXPECT_TRUE(form.DevList.Items().empty());
    for (int n = 1; n <= 16; ++n) EXPECT_EQ(form.PortOpened[static_cast<std::size_t>(n)], kFalse) << n;
    EXPECT_EQ(form.LinkOpen, kFalse);
    EXPECT_FALSE(serial.PortOpen());
    EXPECT_TRUE(box.shown.empty());
}

TEST_F(PortsWithSimulatedWidgets, WidgetsOnPorts3And12AreFoundAndOthersAreNot) {
    Widget(3).SetParameters({44, 2, 9, 1, 40});
    Widget(12).SetParameters({7, 3, 20, 2, 30});
    Widget(5).SetAnswerNotParameters(true);
    Widget(5).SetGarbageBetweenFrames({0x00, 0xE7, 0x41});
    Widget(7).SetParameters({99, 0, 9, 1, 40});  // firmware high byte 0
    Widget(9).SetSilent(true);
    Form1& form = Load();

    EXPECT_EQ(form.DevList.Items(), (Entries{"Pro Widget - Com:  3", "Pro Widget - Com:  12"}));
    EXPECT_EQ(form.prowidget.WidgetParameters.FirmwareMsb, 3) << "the last answer, port 12's, is kept";
    EXPECT_EQ(form.prowidget.WidgetParameters.BreakTime, 20);
    for (int n = 1; n <= 16; ++n) {
        const bool exists = sims.count(n) > 0;
        EXPECT_EQ(form.PortOpened[static_cast<std::size_t>(n)], ToVBool(exists)) << n;
    }
    for (int n : {3, 5, 7, 9, 12}) EXPECT_EQ(Widget(n).GetParametersRequests(), 1u) << n;
    EXPECT_FALSE(serial.PortOpen()) << "the scan leaves every port closed";
    EXPECT_EQ(form.LinkOpen, kFalse) << "no port 16";
}

TEST_F(PortsWithSimulatedWidgets, AnUnlistedDeviceCanStillBeChosenFromTheBareList) {
    Widget(5).SetAnswerNotParameters(true);
    Widget(5).SetGarbageBetweenFrames({0x00, 0xE7, 0x41});
    Form1& form = Load();
    ASSERT_TRUE(form.DevList.Items().empty());
    form.Command5.PerformClick();
    form.DevList.SetListIndex(4);
    EXPECT_EQ(form.Label5.Caption(), "Current Port: 5");
    EXPECT_TRUE(serial.PortOpen());
    EXPECT_EQ(serial.CommPort(), 5);
    EXPECT_EQ(form.LinkOpen, kTrue);
    EXPECT_TRUE(Widget(5).WaitForFrames(3, 2, 2s)) << "the Refresh after the choice asked again";
}

TEST_F(PortsWithSimulatedWidgets, ChoosingAWidgetOpensItAndRefreshShowsItsAnswer) {
    Widget(3).SetParameters({44, 2, 9, 1, 40});
    Widget(12).SetParameters({7, 3, 20, 2, 30});
    Form1& form = Load();
    form.SelectPort(3);
    ASSERT_EQ(form.LinkOpen, kTrue);
    EXPECT_EQ(form.DevList.Text(), "Pro Widget - Com:  3");
    // The panel first shows what the scan stored (port 12's), the Refresh's answer shows at the next one.
    EXPECT_EQ(form.Label1.Caption(), "Firmware Version: 3.7");
    PollFor(300ms);
    form.cfg_request.PerformClick();
    EXPECT_EQ(form.Label1.Caption(), "Firmware Version: 2.44");
    EXPECT_EQ(form.Label2.Caption(), "BreakTime: 96.03us");

    // Apply goes to the chosen widget only.
    form.HScroll1.SetValue(10);
    form.Command3.PerformClick();
    ASSERT_TRUE(Widget(3).WaitForFrames(4, 1, 2s));
    EXPECT_EQ(Widget(3).CurrentParameters().breakTime, 10);
    EXPECT_EQ(Widget(12).SetParametersRequests(), 0u);

    // Moving to port 12 closes port 3 first.
    form.SelectPort(12);
    EXPECT_EQ(serial.CommPort(), 12);
    EXPECT_EQ(form.LinkOpen, kTrue);
    EXPECT_EQ(form.Label5.Caption(), "Current Port: 12");
}

TEST_F(PortsWithSimulatedWidgets, StartUpOpensPort16WhenItExists) {
    Widget(16).SetParameters({1, 1, 9, 1, 40});
    Form1& form = Load();
    EXPECT_EQ(form.DevList.Items(), (Entries{"Pro Widget - Com:  16"}));
    EXPECT_EQ(form.LinkOpen, kTrue);
    EXPECT_TRUE(serial.PortOpen());
    EXPECT_EQ(serial.CommPort(), 16);
}

TEST_F(PortsWithSimulatedWidgets, SearchStopsTheOutputMonitorAndFindsTheWidgetAgain) {
    Widget(3).SetParameters({44, 2, 9, 1, 40});
    Form1& form = Load();
    form.SelectPort(3);
    form.Timer3.SetEnabled(true);
    form.Command2.PerformClick();
    EXPECT_FALSE(form.Timer3.Enabled());
    EXPECT_EQ(form.DevList.Items(), (Entries{"Pro Widget - Com:  3"}));
    EXPECT_EQ(form.LinkOpen, kFalse) << "the scan closed the link port";
    EXPECT_FALSE(serial.PortOpen());
}

}  // namespace
