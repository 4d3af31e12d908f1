// The DLL as regsvr32 and the system see it: what it writes to the registry and takes away again, for the
// machine and for one user.

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

}  // namespace
