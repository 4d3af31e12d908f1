// The Windows installer, silent, for the machine and for one user: the keys the DLLs register point into the
// install folder, the clients find the component there, and the uninstaller leaves nothing of it behind. The
// win64 case runs the installer's 64-bit variant (64-bit files only); win32 runs the one for every Windows, a
// 32-bit program with both DLLs.

#include <cstdio>
#include <cstdlib>
#include <thread>

#include "prowidget_sim.h"
#include "wine_fixture.h"

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

const std::string kClassKey = "CLSID\\{A1D4E6F2-8B3C-4F19-B7A2-5C9E0D3F6B84}";
const std::string kProgIdKey = "Zandorvex.clsOutputDriver";
const std::string kTypeLibKey = "HKCR\\TypeLib\\{6F3C2A91-4E7B-4D8A-9C15-2B8E7D4A0C31}";
const std::string kUninstallKey = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\VantorDMX";

struct Mode {
    const char* name;
    std::vector<std::string> flags;
    std::string root;        // of the Uninstall key and the classes
    std::string folderPart;  // of the install folder
    bool clientsFindIt;      // wine's COM reads the machine's classes alone, never a user's
};

struct View {
    const char* registryFlag;
    const char* folder;   // of this bitness's DLL in the install folder
    const char* typeLib;  // the type library's platform key
};

class Installer : public wine::OnEachBuild {
protected:
    void SetUp() override {
        OnEachBuild::SetUp();
        if (IsSkipped()) return;
        const fs::path output = fs::path(std::getenv("VANTOR_BUILD_DIR")) / "installer";
        std::string command = std::string(std::getenv("VANTOR_SOURCE_DIR")) +
                              "/packaging/windows/make-installer '" + output.string() + "' '" +
                              wine::Builds()[0].dir.string() + "'";
        if (!GetParam().is64) command += " '" + GetParam().dir.string() + "'";
        FILE* pipe = popen((command + " 2>&1").c_str(), "r");
        ASSERT_NE(pipe, nullptr);
        char line[4096];
        std::string text;
        while (fgets(line, sizeof line, pipe)) text = line;  // the path is the last line
        ASSERT_EQ(pclose(pipe), 0) << text;
        installer = text.substr(0, text.find('\n'));
        views = {{"/reg:64", "x64", "win64"}};
        if (!GetParam().is64) views.insert(views.begin(), {"/reg:32", "x86", "win32"});
    }

    wine::Outcome Reg(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), wine->SystemProgram("reg"));
        return wine->Run(arguments);
    }
    bool KeyExists(const std::string& key, const char* view = "/reg:64") {
        return Reg({"query", key, view}).exitCode == 0;
    }
    // The default value of a key (name empty) or a named one, as reg prints it.
    std::string Value(const std::string& key, const std::string& name, const char* view = "/reg:64") {
        return name.empty() ? Reg({"query", key, "/ve", view}).output
                            : Reg({"query", key, "/v", name, view}).output;
    }
    static fs::path LinuxPath(std::string windows) {
        for (char& c : windows)
            if (c == '\\') c = '/';
        return wine::Session::Prefix() / "drive_c" / windows.substr(3);
    }

    // The uninstaller hands over to a copy of itself in the temporary folder and returns at once.
    void Uninstall(const std::string& folder) {
        const auto started = wine->Run({folder + "\\uninstall.exe", "/S"});
        ASSERT_EQ(started.exitCode, 0) << started.output;
        for (int round = 0; round < 300 && fs::exists(LinuxPath(folder)); ++round)
            std::this_thread::sleep_for(100ms);
        EXPECT_FALSE(fs::exists(LinuxPath(folder))) << folder;
    }

    std::string installer;
    std::vector<View> views;
    prowidget::Simulator sim;
};

