// What each build's DLL is, read from its files without running it, so that the 32-bit build is checked on
// machines that cannot run it: the COM entry points it exports, the DLLs it imports, and the type library it
// carries.

#include <array>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <set>

#include "wine_fixture.h"

namespace {

class BuiltFiles : public ::testing::TestWithParam<wine::Build> {
protected:
    void SetUp() override {
        const std::string why = wine::MissingFiles(GetParam());
        if (!why.empty()) GTEST_SKIP() << why;
    }
    // The DLL's headers and tables as objdump prints them, a line each.
    std::vector<std::string> Objdump() {
        const std::string objdump =
            GetParam().is64 ? "x86_64-w64-mingw32-objdump" : "i686-w64-mingw32-objdump";
        const std::string command = objdump + " -p '" + (GetParam().dir / "vantor.out.dll").string() + "'";
        FILE* pipe = popen(command.c_str(), "r");
        std::vector<std::string> lines;
        if (!pipe) return lines;
        std::array<char, 512> line;
        while (fgets(line.data(), line.size(), pipe)) {
            std::string text = line.data();
            while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
            lines.push_back(text);
        }
        EXPECT_EQ(pclose(pipe), 0);
        return lines;
    }
    static std::string Bytes(const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    std::filesystem::path TypeLibrary(const wine::Build& build) {
        return build.dir / "src/plugin/com/generated/vantor_out.tlb";
    }
};

TEST_P(BuiltFiles, ExportsTheComEntryPointsUndecorated) {
    std::set<std::string> exports;
    bool inNameTable = false;
    for (const std::string& line : Objdump()) {
        if (line.find("[Ordinal/Name Pointer] Table") != std::string::npos)
            inNameTable = true;
        else if (inNameTable && line.empty())
            inNameTable = false;
        else if (inNameTable)
            exports.insert(line.substr(line.find(']') + 2));
    }
    EXPECT_EQ(exports, (std::set<std::string>{"DllCanUnloadNow", "DllGetClassObject", "DllInstall",
                                              "DllRegisterServer", "DllUnregisterServer"}));
}

TEST_P(BuiltFiles, ImportsSystemDllsOnly) {
    // Every DLL that ships with Windows; msvcrt.dll is its C runtime.
    const std::set<std::string> system = {"kernel32.dll", "user32.dll",   "gdi32.dll",    "comctl32.dll",
                                          "comdlg32.dll", "ole32.dll",    "oleaut32.dll", "advapi32.dll",
                                          "ws2_32.dll",   "iphlpapi.dll", "winmm.dll",    "shlwapi.dll",
                                          "msvcrt.dll"};
    std::vector<std::string> imports;
    for (const std::string& line : Objdump()) {
        const auto at = line.find("DLL Name: ");
        if (at == std::string::npos) continue;
        std::string name = line.substr(at + 10);
        for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        imports.push_back(name);
    }
    EXPECT_FALSE(imports.empty());
    for (const auto& name : imports) EXPECT_TRUE(system.count(name)) << "imports " << name;
}

// The library's header says for which system it was made (SYSKIND: 1 for 32-bit, 3 for 64-bit Windows), and
// the DLL carries it as it was built.
TEST_P(BuiltFiles, CarriesATypeLibraryForItsOwnBitness) {
    const std::string library = Bytes(TypeLibrary(GetParam()));
    ASSERT_GT(library.size(), 0x18u);
    ASSERT_EQ(library.substr(0, 4), "MSFT");
    EXPECT_EQ(library[0x14] & 0x0F, GetParam().is64 ? 3 : 1);
    EXPECT_NE(Bytes(GetParam().dir / "vantor.out.dll").find(library), std::string::npos);
}

VANTOR_ON_EACH_BUILD(BuiltFiles);

}  // namespace
