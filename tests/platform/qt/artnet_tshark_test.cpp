#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <sstream>

#include "artnet_loopback.h"
#include "platform/qt/form1_window.h"
#include "prowidget_sim.h"

namespace {

using namespace artnet_loopback;
using namespace std::chrono_literals;

// tshark capturing lo into a file, started and stopped by the test.
class TsharkCapture {
public:
    // Returns "" once tshark has shown a probe datagram, so that what follows is surely captured; else why
    // not.
    std::string Start(const std::filesystem::path& file, const std::function<void()>& sendProbe) {
        int outPipe[2], errPipe[2];
        if (pipe2(outPipe, O_CLOEXEC) != 0 || pipe2(errPipe, O_CLOEXEC) != 0) return "pipe failed";
        pid_ = fork();
        if (pid_ < 0) return "fork failed";
        if (pid_ == 0) {
            dup2(outPipe[1], STDOUT_FILENO);
            dup2(errPipe[1], STDERR_FILENO);
            // -P -l: print each packet as it is written, so the probe shows when capturing has really begun.
            execlp("tshark", "tshark", "-i", "lo", "-f", "udp port 6454", "-w", file.c_str(), "-P", "-l",
                   static_cast<char*>(nullptr));
            std::fprintf(stderr, "cannot run tshark: %s\n", std::strerror(errno));
            _exit(127);
        }
        close(outPipe[1]);
        close(errPipe[1]);
        outFd_ = outPipe[0];
        errFd_ = errPipe[0];
        const auto end = Clock::now() + 15s;
        while (Clock::now() < end) {
            if (said_.find("Capturing on") != std::string::npos) sendProbe();
            pollfd waiting[2]{{outFd_, POLLIN, 0}, {errFd_, POLLIN, 0}};
            if (::poll(waiting, 2, 100) <= 0) continue;
            char chunk[512];
            if (waiting[0].revents & POLLIN) {
                if (read(outFd_, chunk, sizeof chunk) > 0) return "";
            }
            if (waiting[1].revents & (POLLIN | POLLHUP)) {
                const ssize_t got = read(errFd_, chunk, sizeof chunk);
                if (got <= 0) break;
                said_.append(chunk, static_cast<std::size_t>(got));
            }
        }
        Stop();
        return said_.empty() ? "tshark showed no packet" : said_;
    }

