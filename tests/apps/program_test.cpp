#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "frame_codec.h"
#include "pty_peer.h"

extern char** environ;

namespace prowidget {
namespace {

using namespace std::chrono_literals;

// The program lands in the build directory, one level above this test program.
std::string ProgramPath() {
    if (const char* dir = std::getenv("VANTOR_BUILD_DIR")) return std::string(dir) + "/prowidget-sim";
    return (std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "prowidget-sim")
        .string();
}

// The program, started with its standard output, and on request its standard input, on a pipe.
class Program {
public:
    explicit Program(std::vector<std::string> args, bool withInput = false) {
        int out[2], in[2] = {-1, -1};
        if (pipe(out) != 0 || (withInput && pipe(in) != 0)) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (withInput) {
            posix_spawn_file_actions_adddup2(&actions, in[0], STDIN_FILENO);
            posix_spawn_file_actions_addclose(&actions, in[1]);
        }
        args.insert(args.begin(), ProgramPath());
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        if (withInput) close(in[0]);
        in_ = in[1];
        out_ = fdopen(out[0], "r");
        if (failed != 0) throw std::runtime_error("cannot start " + ProgramPath());
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        EndInput();
        fclose(out_);
    }
    void Say(const std::string& text) {
        if (write(in_, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
            throw std::runtime_error("write to the program");
    }
    void EndInput() {
        if (in_ >= 0) close(in_);
        in_ = -1;
    }
    std::string ReadLine() {
        char line[4096] = {};
        if (!fgets(line, sizeof line, out_)) return {};
        std::string text = line;
        if (!text.empty() && text.back() == '\n') text.pop_back();
        return text;
    }
    std::string ReadAll() {
        std::string all, line;
        while (!(line = ReadLine()).empty() || !feof(out_)) all += line + "\n";
        return all;
    }
    int Stop(int signal) {
        kill(pid_, signal);
        return Wait();
    }
    int Wait() {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t pid_ = -1;
    int in_ = -1;
    FILE* out_ = nullptr;
};

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
