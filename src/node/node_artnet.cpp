#include <algorithm>
#include <cstring>

#include "node/artnet_node_packets.h"
#include "node/node_port.h"

namespace {

constexpr std::size_t kMaxArtNetSources = 8;
// Polls waiting for their replies; a flood of polls beyond this is answered by those already waiting.
constexpr std::size_t kMaxPollAnswers = 16;

std::string Cut(std::string text, std::size_t bytes) {
    if (text.size() > bytes) text.resize(bytes);
    return text;
}

}  // namespace

bool Node::IsOwn(const UdpEndpoint& from) const {
    return from.Port == kArtNetPort && from.Address == identity_.address;
}

void Node::TakeArtNet(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now) {
    if (IsOwn(from) || datagram.size() < sizeof(ArtNetHeaderRecord::ID) + 2) return;
    ArtNetHeaderRecord header{};
    std::memcpy(&header, datagram.data(), std::min(datagram.size(), sizeof header));
    if (header.ID != kArtNetId) return;
    if (header.OpCode == kOpPoll)
        TakePoll(datagram, from, now);
    else if (header.OpCode == kOpDmx)
        TakeArtDmx(datagram, from, now);
}

void Node::TakePoll(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now) {
    const std::optional<PollTarget> target = ReadArtPoll(datagram);
    if (!target) return;
    PollAnswer answer{
        now + pollReplyDelay_,
        config_.pollRepliesBroadcast ? std::nullopt : std::optional(UdpEndpoint{from.Address, kArtNetPort}),
        *target};
    if (pollReplyDelay_.count() <= 0) return AnswerPoll(answer);
    const bool waiting = std::any_of(pollAnswers_.begin(), pollAnswers_.end(), [&](const PollAnswer& other) {
        return other.to == answer.to && other.target == answer.target;
    });
    if (!waiting && pollAnswers_.size() < kMaxPollAnswers) pollAnswers_.push_back(answer);
}

void Node::AnswerPoll(const PollAnswer& answer) {
    ++pollsAnswered_;
    std::uint8_t bindIndex = 0;
    for (const auto& [number, port] : ports_) {
        if (!port->Is(BridgeProtocol::ArtNet)) continue;
        // The bind index stays the port's own whichever ports a targeted poll asks for.
        ++bindIndex;
        if (!answer.target.Covers(static_cast<std::uint16_t>(port->settings.universe))) continue;
        PortReplyFacts facts;
        facts.address = identity_.address;
        facts.mac = identity_.mac;
        facts.bindIndex = bindIndex;
        facts.portAddress = static_cast<std::uint16_t>(port->settings.universe);
        facts.output = port->Sends();
        facts.dataFlowing = port->inPerSecond > 0;
        facts.locating = port->locating;
        facts.merging = port->merging;
        facts.latestTakes = port->settings.merge == MergeMode::Ltp;
        facts.webPage = webPage_;
        facts.acnPriority = static_cast<std::uint8_t>(port->settings.priority);
        facts.shortName = port->settings.name.empty() ? Cut(NodeName(), 17 - 3) + " " + std::to_string(number)
                                                      : port->settings.name;
        facts.longName = NodeName() + ": " + port->settings.Label();
        facts.report = std::string(LinkText(port->link->State())) + ", " +
                       std::to_string(static_cast<int>(port->outPerSecond)) + " frames/s";
        facts.reportCounter = pollsAnswered_;
        const PollReplyRecord reply = BuildNodePollReply(facts);
        network_.SendArtNet(std::span(reinterpret_cast<const std::uint8_t*>(&reply), sizeof reply),
                            answer.to);
    }
}

void Node::TakeArtDmx(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now) {
    const std::optional<ArtDmxIn> in = ReadArtDmx(datagram);
    if (!in) return;
    bool taken = false;
    for (auto& [number, port] : ports_) {
        if (!port->Is(BridgeProtocol::ArtNet) || !port->Sends() || port->settings.universe != in->portAddress)
            continue;
        taken = true;
        auto& sources = port->artNetSources;
        auto source = std::find_if(sources.begin(), sources.end(),
                                   [&](const Port::ArtNetSource& s) { return s.address == from.Address; });
        if (source != sources.end()) {
            source->last = now;
            ++source->packets;
        } else if (sources.size() < kMaxArtNetSources) {
            sources.push_back({from.Address, now, 1});
        }
        // A short packet changes only the levels it carries.
        port->SetLevels(in->slots);
        port->PutLevels(kSacnSlots);
    }
    if (!taken) ++artDmxForNoPort_;
}
