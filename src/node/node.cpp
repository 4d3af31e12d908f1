#include "node/node.h"

#include <algorithm>
#include <cstring>
#include <exception>
#include <optional>

#include "node/artnet_node_packets.h"
#include "sacn/sacn_receiver.h"
#include "sacn/sacn_sender.h"
#include "sacn/sacn_socket.h"

namespace {

constexpr std::chrono::seconds kArtNetSourceTimeout{10};
constexpr std::chrono::seconds kRateEvery{1};
constexpr std::size_t kMaxArtNetSources = 8;

// A port's sending side of sACN reaches the node's one socket through this, with the port's TTL.
class SacnOut : public SacnSocket {
public:
    SacnOut(NodeNetwork& network, int ttl) : network_(network), ttl_(ttl) {}
    void Open(std::uint16_t) override {}
    void Close() override {}
    bool ReadDatagram(std::vector<std::uint8_t>&) override { return false; }
    bool Send(std::span<const std::uint8_t> datagram, std::uint32_t group, std::uint16_t) override {
        return network_.SendSacn(datagram, group, ttl_);
    }
    void SetMulticastTtl(int ttl) override { ttl_ = ttl; }

private:
    NodeNetwork& network_;
    int ttl_;
};

const char* LinkText(LinkState state) {
    switch (state) {
        case LinkState::Waiting:
            return "waiting";
        case LinkState::Probing:
            return "probing";
        case LinkState::Linked:
            return "linked";
        case LinkState::Updating:
            return "updating";
    }
    return "?";
}

const char* ProtocolText(BridgeProtocol protocol) {
    return protocol == BridgeProtocol::Sacn ? "sacn" : "artnet";
}

const char* ModeText(PortMode mode) {
    return mode == PortMode::Send ? "send" : "receive";
}

std::string Cut(std::string text, std::size_t bytes) {
    if (text.size() > bytes) text.resize(bytes);
    return text;
}

}  // namespace

struct Node::Port {
    struct ArtNetSource {
        std::array<std::uint8_t, 4> address{};
        TimePoint last{};
    };

    PortConfig settings;
    std::unique_ptr<WidgetLink> link;
    // Send mode: what the network asked for, start code first.
    std::array<std::uint8_t, 513> levels{};
    std::optional<SacnReceiver> receiver;
    std::vector<ArtNetSource> artNetSources;
    // Receive mode.
    std::optional<SacnOut> sacnOut;
    std::optional<SacnSender> sender;
    TimePoint lastInput{};
    std::uint8_t artNetSequence = 0;
    // Counted here; the link counts the widget's side.
    std::uint64_t fromNetwork = 0;
    std::uint64_t toNetwork = 0;
    std::uint64_t notSent = 0;
    std::uint64_t lastIn = 0, lastOut = 0;
    double inPerSecond = 0, outPerSecond = 0;

    bool Sends() const { return settings.mode == PortMode::Send; }
    bool Is(BridgeProtocol protocol) const { return settings.protocol == protocol; }
    std::uint64_t FramesIn() const {
        return Sends() ? fromNetwork : link->Counters().framesIn.load(std::memory_order_relaxed);
    }
    std::uint64_t FramesOut() const {
        return Sends() ? link->Counters().framesOut.load(std::memory_order_relaxed) : toNetwork;
    }
    void PutLevels(std::size_t slots) {
        ++fromNetwork;
        link->PutLevels(levels, slots);
    }
};

Node::Node(NodeNetwork& network, NodeIdentity identity, Locate locate, Say say,
           std::function<void()> wakeLinks)
    : network_(network),
      identity_(std::move(identity)),
      locate_(std::move(locate)),
      say_(std::move(say)),
      wakeLinks_(std::move(wakeLinks)) {}

Node::~Node() {
    Stop();
}

void Node::Stop() {
    for (auto& [number, port] : ports_) CloseNetworkSide(*port);
    ports_.clear();
}

std::string Node::NodeName() const {
    return config_.name.empty() ? identity_.hostName : config_.name;
}

std::string Node::SourceName(const Port& port) const {
    return NodeName() + " " + port.settings.Label();
}

