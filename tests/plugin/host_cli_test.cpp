// The stand-in host as a user runs it: bad arguments are refused with a reason, and a run with the simulated
// widget puts the asked levels on the widget.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <regex>
#include <string>

namespace {

struct Outcome {
    int exitCode = -1;
    std::string output;
};

Outcome RunHost(const std::string& arguments, const std::string& input = "") {
    const char* buildDir = std::getenv("VANTOR_BUILD_DIR");
    std::string command = std::string(buildDir ? buildDir : ".") + "/vantor-host " + arguments + " 2>&1";
    if (!input.empty())
        command = "printf '" + input + "' | " + command;
    else
        command += " </dev/null";
    Outcome outcome;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return outcome;
    std::array<char, 512> buffer;
    while (fgets(buffer.data(), buffer.size(), pipe)) outcome.output += buffer.data();
    const int status = pclose(pipe);
    outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

struct BadArguments {
    const char* name;
    const char* arguments;
    const char* reason;
};

void PrintTo(const BadArguments& row, std::ostream* out) {
    *out << row.name;
}

class HostRefuses : public ::testing::TestWithParam<BadArguments> {};

TEST_P(HostRefuses, WithAReasonAndAFailingExitCode) {
    const Outcome outcome = RunHost(GetParam().arguments);
    EXPECT_EQ(outcome.exitCode, 2) << outcome.output;
    EXPECT_NE(outcome.output.find(GetParam().reason), std::string::npos) << outcome.output;
}

const BadArguments kBad[] = {
    {"ChannelZero", "--set 0=5", "channel 0 is outside 1 to 512"},
    {"Channel513", "--set 513=5", "channel 513 is outside 1 to 512"},
    {"Level256", "--set 1=256", "level 256 is outside 0 to 255"},
    {"NegativeLevel", "--set 1=-1", "level -1 is outside 0 to 255"},
    {"LevelNotANumber", "--set 1=bright", "not a whole number"},
    {"LevelWithoutChannel", "--set 255", "should read CH=VAL"},
    {"Port17", "--port 17", "port 17 is outside 1 to 16"},
    {"ModeUnknown", "--mode both", "should be send or receive"},
    {"UniverseTooHigh", "--universe 256", "universe 256 is outside 0 to 255"},
    {"DurationNotANumber", "--duration soon", "not a number of seconds"},
    {"MissingValue", "--port", "--port needs a value"},
    {"UnknownOption", "--colour red", "unknown option '--colour'"},
    {"EmptyInterface", "--interface ''", "the Art-Net interface is empty"},
    {"ReconnectWithoutPort", "--reconnect", "--reconnect needs --port"},
};

INSTANTIATE_TEST_SUITE_P(Rows, HostRefuses, ::testing::ValuesIn(kBad),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(Host, HelpListsTheOptions) {
    const Outcome outcome = RunHost("--help");
    EXPECT_EQ(outcome.exitCode, 0);
    for (const char* option : {"--port", "--enable", "--set", "--stdin", "--mode", "--universe",
                               "--update-firmware", "--headless", "--simulate-widget", "--duration"})
        EXPECT_NE(outcome.output.find(option), std::string::npos) << option;
}

TEST(Host, SimulatedWidgetReceivesTheLevelsSetOnTheCommandLine) {
    const Outcome outcome =
        RunHost("--simulate-widget --port 1 --enable --set 1=255 --set 3=7 --headless --duration 1");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("last output frame: 518 bytes, levels of channels 1 to 8: 255 0 7 0"),
              std::string::npos)
        << outcome.output;
}

TEST(Host, LevelsFromStandardInputAreSetAndBadLinesReportedAndSkipped) {
    const Outcome outcome = RunHost("--simulate-widget --port 1 --enable --stdin --headless --duration 1",
                                    "2 77\\nbad line\\n4 300\\n# comment\\n5 9\\n");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("levels of channels 1 to 8: 0 77 0 0 9 0"), std::string::npos)
        << outcome.output;
    EXPECT_NE(outcome.output.find("ignored input line 'bad line'"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("ignored input line '4 300': level 300 is outside 0 to 255"),
              std::string::npos)
        << outcome.output;
}

TEST(Host, WithoutAPortNothingReachesTheWidget) {
    const Outcome outcome = RunHost("--simulate-widget --enable --set 1=255 --headless --duration 0.5");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("simulated widget: 0 output frames"), std::string::npos) << outcome.output;
}

TEST(Host, ListPortsTellsWhatTheStartUpScanFoundOnEachNumber) {
    const Outcome outcome = RunHost("--simulate-widget --list-ports --headless");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_TRUE(
        std::regex_search(outcome.output, std::regex("\n   1  /dev/pts/[0-9]+ +widget, firmware 2\\.44\n")))
        << outcome.output;
    EXPECT_NE(outcome.output.find("\n  16  -"), std::string::npos) << outcome.output;
    EXPECT_NE(outcome.output.find("no device"), std::string::npos) << outcome.output;
}

// Without a terminal the status goes out as log lines, one per change of state, not one every second.
TEST(Host, NotOnATerminalEachStateIsOneLogLine) {
    const Outcome outcome =
        RunHost("--simulate-widget --port 1 --enable --mode send --universe 2 --headless --duration 3.5");
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    for (const char* line :
         {"vantor-host: port 1 open (/dev/pts/", "vantor-host: widget status 0 Ready\n",
          "vantor-host: bridge send (Art-Net to DMX), universe 2\n", "vantor-host: output on, ",
          "vantor-host: no ArtDmx in for universe 2\n", "vantor-host: no ArtDmx out\n"}) {
        const auto first = outcome.output.find(line);
        EXPECT_NE(first, std::string::npos) << line << "\n" << outcome.output;
        EXPECT_EQ(outcome.output.find(line, first + 1), std::string::npos) << line << "\n" << outcome.output;
    }
}

TEST(Host, MissingPluginIsAClearFailure) {
    const Outcome outcome = RunHost("--plugin /nonexistent/vantor.out.so --headless --duration 0");
    EXPECT_EQ(outcome.exitCode, 1);
    EXPECT_NE(outcome.output.find("cannot load the plug-in"), std::string::npos) << outcome.output;
}

}  // namespace
