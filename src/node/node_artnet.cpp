#include <algorithm>
#include <cstring>
#include <utility>

#include "node/art_address.h"
#include "node/artnet_node_packets.h"
#include "node/node_port.h"

namespace {

// Polls waiting for their replies; a flood of polls beyond this is answered by those already waiting.
constexpr std::size_t kMaxPollAnswers = 16;
constexpr std::size_t kArtSyncBytes = 14;

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
    else if (header.OpCode == kOpSync)
        TakeArtSync(datagram, from, now);
    else if (header.OpCode == kOpAddress)
        TakeArtAddress(datagram, from, now);
}

std::optional<UdpEndpoint> Node::ReplyTo(const UdpEndpoint& from) const {
    if (config_.pollRepliesBroadcast) return std::nullopt;
    return UdpEndpoint{from.Address, kArtNetPort};
}

void Node::TakePoll(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now) {
    const std::optional<PollTarget> target = ReadArtPoll(datagram);
    if (!target) return;
    PollAnswer answer{now + pollReplyDelay_, ReplyTo(from), *target};
    if (pollReplyDelay_.count() <= 0) return AnswerPoll(answer);
    const bool waiting = std::any_of(pollAnswers_.begin(), pollAnswers_.end(), [&](const PollAnswer& other) {
        return other.to == answer.to && other.target == answer.target;
    });
    if (!waiting && pollAnswers_.size() < kMaxPollAnswers) pollAnswers_.push_back(answer);
}

void Node::AnswerPoll(const PollAnswer& answer) {
    ++pollsAnswered_;
    for (const auto& [number, port] : ports_) {
        const std::optional<std::uint16_t> portAddress = port->PortAddress();
        if (!portAddress || !answer.target.Covers(*portAddress) ||
            (answer.onlyPort && answer.onlyPort != number))
            continue;
        PortReplyFacts facts;
        facts.address = identity_.address;
        facts.mac = identity_.mac;
        // The port's number: a console that keeps ports by bind index finds each where it was, whatever
        // ports come and go beside it.
        facts.bindIndex = static_cast<std::uint8_t>(number);
        facts.portAddress = *portAddress;
        facts.output = port->Sends();
        facts.sacn = port->Is(BridgeProtocol::Sacn);
        facts.dataFlowing = port->inPerSecond > 0;
        facts.locating = port->locating;
        facts.muted = port->muted;
        facts.addressFromNetwork = config_.remoteConfig;
        facts.merging = port->merging;
        facts.latestTakes = port->settings.merge == MergeMode::Ltp;
        facts.webPage = webPage_;
        facts.acnPriority = static_cast<std::uint8_t>(port->settings.priority);
        facts.shortName = port->settings.name.empty() ? Cut(NodeName(), 17 - 3) + " " + std::to_string(number)
                                                      : port->settings.name;
        facts.longName = port->settings.longName.empty() ? NodeName() + ": " + port->settings.Label()
                                                         : port->settings.longName;
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
        if (port->artNet.Take(from.Address, in->physical, in->slots, now)) TakeArtNetLevels(*port);
    }
    if (taken)
        lastArtDmxFrom_ = from.Address;
    else
        ++artDmxForNoPort_;
}

void Node::TakeArtNetLevels(Port& port) {
    if (port.merging != port.artNet.Merging()) {
        port.merging = port.artNet.Merging();
        SayFor(port, port.merging ? std::string("merging 2 sources (") + MergeText(port.settings.merge) + ")"
                                  : std::string("merging ended"));
    }
    if (port.artNet.Sources().empty()) return;
    port.SetLevels(port.artNet.Levels(port.settings.merge));
    port.held = HoldsArtDmx(port);
    if (!port.held) port.PutLevels(kSacnSlots);
}

bool Node::HoldsArtDmx(const Port& port) const {
    return syncing_ && !port.merging;
}

void Node::TakeArtSync(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now) {
    if (datagram.size() < kArtSyncBytes || (lastArtDmxFrom_ && *lastArtDmxFrom_ != from.Address)) return;
    syncing_ = true;
    lastSync_ = now;
    ReleaseHeld();
}

void Node::ReleaseHeld() {
    for (auto& [number, port] : ports_)
        if (std::exchange(port->held, false)) port->PutLevels(kSacnSlots);
}

void Node::EndSync() {
    syncing_ = false;
    ReleaseHeld();
}

void Node::CancelMerge(int portNumber) {
    if (const auto found = ports_.find(portNumber); found != ports_.end()) found->second->artNet.Cancel();
}
