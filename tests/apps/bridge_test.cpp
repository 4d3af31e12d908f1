// vantor-bridge as it runs: the real daemon as a child, its widgets simulated on ptys in this process and
// found through a by-id folder of their own, its network loopback in a namespace of the test's own.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <thread>

#include "program.h"
#include "sacn/sacn_packets.h"
#include "support/loopback_udp.h"
#include "widget/records.h"
#include "widget_rack.h"

namespace {

using namespace artnet_loopback;
using namespace std::chrono_literals;
using prowidget::testing::Launch;
using prowidget::testing::Program;
using prowidget::testing::ProgramPath;

struct TestPort {
    int number = 1;
    int widget = 1;  // in the rack
    const char* mode = "send";
    const char* protocol = "artnet";
    int universe = 0;
    const char* name = "";
    bool bySerialNumber = false;  // else by its by-id name
    bool operator==(const TestPort&) const = default;
    std::string Label() const { return *name ? name : "port " + std::to_string(number); }
    bool SendsArtNet() const { return std::string(mode) == "send" && std::string(protocol) == "artnet"; }
};
using Ports = std::vector<TestPort>;

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds within) {
    const auto end = Clock::now() + within;
    while (!done()) {
        if (Clock::now() > end) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

// ArtDmx number n: channel 1 carries n's low byte (plus one), channel 512 its high byte.
Bytes Numbered(int universe, int n) {
    Bytes datagram = ArtDmx(static_cast<std::uint16_t>(universe), static_cast<std::uint8_t>(n));
    datagram.back() = static_cast<std::uint8_t>(n >> 8);
    return datagram;
}

// The number of the last ArtDmx the widget put out, -1 before any.
int LastNumber(prowidget::Simulator& widget) {
    const auto frame = widget.LastFrame(kLabelOutputDmx);
    if (!frame || frame->data.size() != 513) return -1;
    return frame->data[512] << 8 | static_cast<std::uint8_t>(frame->data[1] - 1);
}

// The node's sACN data packets of a universe on its group, those that end the stream or the others.
std::size_t SacnPackets(LoopbackCapture& capture, int universe, bool terminated) {
    std::size_t count = 0;
    for (const auto& datagram : capture.Poll()) {
        SacnIgnored ignored;
        const std::string group =
            "239.255." + std::to_string(universe >> 8) + "." + std::to_string(universe & 0xFF);
        const auto packet = datagram.toPort == kSacnPort && datagram.to == group
                                ? ParseSacnDataPacket(datagram.payload, ignored)
                                : std::nullopt;
        count += packet && packet->Universe == universe &&
                 ((packet->Options & kSacnOptionStreamTerminated) != 0) == terminated;
    }
    return count;
}

class Bridge : public ::testing::Test {
protected:
    static constexpr int kWidgets = 3;

    void SetUp() override {
        if (!std::filesystem::exists(ProgramPath("vantor-bridge")))
            GTEST_SKIP() << "vantor-bridge is not built";
        std::string why = EnterOwnNetworkNamespace();
        if (why.empty()) why = RouteMulticastOverLoopback();
        if (!why.empty()) GTEST_SKIP() << "needs a network namespace of its own (root): " << why;
        char folder[] = "/tmp/vantor-bridge-test-XXXXXX";
        ASSERT_NE(mkdtemp(folder), nullptr);
        folder_ = folder;
        sender_.emplace();
        rack_ = std::make_unique<prowidget::WidgetRack>(kWidgets, (folder_ / "by-id").string());
    }
    void TearDown() override {
        node_.reset();
        rack_.reset();
        if (!folder_.empty()) std::filesystem::remove_all(folder_);
    }

    std::string ConfigText(const Ports& ports) const {
        std::string text = "[node]\ninterface = lo\nname = rig\n";
        for (const TestPort& port : ports) {
            text += "[port " + std::to_string(port.number) + "]\ndevice = " +
                    (port.bySerialNumber ? prowidget::SerialNumberText(rack_->SerialNumber(port.widget))
                                         : rack_->ByIdName(port.widget)) +
                    "\nmode = " + port.mode + "\nprotocol = " + port.protocol +
                    "\nuniverse = " + std::to_string(port.universe) + "\n";
            if (*port.name) text += std::string("name = ") + port.name + "\n";
        }
        return text;
    }
    std::string WriteConfig(const std::string& text) const {
        const std::string file = (folder_ / "bridge.conf").string();
        std::ofstream(file) << text;
        return file;
    }
    Launch Daemon() const {
        return {.program = "vantor-bridge",
                .withErrors = true,
                .environment = {"VANTOR_SERIAL_BY_ID=" + (folder_ / "by-id").string(),
                                "RUNTIME_DIRECTORY=" + (folder_ / "run").string(),
                                "STATE_DIRECTORY=" + (folder_ / "state").string()}};
    }
    // The daemon on those ports, once each port has linked to its widget.
    void Start(const Ports& ports) {
        node_ = std::make_unique<Program>(
            std::vector<std::string>{"--config", WriteConfig(ConfigText(ports))}, Daemon());
        for (const TestPort& port : ports)
            ASSERT_TRUE(node_->WaitFor(port.Label() + ": linked to the widget", 20s)) << node_->Said();
    }

    // Sends numbered ArtDmx to the universe, again and again, until the widget puts one out.
    bool Reaches(int universe, int widget) {
        const int n = ++tag_;
        return WaitUntil(
            [&] {
                sender_->SendTo("127.0.0.1", 6454, Numbered(universe, n));
                return rack_->Plugged(widget) &&
                       WaitUntil([&] { return LastNumber(rack_->Widget(widget)) == n; }, 100ms);
            },
            20s);
    }

    // Feeds numbered ArtDmx at about 44 Hz to each port's universe, never more than one frame ahead of
    // its widget, so that every datagram sent must show on the widget however loaded the machine is.
    // `between` runs after each frame and ends the feed by returning true.
    ::testing::AssertionResult FeedThroughout(const Ports& ports, const std::function<bool(int)>& between) {
        const auto giveUp = Clock::now() + 120s;
        auto next = Clock::now();
        for (int n = 0; Clock::now() < giveUp; ++n) {
            for (const TestPort& port : ports) sender_->SendTo("127.0.0.1", 6454, Numbered(port.universe, n));
            for (const TestPort& port : ports)
                if (!WaitUntil([&] { return LastNumber(rack_->Widget(port.widget)) == n; }, 10s))
                    return ::testing::AssertionFailure()
                           << "ArtDmx " << n << " of universe " << port.universe << " never reached "
                           << port.Label()
                           << "'s widget (its last: " << LastNumber(rack_->Widget(port.widget)) << ")\n"
                           << node_->Said();
            if (between(n)) return ::testing::AssertionSuccess();
            next += 1000ms / 44;
            std::this_thread::sleep_until(next);
        }
        return ::testing::AssertionFailure() << "the feed never ended\n" << node_->Said();
    }

    std::filesystem::path folder_;
    std::unique_ptr<prowidget::WidgetRack> rack_;
    std::unique_ptr<Program> node_;
    std::optional<UdpSender> sender_;  // made in the test's namespace
    int tag_ = 50000;                  // above the feeds' numbers
};

struct ReloadRow {
    const char* name;
    Ports before, after;
    const char* brokenAfter = nullptr;  // a file that no longer parses, instead of `after`
};

void PrintTo(const ReloadRow& row, std::ostream* out) {
    *out << row.name;
}

class BridgeReload : public Bridge, public ::testing::WithParamInterface<ReloadRow> {};

// A port in both files alike is unchanged and is fed throughout the reload; a port of the same number but
// other settings has changed, one only after is added, one only before is removed.
TEST_P(BridgeReload, UnchangedPortsMissNoFrameAndTheOthersFollowTheFile) {
    const ReloadRow& row = GetParam();
    LoopbackCapture capture;
    ASSERT_EQ(capture.Failure(), "");
    Start(row.before);
    for (const TestPort& port : row.before) {
        if (std::string(port.mode) != "receive") continue;
        ASSERT_TRUE(WaitUntil([&] { return SacnPackets(capture, port.universe, false) > 0; }, 20s))
            << port.Label() << " sends no sACN\n"
            << node_->Said();
    }
    const auto has = [](const Ports& ports, auto match) {
        return std::any_of(ports.begin(), ports.end(), match);
    };
    Ports unchanged;
    for (const TestPort& port : row.before)
        if (row.brokenAfter || has(row.after, [&](const TestPort& p) { return p == port; }))
            unchanged.push_back(port);

    std::vector<std::size_t> probes;
    for (const TestPort& port : unchanged)
        probes.push_back(rack_->Widget(port.widget).GetParametersRequests());
    const std::size_t mark = node_->Said().size();
    int reloadedAt = -1;
    ASSERT_TRUE(FeedThroughout(unchanged, [&](int n) {
        if (n == 10) {
            WriteConfig(row.brokenAfter ? row.brokenAfter : ConfigText(row.after));
            kill(node_->Pid(), SIGHUP);
        }
        if (reloadedAt < 0 && node_->Said().find("reload: ", mark) != std::string::npos) reloadedAt = n;
        return reloadedAt >= 0 && n > reloadedAt + 20;
    }));
    // The feed waits for each frame, so a port started again would lose none: its link must not have moved.
    for (std::size_t k = 0; k < unchanged.size(); ++k) {
        EXPECT_EQ(rack_->Widget(unchanged[k].widget).GetParametersRequests(), probes[k])
            << unchanged[k].Label() << "\n"
            << node_->Said();
        EXPECT_EQ(node_->Said().find("\n" + unchanged[k].Label() + ": ", mark - 1), std::string::npos)
            << node_->Said();
    }

    if (row.brokenAfter) {
        EXPECT_TRUE(node_->WaitFor("not taken; nothing changed", 10s, mark)) << node_->Said();
        return;
    }
    for (const TestPort& port : row.after) {
        if (!port.SendsArtNet() || has(row.before, [&](const TestPort& p) { return p == port; })) continue;
        EXPECT_TRUE(Reaches(port.universe, port.widget)) << port.Label() << "\n" << node_->Said();
    }
    for (const TestPort& port : row.before) {
        if (has(row.after, [&](const TestPort& p) { return p.number == port.number; }) ||
            std::string(port.protocol) != "sacn")
            continue;
        EXPECT_TRUE(WaitUntil([&] { return SacnPackets(capture, port.universe, true) > 0; }, 10s))
            << port.Label() << " ended its stream without saying so\n"
            << node_->Said();
    }
}

const TestPort kSteady{.number = 1, .widget = 1, .universe = 0};

INSTANTIATE_TEST_SUITE_P(
    Rows, BridgeReload,
    ::testing::Values(
        ReloadRow{"ChangedUniverse",
                  {kSteady, {.number = 2, .widget = 2, .universe = 1}},
                  {kSteady, {.number = 2, .widget = 2, .universe = 0x123}}},
        ReloadRow{"ChangedNameAndWidget",
                  {kSteady, {.number = 2, .widget = 2, .universe = 1}},
                  {kSteady, {.number = 2, .widget = 3, .universe = 1, .name = "moved"}}},
        ReloadRow{"Added", {kSteady}, {kSteady, {.number = 3, .widget = 3, .universe = 7, .name = "added"}}},
        ReloadRow{"RemovedSacnReceiver",
                  {kSteady, {.number = 2, .widget = 2, .mode = "receive", .protocol = "sacn", .universe = 9}},
                  {kSteady}},
        ReloadRow{"NoLongerParses",
                  {kSteady, {.number = 2, .widget = 2, .universe = 1}},
                  {},
                  "[node]\ninterface = lo\n[port 1]\nuniverse = many\n"}),
    [](const ::testing::TestParamInfo<ReloadRow>& info) { return std::string(info.param.name); });

// One port takes Art-Net to its widget while the other's widget input leaves as ArtDmx of its universe;
// --status, asked from beside, lists both.
TEST_F(Bridge, OnePortSendsOneReceivesAndStatusListsThem) {
    prowidget::SimLevels levels{};
    for (std::size_t slot = 1; slot < levels.size(); ++slot)
        levels[slot] = static_cast<std::uint8_t>(slot * 7 + 3);
    rack_->Widget(2).SetReceivedDmx(levels);
    LoopbackCapture capture;
    const Ports ports{{.number = 1, .widget = 1, .universe = 3, .name = "truss"},
                      {.number = 2, .widget = 2, .mode = "receive", .universe = 0x204, .name = "desk"}};
    Start(ports);
    EXPECT_TRUE(Reaches(3, 1)) << node_->Said();
    // The node's own ArtDmx, not the test's.
    Bytes sent;
    ASSERT_TRUE(WaitUntil(
        [&] {
            for (const auto& datagram : capture.ArtNet(0x5000))
                if (datagram.fromPort == 6454) sent = datagram.payload;
            return !sent.empty();
        },
        20s))
        << node_->Said();
    ASSERT_EQ(sent.size(), 18u + 512u);
    EXPECT_EQ(sent[14] | sent[15] << 8, 0x204);
    EXPECT_TRUE(std::equal(sent.begin() + 18, sent.end(), levels.begin() + 1));

    Program status({"--status"}, Daemon());
    const std::string table = status.ReadAll();
    EXPECT_EQ(status.Wait(), 0) << table;
    std::istringstream lines(table);
    const std::vector<std::vector<std::string>> rows = {{"PORT", "NAME", "WIDGET", "MODE", "UNIVERSE"},
                                                        {"1", "truss", "send", "3"},
                                                        {"2", "desk", "receive", "516"}};
    for (const auto& cells : rows) {
        std::string line, cell;
        ASSERT_TRUE(std::getline(lines, line)) << table;
        std::vector<std::string> read;
        for (std::istringstream words(line); words >> cell;) read.push_back(cell);
        for (const std::string& wanted : cells)
            EXPECT_NE(std::find(read.begin(), read.end(), wanted), read.end()) << wanted << "\n" << table;
        EXPECT_EQ(read.front(), cells.front()) << table;
    }
    // Then only what the node as a whole counts: no third port.
    for (std::string more; std::getline(lines, more);) EXPECT_TRUE(more.starts_with("node: ")) << table;
}

// A widget unplugged and plugged back is found again by its serial number and takes the next frames of its
// universe, while the other port misses none of its own.
TEST_F(Bridge, AnUnpluggedWidgetComesBackAndTheOtherPortMissesNothing) {
    const TestPort steady{.number = 1, .widget = 1, .universe = 0, .bySerialNumber = true};
    const TestPort replugged{.number = 2, .widget = 2, .universe = 1, .bySerialNumber = true};
    Start({steady, replugged});
    const std::size_t probes = rack_->Widget(1).GetParametersRequests();
    std::size_t mark = 0;
    int pluggedAt = -1;
    ASSERT_TRUE(FeedThroughout({steady}, [&](int n) {
        if (n == 10) {
            mark = node_->Said().size();
            rack_->Unplug(2);
        }
        if (n > 10 && !rack_->Plugged(2) &&
            node_->Said().find("port 2: its widget is gone", mark) != std::string::npos) {
            rack_->Plug(2);
            pluggedAt = n;
        }
        if (pluggedAt < 0) return false;
        sender_->SendTo("127.0.0.1", 6454, Numbered(replugged.universe, n));
        return LastNumber(rack_->Widget(2)) > pluggedAt;
    }));
    EXPECT_NE(node_->Said().find("port 2: linked to the widget", mark), std::string::npos) << node_->Said();
    EXPECT_EQ(rack_->Widget(1).GetParametersRequests(), probes) << node_->Said();
}

// A file refused at start: the line and the reason, exit status 2, and no node.
// The update runs on the widget's own link: the port beside it misses nothing, and the image is the file's.
TEST_F(Bridge, AFirmwareUpdateFlashesOnePortsWidgetWhileTheOtherMissesNothing) {
    const TestPort steady{.number = 1, .widget = 1, .universe = 0};
    const TestPort flashed{.number = 2, .widget = 2, .universe = 1};
    Start({steady, flashed});
    std::vector<std::uint8_t> image(6144);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
    const std::string file = (folder_ / "firmware.bin").string();
    std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(image.data()), image.size());
    const std::size_t mark = node_->Said().size();
    std::unique_ptr<Program> request;
    ASSERT_TRUE(FeedThroughout({steady}, [&](int n) {
        if (n == 5)
            request =
                std::make_unique<Program>(std::vector<std::string>{"--update-firmware", "2", file}, Daemon());
        return request && node_->Said().find("port 2: linked to the widget", mark) != std::string::npos;
    }));
    EXPECT_EQ(request->Wait(), 0) << request->Said();
    EXPECT_NE(node_->Said().find("port 2: Firmware Updated", mark), std::string::npos) << node_->Said();
    EXPECT_EQ(rack_->Widget(2).FlashedImage(), image);
}

TEST_F(Bridge, AFileRefusedAtStartNamesItsLine) {
    const std::string missing = (folder_ / "absent.conf").string();
    const struct {
        std::string text, file, said;
    } rows[] = {
        {ConfigText({kSteady}) + "colour = red\n", "", ":9: unknown key 'colour' in [port 1]"},
        {"[node]\ninterface = lo\n[port 1]\ndevice = x\nuniverse = 40000\n", "",
         ":5: Art-Net universe 40000 is outside 0 to 32767"},
        {"", missing, missing + ": cannot be read"},
    };
    for (const auto& row : rows) {
        const std::string file = row.file.empty() ? WriteConfig(row.text) : row.file;
        Program refused({"--config", file}, Daemon());
        const std::string said = refused.ReadAll();
        EXPECT_EQ(refused.Wait(), 2) << said;
        EXPECT_NE(said.find(row.file.empty() ? file + row.said : row.said), std::string::npos) << said;
        EXPECT_NE(said.find(" not taken"), std::string::npos) << said;
    }
}

}  // namespace
