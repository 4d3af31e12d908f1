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

// The program, started with its standard output on a pipe.
class Program {
public:
    explicit Program(std::vector<std::string> args) {
        int out[2];
        if (pipe(out) != 0) throw std::runtime_error("pipe");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        args.insert(args.begin(), ProgramPath());
        std::vector<char*> argv;
        for (auto& arg : args) argv.push_back(arg.data());
        argv.push_back(nullptr);
        int failed = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = fdopen(out[0], "r");
        if (failed != 0) throw std::runtime_error("cannot start " + ProgramPath());
    }
    ~Program() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        fclose(out_);
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

TEST_F(ProgramTest, HelpListsTheOptionsAndBadOptionsAreRefused) {
    Program help({"--help"});
    std::string text = help.ReadAll();
    EXPECT_EQ(help.Wait(), 0);
    for (const char* option : {"--firmware", "--report-rate", "--levels", "--split", "--garbage", "--silent",
                               "--not-parameters", "--page-answer", "--link", "--verbose"})
        EXPECT_NE(text.find(option), std::string::npos) << option;

    Program bad({"--break", "300"});
    EXPECT_EQ(bad.ReadAll(), "");
    EXPECT_EQ(bad.Wait(), 2);
}

}  // namespace
}  // namespace prowidget
