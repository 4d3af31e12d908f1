// vantor-host.exe with a simulated widget mapped as COM1: what reaches the widget, what the port scan finds,
// and a firmware update.

#include "prowidget_sim.h"
#include "wine_fixture.h"

namespace {

using wine::OnEachBuild;
namespace fs = std::filesystem;

constexpr std::uint8_t kOutputLabel = 6;

class HostWithAWidget : public OnEachBuild {
protected:
    void SetUp() override {
        OnEachBuild::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(wine->RegisterComponent());
        wine->MapComPort(1, sim.DevicePath());
    }

    wine::Outcome Host(std::vector<std::string> arguments, const std::string& input = {}) {
        arguments.insert(arguments.begin(), wine->BuildProgram("vantor-host.exe"));
        return wine->Run(arguments, std::chrono::seconds(90), input);
    }

    prowidget::Simulator sim;
};

TEST_P(HostWithAWidget, OutputsFiftyFramesASecondWithTheLevelsSet) {
    const auto outcome = Host(
        {"--port", "1", "--enable", "--set", "1=255", "--set", "2=128", "--headless", "--duration", "3"});
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    // The scan probed COM1 and listed the widget by its parameters reply.
    EXPECT_NE(outcome.output.find("Pro Widget - Com:  1"), std::string::npos) << outcome.output;

    std::vector<prowidget::Frame> frames;
    for (auto& frame : sim.TakeFrames())
        if (frame.label == kOutputLabel) frames.push_back(std::move(frame));
    ASSERT_GE(frames.size(), 100u);
    for (const auto& frame : frames) {
        ASSERT_EQ(frame.data.size(), 513u);
        EXPECT_EQ(frame.data[0], 0);
        EXPECT_EQ(frame.data[1], 255);
        EXPECT_EQ(frame.data[2], 128);
        EXPECT_EQ(frame.data[3], 0);
    }
    const std::chrono::duration<double> span = frames.back().at - frames.front().at;
    const double perSecond = static_cast<double>(frames.size() - 1) / span.count();
    EXPECT_NEAR(perSecond, 50.0, 1.0) << frames.size() << " frames in " << span.count() << " s";
}

TEST_P(HostWithAWidget, TakesLevelsFromStandardInputAndReportsBadLines) {
    const auto outcome =
        Host({"--port", "1", "--enable", "--stdin", "--headless", "--duration", "2", "--quiet"},
             "2 77\nbad line\n4 300\n# comment\n5 9\n");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("ignored input line 'bad line'"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("ignored input line '4 300': level 300 is outside 0 to 255"),
              std::string::npos)
        << outcome.output;
    const auto last = sim.LastFrame(kOutputLabel);
    ASSERT_TRUE(last.has_value());
    EXPECT_EQ(std::vector<std::uint8_t>(last->data.begin(), last->data.begin() + 6),
              (std::vector<std::uint8_t>{0, 0, 77, 0, 0, 9}));
}

TEST_P(HostWithAWidget, FlashesAFirmwareImageOf96Pages) {
    // A name beyond ASCII: the path travels as UTF-8 and must still open on Windows.
    const fs::path image = fs::temp_directory_path() / ("vantor-f\xC3\xAFrmware-" + GetParam().name + ".bin");
    const auto bytes = wine::WriteFirmwareImage(image, 42);

    const auto outcome =
        Host({"--port", "1", "--update-firmware", wine::Session::WindowsPath(image), "--headless"});
    fs::remove(image);
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("firmware update succeeded"), std::string::npos) << outcome.output;
    EXPECT_EQ(sim.PagesReceived(), 96u);
    EXPECT_EQ(sim.FlashedImage(), bytes);
}

VANTOR_ON_EACH_BUILD(HostWithAWidget);

}  // namespace