TEST_P(Installer, InstallsRegistersAndUninstallsForTheMachineAndForOneUser) {
    const Mode modes[] = {
        {"machine", {}, "HKLM\\", "C:\\Program Files\\Vantor DMX", true},
        {"user", {"/CurrentUser"}, "HKCU\\", "\\AppData\\Local\\Programs\\Vantor DMX", false},
    };
    for (const Mode& mode : modes) {
        SCOPED_TRACE(mode.name);
        std::vector<std::string> install{wine::Session::WindowsPath(installer), "/S"};
        install.insert(install.end(), mode.flags.begin(), mode.flags.end());
        const auto installed = wine->Run(install, 120s);
        ASSERT_EQ(installed.exitCode, 0) << installed.output;

        const std::string entry = mode.root + kUninstallKey;
        const std::string listing = Reg({"query", entry, "/reg:64"}).output;
        for (const char* name : {"DisplayName", "DisplayVersion", "Publisher", "EstimatedSize",
                                 "UninstallString", "QuietUninstallString"})
            EXPECT_NE(listing.find(name), std::string::npos) << name << " in " << listing;
        const std::string marker = "InstallLocation    REG_SZ    ";
        const auto at = listing.find(marker);
        ASSERT_NE(at, std::string::npos) << listing;
        const std::string folder =
            listing.substr(at + marker.size(), listing.find_first_of("\r\n", at) - at - marker.size());
        EXPECT_NE(folder.find(mode.folderPart), std::string::npos) << folder;

        const std::string classes = mode.root + "Software\\Classes\\";
        for (const View& view : views) {
            SCOPED_TRACE(view.folder);
            const std::string dll = folder + "\\" + view.folder + "\\vantor.out.dll";
            EXPECT_TRUE(fs::exists(LinuxPath(dll))) << dll;
            EXPECT_NE(
                Value(classes + kProgIdKey + "\\CLSID", "", view.registryFlag).find(kClassKey.substr(6)),
                std::string::npos);
            EXPECT_NE(Value(classes + kClassKey + "\\InprocServer32", "", view.registryFlag).find(dll),
                      std::string::npos);
            // HKCR is where a user's type library shows beside the machine's.
            EXPECT_NE(Value(kTypeLibKey + "\\2.0\\0\\" + view.typeLib, "").find(dll), std::string::npos);
        }

        if (mode.clientsFindIt) {
            const std::string script =
                std::string(std::getenv("VANTOR_SOURCE_DIR")) + "/tests/wine/late_bound_client.vbs";
            const auto client =
                wine->Run({wine->SystemProgram("cscript"), "//nologo", wine::Session::WindowsPath(script)});
            EXPECT_NE(client.output.find("checks failed: 0"), std::string::npos) << client.output;

            wine->MapComPort(1, sim.DevicePath());
            const auto host = wine->Run({folder + "\\vantor-host.exe", "--port", "1", "--enable", "--set",
                                         "1=255", "--headless", "--duration", "2", "--quiet"},
                                        90s);
            EXPECT_EQ(host.exitCode, 0) << host.output;
            const auto frame = sim.LastFrame(6);
            ASSERT_TRUE(frame.has_value());
            EXPECT_EQ(frame->data[1], 255);
        }

        Uninstall(folder);
        std::vector<std::string> gone = {entry, classes + kProgIdKey, classes + kClassKey, kTypeLibKey};
        for (const View& view : views)
            for (const auto& key : gone) EXPECT_FALSE(KeyExists(key, view.registryFlag)) << key;
    }
}

// A folder chosen outside Program Files would let users write where every user's host loads from: the Windows
// test program reads its permissions.
TEST_P(Installer, MachineInstallOutsideProgramFilesIsClosedToUsers) {
    const std::string folder = "C:\\Vantor";
    const auto installed = wine->Run({wine::Session::WindowsPath(installer), "/S", "/D=" + folder}, 120s);
    ASSERT_EQ(installed.exitCode, 0) << installed.output;
    EXPECT_TRUE(fs::exists(LinuxPath(folder + "\\vantor-host.exe")));
    setenv("VANTOR_TEST_INSTALL_FOLDER", folder.c_str(), 1);
    const auto read =
        wine->Run({wine->BuildProgram("tests_platform_win32.exe"), "--gtest_filter=InstallFolder.*"});
    unsetenv("VANTOR_TEST_INSTALL_FOLDER");
    Uninstall(folder);
    EXPECT_EQ(read.exitCode, 0) << read.output;
    const auto skipped = read.output.find("Skipped");
    if (skipped != std::string::npos) {
        const auto reason = read.output.find_first_not_of("\r\n", skipped + 7);
        GTEST_SKIP() << read.output.substr(reason, read.output.find_first_of("\r\n", reason) - reason);
    }
}

VANTOR_ON_EACH_BUILD(Installer);

}  // namespace
