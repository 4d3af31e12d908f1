#include <gtest/gtest.h>

#include <filesystem>

#include "frame_codec.h"
#include "program.h"
#include "pty_peer.h"

namespace prowidget {
namespace {

using namespace std::chrono_literals;

std::string ProgramPath() {
    return testing::ProgramPath("prowidget-sim");
}

using testing::Program;

class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << ProgramPath() << " is not built";
    }
};

TEST_F(ProgramTest, PrintsTheDevicePathFirstAndServesItUntilStopped) {
    for (int signal : {SIGTERM, SIGINT}) {
        auto link =
            std::filesystem::temp_directory_path() / ("prowidget-sim-link-" + std::to_string(getpid()));
        Program program({"--firmware", "3.1", "--break", "12", "--link", link.string()});
        std::string path = program.ReadLine();
        ASSERT_TRUE(path.starts_with("/dev/pts/")) << path;
        EXPECT_EQ(std::filesystem::read_symlink(link), path);
        testing::PtyPeer peer(link.string());
        peer.Write({0x7E, 0x03, 0x02, 0x00, 0x00, 0x00, 0xE7});
        auto frames = peer.ReadFrames(1, 3000ms);
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0], (testing::ReceivedFrame{3, {1, 3, 12, 1, 40}}));
        EXPECT_EQ(program.Stop(signal), 0);
        EXPECT_FALSE(std::filesystem::is_symlink(link));
    }
}

TEST_F(ProgramTest, WidgetsAreListedThenUnpluggedAndPluggedOnCommand) {
    auto folder =
        std::filesystem::temp_directory_path() / ("prowidget-sim-by-id-" + std::to_string(getpid()));
    auto link = folder / "usb-Vantor_Simulated_Pro_Widget_00000042-if00-port0";
    auto line = [&] {
        return "widget 2: " + std::filesystem::read_symlink(link).string() + " serial 00000042 by-id " +
               link.string();
    };
    Program program(
        {"--widgets", "2", "--by-id", folder.string(), "--serial-base", "41", "--firmware", "3.1"}, true);
    EXPECT_TRUE(program.ReadLine().starts_with("widget 1: /dev/pts/"));
    EXPECT_EQ(program.ReadLine(), line());
    program.Say("eject 2\nunplug 2\n");
    EXPECT_EQ(program.ReadLine(), "widget 2: unplugged");
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    program.Say("plug 2");
    program.EndInput();
    std::string plugged = program.ReadLine();  // before the link is looked at
    EXPECT_EQ(plugged, line());
    testing::PtyPeer peer(link.string());
    peer.Write({0x7E, 0x03, 0x02, 0x00, 0x00, 0x00, 0xE7});
    EXPECT_EQ(peer.ReadFrames(1, 3000ms), (std::vector<testing::ReceivedFrame>{{3, {1, 3, 9, 1, 40}}}));
    EXPECT_EQ(program.Stop(SIGTERM), 0);
    EXPECT_TRUE(std::filesystem::is_empty(folder));
    std::filesystem::remove_all(folder);
}

TEST_F(ProgramTest, HelpListsTheOptionsAndBadOptionsAreRefused) {
    Program help({"--help"});
    std::string text = help.ReadAll();
    EXPECT_EQ(help.Wait(), 0);
    for (const char* option :
         {"--firmware", "--report-rate", "--levels", "--split", "--garbage", "--silent", "--not-parameters",
          "--page-answer", "--link", "--verbose", "--widgets", "--by-id", "--serial-base"})
        EXPECT_NE(text.find(option), std::string::npos) << option;

    Program bad({"--break", "300"});
    EXPECT_EQ(bad.ReadAll(), "");
    EXPECT_EQ(bad.Wait(), 2);
}

}  // namespace
}  // namespace prowidget
