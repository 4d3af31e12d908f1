#include <algorithm>
#include <exception>

#include "node/artnet_node_packets.h"
#include "node/node_port.h"

namespace {

constexpr std::chrono::seconds kRateEvery{1};

}  // namespace

Node::Node(NodeNetwork& network, NodeIdentity identity, Locate locate, Say say,
           std::function<void()> wakeLinks)
    : network_(network),
      identity_(std::move(identity)),
      locate_(std::move(locate)),
      say_(std::move(say)),
      wakeLinks_(std::move(wakeLinks)),
      pollReplyDelay_(PollReplyDelayOf(identity_.mac)) {}

Node::~Node() {
    Stop();
}

void Node::Stop() {
    StopSearch();
    for (auto& [number, port] : ports_) CloseNetworkSide(*port);
    ports_.clear();
}

void Node::SayFor(Port& port, const std::string& line) {
    port.lastMessage = line;
    say_(port.settings.Label() + ": " + line);
}

std::string Node::NodeName() const {
    return config_.name.empty() ? identity_.hostName : config_.name;
}

std::string Node::SourceName(const Port& port) const {
    return NodeName() + " " + port.settings.Label();
}

void Node::Apply(const NodeConfig& config, TimePoint now) {
    const bool renamed = config.name != config_.name;
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
        else if (renamed)
            Rename(*found->second);
    }
}

// A stream goes on under its new name: receivers know a source by its CID.
void Node::Rename(Port& port) {
    if (port.sender) port.sender->SetIdentity(identity_.cid, SourceName(port));
}

void Node::StartPort(const PortConfig& settings, TimePoint now) {
    auto port = std::make_unique<Port>();
    port->settings = settings;
    port->localPortAddress = port->PortAddress().value_or(0);
    SayFor(*port, std::string(ModeText(settings.mode)) + " " + ProtocolText(settings.protocol) +
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
        settings.ttl != port.settings.ttl;
    if (networkChanged) CloseNetworkSide(port);
    port.settings = settings;
    if (!changingFromConsole_) port.localPortAddress = port.PortAddress().value_or(port.localPortAddress);
    port.link->SetLabel(settings.Label());
    port.link->SetMode(settings.mode);
    if (networkChanged)
        OpenNetworkSide(port, now);
    else
        Rename(port);
    SayFor(port, std::string("now ") + ModeText(settings.mode) + " " + ProtocolText(settings.protocol) +
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
        JoinGroup(port, universe);
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
    if (port.receiver) LeaveGroup(port.receiver->Universe());
    UseSyncAddress(port, 0);
    port.receiver.reset();
    port.artNet.Clear();
    port.merging = port.held = false;
}

// Ports of one universe, and synchronisation addresses that are universes too, share its group.
void Node::JoinGroup(Port& port, std::uint16_t universe) {
    if (joined_[universe]++ != 0) return;
    try {
        network_.JoinSacnUniverse(universe);
    } catch (const std::exception& failure) {
        SayFor(port, failure.what());
    }
}

void Node::LeaveGroup(std::uint16_t universe) {
    if (--joined_[universe] != 0) return;
    joined_.erase(universe);
    try {
        network_.LeaveSacnUniverse(universe);
    } catch (const std::exception&) {
    }
}

void Node::ServiceLinks(TimePoint now) {
    for (auto& [number, port] : ports_) {
        const std::string prefix = port->settings.Label() + ": ";
        for (const std::string& line : port->link->TakeLines()) {
            port->lastMessage = line.starts_with(prefix) ? line.substr(prefix.size()) : line;
            say_(line);
        }
        if (port->Sends()) continue;
        if (const DmxFrame* frame = port->link->TakeInput()) SendInput(*port, *frame, now);
    }
}

void Node::SendInput(Port& port, const DmxFrame& frame, TimePoint now) {
    if (frame.slotCount == 0) return;
    const auto slots = std::span(frame.levels).subspan(1, std::min(frame.slotCount, kSacnSlots));
    // A short frame has no more slots: the rest show as dark.
    std::array<std::uint8_t, kSacnSlots> input{};
    std::copy(slots.begin(), slots.end(), input.begin());
    port.SetLevels(input);
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
    std::erase_if(pollAnswers_, [&](const PollAnswer& answer) {
        if (answer.due > now) return false;
        AnswerPoll(answer);
        return true;
    });
    for (auto& [number, port] : ports_) {
        if (port->receiver) DeliverSacn(*port, port->receiver->Tick(now));
        // A stream whose widget has gone or fallen silent ends, as a receiver would end it anyway.
        if (port->sender && port->sender->Running() &&
            (port->link->State() != LinkState::Linked || now - port->lastInput > kInputSilence))
            port->sender->Stop();
        if (port->artNet.Expire(now)) TakeArtNetLevels(*port);
    }
    WatchSync(now);
    if (syncing_ && now - lastSync_ > kSyncTimeout) EndSync();
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
        for (ArtNetSource& source : port->artNet.Sources()) {
            source.perSecond = static_cast<double>(source.packets - source.lastPackets) / seconds;
            source.lastPackets = source.packets;
        }
    }
}

bool Node::UpdateFirmware(int portNumber, const std::string& file) {
    const auto found = ports_.find(portNumber);
    if (found == ports_.end()) {
        say_("port " + std::to_string(portNumber) + ": no such port");
        return false;
    }
    return found->second->link->UpdateFirmware(file);
}
