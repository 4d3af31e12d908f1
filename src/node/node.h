#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "artnet/artnet_packets.h"
#include "node/node_config.h"
#include "node/node_network.h"
#include "node/widget_link.h"
#include "sacn/sacn_packets.h"

// Who the node is on the network.
struct NodeIdentity {
    std::array<std::uint8_t, 4> address{};
    std::array<std::uint8_t, 6> mac{};
    std::string hostName;
    SacnCid cid{};
};

// One line of the status table.
struct PortStatus {
    int number = 0;
    std::string label;
    std::string widget;  // the device path while linked, else what the file names
    std::string link;    // waiting, probing, linked, updating
    std::string mode;    // send, receive
    std::string protocol;
    int universe = 0;
    double framesInPerSecond = 0;   // from the network (send) or the widget's input (receive)
    double framesOutPerSecond = 0;  // to the widget (send) or to the network (receive)
    std::size_t sources = 0;
    // Drops by reason, only those that happened: ("superseded", 3), ("faulty reports", 1), ...
    std::vector<std::pair<std::string, std::uint64_t>> drops;
};

// The node: every port of the file, each on its own widget link, with the Art-Net and sACN traffic routed
// between them and the network. Everything here runs on the program's one thread of events; only the links
// run threads of their own.
class Node {
public:
    using Clock = std::chrono::steady_clock;
    using TimePoint = Clock::time_point;
    using Locate = std::function<std::string(const PortConfig&)>;
    using Say = std::function<void(const std::string&)>;
    // A sending port's stream ends after this long without a good frame of the widget's input.
    static constexpr std::chrono::milliseconds kInputSilence{2500};

    // wakeLinks is called from any link's thread when a link has something to take: the program then calls
    // ServiceLinks on its own thread.
    Node(NodeNetwork& network, NodeIdentity identity, Locate locate, Say say,
         std::function<void()> wakeLinks);
    ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // The file's settings: on start, and again on every reload. A port whose settings did not change is not
    // touched; a changed one applies its change, a new one starts and a removed one stops.
    void Apply(const NodeConfig& config, TimePoint now);
    const NodeConfig& Config() const { return config_; }

    void TakeArtNet(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now);
    void TakeSacn(std::span<const std::uint8_t> datagram, TimePoint now);
    void ServiceLinks(TimePoint now);
    // Source time-outs, stream ends, discovery and the rates; often enough for sACN's time-outs (100 ms).
    void Tick(TimePoint now);
    // Every port's stream ends properly: for a stop.
    void Stop();

    std::vector<PortStatus> Status() const;
    // Starts a firmware update of a port's widget; false (said) when the port is unknown or not linked.
    bool UpdateFirmware(int portNumber, const std::string& file);
    // ArtDmx that no port took, Art-Net packets of other kinds, and the node's own datagrams come back.
    std::uint64_t ArtDmxForNoPort() const { return artDmxForNoPort_; }

private:
    struct Port;

    void StartPort(const PortConfig& settings, TimePoint now);
    void ChangePort(Port& port, const PortConfig& settings, TimePoint now);
    void StopPort(Port& port);
    void Rename(Port& port);
    void OpenNetworkSide(Port& port, TimePoint now);
    void CloseNetworkSide(Port& port);
    void AnswerPoll(const UdpEndpoint& poller);
    void TakeArtDmx(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now);
    void SendInput(Port& port, const DmxFrame& frame, TimePoint now);
    void SendDiscovery(TimePoint now);
    std::string SourceName(const Port& port) const;
    std::string NodeName() const;
    bool IsOwn(const UdpEndpoint& from) const;

    NodeNetwork& network_;
    NodeIdentity identity_;
    Locate locate_;
    Say say_;
    std::function<void()> wakeLinks_;
    NodeConfig config_;
    std::map<int, std::unique_ptr<Port>> ports_;
    std::map<std::uint16_t, int> joined_;  // sACN universes and how many ports use each
    std::uint64_t artDmxForNoPort_ = 0;
    std::uint32_t pollsAnswered_ = 0;
    TimePoint nextDiscovery_{};
    TimePoint nextRates_{};
    std::array<std::uint8_t, kSacnLongestDiscoveryBytes> discovery_{};
    ArtDmxRecord artDmxOut_{};
};
