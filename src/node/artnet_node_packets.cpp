#include "node/artnet_node_packets.h"

#include <algorithm>
#include <cstring>

namespace {

template <std::size_t N>
void PutText(std::array<std::uint8_t, N>& field, const std::string& text) {
    field.fill(0);
    // The last byte stays NUL: readers expect the terminator.
    std::copy_n(text.begin(), std::min(text.size(), N - 1), field.begin());
}

constexpr std::uint8_t kStatus1IndicatorsNormal = 0xC0;
constexpr std::uint8_t kStatus1IndicatorsLocate = 0x40;
constexpr std::uint8_t kStatus1IndicatorsMute = 0x80;
constexpr std::uint8_t kStatus1AddressFromNetwork = 0x20;
constexpr std::uint8_t kStatus1AddressLocal = 0x10;
constexpr std::uint8_t kStatus2WebPage = 0x01;
constexpr std::uint8_t kStatus2PortAddress15Bit = 0x08;
constexpr std::uint8_t kStatus2SwitchesProtocol = 0x10;
constexpr std::uint8_t kGoodOutputMerging = 0x08;
constexpr std::uint8_t kGoodOutputLtp = 0x02;
constexpr std::uint8_t kGoodOutputFromSacn = 0x01;
constexpr std::uint8_t kGoodInputToSacn = 0x01;
constexpr std::uint8_t kPollTargeted = 0x20;
constexpr std::size_t kPollShortest = 14;
constexpr std::size_t kPollWithTarget = 18;
constexpr std::uint8_t kPortTypeOutput = 0x80;
constexpr std::uint8_t kPortTypeInput = 0x40;
constexpr std::uint8_t kGoodData = 0x80;

}  // namespace

PollReplyRecord BuildNodePollReply(const PortReplyFacts& facts) {
    PollReplyRecord reply{};
    reply.ID = kArtNetId;
    reply.OpCode = kOpPollReply;
    reply.IPAddress = facts.address;
    reply.Port = kArtNetPort;
    reply.VersInfoH = 2;
    reply.VersInfo = 0;
    reply.NetSwitch = static_cast<std::uint8_t>((facts.portAddress >> 8) & 0x7F);
    reply.SubSwitch = static_cast<std::uint8_t>((facts.portAddress >> 4) & 0x0F);
    reply.Oem = SwapBytes(0x00FF);
    reply.Status = static_cast<std::uint8_t>(
        (facts.locating ? kStatus1IndicatorsLocate
         : facts.muted  ? kStatus1IndicatorsMute
                        : kStatus1IndicatorsNormal) |
        (facts.addressFromNetwork ? kStatus1AddressFromNetwork : kStatus1AddressLocal));
    PutText(reply.ShortName, facts.shortName);
    PutText(reply.LongName, facts.longName);
    PutText(reply.NodeReport, "#0001 [" + std::to_string(facts.reportCounter % 10000) + "] " + facts.report);
    reply.NumPortsLo = 1;
    reply.PortTypes[0] = facts.output ? kPortTypeOutput : kPortTypeInput;
    const auto universeNibble = static_cast<std::uint8_t>(facts.portAddress & 0x0F);
    if (facts.output) {
        reply.SwOut[0] = universeNibble;
        reply.GoodOutput[0] = static_cast<std::uint8_t>(
            (facts.dataFlowing ? kGoodData : 0) | (facts.merging ? kGoodOutputMerging : 0) |
            (facts.merging && facts.latestTakes ? kGoodOutputLtp : 0) |
            (facts.sacn ? kGoodOutputFromSacn : 0));
    } else {
        reply.SwIn[0] = universeNibble;
        reply.GoodInput[0] = static_cast<std::uint8_t>((facts.dataFlowing ? kGoodData : 0) |
                                                       (facts.sacn ? kGoodInputToSacn : 0));
    }
    // Art-Net 4 reads the old video byte as the priority of the node's sACN.
    reply.SwVideo = facts.acnPriority;
    reply.MAC = facts.mac;
    PollReplyBindRecord bind{};
    bind.BindIp = facts.address;
    bind.BindIndex = facts.bindIndex;
    bind.Status2 = static_cast<std::uint8_t>(kStatus2PortAddress15Bit | kStatus2SwitchesProtocol |
                                             (facts.webPage ? kStatus2WebPage : 0));
    bind.RefreshRate = SwapBytes(kDmxRefreshRate);
    std::memcpy(reply.Filler.data(), &bind, sizeof bind);
    return reply;
}

PollReplyBindRecord BindFieldsOf(const PollReplyRecord& reply) {
    PollReplyBindRecord bind;
    std::memcpy(&bind, reply.Filler.data(), sizeof bind);
    return bind;
}

std::optional<PollTarget> ReadArtPoll(std::span<const std::uint8_t> datagram) {
    if (datagram.size() < kPollShortest) return std::nullopt;
    PollTarget target;
    if (datagram.size() >= kPollWithTarget && (datagram[12] & kPollTargeted)) {
        target.top = static_cast<std::uint16_t>(datagram[14] << 8 | datagram[15]);
        target.bottom = static_cast<std::uint16_t>(datagram[16] << 8 | datagram[17]);
    }
    return target;
}

std::chrono::milliseconds PollReplyDelayOf(const std::array<std::uint8_t, 6>& mac) {
    constexpr std::uint32_t kLongestDelayMs = 500;
    // FNV-1a: the last bytes of a rig's MACs often differ by one, and this spreads them over the range.
    std::uint32_t hash = 2166136261u;
    for (const std::uint8_t byte : mac) hash = (hash ^ byte) * 16777619u;
    return std::chrono::milliseconds(hash % (kLongestDelayMs + 1));
}

std::optional<ArtDmxIn> ReadArtDmx(std::span<const std::uint8_t> datagram) {
    constexpr std::size_t kDataAt = offsetof(ArtDmxRecord, Data);
    if (datagram.size() <= kDataAt) return std::nullopt;
    ArtDmxRecord head;
    std::memcpy(&head, datagram.data(), kDataAt);
    if (head.ID != kArtNetId || head.OpCode != kOpDmx) return std::nullopt;
    // The length field may claim more than came; only what came counts.
    const std::size_t claimed = SwapBytes(head.Length);
    const std::size_t carried = std::min({datagram.size() - kDataAt, claimed, kArtDmxLevels});
    if (carried == 0) return std::nullopt;
    ArtDmxIn in;
    in.portAddress = static_cast<std::uint16_t>(head.Universe & kHighestPortAddress);
    in.sequence = head.Sequence;
    in.physical = head.Physical;
    in.slots = datagram.subspan(kDataAt, carried);
    return in;
}

std::size_t BuildNodeArtDmx(std::uint16_t portAddress, std::uint8_t sequence, std::uint8_t physical,
                            std::span<const std::uint8_t> slots, ArtDmxRecord& out) {
    const std::size_t count = std::min(slots.size(), kArtDmxLevels);
    const std::size_t even = std::max<std::size_t>(2, count + (count & 1));
    out.ID = kArtNetId;
    out.OpCode = kOpDmx;
    out.ProtVerHi = 0;
    out.ProtVerLo = kProtocolVersion;
    out.Sequence = sequence;
    out.Physical = physical;
    out.Universe = portAddress;
    out.Length = SwapBytes(static_cast<std::uint16_t>(even));
    std::copy_n(slots.begin(), count, out.Data.begin());
    std::fill(out.Data.begin() + static_cast<std::ptrdiff_t>(count),
              out.Data.begin() + static_cast<std::ptrdiff_t>(even), 0);
    return offsetof(ArtDmxRecord, Data) + even;
}