void Node::Apply(const NodeConfig& config, TimePoint now) {
    config_ = config;
    for (auto it = ports_.begin(); it != ports_.end();) {
        const bool kept = std::any_of(config.ports.begin(), config.ports.end(),
                                      [&](const PortConfig& port) { return port.number == it->first; });
        if (kept) {
            ++it;
            continue;
        }
        say_(it->second->settings.Label() + ": removed");
        StopPort(*it->second);
        it = ports_.erase(it);
    }
    for (const PortConfig& settings : config.ports) {
        const auto found = ports_.find(settings.number);
        if (found == ports_.end())
            StartPort(settings, now);
        else if (!(found->second->settings == settings))
            ChangePort(*found->second, settings, now);
    }
}

void Node::StartPort(const PortConfig& settings, TimePoint now) {
    auto port = std::make_unique<Port>();
    port->settings = settings;
    say_(settings.Label() + ": " + ModeText(settings.mode) + " " + ProtocolText(settings.protocol) +
         " universe " + std::to_string(settings.universe) + " on " + settings.device);
    port->link = std::make_unique<WidgetLink>(
        settings.Label(), [locate = locate_, settings] { return locate(settings); }, settings.mode,
        wakeLinks_);
    OpenNetworkSide(*port, now);
    ports_[settings.number] = std::move(port);
}

void Node::ChangePort(Port& port, const PortConfig& settings, TimePoint now) {
    if (settings.device != port.settings.device || settings.numberedDevice != port.settings.numberedDevice) {
        say_(port.settings.Label() + ": another widget; the port starts again");
        StopPort(port);
        ports_.erase(settings.number);
        StartPort(settings, now);
        return;
    }
    const bool networkChanged =
        settings.mode != port.settings.mode || settings.protocol != port.settings.protocol ||
        settings.universe != port.settings.universe || settings.priority != port.settings.priority ||
        settings.ttl != port.settings.ttl || settings.name != port.settings.name;
    if (networkChanged) CloseNetworkSide(port);
    port.settings = settings;
    port.link->SetLabel(settings.Label());
    port.link->SetMode(settings.mode);
    if (networkChanged) OpenNetworkSide(port, now);
    say_(settings.Label() + ": now " + ModeText(settings.mode) + " " + ProtocolText(settings.protocol) +
         " universe " + std::to_string(settings.universe));
}

void Node::StopPort(Port& port) {
    CloseNetworkSide(port);
    port.link.reset();
}

void Node::OpenNetworkSide(Port& port, TimePoint now) {
    if (!port.Is(BridgeProtocol::Sacn)) return;
    const auto universe = static_cast<std::uint16_t>(port.settings.universe);
    if (port.Sends()) {
        port.receiver.emplace(universe);
        if (joined_[universe]++ == 0) {
            try {
                network_.JoinSacnUniverse(universe);
            } catch (const std::exception& failure) {
                say_(port.settings.Label() + ": " + failure.what());
            }
        }
        return;
    }
    port.sacnOut.emplace(network_, port.settings.ttl);
    port.sender.emplace(*port.sacnOut);
    port.sender->SetDiscovery(false);
    port.sender->SetIdentity(identity_.cid, SourceName(port));
    port.sender->SetPriority(static_cast<std::uint8_t>(port.settings.priority));
    port.sender->SetUniverse(universe);
    port.lastInput = now;
}

void Node::CloseNetworkSide(Port& port) {
    if (port.sender) port.sender->Stop();
    port.sender.reset();
    port.sacnOut.reset();
    if (port.receiver) {
        const std::uint16_t universe = port.receiver->Universe();
        if (--joined_[universe] == 0) {
            joined_.erase(universe);
            try {
                network_.LeaveSacnUniverse(universe);
            } catch (const std::exception&) {
            }
        }
    }
    port.receiver.reset();
    port.artNetSources.clear();
}

bool Node::IsOwn(const UdpEndpoint& from) const {
    return from.Port == kArtNetPort && from.Address == identity_.address;
}

void Node::TakeArtNet(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now) {
    if (IsOwn(from) || datagram.size() < sizeof(ArtNetHeaderRecord::ID) + 2) return;
    ArtNetHeaderRecord header{};
    std::memcpy(&header, datagram.data(), std::min(datagram.size(), sizeof header));
    if (header.ID != kArtNetId) return;
    if (header.OpCode == kOpPoll)
        AnswerPoll(from);
    else if (header.OpCode == kOpDmx)
        TakeArtDmx(datagram, from, now);
}

