// The control window's native controls under wine, with a simulated widget mapped as COM1: the Windows test
// program drives the window through real window messages and reads it back through the Win32 API; here the
// widget tells what reached it, the firmware image chosen in the dialog above all.

#include "prowidget_sim.h"
#include "wine_fixture.h"

namespace {

using wine::OnEachBuild;
namespace fs = std::filesystem;

class WindowWithAWidget : public OnEachBuild {
protected:
    void SetUp() override {
        OnEachBuild::SetUp();
        if (IsSkipped()) return;
        wine->MapComPort(1, sim.DevicePath());
    }

    prowidget::Simulator sim;
};

TEST_P(WindowWithAWidget, NativeControlsWorkFromRealWindowMessages) {
    const fs::path image = fs::temp_directory_path() / ("vantor-window-firmware-" + GetParam().name + ".bin");
    const auto bytes = wine::WriteFirmwareImage(image, 7);
    setenv("VANTOR_TEST_FIRMWARE", wine::Session::WindowsPath(image).c_str(), 1);

    const auto outcome = wine->Run({wine->BuildProgram("tests_window_win32.exe")}, std::chrono::seconds(180));
    unsetenv("VANTOR_TEST_FIRMWARE");
    fs::remove(image);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("[  PASSED  ]"), std::string::npos) << outcome.output;
    EXPECT_EQ(sim.PagesReceived(), 96u);
    EXPECT_EQ(sim.FlashedImage(), bytes);
}

VANTOR_ON_EACH_BUILD(WindowWithAWidget);

}  // namespace
