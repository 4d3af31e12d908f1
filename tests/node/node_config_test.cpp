#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "node/config_writer.h"
#include "node/node_config.h"
#include "node/port_change.h"

namespace {

const std::string kNode = "[node]\ninterface = eth0\n";
const std::string kHash = "pbkdf2-sha256$100000$c2FsdHNhbHQ=$aGFzaGhhc2hoYXNo";

PortConfig Port(int number, std::string device, PortMode mode = PortMode::Send,
                BridgeProtocol protocol = BridgeProtocol::ArtNet, int universe = 0) {
    PortConfig port;
    port.number = number;
    port.device = std::move(device);
    port.mode = mode;
    port.protocol = protocol;
    port.universe = universe;
    return port;
}

PortConfig Named(PortConfig port, int priority, int ttl, std::string name) {
    port.priority = priority;
    port.ttl = ttl;
    port.name = std::move(name);
    return port;
}

PortConfig LongNamed(PortConfig port) {
    port.longName = "stage left";
    return port;
}

PortConfig Ltp(PortConfig port) {
    port.merge = MergeMode::Ltp;
    return port;
}

std::string Messages(const ParsedConfig& parsed) {
    std::string text;
    for (const ConfigError& error : parsed.errors) text += error.Text() + "\n";
    return text;
}

struct GoodFile {
    std::string text;
    NodeConfig expected;
};

TEST(NodeConfig, GoodFilesGiveTheirSettings) {
    const GoodFile rows[] = {
        {kNode + "[port 1]\ndevice = A\n", {"eth0", "", {Port(1, "A")}, {}}},
        // Ports come sorted; universes default by protocol, which may follow the universe.
        {"\xEF\xBB\xBF# lighting\r\n[node]\r\n  interface=10.0.0.2  # the stage net\r\nname = stage#2\r\n"
         "[port 3]\nuniverse = 40\nprotocol = sacn\ndevice = B\nmode = receive\n[port 1]\ndevice = A\n"
         "[ port  2 ] # spare\nprotocol=sacn\ndevice=/dev/ttyUSB0\npriority = 200\nttl = 255\nname = desk  "
         "left\n",
         {"10.0.0.2",
          "stage#2",
          {Port(1, "A"),
           Named(Port(2, "/dev/ttyUSB0", PortMode::Send, BridgeProtocol::Sacn, 1), 200, 255, "desk  left"),
           Port(3, "B", PortMode::Receive, BridgeProtocol::Sacn, 40)},
          {}}},
        {kNode + "[port 16]\ndevice = A\nuniverse = 32767\nname = " + std::string(63, 'x') + "\n",
         {"eth0",
          "",
          {Named(Port(16, "A", PortMode::Send, BridgeProtocol::ArtNet, 32767), 100, 1, std::string(63, 'x'))},
          {}}},
        // The same universe received by two send ports, and sent by a receive port on each protocol.
        {kNode + "[port 1]\ndevice = A\n[port 2]\ndevice = B\n[port 3]\ndevice=C\nmode=receive\nuniverse=1\n"
                 "[port 4]\ndevice=D\nmode=receive\nprotocol=sacn\nname=Bühne\n",
         {"eth0",
          "",
          {Port(1, "A"), Port(2, "B"), Port(3, "C", PortMode::Receive, BridgeProtocol::ArtNet, 1),
           Named(Port(4, "D", PortMode::Receive, BridgeProtocol::Sacn, 1), 100, 1, "Bühne")},
          {}}},
        {kNode +
             "[port 1]\ndevice = A\n[web]\nlisten = 0.0.0.0  # every address\nport = 8080\nread = password\n"
             "password = " +
             kHash + "\n",
         {"eth0", "", {Port(1, "A")}, WebConfig{"0.0.0.0", 8080, kHash, true}}},
        {kNode + "[web]\nlisten = 127.0.0.1\nread = anyone\n[port 1]\ndevice = A\n",
         {"eth0", "", {Port(1, "A")}, WebConfig{}}},
        {kNode + "poll_replies = broadcast\n[port 1]\ndevice = A\n", {"eth0", "", {Port(1, "A")}, {}, true}},
        {kNode + "poll_replies = unicast\n[port 1]\ndevice = A\n", {"eth0", "", {Port(1, "A")}, {}, false}},
        {kNode + "[port 1]\ndevice = A\nmerge = ltp\n[port 2]\ndevice = B\nmerge = htp\n",
         {"eth0", "", {Ltp(Port(1, "A")), Port(2, "B")}, {}}},
        {kNode + "remote_config = off\n[port 1]\ndevice = A\nuniverse = 1:2:3\nlong_name = stage left\n",
         {"eth0",
          "",
          {LongNamed(Port(1, "A", PortMode::Send, BridgeProtocol::ArtNet, 0x123))},
          {},
          false,
          false}},
        {kNode + "remote_config = on\n[port 1]\ndevice = A\nuniverse = 127 : 15 : 15\n",
         {"eth0", "", {Port(1, "A", PortMode::Send, BridgeProtocol::ArtNet, 32767)}, {}, false, true}},
    };
    for (const GoodFile& row : rows) {
        const ParsedConfig parsed = ParseNodeConfig(row.text, "good.conf");
        EXPECT_EQ(Messages(parsed), "") << row.text;
        EXPECT_EQ(parsed.config, row.expected) << row.text;
    }
}

struct Refusal {
    std::string text;
    int line;
    std::string reason;  // a part of it
};

TEST(NodeConfig, EachRefusalNamesItsLineAndReason) {
    const std::string port1 = "[port 1]\ndevice = A\n";  // lines 3 and 4 after kNode
    const Refusal rows[] = {
        {kNode, 0, "no [port N] section"},
        {port1, 0, "no interface"},
        {"[node]\ninterface =\n" + port1, 2, "interface is empty"},
        {kNode + "[nodes]\n" + port1, 3, "unknown section [nodes]"},
        {kNode + port1 + "univers = 2\n", 5, "unknown key 'univers' in [port 1]"},
        {kNode + "colour = red\n" + port1, 3, "unknown key 'colour' in [node]"},
        {kNode + "poll_replies = multicast\n" + port1, 3,
         "poll_replies 'multicast' should be unicast or broadcast"},
        {"name = x\n" + kNode + port1, 1, "key 'name' is outside any section"},
        {kNode + port1 + "universe\n", 5, "'universe' is neither a [section] nor key = value"},
        {kNode + port1 + "= 3\n", 5, "neither"},
        {kNode + port1 + "[port 2\n", 5, "neither"},
        {kNode + port1 + "mode = send\nmode = receive\n", 6,
         "duplicate key 'mode' in [port 1] (first on line 5)"},
        {kNode + port1 + "[port 1]\ndevice = B\n", 5, "duplicate section [port 1] (first on line 3)"},
        {kNode + "[node]\n" + port1, 3, "duplicate section [node]"},
        {kNode + "[port 17]\ndevice = A\n", 3, "port number 17 is outside 1 to 16"},
        {kNode + "[port 0]\ndevice = A\n", 3, "outside 1 to 16"},
        {kNode + "[port one]\ndevice = A\n", 3, "port number 'one' is not a whole number"},
        {kNode + "[port]\ndevice = A\n", 3, "port number is empty"},
        {kNode + port1 + "mode = sned\n", 5, "mode 'sned' should be send or receive"},
        {kNode + port1 + "protocol = dmx\n", 5, "protocol 'dmx' should be artnet or sacn"},
        {kNode + port1 + "universe = 32768\n", 5, "Art-Net universe 32768 is outside 0 to 32767"},
        {kNode + port1 + "universe = 0\nprotocol = sacn\n", 5, "sACN universe 0 is outside 1 to 63999"},
        {kNode + port1 + "protocol = sacn\nuniverse = 64000\n", 6, "outside 1 to 63999"},
        {kNode + port1 + "universe = 2x\n", 5, "Art-Net universe '2x' is not a whole number"},
        {kNode + port1 + "universe = 99999999999\n", 5, "outside 0 to 32767"},
        {kNode + port1 + "universe = 0:16:0\n", 5, "sub-net 16 is outside 0 to 15"},
        {kNode + port1 + "universe = 1:2\n", 5, "Art-Net universe '1:2' is not a whole number"},
        {kNode + "remote_config = yes\n" + port1, 3, "remote_config 'yes' should be on or off"},
        {kNode + port1 + "priority = 201\n", 5, "priority 201 is outside 0 to 200"},
        {kNode + port1 + "priority = -1\n", 5, "outside 0 to 200"},
        {kNode + port1 + "ttl = 0\n", 5, "ttl 0 is outside 1 to 255"},
        {kNode + port1 + "merge = HTP\n", 5, "merge 'HTP' should be htp or ltp"},
        {kNode + port1 + "ttl =\n", 5, "ttl is empty"},
        {kNode + port1 + "device =\n", 5, "duplicate key 'device'"},
        {kNode + "[port 1]\ndevice = # later\n", 4, "device is empty"},
        {kNode + "[port 2]\nmode = send\n", 3, "[port 2] has no device"},
        {kNode + port1 + "name = " + std::string(64, 'x') + "\n", 5, "is longer than 63 bytes"},
        {kNode + port1 + "name = a\x1b[2Jb\n", 5, "name 'a?[2Jb' holds a control character or is not UTF-8"},
        {kNode + port1 + "name = \xC3\n", 5, "is not UTF-8"},
        {kNode + port1 + "[port 2]\ndevice = /dev/serial/by-id/A\n", 5,
         "port 2 names the same device as port 1 (line 3)"},
        {kNode + port1 +
             "mode = receive\nprotocol = sacn\n[port 2]\ndevice = B\nmode = receive\nprotocol = sacn\n",
         7, "port 2 sends the same sACN universe 1 as port 1 (line 3)"},
        {kNode + port1 + "[web]\nlisten = 10.0.0.5\n", 6,
         "listen = 10.0.0.5 needs a password: add password = the line that `vantor-bridge --hash-password`"},
        {kNode + port1 + "[web]\npassword = " + kHash + "\n", 6, "password needs a listen line in [web]"},
        {kNode + port1 + "[web]\nlisten = 10.0.0\n", 6, "listen '10.0.0' is no IPv4 address"},
        {kNode + port1 + "[web]\nlisten = 10.0.0.256\n", 6, "is no IPv4 address"},
        {kNode + port1 + "[web]\nlisten = eth0\n", 6, "is no IPv4 address"},
        {kNode + port1 + "[web]\nlisten = 1.2.3.4.5\n", 6, "is no IPv4 address"},
        {kNode + port1 + "[web]\nport = 0\n", 6, "port 0 is outside 1 to 65535"},
        {kNode + port1 + "[web]\nport = 65536\n", 6, "outside 1 to 65535"},
        {kNode + port1 + "[web]\nlisten = 0.0.0.0\npassword = pbkdf2-sha256$999$c2FsdA==$aGFzaA==\n", 7,
         "password is not pbkdf2-sha256$ITERATIONS$SALT$HASH (at least 1000 iterations"},
        {kNode + port1 + "[web]\nlisten = 0.0.0.0\npassword = pbkdf2-sha256$100000$$aGFzaA==\n", 7,
         "password is not"},
        {kNode + port1 + "[web]\nlisten = 0.0.0.0\npassword = pbkdf2-sha256$100000$c2Fsd*==$aGFzaA==\n", 7,
         "password is not"},
        {kNode + port1 + "[web]\nlisten = 0.0.0.0\npassword = sha1$100000$c2FsdA==$aGFzaA==\n", 7,
         "password is not"},
        {kNode + port1 + "[web]\nlisten = 0.0.0.0\npassword = secret\n", 7, "password is not"},
        {kNode + port1 + "[web]\nread = everyone\n", 6, "read 'everyone' should be anyone or password"},
        {kNode + port1 + "[web]\ncolour = red\n", 6, "unknown key 'colour' in [web]"},
        {kNode + port1 + "[web]\nport = 80\nport = 81\n", 7,
         "duplicate key 'port' in [web] (first on line 6)"},
        {kNode + port1 + "[web]\n[web]\n", 6, "duplicate section [web] (first on line 5)"},
    };
    for (const Refusal& row : rows) {
        const ParsedConfig parsed = ParseNodeConfig(row.text, "bad.conf");
        ASSERT_EQ(parsed.errors.size(), 1u) << row.text << Messages(parsed);
        EXPECT_EQ(parsed.errors[0].file, "bad.conf");
        EXPECT_EQ(parsed.errors[0].line, row.line) << row.text;
        EXPECT_NE(parsed.errors[0].reason.find(row.reason), std::string::npos)
            << row.text << Messages(parsed);
    }
}

TEST(NodeConfig, EveryErrorOfAFileIsReportedInLineOrder) {
    EXPECT_EQ(Messages(ParseNodeConfig("", "f.conf")),
              "f.conf: no interface: the node broadcasts and must never pick a network by itself\n"
              "f.conf: no [port N] section\n");
    const ParsedConfig parsed = ParseNodeConfig("[port 1]\nmode = x\nttl = 0\nfoo\n", "f.conf");
    EXPECT_EQ(Messages(parsed),
              "f.conf: no interface: the node broadcasts and must never pick a network by itself\n"
              "f.conf:1: [port 1] has no device\n"
              "f.conf:2: mode 'x' should be send or receive\n"
              "f.conf:3: ttl 0 is outside 1 to 255\n"
              "f.conf:4: 'foo' is neither a [section] nor key = value\n");
}

struct LegacyRow {
    std::string text;
    PortConfig expected;  // when errorLine is -1
    int errorLine = -1;
    std::string fragment;  // of the error, or of a note
};

TEST(NodeConfig, OldBridgeSettingsBecomeOnePort) {
    const std::string base = "INTERFACE=eth0\nPORT=2\nMODE=send\nUNIVERSE=0\n";  // PORT on line 2
    PortConfig numbered = Port(1, "");
    numbered.numberedDevice = 2;
    PortConfig fromOptions = Named(numbered, 100, 9, "");
    fromOptions.universe = 3;
    PortConfig sacn = Named(Port(1, "/dev/b", PortMode::Receive, BridgeProtocol::Sacn, 7), 150, 4, "");
    const LegacyRow rows[] = {
        {base + "PROTOCOL=\nPRIORITY=\nOPTIONS=--enable\n", numbered, -1, ""},
        {"# old\nINTERFACE=\"eth0\"\nDEVICES='/dev/a, "
         "/dev/b'\nPORT=2\nMODE=receive\nPROTOCOL=sacn\nUNIVERSE=7\n"
         "PRIORITY=150\nOPTIONS=--enable --ttl 4\n",
         sacn, -1, ""},
        {base + "OPTIONS=--ttl=9 --universe 3 --quiet --set 1=255\n", fromOptions, -1,
         "OPTIONS: --set 1=255 has no place"},
        {base + "QT_LOGGING_RULES=vantor.*.debug=true\n", numbered, -1, "QT_LOGGING_RULES is left out"},
        {base + "COLOUR=red\n", numbered, -1, "COLOUR is no setting"},
        {"INTERFACE=\nPORT=1\nMODE=send\nUNIVERSE=0\n", {}, 1, "INTERFACE is empty"},
        {base + "DEVICES=/dev/a\n", {}, 2, "PORT 2 but DEVICES names no device for it"},
        {base + "UNIVERSE=256\n", {}, 5, "Art-Net universe 256 is outside 0 to 255"},
        {"INTERFACE=eth0\nMODE=send\nUNIVERSE=0\n", {}, 0, "PORT is empty"},
        {base + "MODE=\n", {}, 5, "mode '' should be send or receive"},
        {base + "OPTIONS=--ttl\n", {}, 5, "OPTIONS: --ttl needs a value"},
        {base + "eth1\n", {}, 5, "'eth1' is not NAME=value"},
    };
    for (const LegacyRow& row : rows) {
        const ParsedConfig parsed = ParseLegacyDefaults(row.text, "vantor-bridge");
        if (row.errorLine >= 0) {
            ASSERT_EQ(parsed.errors.size(), 1u) << row.text << Messages(parsed);
            EXPECT_EQ(parsed.errors[0].line, row.errorLine) << row.text;
            EXPECT_NE(parsed.errors[0].reason.find(row.fragment), std::string::npos) << Messages(parsed);
            continue;
        }
        EXPECT_EQ(Messages(parsed), "") << row.text;
        EXPECT_EQ(parsed.config.interface, "eth0");
        EXPECT_EQ(parsed.config.ports, std::vector<PortConfig>{row.expected}) << row.text;
        std::string notes;
        for (const std::string& note : parsed.notes) notes += note + "\n";
        EXPECT_NE(notes.find(row.fragment), std::string::npos) << notes;
        if (row.fragment.empty()) {
            EXPECT_EQ(notes, "");
        }
    }
}

std::string SourceFile(const std::string& path) {
    const char* source = std::getenv("VANTOR_SOURCE_DIR");
    EXPECT_NE(source, nullptr);
    std::ifstream file(std::string(source ? source : ".") + "/" + path);
    EXPECT_TRUE(file) << path;
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(NodeConfig, ShippedExamplesParse) {
    const ParsedConfig parsed =
        ParseNodeConfig(SourceFile("apps/vantor-bridge/vantor-bridge.conf"), "example");
    EXPECT_EQ(Messages(parsed), "");
    ASSERT_EQ(parsed.config.ports.size(), 2u);
    EXPECT_EQ(parsed.config.ports[0].protocol, BridgeProtocol::ArtNet);
    EXPECT_EQ(parsed.config.ports[1].mode, PortMode::Receive);
    EXPECT_EQ(parsed.config.ports[1].protocol, BridgeProtocol::Sacn);
    // The old package's settings, once their interface is filled in, as an upgrade finds them.
    std::string old = SourceFile("packaging/vantor-bridge.default");
    old.replace(old.find("\nINTERFACE=") + 1, 10, "INTERFACE=eth0");
    const ParsedConfig legacy = ParseLegacyDefaults(old, "vantor-bridge");
    EXPECT_EQ(Messages(legacy), "");
    EXPECT_TRUE(legacy.notes.empty());
    PortConfig first = Port(1, "");
    first.numberedDevice = 1;
    EXPECT_EQ(legacy.config.ports, std::vector<PortConfig>{first});
}

struct ChangeRow {
    int port;
    PortChange change;
    std::optional<PortConfig> expected;  // port 1 after the change
    std::string reason;                  // a part of it, when refused
};

TEST(NodeConfig, PortChangesAreCheckedAsTheFileIs) {
    // Port 2 sends sACN universe 7 from its widget's input.
    const NodeConfig config{
        "eth0", "", {Port(1, "A"), Port(2, "B", PortMode::Receive, BridgeProtocol::Sacn, 7)}, {}};
    const PortChange toSacn{.protocol = "sacn", .universe = "9", .priority = 200, .name = "truss"};
    const PortChange receive7{.mode = "receive", .protocol = "sacn", .universe = "7"};
    PortConfig ltp = Port(1, "A", PortMode::Send, BridgeProtocol::ArtNet, 0x123);
    ltp.merge = MergeMode::Ltp;
    ltp.longName = "stage left";
    const ChangeRow rows[] = {
        {1, toSacn, Named(Port(1, "A", PortMode::Send, BridgeProtocol::Sacn, 9), 200, 1, "truss"), ""},
        {1,
         {.universe = "32767", .name = ""},
         Port(1, "A", PortMode::Send, BridgeProtocol::ArtNet, 32767),
         ""},
        {1, {.universe = "1:2:3", .longName = "stage left", .merge = "ltp"}, ltp, ""},
        // Art-Net's universe 0 is none of sACN's.
        {1,
         {.protocol = "sacn"},
         std::nullopt,
         "universe 0 is no sACN universe (1 to 63999): give one with the protocol"},
        {1,
         {.mode = "receive", .universe = "7"},
         Port(1, "A", PortMode::Receive, BridgeProtocol::ArtNet, 7),
         ""},
        {1, receive7, std::nullopt, "port 1 sends the same sACN universe 7 as port 2"},
        {3, {}, std::nullopt, "there is no port 3"},
        {1, {.mode = "both"}, std::nullopt, "mode 'both' should be send or receive"},
        {1, {.protocol = "dmx"}, std::nullopt, "protocol 'dmx' should be artnet or sacn"},
        {1, {.merge = "both"}, std::nullopt, "merge 'both' should be htp or ltp"},
        {1,
         {.protocol = "sacn", .universe = "64000"},
         std::nullopt,
         "sACN universe 64000 is outside 1 to 63999"},
        {1,
         {.protocol = "sacn", .universe = "1:2:3"},
         std::nullopt,
         "sACN universe '1:2:3' is not a whole number"},
        {1, {.universe = "-1"}, std::nullopt, "outside 0 to 32767"},
        {1, {.universe = std::to_string(1LL << 40)}, std::nullopt, "outside 0 to 32767"},
        {1, {.universe = "1:16:0"}, std::nullopt, "sub-net 16 is outside 0 to 15"},
        {1, {.universe = "128:0:0"}, std::nullopt, "net 128 is outside 0 to 127"},
        {1, {.priority = 201}, std::nullopt, "priority 201 is outside 0 to 200"},
        {1, {.name = std::string(64, 'x')}, std::nullopt, "longer than 63 bytes"},
        {1, {.name = "a\nb"}, std::nullopt, "control character"},
        {1, {.longName = "left #2"}, std::nullopt, "where the file reads a comment"},
        {1, {.name = "#2"}, std::nullopt, "comment"},
        {1, {.name = " left"}, std::nullopt, "starts or ends with a blank"},
    };
    for (const ChangeRow& row : rows) {
        const auto changed = ChangedConfig(config, row.port, row.change);
        if (!row.expected) {
            ASSERT_TRUE(std::holds_alternative<std::string>(changed)) << row.reason;
            EXPECT_NE(std::get<std::string>(changed).find(row.reason), std::string::npos)
                << std::get<std::string>(changed);
            continue;
        }
        ASSERT_TRUE(std::holds_alternative<NodeConfig>(changed)) << std::get<std::string>(changed);
        NodeConfig expected = config;
        expected.ports[0] = *row.expected;
        EXPECT_EQ(std::get<NodeConfig>(changed), expected) << row.expected->name;
    }
}

struct RewriteRow {
    std::string text;
    NodeConfig config;
    std::string expected;
};

TEST(NodeConfig, RewritingKeepsTheFileAndReadsBackAsTheSettings) {
    const RewriteRow rows[] = {
        {"# stage rig\n[node]\ninterface = eth0   # the stage net\n[port 1]\ndevice = A\nmode = send    # "
         "dimmers\n"
         "universe = 3\nname = truss\n\n# the desk's input\n[port 2]\ndevice = B\nprotocol=sacn\n",
         {"eth0",
          "",
          {Port(1, "A", PortMode::Receive, BridgeProtocol::ArtNet, 5),
           Named(Port(2, "B", PortMode::Send, BridgeProtocol::Sacn, 9), 150, 1, "desk")},
          {}},
         "# stage rig\n[node]\ninterface = eth0   # the stage net\n[port 1]\ndevice = A\nmode = receive    # "
         "dimmers\n"
         "universe = 5\nprotocol = artnet\npriority = 100\n\n# the desk's input\n[port 2]\ndevice = B\n"
         "protocol=sacn\nmode = send\nuniverse = 9\npriority = 150\nname = desk\n"},
        // Line ends, an empty value with a comment, other sections and a last line without its end stay.
        {"\xEF\xBB\xBF[node]\r\ninterface = eth0\r\n[port 1]\r\ndevice = A\r\nname = # "
         "later\r\n[web]\r\nport = 8080",
         {"eth0", "", {Named(Port(1, "A"), 100, 1, "stage#2")}, WebConfig{"127.0.0.1", 8080, "", false}},
         "\xEF\xBB\xBF[node]\r\ninterface = eth0\r\n[port 1]\r\ndevice = A\r\nname = stage#2 # later\r\nmode "
         "= send\r\n"
         "protocol = artnet\r\nuniverse = 0\r\npriority = 100\r\n[web]\r\nport = 8080"},
        // A universe keeps its form; merge and the long name are written only once they are not defaults.
        {kNode +
             "[port 1]\ndevice = A\nuniverse = 0:0:1\nlong_name = old\n[port 2]\ndevice = B\nmerge = ltp\n",
         {"eth0",
          "",
          {Ltp(LongNamed(Port(1, "A", PortMode::Send, BridgeProtocol::ArtNet, 0x123))),
           Port(2, "B", PortMode::Send, BridgeProtocol::ArtNet, 4)},
          {}},
         kNode + "[port 1]\ndevice = A\nuniverse = 1:2:3\nlong_name = stage left\nmode = send\nprotocol = "
                 "artnet\npriority = 100\nmerge = ltp\n[port 2]\ndevice = B\nmerge = htp\nmode = send\n"
                 "protocol = artnet\nuniverse = 4\npriority = 100\n"},
    };
    for (const RewriteRow& row : rows) {
        const std::string rewritten = RewriteNodeConfig(row.text, row.config);
        EXPECT_EQ(rewritten, row.expected);
        const ParsedConfig parsed = ParseNodeConfig(rewritten, "rewritten.conf");
        EXPECT_EQ(Messages(parsed), "");
        EXPECT_EQ(parsed.config, row.config) << rewritten;
    }
}

TEST(NodeConfig, AFailedReplaceLeavesTheOldFileAndNothingElse) {
    namespace fs = std::filesystem;
    std::string folder = (fs::temp_directory_path() / "node-config-XXXXXX").string();
    ASSERT_NE(::mkdtemp(folder.data()), nullptr);
    const std::string file = folder + "/vantor-bridge.conf";
    std::ofstream(file) << "old";
    ::chmod(file.c_str(), 0640);
    fs::create_directory(folder + "/folder.conf");
    const auto contents = [](const std::string& path) {
        std::stringstream text;
        text << std::ifstream(path).rdbuf();
        return text.str();
    };
    const struct {
        std::string path;
        std::string reason;  // a part of it; empty: replaced
    } rows[] = {
        {file, ""},
        {folder + "/absent.conf", "cannot replace " + folder + "/absent.conf: No such file"},
        {folder + "/none/x.conf", "No such file"},
        {folder + "/folder.conf", "Is a directory"},
        // Not for root, whom a folder's mode does not stop.
        {::geteuid() == 0 ? file : folder + "/locked/x.conf",
         ::geteuid() == 0 ? "" : "cannot write a new file"},
    };
    fs::create_directory(folder + "/locked");
    std::ofstream(folder + "/locked/x.conf") << "old";
    ::chmod((folder + "/locked").c_str(), 0555);
    for (const auto& row : rows) {
        const std::string before = contents(row.path);
        const std::string failure = ReplaceFileAtomically(row.path, "new\n");
        EXPECT_NE(failure.find(row.reason), std::string::npos) << failure;
        EXPECT_EQ(failure.empty(), row.reason.empty()) << failure;
        EXPECT_EQ(contents(row.path), row.reason.empty() ? "new\n" : before) << row.path;
    }
    struct stat kept {};
    ASSERT_EQ(::stat(file.c_str(), &kept), 0);
    EXPECT_EQ(kept.st_mode & 07777, 0640u);
    std::vector<std::string> left;
    for (const auto& entry : fs::recursive_directory_iterator(folder))
        left.push_back(entry.path().filename());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"folder.conf", "locked", "vantor-bridge.conf", "x.conf"}));
    ::chmod((folder + "/locked").c_str(), 0755);
    fs::remove_all(folder);
}

}  // namespace
