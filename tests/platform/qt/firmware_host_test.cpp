// `vantor-host --update-firmware FILE` as a user runs it: the stand-in host loads the plug-in through its C
// interface, chooses the port that names the simulated widget, and flashes the file.

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "prowidget_sim.h"
#include "widget/firmware_temp_file.h"

namespace {

struct HostRun {
    int exitCode = -1;
    std::string output;  // standard output and the plug-in's log on standard error
};

HostRun RunHost(const std::string& devicePath, const std::string& firmware) {
    const char* buildDir = std::getenv("VANTOR_BUILD_DIR");
    const std::string host = std::string(buildDir != nullptr ? buildDir : ".") + "/vantor-host";
    const TempFirmware log({}, "host.log");
    const std::string command = "VANTOR_SERIAL_PORTS='" + devicePath + "' VANTOR_ARTNET_INTERFACE=lo '" +
                                host + "' --headless --port 1 --update-firmware '" + firmware + "' >'" +
                                log.Path() + "' 2>&1";
    HostRun run;
    const int status = std::system(command.c_str());
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream in(log.Path());
    std::stringstream text;
    text << in.rdbuf();
    run.output = text.str();
    return run;
}

TEST(FirmwareFromTheHost, UpdateSucceedsWithExitCodeZeroAndTheWidgetHoldsTheImage) {
    prowidget::Simulator sim;
    TempFirmware file(FirmwareBytes(6145));
    const HostRun run = RunHost(sim.DevicePath(), file.Path());
    EXPECT_EQ(run.exitCode, 0) << run.output;
    EXPECT_EQ(sim.FlashedImage(), FirmwareBytes(6144));
    // The reply to the parameters request sent when the port was chosen comes during page 1's wait: set
    // aside, it costs no second attempt.
    EXPECT_EQ(sim.ReprogramRequests(), 1u);
    EXPECT_EQ(sim.FrameCount(2), 96u);
    EXPECT_NE(run.output.find("Firmware Updated"), std::string::npos) << run.output;
    EXPECT_NE(run.output.find(file.Path() + " is 6145 bytes; only the first 6144 are written"),
              std::string::npos)
        << run.output;
}

TEST(FirmwareFromTheHost, FailureEndsWithNonZeroExitAndTheFailureMessageInTheLog) {
    using prowidget::PageAnswer;
    // A line of the second attempt that names a refused page, whichever, or the answer after the last one.
    const auto refusedInAttempt2 = [](const std::string& output) {
        const std::string attempt = "firmware attempt 2: ";
        for (auto at = output.find(attempt); at != std::string::npos; at = output.find(attempt, at + 1)) {
            const std::string line = output.substr(at, output.find('\n', at) - at);
            if (line.ends_with("an answer after the last page") ||
                (line.starts_with(attempt + "page ") && line.ends_with(" refused")))
                return true;
        }
        return false;
    };
    const auto says = [](std::string text) {
        return [text](const std::string& output) { return output.find(text) != std::string::npos; };
    };
    struct Row {
        const char* name;
        std::size_t fileBytes;
        std::function<void(prowidget::Simulator&)> fault;
        std::function<bool(const std::string&)> said;
        std::size_t reprogramRequests;
        std::size_t pagesSent;
    };
    const std::vector<Row> rows{
        {"refused page", 6144, [](auto& sim) { sim.SetPageAnswer(5, PageAnswer::False); },
         says("firmware attempt 2: page 5 refused"), 2, 10},
        // An answer too many is found where it lands: with another answer, before a page, or after the last.
        {"stray answer after the reprogram request, page 1 refused", 6144,
         [](auto& sim) {
             sim.SetStrayAnswer(true);
             sim.SetPageAnswer(1, PageAnswer::False);
         },
         refusedInAttempt2, 2, 0},
        {"page 5 answered twice", 6144, [](auto& sim) { sim.SetPageAnswer(5, PageAnswer::Twice); },
         refusedInAttempt2, 2, 0},
        {"empty file", 0, [](auto&) {}, says("The firmware file is empty."), 0, 0},
    };
    for (const auto& row : rows) {
        prowidget::Simulator sim;
        row.fault(sim);
        TempFirmware file(FirmwareBytes(row.fileBytes));
        const HostRun run = RunHost(sim.DevicePath(), file.Path());
        EXPECT_NE(run.exitCode, 0) << row.name << "\n" << run.output;
        EXPECT_TRUE(row.said(run.output)) << row.name << "\n" << run.output;
        EXPECT_NE(run.output.find("Failed, Please Try Again."), std::string::npos) << row.name;
        EXPECT_NE(run.output.find("firmware update failed"), std::string::npos) << row.name;
        EXPECT_EQ(run.output.find("Firmware Updated"), std::string::npos) << row.name;
        EXPECT_EQ(sim.ReprogramRequests(), row.reprogramRequests) << row.name;
        if (row.pagesSent > 0) {
            EXPECT_EQ(sim.FrameCount(2), row.pagesSent) << row.name;
        }
    }
}

}  // namespace
