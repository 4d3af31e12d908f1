// vantor-bridge as it runs: the real daemon as a child, its widgets simulated on ptys in this process and
// found through a by-id folder of their own, its network loopback in a namespace of the test's own.
#include "bridge_fixture.h"

namespace {

using namespace bridge_testing;

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

// From the first ArtSync on, each ArtDmx waits for the next ArtSync, which hands both ports' frames to their
// widgets together.
TEST_F(Bridge, ArtSyncHoldsTheFramesOfBothPortsAndReleasesThemTogether) {
    const Ports ports{{.number = 1, .widget = 1, .universe = 4}, {.number = 2, .widget = 2, .universe = 5}};
    Start(ports);
    for (const TestPort& port : ports) ASSERT_TRUE(Reaches(port.universe, port.widget)) << node_->Said();
    sender_->SendTo("127.0.0.1", 6454, ArtSync());
    std::vector<double> spreadsMs;
    for (int n = 1; n <= 5; ++n) {
        std::vector<int> before;
        for (const TestPort& port : ports) {
            before.push_back(LastNumber(rack_->Widget(port.widget)));
            sender_->SendTo("127.0.0.1", 6454, Numbered(port.universe, n));
        }
        std::this_thread::sleep_for(200ms);
        for (std::size_t k = 0; k < ports.size(); ++k)
            ASSERT_EQ(LastNumber(rack_->Widget(ports[k].widget)), before[k])
                << ports[k].Label() << " did not wait for the ArtSync of round " << n << "\n"
                << node_->Said();
        sender_->SendTo("127.0.0.1", 6454, ArtSync());
        std::vector<Clock::time_point> at;
        for (const TestPort& port : ports) {
            ASSERT_TRUE(WaitUntil([&] { return LastNumber(rack_->Widget(port.widget)) == n; }, 10s))
                << port.Label() << " never took round " << n << "\n"
                << node_->Said();
            at.push_back(rack_->Widget(port.widget).LastFrame(kLabelOutputDmx)->at);
        }
        spreadsMs.push_back(
            std::chrono::duration<double, std::milli>(std::max(at[0], at[1]) - std::min(at[0], at[1]))
                .count());
    }
    // A busy machine may hold back either widget's thread at any release; a node that writes the ports apart
    // does so at every one, so the quietest of five tells.
    EXPECT_LT(*std::min_element(spreadsMs.begin(), spreadsMs.end()), 2.0) << node_->Said();
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
