// The component's clients under wine: a script that binds late, by name; a compiled client that calls the
// vtable slots; and the Win32 services' own tests.

#include <algorithm>
#include <cstdlib>
#include <filesystem>

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
    // The 64-bit client also reads the 32-bit build's type library, which no 32-bit program may read here.
    const auto builds = wine::Builds();
    const auto win32 =
        std::find_if(builds.begin(), builds.end(), [](const auto& build) { return !build.is64; });
    const auto library = win32 == builds.end() ? std::filesystem::path()
                                               : win32->dir / "src/plugin/com/generated/vantor_out.tlb";
    const bool readsTheOther = GetParam().is64 && std::filesystem::exists(library);
    if (readsTheOther) setenv("VANTOR_OTHER_TYPELIB", wine::Session::WindowsPath(library).c_str(), 1);
    const auto outcome = wine->Run({wine->BuildProgram("tests_plugin_com.exe")});
    unsetenv("VANTOR_OTHER_TYPELIB");
    if (readsTheOther) {
        EXPECT_NE(outcome.output.find("[       OK ] Layout.TheOtherBuildsLibraryDescribesTheSameInterfaces"),
                  std::string::npos)
            << "the 32-bit build's library was not checked";
    }
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
