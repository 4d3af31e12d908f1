// A widget that stops reading while output runs, as the user meets it: the window and its serial port on
// the simulated widget's pseudo-terminal, its timers on Qt's event loop.

#include <gtest/gtest.h>

#include <QMessageBox>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/qt/form1_window.h"
#include "prowidget_sim.h"
#include "qt_test_app.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

TEST(StalledWidget, CostsOneMessageAndNoFrozenWindow) {
    EnsureQtApplication();
    prowidget::Simulator sim;
    setenv("VANTOR_SERIAL_PORTS", sim.DevicePath().c_str(), 1);
    Form1Window window;
    std::vector<std::string> messages;
    window.Messages().Observer = [&](const std::string& text, QMessageBox* box) {
        messages.push_back(text);
        if (box != nullptr) box->accept();
    };
    Form1& form = window.Form();
    form.prowidget.InitWidgetPackets();
    form.MSComm1.SetCommPort(1);
    form.LinkOpen = ToVBool(form.init());
    std::vector<Clock::time_point> statusTicks;
    form.Timer2.Tick = [&] { statusTicks.push_back(Clock::now()); };

    sim.SetStallAfter(10);
    form.timOutput.SetEnabled(true);
    EXPECT_TRUE(RunEventsUntil([&] { return !FromVBool(form.LinkOpen); }, 15s));
    RunEventsFor(1s);

    EXPECT_EQ(messages, std::vector<std::string>{"Write timed out"});
    EXPECT_FALSE(form.MSComm1.PortOpen());
    // The one write time-out is the only pause the status timer sees.
    int pauses = 0;
    for (std::size_t i = 1; i < statusTicks.size(); ++i)
        pauses += statusTicks[i] - statusTicks[i - 1] > 300ms;
    EXPECT_LE(pauses, 1);
    unsetenv("VANTOR_SERIAL_PORTS");
}

}  // namespace
