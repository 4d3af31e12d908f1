// The DLL as regsvr32 and the system see it: what it writes to the registry and takes away again, for the
// machine and for one user, and the DLLs it needs.

#include <array>
#include <cstdio>
#include <set>

#include "wine_fixture.h"

namespace {

using wine::OnEachBuild;

const std::string kClassKey = "CLSID\\{A1D4E6F2-8B3C-4F19-B7A2-5C9E0D3F6B84}";

struct Scope {
    const char* name;
    std::vector<std::string> registerFlags;
    std::string root;
    bool typeLibrary;  // whether the type library's keys are checked under root
};

class Registration : public OnEachBuild {
protected:
    bool KeyExists(const std::string& key) {
        return wine->Run({wine->SystemProgram("reg"), "query", key}).exitCode == 0;
    }
    std::string Value(const std::string& key, const std::string& name) {
        const auto query =
            name.empty() ? std::vector<std::string>{wine->SystemProgram("reg"), "query", key, "/ve"}
                         : std::vector<std::string>{wine->SystemProgram("reg"), "query", key, "/v", name};
        return wine->Run(query).output;
    }
    int Regsvr32(std::vector<std::string> flags) {
        flags.insert(flags.begin(), {wine->SystemProgram("regsvr32"), "/s"});
        flags.push_back(wine->BuildProgram("vantor.out.dll"));
        return wine->Run(flags).exitCode;
    }
};

TEST_P(Registration, RegistersAndUnregistersForTheMachineAndForOneUser) {
    const Scope scopes[] = {
        {"machine", {}, "HKCR\\", true},
        {"user", {"/n", "/i:user"}, "HKCU\\Software\\Classes\\", false},
    };
    for (const Scope& scope : scopes) {
        SCOPED_TRACE(scope.name);
        ASSERT_EQ(Regsvr32(scope.registerFlags), 0);
        std::vector<std::string> keys = {scope.root + "Zandorvex.clsOutputDriver\\CLSID",
                                         scope.root + kClassKey + "\\InprocServer32",
                                         scope.root + kClassKey + "\\ProgID"};
        if (scope.typeLibrary)
            keys.push_back(scope.root + "TypeLib\\{6F3C2A91-4E7B-4D8A-9C15-2B8E7D4A0C31}\\2.0");
        for (const auto& key : keys) EXPECT_TRUE(KeyExists(key)) << key;
        EXPECT_NE(Value(scope.root + "Zandorvex.clsOutputDriver\\CLSID", "").find(kClassKey.substr(6)),
                  std::string::npos);
        EXPECT_NE(Value(scope.root + kClassKey + "\\InprocServer32", "ThreadingModel").find("Apartment"),
                  std::string::npos);
        EXPECT_NE(Value(scope.root + kClassKey + "\\InprocServer32", "").find("vantor.out.dll"),
                  std::string::npos);

        auto unregister = scope.registerFlags;
        unregister.insert(unregister.begin(), "/u");
        ASSERT_EQ(Regsvr32(unregister), 0);
        for (const auto& key : keys) EXPECT_FALSE(KeyExists(key)) << key;
    }
}

VANTOR_ON_EACH_BUILD(Registration);

// Needs no wine: it reads the DLL's import table.
class Imports : public ::testing::TestWithParam<wine::Build> {
protected:
    void SetUp() override {
        const std::string why = wine::MissingFiles(GetParam());
        if (!why.empty()) GTEST_SKIP() << why;
    }
};

TEST_P(Imports, SystemDllsOnly) {
    // Every DLL that ships with Windows; msvcrt.dll is its C runtime.
    const std::set<std::string> system = {"kernel32.dll", "user32.dll",   "gdi32.dll",    "comctl32.dll",
                                          "comdlg32.dll", "ole32.dll",    "oleaut32.dll", "advapi32.dll",
                                          "ws2_32.dll",   "iphlpapi.dll", "winmm.dll",    "shlwapi.dll",
                                          "msvcrt.dll"};
    const std::string objdump = GetParam().is64 ? "x86_64-w64-mingw32-objdump" : "i686-w64-mingw32-objdump";
    const std::string command = objdump + " -p '" + (GetParam().dir / "vantor.out.dll").string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::array<char, 512> line;
    std::vector<std::string> imports;
    while (fgets(line.data(), line.size(), pipe)) {
        std::string text = line.data();
        const auto at = text.find("DLL Name: ");
        if (at == std::string::npos) continue;
        std::string name = text.substr(at + 10);
        while (!name.empty() && (name.back() == '\n' || name.back() == ' ')) name.pop_back();
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        imports.push_back(name);
    }
    EXPECT_EQ(pclose(pipe), 0);
    EXPECT_FALSE(imports.empty());
    for (const auto& name : imports) EXPECT_TRUE(system.count(name)) << "imports " << name;
}

VANTOR_ON_EACH_BUILD(Imports);

}  // namespace
