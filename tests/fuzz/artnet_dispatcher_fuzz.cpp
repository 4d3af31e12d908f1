// The Art-Net node's dispatcher on a sequence of arbitrary datagrams, with the bridge's mode, protocol and
// universe changing between them. It looks for logic faults as well as memory errors: the node sends nothing
// but a 239-byte poll reply (one per valid ArtPoll) or a 530-byte ArtDmx, detection follows the identifier
// alone, and the levels change only for an ArtDmx of the selected universe while Art-Net is chosen, which
// goes to the widget at once in send mode only.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>

#include "artnet/artnet.h"
#include "fuzz_check.h"
#include "support/fakes.h"

namespace {

constexpr std::size_t kPollReplyBytes = 239;
constexpr std::size_t kArtDmxBytes = 530;
constexpr std::size_t kArtDmxData = 18;

struct Bridge : BridgeSettings {
    bool IsSendMode() const override { return sendMode; }
    BridgeProtocol Protocol() const override { return protocol; }
    std::uint8_t UniverseSetting() const override { return universe; }
    bool sendMode = false;
    BridgeProtocol protocol = BridgeProtocol::ArtNet;
    std::uint8_t universe = 0;
};

struct Output : DmxOutput {
    std::span<std::uint8_t, 513> OutputLevels() override { return levels; }
    void SendOutputPacket() override { ++sent; }
    std::array<std::uint8_t, 513> levels{};
    int sent = 0;
};

bool HasArtNetId(const Bytes& datagram) {
    return datagram.size() >= 8 && std::memcmp(datagram.data(), "Art-Net", 8) == 0;
}

// Bytes past a short datagram's end count as zero, as the node reads them.
std::uint8_t ByteAt(const Bytes& datagram, std::size_t i) {
    return i < datagram.size() ? datagram[i] : std::uint8_t{0};
}

std::uint16_t OpCode(const Bytes& datagram) {
    return static_cast<std::uint16_t>(ByteAt(datagram, 8) | (ByteAt(datagram, 9) << 8));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    FakeUdpSocket socket;
    socket.localIp = in.ConsumeBool() ? "10.1.2.3" : "192.168.7.9";
    socket.netmask = "255.255.255.0";
    Bridge bridge;
    Output output;
    ArtNet node(socket, bridge, output, {});
    FUZZ_CHECK(node.StartArtNetNode() == 1);

    bool identified = false;
    while (in.remaining_bytes() > 0) {
        bridge.sendMode = in.ConsumeBool();
        bridge.universe = in.ConsumeIntegral<std::uint8_t>();
        bridge.protocol =
            in.ConsumeIntegralInRange(0, 7) == 0 ? BridgeProtocol::Sacn : BridgeProtocol::ArtNet;
        if (in.ConsumeIntegralInRange(0, 15) == 0) {
            // The node's own forwarding of the widget's input.
            std::array<std::uint8_t, 513> levels{};
            const Bytes given = in.ConsumeBytes<std::uint8_t>(513);
            std::copy(given.begin(), given.end(), levels.begin());
            node.SendArtDmx(bridge.universe, levels);
            FUZZ_CHECK(socket.sent.back().bytes.size() == kArtDmxBytes);
            FUZZ_CHECK(socket.sent.back().bytes[14] == bridge.universe);
            FUZZ_CHECK(
                std::equal(levels.begin() + 1, levels.end(), socket.sent.back().bytes.begin() + kArtDmxData));
            continue;
        }
        const Bytes datagram = in.ConsumeBytes<std::uint8_t>(in.ConsumeIntegralInRange<std::size_t>(0, 600));
        const auto levelsBefore = output.levels;
        const std::size_t sentBefore = socket.sent.size();
        const int outputsBefore = output.sent;

        node.HandleArtNetPacket(datagram);

        identified = identified || HasArtNetId(datagram);
        FUZZ_CHECK((node.ArtNetDetected == -1) == identified);
        const bool poll = HasArtNetId(datagram) && OpCode(datagram) == 0x2000;
        FUZZ_CHECK(socket.sent.size() == sentBefore + (poll ? 1 : 0));
        for (std::size_t i = sentBefore; i < socket.sent.size(); ++i) {
            FUZZ_CHECK(socket.sent[i].bytes.size() == kPollReplyBytes);
            FUZZ_CHECK(socket.sent[i].host == node.BroadcastAddress && socket.sent[i].port == 6454);
        }

        const bool matching = bridge.protocol == BridgeProtocol::ArtNet && HasArtNetId(datagram) &&
                              OpCode(datagram) == 0x5000 && ByteAt(datagram, 14) == bridge.universe &&
                              ByteAt(datagram, 15) == 0;
        FUZZ_CHECK(output.levels[0] == levelsBefore[0]);
        if (!matching) {
            FUZZ_CHECK(output.levels == levelsBefore);
        } else {
            // A short packet changes only the levels it carries.
            const std::size_t carried =
                datagram.size() > kArtDmxData ? std::min(datagram.size(), kArtDmxBytes) - kArtDmxData : 0;
            FUZZ_CHECK(std::equal(datagram.begin() + kArtDmxData,
                                  datagram.begin() + static_cast<std::ptrdiff_t>(kArtDmxData + carried),
                                  output.levels.begin() + 1));
            FUZZ_CHECK(std::equal(levelsBefore.begin() + 1 + static_cast<std::ptrdiff_t>(carried),
                                  levelsBefore.end(),
                                  output.levels.begin() + 1 + static_cast<std::ptrdiff_t>(carried)));
        }
        FUZZ_CHECK(output.sent == outputsBefore + (matching && bridge.sendMode ? 1 : 0));
    }
    return 0;
}
