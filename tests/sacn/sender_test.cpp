#include <gtest/gtest.h>

#include "recording_socket.h"
#include "sacn/cid_store.h"
#include "sacn/sacn_bridge.h"
#include "sacn_fixture.h"

namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// What one sent datagram is, read back by the receiver's parser (data) or by its fixed offsets (discovery).
struct Seen {
    char kind;  // 'd' data, 't' stream terminated, 'u' universe discovery
    int sequence;
    std::uint16_t universe;
    bool operator==(const Seen&) const = default;
};

Seen Read(const Sent& sent) {
    if (sent.group == SacnGroupOf(kSacnDiscoveryUniverse)) {
        EXPECT_EQ(sent.bytes.size(), kAtDiscoveryUniverses + 2);  // one universe listed
        return {'u', -1,
                static_cast<std::uint16_t>(sent.bytes[kAtDiscoveryUniverses] << 8 |
                                           sent.bytes[kAtDiscoveryUniverses + 1])};
    }
    SacnIgnored ignored{};
    const auto packet = ParseSacnDataPacket(sent.bytes, ignored);
    EXPECT_TRUE(packet);
    if (!packet) return {};
    EXPECT_EQ(sent.group, SacnGroupOf(packet->Universe));
    const bool terminated = packet->Options & kSacnOptionStreamTerminated;
    return {terminated ? 't' : 'd', packet->Sequence, packet->Universe};
}

std::vector<Seen> ReadAll(RecordingSocket& socket) {
    std::vector<Seen> seen;
    for (const Sent& sent : socket.sent) seen.push_back(Read(sent));
    socket.sent.clear();
    return seen;
}

const std::array<std::uint8_t, kSacnSlots> kLevels{1, 2, 3};

