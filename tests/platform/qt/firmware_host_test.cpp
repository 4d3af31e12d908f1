// `vantor-host --update-firmware FILE` as a user runs it: the stand-in host loads the plug-in through its C
// interface, chooses the port that names the simulated widget, and flashes the file.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "prowidget_sim.h"
#include "widget/firmware_temp_file.h"

namespace {

struct HostRun {
    int exitCode = -1;
    std::string errors;
};

HostRun RunHost(const std::string& devicePath, const std::string& firmware) {
    const char* buildDir = std::getenv("VANTOR_BUILD_DIR");
    const std::string host = std::string(buildDir != nullptr ? buildDir : ".") + "/vantor-host";
    const TempFirmware log({}, "host.log");
    const std::string command = "VANTOR_SERIAL_PORTS='" + devicePath + "' VANTOR_ARTNET_INTERFACE=lo '" +
                                host + "' --headless --port 1 --update-firmware '" + firmware + "' 2>'" +
                                log.Path() + "' >/dev/null";
    HostRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(log.Path());
    std::stringstream text;
    text << in.rdbuf();
    run.errors = text.str();
    return run;
}

TEST(FirmwareFromTheHost, UpdateSucceedsWithExitCodeZeroAndTheWidgetHoldsTheImage) {
    prowidget::Simulator sim;
    TempFirmware file(FirmwareBytes(6144));
    const HostRun run = RunHost(sim.DevicePath(), file.Path());
    EXPECT_EQ(run.exitCode, 0) << run.errors;
    EXPECT_EQ(sim.FlashedImage(), FirmwareBytes(6144));
    // The reply to the parameters request sent when the port was chosen comes during page 1's wait: set
    // aside, it costs no second attempt.
    EXPECT_EQ(sim.ReprogramRequests(), 1u);
    EXPECT_EQ(sim.FrameCount(2), 96u);
    EXPECT_NE(run.errors.find("Firmware Updated"), std::string::npos) << run.errors;
}

TEST(FirmwareFromTheHost, FailureEndsWithNonZeroExitAndTheFailureMessageInTheLog) {
    struct Row {
        const char* name;
        std::size_t fileBytes;
        bool refusePage5;
        const char* expectedText;
        std::size_t pagesSent;
    };
    const std::vector<Row> rows{
        {"refused page", 6144, true, "Failed, Please Try Again.", 10},
        {"empty file", 0, false, "The firmware file is empty.", 0},
    };
    for (const auto& row : rows) {
        prowidget::Simulator sim;
        if (row.refusePage5) sim.SetPageAnswer(5, prowidget::PageAnswer::False);
        TempFirmware file(FirmwareBytes(row.fileBytes));
        const HostRun run = RunHost(sim.DevicePath(), file.Path());
        EXPECT_NE(run.exitCode, 0) << row.name << "\n" << run.errors;
        EXPECT_NE(run.errors.find(row.expectedText), std::string::npos) << row.name << "\n" << run.errors;
        EXPECT_NE(run.errors.find("Failed, Please Try Again."), std::string::npos) << row.name;
        EXPECT_EQ(sim.ReprogramRequests(), 2u) << row.name;
        EXPECT_EQ(sim.FrameCount(2), row.pagesSent) << row.name;
    }
}

}  // namespace