void Node::AnswerPoll(const UdpEndpoint& poller) {
    ++pollsAnswered_;
    std::uint8_t bindIndex = 0;
    for (const auto& [number, port] : ports_) {
        if (!port->Is(BridgeProtocol::ArtNet)) continue;
        PortReplyFacts facts;
        facts.address = identity_.address;
        facts.mac = identity_.mac;
        facts.bindIndex = ++bindIndex;
        facts.portAddress = static_cast<std::uint16_t>(port->settings.universe);
        facts.output = port->Sends();
        facts.dataFlowing = port->inPerSecond > 0;
        facts.acnPriority = static_cast<std::uint8_t>(port->settings.priority);
        facts.shortName = port->settings.name.empty() ? Cut(NodeName(), 17 - 3) + " " + std::to_string(number)
                                                      : port->settings.name;
        facts.longName = NodeName() + ": " + port->settings.Label();
        facts.report = std::string(LinkText(port->link->State())) + ", " +
                       std::to_string(static_cast<int>(port->outPerSecond)) + " frames/s";
        facts.reportCounter = pollsAnswered_;
        const PollReplyRecord reply = BuildNodePollReply(facts);
        network_.SendArtNet(std::span(reinterpret_cast<const std::uint8_t*>(&reply), sizeof reply),
                            UdpEndpoint{poller.Address, kArtNetPort});
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
        if (source != sources.end())
            source->last = now;
        else if (sources.size() < kMaxArtNetSources)
            sources.push_back({from.Address, now});
        // A short packet changes only the levels it carries.
        std::copy(in->slots.begin(), in->slots.end(), port->levels.begin() + 1);
        port->PutLevels(kSacnSlots);
    }
    if (!taken) ++artDmxForNoPort_;
}

void Node::TakeSacn(std::span<const std::uint8_t> datagram, TimePoint now) {
    constexpr std::size_t kUniverseEnd = kAtUniverse + 2;
    if (datagram.size() < kUniverseEnd) return;
    // The node's own streams come back over loopback and to other ports of the same universe.
    if (std::equal(identity_.cid.begin(), identity_.cid.end(), datagram.begin() + kAtCid)) return;
    const auto universe = static_cast<std::uint16_t>(datagram[kAtUniverse] << 8 | datagram[kAtUniverse + 1]);
    for (auto& [number, port] : ports_) {
        if (!port->receiver || port->receiver->Universe() != universe) continue;
        if (!port->receiver->Receive(datagram, now)) continue;
        std::copy(port->receiver->Levels().begin(), port->receiver->Levels().end(), port->levels.begin() + 1);
        port->PutLevels(kSacnSlots);
    }
}

void Node::ServiceLinks(TimePoint now) {
    for (auto& [number, port] : ports_) {
        for (const std::string& line : port->link->TakeLines()) say_(line);
        if (port->Sends()) continue;
        if (const DmxFrame* frame = port->link->TakeInput()) SendInput(*port, *frame, now);
    }
}

void Node::SendInput(Port& port, const DmxFrame& frame, TimePoint now) {
    if (frame.slotCount == 0) return;
    const auto slots = std::span(frame.levels).subspan(1, std::min(frame.slotCount, kSacnSlots));
    port.lastInput = now;
    if (port.sender) {
        const std::uint64_t before = port.sender->PacketsSent;
        port.sender->Send(slots, now);
        port.toNetwork += port.sender->PacketsSent - before;
        return;
    }
    if (++port.artNetSequence == 0) port.artNetSequence = 1;
    const std::size_t size =
        BuildNodeArtDmx(static_cast<std::uint16_t>(port.settings.universe), port.artNetSequence,
                        static_cast<std::uint8_t>(port.settings.number - 1), slots, artDmxOut_);
    if (network_.SendArtNet(std::span(reinterpret_cast<const std::uint8_t*>(&artDmxOut_), size),
                            std::nullopt))
        ++port.toNetwork;
    else
        ++port.notSent;
}

