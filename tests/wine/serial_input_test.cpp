// The Win32 serial port's input events, run by the Windows test program on a simulated widget mapped as COM1
// (tests/platform/win32/serial_input_test.cpp): a parameters reply and a widget that goes, and a firmware
// update whose page answers are taken as they arrive.

#include <thread>

#include "prowidget_sim.h"
#include "wine_fixture.h"

namespace {

using namespace std::chrono_literals;
using wine::OnEachBuild;

class SerialInputOnCom1 : public OnEachBuild {
protected:
    void SetUp() override {
        OnEachBuild::SetUp();
        if (IsSkipped()) return;
        wine->MapComPort(1, sim->DevicePath());
        setenv("VANTOR_TEST_COM_PORT", "1", 1);
    }
    void TearDown() override { unsetenv("VANTOR_TEST_COM_PORT"); }

    std::unique_ptr<wine::Running> StartTests(const std::string& filter) {
        return wine->Start(
            {wine->BuildProgram("tests_platform_win32.exe"), "--gtest_filter=SerialInput." + filter});
    }

    std::optional<prowidget::Simulator> sim{std::in_place};
};

TEST_P(SerialInputOnCom1, RaisedForInputWhileIdleAndForAWidgetThatGoes) {
    // In pieces, as a loaded machine may deliver it.
    sim->SetSplitWrites(3);
    const auto tests = StartTests("RaisedFor*");
    // The second request comes once the Windows side holds the whole first reply.
    for (int tries = 0; tries < 1200 && sim->GetParametersRequests() < 2; ++tries)
        std::this_thread::sleep_for(50ms);
    ASSERT_EQ(sim->GetParametersRequests(), 2u) << tests->Wait(10s).output;
    sim.reset();
    const auto outcome = tests->Wait(60s);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("[  PASSED  ] 1 test"), std::string::npos) << outcome.output;
}

TEST_P(SerialInputOnCom1, FirmwarePageAnswersAreTakenAsTheyArrive) {
    const auto outcome = StartTests("Firmware*")->Wait(120s);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("[  PASSED  ] 1 test"), std::string::npos) << outcome.output;
    EXPECT_EQ(sim->PagesReceived(), 96u);
}

VANTOR_ON_EACH_BUILD(SerialInputOnCom1);

}  // namespace
