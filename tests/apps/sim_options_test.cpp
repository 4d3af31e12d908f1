#include <gtest/gtest.h>

#include "sim_options.h"

namespace prowidget {
namespace {

TEST(SimOptions, UnderstoodCommandLinesSetTheirFields) {
    struct Row {
        std::vector<std::string> args;
        std::function<bool(const SimOptions&)> holds;
    };
    const Row rows[] = {
        {{}, [](const SimOptions& o) { return o.parameters == Parameters{} && !o.reportRate && !o.silent; }},
        {{"--firmware", "3.7"},
         [](const SimOptions& o) { return o.parameters.firmwareMsb == 3 && o.parameters.firmwareLsb == 7; }},
        {{"--break", "20", "--mab=3", "--rate", "0"},
         [](const SimOptions& o) {
             return o.parameters == Parameters{44, 2, 20, 3, 0};
         }},
        {{"--report-rate", "12.5"}, [](const SimOptions& o) { return o.reportRate == 12.5; }},
        {{"--levels", "0=204,1=255,512=7"},
         [](const SimOptions& o) {
             return o.levels[0] == 204 && o.levels[1] == 255 && o.levels[512] == 7 && o.levels[2] == 0;
         }},
        {{"--status", "4", "--split", "16"},
         [](const SimOptions& o) { return o.status == 4 && o.split == 16; }},
        {{"--garbage", "00ff7E"},
         [](const SimOptions& o) {
             return o.garbage == std::vector<std::uint8_t>{0, 0xFF, 0x7E};
         }},
        {{"--silent", "--not-parameters", "--receive", "--verbose"},
         [](const SimOptions& o) { return o.silent && o.notParameters && o.receiveMode && o.verbose; }},
        {{"--page-answer", "5=false", "--page-answer", "7=silent", "--page-answer", "9=twice"},
         [](const SimOptions& o) {
             return o.pageAnswers == std::vector<std::pair<int, PageAnswer>>{{5, PageAnswer::False},
                                                                             {7, PageAnswer::Silent},
                                                                             {9, PageAnswer::Twice}};
         }},
        {{"--stray-answer"}, [](const SimOptions& o) { return o.strayAnswer; }},
        {{"--link", "/tmp/widget", "--reply-delay", "30"},
         [](const SimOptions& o) { return o.link == "/tmp/widget" && o.replyDelayMs == 30; }},
        {{"--stall-after", "3"}, [](const SimOptions& o) { return o.stallAfter == 3u; }},
        {{"--widgets", "3", "--by-id", "/tmp/by-id", "--serial-base", "4294967293"},
         [](const SimOptions& o) {
             return o.widgets == 3 && o.byId == "/tmp/by-id" && o.serialBase == 4294967293u;
         }},
        {{"--widgets=64"}, [](const SimOptions& o) { return o.widgets == 64 && o.serialBase == 1; }},
        {{"--help"}, [](const SimOptions& o) { return o.help; }},
    };
    for (const auto& row : rows) {
        auto parsed = ParseSimOptions(row.args);
        EXPECT_EQ(parsed.error, "") << ::testing::PrintToString(row.args);
        EXPECT_TRUE(row.holds(parsed.options)) << ::testing::PrintToString(row.args);
    }
}

TEST(SimOptions, BadCommandLinesAreRefusedWithTheReason) {
    struct Row {
        std::vector<std::string> args;
        std::string error;
    };
    const Row rows[] = {
        {{"--colour"}, "unknown option: --colour"},
        {{"--break"}, "--break needs a value"},
        {{"--break", "256"}, "bad value for --break: 256"},
        {{"--firmware", "2"}, "bad value for --firmware: 2"},
        {{"--levels", "513=1"}, "bad value for --levels: 513=1"},
        {{"--levels", "1=2,"}, "bad value for --levels: 1=2,"},
        {{"--garbage", "0"}, "bad value for --garbage: 0"},
        {{"--garbage", "zz"}, "bad value for --garbage: zz"},
        {{"--page-answer", "0=true"}, "bad value for --page-answer: 0=true"},
        {{"--page-answer", "3=maybe"}, "bad value for --page-answer: 3=maybe"},
        {{"--report-rate", "-1"}, "bad value for --report-rate: -1"},
        {{"--report-rate", "fast"}, "bad value for --report-rate: fast"},
        {{"--stall-after", "-1"}, "bad value for --stall-after: -1"},
        {{"--widgets", "0"}, "bad value for --widgets: 0"},
        {{"--widgets", "65"}, "bad value for --widgets: 65"},
        {{"--widgets", "2", "--serial-base", "4294967296"}, "bad value for --serial-base: 4294967296"},
        {{"--widgets", "2", "--serial-base", "4294967295"},
         "--serial-base 4294967295 leaves no room for 2 widgets"},
        {{"--by-id", "/tmp/by-id"}, "--by-id needs --widgets"},
        {{"--serial-base", "5"}, "--serial-base needs --widgets"},
        {{"--widgets", "2", "--link", "/tmp/w"}, "--link serves one widget; with --widgets use --by-id"},
    };
    for (const auto& row : rows) EXPECT_EQ(ParseSimOptions(row.args).error, row.error) << row.error;
}

TEST(SimOptions, RackCommandsNameOneWidgetOrAreRefused) {
    using Action = RackCommand::Action;
    const std::string kNoWidget = " needs one widget number from 1 to 3";
    const std::pair<std::string, RackCommand> rows[] = {
        {"unplug 2", {Action::Unplug, 2, ""}},
        {" plug\t3\r", {Action::Plug, 3, ""}},
        {"  ", {}},
        {"unplug 4", {Action::Nothing, 0, "unplug" + kNoWidget}},
        {"plug", {Action::Nothing, 0, "plug" + kNoWidget}},
        {"plug 1 2", {Action::Nothing, 0, "plug" + kNoWidget}},
        {"eject 1", {Action::Nothing, 0, "unknown command: eject (expected unplug K or plug K)"}},
    };
    for (const auto& [line, command] : rows) EXPECT_EQ(ParseRackCommand(line, 3), command) << line;
}

}  // namespace
}  // namespace prowidget
