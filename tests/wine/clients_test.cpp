// The component's clients under wine: a script that binds late, by name; a compiled client that calls the
// vtable slots; and the Win32 services' own tests.

#include <cstdlib>

#include "wine_fixture.h"

namespace {

using wine::OnEachBuild;

class Clients : public OnEachBuild {
protected:
    void SetUp() override {
        OnEachBuild::SetUp();
        if (IsSkipped()) return;
        ASSERT_TRUE(wine->RegisterComponent());
    }
};

TEST_P(Clients, ScriptBindsLateByName) {
    const std::string script =
        std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/tests/wine/late_bound_client.vbs";
    const auto outcome =
        wine->Run({wine->SystemProgram("cscript"), "//nologo", wine::Session::WindowsPath(script)});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("checks failed: 0"), std::string::npos) << outcome.output;
}

TEST_P(Clients, CompiledClientCallsTheVtableSlots) {
    const auto outcome = wine->Run({wine->BuildProgram("tests_plugin_com.exe")});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("[  PASSED  ]"), std::string::npos) << outcome.output;
}

TEST_P(Clients, Win32ServicesPassTheirOwnTests) {
    const auto outcome = wine->Run({wine->BuildProgram("tests_platform_win32.exe")});
    EXPECT_EQ(outcome.exitCode, 0) << outcome.output;
    EXPECT_NE(outcome.output.find("[  PASSED  ]"), std::string::npos) << outcome.output;
}

VANTOR_ON_EACH_BUILD(Clients);

}  // namespace