    // Stops the capture and waits until the file is complete.
    void Stop() {
        if (pid_ <= 0) return;
        kill(pid_, SIGINT);
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        for (int* fd : {&outFd_, &errFd_}) {
            if (*fd >= 0) close(*fd);
            *fd = -1;
        }
    }
    ~TsharkCapture() { Stop(); }

private:
    pid_t pid_ = -1;
    int outFd_ = -1, errFd_ = -1;
    std::string said_;
};

// The fields tshark's Art-Net dissector reads from each datagram the node sent, one map per datagram.
std::vector<std::map<std::string, std::string>> DissectNodeDatagrams(const std::filesystem::path& file,
                                                                     const std::vector<std::string>& fields) {
    std::string command =
        "tshark -r '" + file.string() + "' -Y 'udp.srcport == 6454 && artnet' -T fields -E separator=/t";
    for (const auto& field : fields) command += " -e " + field;
    command += " 2>/dev/null";
    std::vector<std::map<std::string, std::string>> rows;
    FILE* output = popen(command.c_str(), "r");
    if (!output) return rows;
    char line[8192];
    while (std::fgets(line, sizeof line, output)) {
        std::string text(line);
        if (!text.empty() && text.back() == '\n') text.pop_back();
        std::map<std::string, std::string> row;
        std::size_t start = 0;
        for (const auto& field : fields) {
            const std::size_t tab = text.find('\t', start);
            row[field] = text.substr(start, tab == std::string::npos ? std::string::npos : tab - start);
            start = tab == std::string::npos ? text.size() : tab + 1;
        }
        rows.push_back(std::move(row));
    }
    pclose(output);
    return rows;
}

TEST(ArtNetSeenByTshark, TheDissectorReadsThePollRepliesAndArtDmxAsIntended) {
    const std::string why = EnterOwnNetworkNamespace();
    if (!why.empty()) GTEST_SKIP() << "needs a network namespace of its own (run as root): " << why;
    char folderTemplate[] = "/tmp/vantor-tshark-XXXXXX";
    ASSERT_NE(mkdtemp(folderTemplate), nullptr);
    const std::filesystem::path folder(folderTemplate);
    const std::filesystem::path file = folder / "artnet.pcapng";

    prowidget::Simulator sim;
    setenv("VANTOR_ARTNET_INTERFACE", "lo", 1);
    setenv("VANTOR_SERIAL_PORTS", sim.DevicePath().c_str(), 1);
    LoopbackCapture capture;
    UdpSender sender;
    EnsureApplication();
    auto window = std::make_unique<Form1Window>();
    window->Load();
    Form1& form = window->Form();
    form.SelectPort(1);
    ASSERT_EQ(form.LinkOpen, kTrue);

    TsharkCapture tshark;
    const std::string notCapturing = tshark.Start(file, [&] {
        sender.SendTo("127.0.0.1", 6454, Bytes{'p', 'r', 'o', 'b', 'e'});
    });
    if (!notCapturing.empty()) {
        std::filesystem::remove_all(folder);
        GTEST_SKIP() << "tshark cannot capture on lo here: " << notCapturing;
    }

    // A send-mode reply, then a receive-mode one (which keeps the output bytes), then one forwarded frame.
    // Universes above 15 are read from the sub-net switch and the port's switch byte together.
    form.senddmxbutton.PerformClick();
    form.ArtUniv.SetValue(37);
    ASSERT_TRUE(sender.SendTo("127.0.0.1", 6454, ArtPoll()));
    ASSERT_TRUE(RunEventsUntil([&] { return capture.ArtNet(0x2100).size() >= 1; }, 5s));
    form.ArtUniv.SetValue(255);
    prowidget::SimLevels levels{};
    levels[1] = 11;
    levels[512] = 99;
    sim.SetReceivedDmx(levels);
    form.Command1.PerformClick();
    ASSERT_TRUE(sender.SendTo("127.0.0.1", 6454, ArtPoll()));
    ASSERT_TRUE(RunEventsUntil(
        [&] { return capture.ArtNet(0x2100).size() >= 2 && !capture.ArtNet(0x5000).empty(); }, 5s));
    sim.SetReportRate(0);
    RunEventsFor(500ms);
    tshark.Stop();

    const std::vector<std::string> fields{"artnet.header.opcode",
                                          "artnet.header.protver",
                                          "artnet.poll_reply.ip_address",
                                          "artnet.poll_reply.port_nr",
                                          "artnet.poll_reply.short_name",
                                          "artnet.poll_reply.long_name",
                                          "artnet.poll_reply.node_report",
                                          "artnet.poll_reply.num_ports",
                                          "artnet.poll_reply.port_types_1",
                                          "artnet.poll_reply.good_input_1",
                                          "artnet.poll_reply.good_output_1",
                                          "artnet.poll_reply.swin_1",
                                          "artnet.poll_reply.swout_1",
                                          "artnet.poll_reply.subswitch",
                                          "artnet.poll_reply.swin_1_universe",
                                          "artnet.poll_reply.swout_1_universe",
                                          "artnet.poll_reply.oem",
                                          "artnet.output.universe",
                                          "artnet.output.length",
                                          "udp.length",
                                          "ip.dst"};
    const auto rows = DissectNodeDatagrams(file, fields);
    std::filesystem::remove_all(folder);
    window.reset();

    using Row = std::map<std::string, std::string>;
    const Row anyReply{{"artnet.header.opcode", "0x2100"},
                       {"artnet.poll_reply.ip_address", "127.0.0.1"},
                       {"artnet.poll_reply.port_nr", "6454"},
                       {"artnet.poll_reply.short_name", "Zephrax" + std::string(11, ' ')},
                       {"artnet.poll_reply.long_name", "Tarvo's Zephrax" + std::string(49, ' ')},
                       {"artnet.poll_reply.node_report", "OK" + std::string(62, ' ')},
                       {"artnet.poll_reply.num_ports", "1"},
                       {"artnet.poll_reply.oem", "0x00ff"},
                       {"udp.length", std::to_string(8 + 239)},
                       {"ip.dst", "127.255.255.255"}};
    auto reply = [&](Row modeFields) {
        modeFields.insert(anyReply.begin(), anyReply.end());
        return modeFields;
    };
    const std::vector<Row> expected{
        reply({{"artnet.poll_reply.port_types_1", "0x80"},
               {"artnet.poll_reply.good_input_1", "0x00"},
               {"artnet.poll_reply.good_output_1", "0x80"},
               {"artnet.poll_reply.swin_1", "0x00"},
               {"artnet.poll_reply.swout_1", "0x05"},
               {"artnet.poll_reply.subswitch", "0x02"},
               {"artnet.poll_reply.swout_1_universe", "37"}}),
        // Receive mode keeps the output bytes of the send-mode reply.
        reply({{"artnet.poll_reply.port_types_1", "0x40"},
               {"artnet.poll_reply.good_input_1", "0x80"},
               {"artnet.poll_reply.good_output_1", "0x80"},
               {"artnet.poll_reply.swin_1", "0x0f"},
               {"artnet.poll_reply.swout_1", "0x05"},
               {"artnet.poll_reply.subswitch", "0x0f"},
               {"artnet.poll_reply.swin_1_universe", "255"}}),
        {{"artnet.header.opcode", "0x5000"},
         {"artnet.header.protver", "14"},
         {"artnet.output.universe", "255"},
         {"artnet.output.length", "512"},
         {"udp.length", std::to_string(8 + 530)},
         {"ip.dst", "127.255.255.255"}},
    };
    ASSERT_GE(rows.size(), expected.size())
        << "tshark read fewer Art-Net datagrams from the node than were sent";
    for (std::size_t index = 0; index < expected.size(); ++index)
        for (const auto& [field, value] : expected[index])
            EXPECT_EQ(rows[index].at(field), value) << "datagram " << index + 1 << ", " << field;
    for (std::size_t index = expected.size(); index < rows.size(); ++index)
        EXPECT_EQ(rows[index].at("artnet.header.opcode"), "0x5000") << "only forwarded frames follow";
}

}  // namespace
