// Each scenario of the C test host runs in a process of its own (a re-executed copy of this program), since a
// process loads the plug-in once and its window, port and timers live until the process ends.

#include <gtest/gtest.h>

#include <cstdlib>

#include "c_host.h"

namespace {

struct Scenario {
    const char* name;
    int (*run)(void);
};

const Scenario kScenarios[] = {
    {"PluginNameAndConfigureBeforeAndAfterInit", c_host_plugin_name_and_configure},
    {"SetChannelAcceptsChannels1To512AndLevels0To255", c_host_set_channel_ranges},
    {"OverflowFailsAndLeavesTheLevel", c_host_overflow_leaves_level},
    {"HelperReferenceTakenAtInitSwappedOnSecondInitReleasedAtTerm", c_host_helper_references},
    {"LevelsSetBeforeTheWindowExistsAreClearedAtLoad", c_host_levels_before_window_are_cleared},
    {"EnableSendsWhole518ByteFramesWithTheHostsLevels", c_host_output_frames_carry_levels},
    {"DisableStopsTheFramesAndEnableResumesThem", c_host_disable_stops_frames},
    {"TermLeavesOutputRunning", c_host_term_leaves_output_running},
    {"EnableWithoutAnOpenPortWritesAndShowsNothing", c_host_enable_without_port_is_silent},
    {"VanishedPortGivesOneMessageAndChoosingItAgainRestoresOutput",
     c_host_vanished_port_reports_once_and_recovers},
    {"UnloadTestCountsDriversAndFactories", c_host_unload_test_counts_objects},
    {"RegisterWritesTheRegistrationFileAndUnregisterRemovesIt", c_host_register_and_unregister},
    {"HeadlessExtensionsRejectBadValues", c_host_extensions_reject_bad_values},
    {"ReceiveCountsFillOnlyTheSizeTheHostGave", c_host_receive_counts_fill_what_the_host_gave},
};

void PrintTo(const Scenario& scenario, std::ostream* out) {
    *out << scenario.name;
}

class CHostScenario : public ::testing::TestWithParam<Scenario> {
protected:
    void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_P(CHostScenario, BehavesAsTheHostExpects) {
    ASSERT_NE(std::getenv("VANTOR_PLUGIN"), nullptr) << "VANTOR_PLUGIN names the library under test";
    EXPECT_EXIT(std::exit(GetParam().run()), ::testing::ExitedWithCode(0), "") << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(CHost, CHostScenario, ::testing::ValuesIn(kScenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