void Node::Tick(TimePoint now) {
    for (auto& [number, port] : ports_) {
        if (port->receiver && port->receiver->Tick(now)) {
            std::copy(port->receiver->Levels().begin(), port->receiver->Levels().end(),
                      port->levels.begin() + 1);
            port->PutLevels(kSacnSlots);
        }
        // A stream whose widget has gone or fallen silent ends, as a receiver would end it anyway.
        if (port->sender && port->sender->Running() &&
            (port->link->State() != LinkState::Linked || now - port->lastInput > kInputSilence))
            port->sender->Stop();
        std::erase_if(port->artNetSources, [&](const Port::ArtNetSource& source) {
            return now - source.last > kArtNetSourceTimeout;
        });
    }
    SendDiscovery(now);
    if (now < nextRates_) return;
    const double seconds = nextRates_ == TimePoint{}
                               ? 1.0
                               : std::chrono::duration<double>(now - nextRates_ + kRateEvery).count();
    nextRates_ = now + kRateEvery;
    for (auto& [number, port] : ports_) {
        const std::uint64_t in = port->FramesIn(), out = port->FramesOut();
        port->inPerSecond = static_cast<double>(in - port->lastIn) / seconds;
        port->outPerSecond = static_cast<double>(out - port->lastOut) / seconds;
        port->lastIn = in;
        port->lastOut = out;
    }
}

void Node::SendDiscovery(TimePoint now) {
    if (now < nextDiscovery_) return;
    std::vector<std::uint16_t> universes;
    for (const auto& [number, port] : ports_)
        if (port->sender && port->sender->Running())
            universes.push_back(static_cast<std::uint16_t>(port->settings.universe));
    if (universes.empty()) return;
    nextDiscovery_ = now + SacnSender::kDiscoveryInterval;
    std::sort(universes.begin(), universes.end());
    universes.erase(std::unique(universes.begin(), universes.end()), universes.end());
    SacnSenderFields fields;
    fields.Cid = identity_.cid;
    const std::string name = NodeName();
    fields.SourceName = name;
    const std::size_t pages = (universes.size() + kSacnUniversesPerPage - 1) / kSacnUniversesPerPage;
    for (std::size_t page = 0; page < pages; ++page) {
        const auto list = std::span(universes).subspan(
            page * kSacnUniversesPerPage,
            std::min(kSacnUniversesPerPage, universes.size() - page * kSacnUniversesPerPage));
        const std::size_t size = BuildSacnDiscoveryPacket(
            fields, static_cast<std::uint8_t>(page), static_cast<std::uint8_t>(pages - 1), list, discovery_);
        // The lowest TTL of the ports it speaks for would be as right as any: discovery stays on the link.
        network_.SendSacn(std::span(discovery_).first(size), SacnGroupOf(kSacnDiscoveryUniverse), 1);
    }
}

std::vector<PortStatus> Node::Status() const {
    std::vector<PortStatus> rows;
    for (const auto& [number, port] : ports_) {
        PortStatus row;
        row.number = number;
        row.label = port->settings.Label();
        const LinkState state = port->link->State();
        row.widget = state == LinkState::Linked || state == LinkState::Updating ? port->link->DevicePath()
                                                                                : port->settings.device;
        row.link = LinkText(state);
        row.mode = ModeText(port->settings.mode);
        row.protocol = ProtocolText(port->settings.protocol);
        row.universe = port->settings.universe;
        row.framesInPerSecond = port->inPerSecond;
        row.framesOutPerSecond = port->outPerSecond;
        row.sources = port->receiver ? port->receiver->Sources().size() : port->artNetSources.size();
        const LinkCounters& counters = port->link->Counters();
        const auto add = [&row](const char* reason, std::uint64_t count) {
            if (count > 0) row.drops.emplace_back(reason, count);
        };
        add("superseded", port->link->FramesOverwritten());
        add("faulty", counters.faulty.load());
        add("start code", counters.otherStartCode.load());
        add("empty", counters.noLevels.load());
        add("unsent", port->notSent + (port->sender ? port->sender->SendFailures : 0));
        add("link lost", counters.linkLosses.load());
        if (port->receiver) {
            add("sequence", port->receiver->Ignored(SacnIgnored::Sequence));
            add("source limit", port->receiver->Ignored(SacnIgnored::SourceLimit));
            add("preview", port->receiver->Ignored(SacnIgnored::Preview));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

bool Node::UpdateFirmware(int portNumber, const std::string& file) {
    const auto found = ports_.find(portNumber);
    if (found == ports_.end()) {
        say_("port " + std::to_string(portNumber) + ": no such port");
        return false;
    }
    return found->second->link->UpdateFirmware(file);
}