TEST(SacnSender, StreamCases) {
    struct Case {
        const char* name;
        std::function<void(SacnSender&, Clock::time_point)> run;
        std::vector<Seen> expected;
    };
    const std::vector<Case> cases{
        {"first frame: data, then discovery listing the universe",
         [](SacnSender& s, auto t) { s.Send(kLevels, t); },
         {{'d', 0, 1}, {'u', -1, 1}}},
        {"stop: three terminated packets with the next sequence numbers, once",
         [](SacnSender& s, auto t) {
             s.Send(kLevels, t);
             s.Send(kLevels, t + 25ms);
             s.Stop();
             s.Stop();
         },
         {{'d', 0, 1}, {'u', -1, 1}, {'d', 1, 1}, {'t', 2, 1}, {'t', 3, 1}, {'t', 4, 1}}},
        {"stop before any frame sends nothing", [](SacnSender& s, auto) { s.Stop(); }, {}},
        {"discovery every 10 s, by tick or by frame, only while running",
         [](SacnSender& s, auto t) {
             s.Tick(t);
             s.Send(kLevels, t);
             s.Tick(t + 9999ms);
             s.Tick(t + 10s);
             s.Send(kLevels, t + 20s);
             s.Stop();
             s.Tick(t + 40s);
         },
         {{'d', 0, 1},
          {'u', -1, 1},
          {'u', -1, 1},
          {'d', 1, 1},
          {'u', -1, 1},
          {'t', 2, 1},
          {'t', 3, 1},
          {'t', 4, 1}}},
        {"a new universe ends the stream on the old one and starts on the new",
         [](SacnSender& s, auto t) {
             s.Send(kLevels, t);
             s.SetUniverse(7);
             s.Send(kLevels, t + 1s);
         },
         {{'d', 0, 1}, {'u', -1, 1}, {'t', 1, 1}, {'t', 2, 1}, {'t', 3, 1}, {'d', 4, 7}, {'u', -1, 7}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingSocket socket;
        SacnSender sender(socket);
        sender.SetIdentity(CidOf(9), "box Vantor DMX bridge");
        c.run(sender, Clock::time_point{} + 1h);
        EXPECT_EQ(ReadAll(socket), c.expected);
    }
}

TEST(SacnSender, SequenceWrapsAndFieldsHold) {
    RecordingSocket socket;
    SacnSender sender(socket);
    sender.SetIdentity(CidOf(9), "box Vantor DMX bridge");
    sender.SetPriority(150);
    std::array<std::uint8_t, kSacnSlots> levels{};
    for (int frame = 0; frame < 300; ++frame) {
        levels[511] = static_cast<std::uint8_t>(frame);
        sender.Send(levels, Clock::time_point{} + frame * 25ms);
    }
    int frame = 0;
    for (const Sent& sent : socket.sent) {
        if (sent.group == SacnGroupOf(kSacnDiscoveryUniverse)) continue;
        SacnIgnored ignored{};
        const auto packet = ParseSacnDataPacket(sent.bytes, ignored);
        ASSERT_TRUE(packet);
        EXPECT_EQ(packet->Sequence, frame % 256);
        EXPECT_EQ(packet->Slots[511], frame % 256);
        EXPECT_EQ(packet->Priority, 150);
        EXPECT_TRUE(std::equal(packet->Cid.begin(), packet->Cid.end(), CidOf(9).begin()));
        EXPECT_STREQ(reinterpret_cast<const char*>(packet->SourceName.data()), "box Vantor DMX bridge");
        ++frame;
    }
    EXPECT_EQ(frame, 300);
    EXPECT_EQ(sender.PacketsSent, socket.sent.size());
}

struct Output : DmxOutput {
    std::array<std::uint8_t, 513> levels{};
    int frames = 0;
    std::span<std::uint8_t, 513> OutputLevels() override { return levels; }
    void SendOutputPacket() override { ++frames; }
};

// The bridge ends its stream when it leaves receive mode or sACN, or goes, when the link closes and when its
// input goes silent; it ignores its own packets.
TEST(SacnBridge, OwnStreamEnds) {
    struct Leaving {
        const char* name;
        std::function<void(SacnBridge&, bool& sendMode)> leave;
        std::vector<Seen> after{};  // what follows the three terminated packets, to the bridge's end
    };
    const std::vector<Leaving> leaving{
        {"send mode", [](SacnBridge& b, bool& sendMode) { sendMode = true, b.Tick(Clock::now()); }},
        {"Art-Net", [](SacnBridge& b, bool&) { b.Choose(false); }},
        {"the bridge's end", [](SacnBridge&, bool&) {}},
        {"the link closing", [](SacnBridge& b, bool&) { b.EndStream(); }},
        {"no frame for 2.5 s: no discovery after, until the next frame",
         [](SacnBridge& b, bool&) {
             b.Tick(Clock::now() + 2500ms);
             b.Tick(Clock::now() + 20s);
             b.SendLevels(kLevels, Clock::now() + 21s);
         },
         {{'d', 4, 1}, {'u', -1, 1}, {'t', 5, 1}, {'t', 6, 1}, {'t', 7, 1}}},
    };
    for (const auto& [name, leave, after] : leaving) {
        SCOPED_TRACE(name);
        RecordingSocket socket;
        Output output;
        bool sendMode = false;
        {
            SacnBridge bridge(&socket, output, [&] { return sendMode; }, {nullptr, "box", {}});
            bridge.Choose(true);
            bridge.SendLevels(kLevels, Clock::now());
            socket.inbox.push_back(socket.sent.front().bytes);
            bridge.TakeArrivals(Clock::now());
            EXPECT_EQ(bridge.Receiver().Sources().size(), 0u);
            socket.sent.clear();
            leave(bridge, sendMode);
        }
        std::vector<Seen> expected{{'t', 1, 1}, {'t', 2, 1}, {'t', 3, 1}};
        expected.insert(expected.end(), after.begin(), after.end());
        EXPECT_EQ(ReadAll(socket), expected);
    }
}

class MemoryStore : public CidStore {
public:
    std::string Load() override {
        if (unreadable) throw CidStoreError("permission denied");
        return text;
    }
    void Save(const std::string& t) override {
        if (unwritable) throw CidStoreError("read-only file system");
        text = t;
        ++saves;
    }
    std::string Where() const override { return "memory"; }
    std::string text;
    bool unreadable = false, unwritable = false;
    int saves = 0;
};

// The own stream looped back, or a second bridge sharing the state folder: no source, in either mode.
TEST(SacnBridge, OwnCidIsNoSourceInEitherMode) {
    for (const bool sendMode : {true, false}) {
        SCOPED_TRACE(sendMode ? "send mode" : "receive mode");
        RecordingSocket socket;
        Output output;
        MemoryStore store;
        store.text = CidText(CidOf(7));
        SacnBridge bridge(&socket, output, [&] { return sendMode; }, {&store, "box", {}});
        bridge.Choose(true);
        socket.inbox = {Datagram({.source = 7, .level = 50}), Datagram({.source = 8, .level = 60})};
        bridge.TakeArrivals(Clock::now());
        ASSERT_EQ(bridge.Receiver().Sources().size(), 1u);
        EXPECT_EQ(bridge.Receiver().Sources()[0].Cid, CidOf(8));
    }
}

TEST(SacnCid, StoreCases) {
    const std::string kept = "0f8d5e3a-8c1b-4d2e-9a7f-3b6c2d1e0a94";
    struct Case {
        const char* name;
        std::string stored;
        bool unreadable, unwritable;
        bool reused, warning;
        int saves;
    };
    const std::vector<Case> cases{
        {"a valid CID is reused", kept + "\n", false, false, true, false, 0},
        {"upper case is the same CID", "0F8D5E3A-8C1B-4D2E-9A7F-3B6C2D1E0A94", false, false, true, false, 0},
        {"none stored: a new one kept", "", false, false, false, false, 1},
        {"only white space", " \n", false, false, false, false, 1},
        {"corrupt: a new one kept", "0f8d5e3a-8c1b-4d2e-9a7f-3b6c2d1e0a9", false, false, false, false, 1},
        {"dashes misplaced", "0f8d5e3a8-c1b-4d2e-9a7f-3b6c2d1e0a94", false, false, false, false, 1},
        {"unwritable: this run only", "", false, true, false, true, 0},
        {"unreadable: this run only, nothing overwritten", kept, true, false, false, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MemoryStore store;
        store.text = c.stored;
        store.unreadable = c.unreadable;
        store.unwritable = c.unwritable;
        const SacnCidChoice choice = LoadOrMakeCid(store);
        EXPECT_EQ(CidText(choice.Cid) == kept, c.reused);
        EXPECT_EQ(choice.Note.empty(), c.reused);
        EXPECT_EQ(choice.Warning, c.warning);
        EXPECT_EQ(store.saves, c.saves);
        if (c.reused) continue;
        EXPECT_EQ(choice.Cid[6] >> 4, 4);       // version 4
        EXPECT_EQ(choice.Cid[8] & 0xC0, 0x80);  // variant 1
        if (c.saves) {
            EXPECT_EQ(store.text, CidText(choice.Cid));
        }
        EXPECT_EQ(ParseCidText(CidText(choice.Cid)), choice.Cid);
    }
    EXPECT_NE(MakeRandomCid(), MakeRandomCid());
}

}  // namespace
