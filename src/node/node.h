#pragma once

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <thread>
#include <vector>

#include "artnet/artnet_packets.h"
#include "node/node_config.h"
#include "node/node_network.h"
#include "node/poll_target.h"
#include "node/port_change.h"
#include "node/widget_link.h"
#include "sacn/sacn_packets.h"

// Who the node is on the network.
struct NodeIdentity {
    std::array<std::uint8_t, 4> address{};
    std::array<std::uint8_t, 6> mac{};
    std::string hostName;
    SacnCid cid{};
};

// A network source a sending port hears.
struct SourceStatus {
    std::string name;     // sACN: its source name; Art-Net: empty
    std::string address;  // Art-Net: its IPv4 address; sACN: its CID as 8-4-4-4-12 hex
    int priority = 0;     // sACN's priority; Art-Net: 0
    double packetsPerSecond = 0;
    bool winning = false;  // its levels are the port's (with others of its priority when merging)
};

// One port as the status table and the page show it.
struct PortStatus {
    int number = 0;
    std::string label;
    std::string name;          // as in the file; empty: none
    std::string device;        // as in the file
    std::string widget;        // the device path while linked, else what the file names
    std::string serialNumber;  // the widget's, eight digits, once known
    std::string firmware;      // "2.44", once the widget answered
    std::string statusText;  // the widget link's state as the control window words it ("Ready", "Waiting...")
    std::string link;        // waiting, probing, linked, updating
    std::string mode;        // send, receive
    std::string protocol;    // artnet, sacn
    int universe = 0;
    int priority = 0;
    int ttl = 1;
    double framesInPerSecond = 0;   // from the network (send) or the widget's input (receive)
    double framesOutPerSecond = 0;  // to the widget (send) or to the network (receive)
    std::uint64_t framesIn = 0;     // all told
    std::size_t sources = 0;
    std::vector<SourceStatus> heard;  // send mode: the sources of its universe
    std::string merge;                // how its levels come about: "no source", "one source", ...
    bool merging = false;             // Art-Net: two sources merge
    std::string mergeMode;            // the setting: htp, ltp
    // When its levels go to the widget: "" at once; "ArtSync" at the console's next ArtSync; "sACN N" at the
    // next synchronisation packet of address N.
    std::string sync;
    std::string longName;  // as in the file; empty: none
    // Drops by reason, only those that happened: ("superseded", 3), ("faulty reports", 1), ...
    std::vector<std::pair<std::string, std::uint64_t>> drops;
    std::string lastMessage;  // the port's last journal line
    bool locating = false;
    FirmwareProgress firmwareUpdate;
};

// A widget a search found: one a port serves, or one of the machine's serial devices that answered.
struct FoundWidget {
    std::string path;
    std::string byId;  // its /dev/serial/by-id name, empty when it has none
    std::string serialNumber;
    std::string firmware;
    int port = 0;  // the port that serves it; 0: none
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
    // Synchronisation of an address is lost after this long without its synchronisation packet.
    static constexpr std::chrono::milliseconds kSyncLoss{2500};

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
    // The 512 levels a port handles now: send mode the network's, receive mode the widget's input. Empty
    // for an unknown port.
    std::optional<std::array<std::uint8_t, 512>> Levels(int portNumber) const;
    // A port's levels changed since the last call for it (for the page's live grid, which sends only
    // changes).
    bool LevelsChanged(int portNumber);
    // Marks a port for finding its widget on the rig: the status table and the poll reply's indicators show
    // it until cancelled. Its DMX never changes for it. False for an unknown port.
    bool SetLocating(int portNumber, bool on);
    // Starts a search for widgets: the ports' own are known; every other serial device of the machine is
    // asked, on a thread of the search's own, so that nothing here waits. False while one runs.
    bool StartSearch();
    bool Searching() const { return searching_.load(); }
    // The ports' widgets, then what the search found so far.
    std::vector<FoundWidget> FoundWidgets() const;
    // The page is up (or not): poll replies say the node can be set up through a browser.
    void SetWebPage(bool on) { webPage_ = on; }
    // How long after a poll its replies go out (from Tick); zero answers at once. By default a part of a
    // second that the MAC decides, so that a rig's nodes do not all answer in the same instant.
    void SetPollReplyDelay(std::chrono::milliseconds delay) { pollReplyDelay_ = delay; }
    // ArtDmx that no port took, Art-Net packets of other kinds, and the node's own datagrams come back.
    std::uint64_t ArtDmxForNoPort() const { return artDmxForNoPort_; }
    // Art-Net: the next ArtDmx's source becomes the port's only one, until another appears.
    void CancelMerge(int portNumber);
    // A console's ArtAddress changes a port's settings through this, so that the change is kept where the
    // node's settings live; it returns why not, or empty when done. Without one, the node applies the change
    // to the settings it runs.
    using ChangeSettings = std::function<std::string(int portNumber, const PortChange& change)>;
    void SetSettingsChanger(ChangeSettings change) { changeSettings_ = std::move(change); }
    // Without an ArtSync for this long, held ArtDmx goes out at once again.
    static constexpr std::chrono::seconds kSyncTimeout{4};

private:
    struct Port;

    void StartPort(const PortConfig& settings, TimePoint now);
    void ChangePort(Port& port, const PortConfig& settings, TimePoint now);
    void StopPort(Port& port);
    void Rename(Port& port);
    void OpenNetworkSide(Port& port, TimePoint now);
    void CloseNetworkSide(Port& port);
    struct PollAnswer {
        TimePoint due;
        std::optional<UdpEndpoint> to;  // nullopt: the interface's broadcast
        PollTarget target;
        int onlyPort = 0;  // an ArtAddress's port; 0: all
        bool operator==(const PollAnswer&) const = default;
    };
    void TakePoll(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now);
    void AnswerPoll(const PollAnswer& answer);
    // Where replies to a poll or an ArtAddress from there go: the sender, or the broadcast (nullopt).
    std::optional<UdpEndpoint> ReplyTo(const UdpEndpoint& from) const;
    void TakeArtDmx(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now);
    void TakeArtSync(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now);
    void TakeArtAddress(std::span<const std::uint8_t> datagram, const UdpEndpoint& from, TimePoint now);
    void ClearOutput(Port& port);
    // A port's merged Art-Net levels: to its widget, or held for the next ArtSync.
    void TakeArtNetLevels(Port& port);
    // Its ArtDmx waits for the next ArtSync: a merging port writes at once, since its sources' ArtSyncs would
    // not agree.
    bool HoldsArtDmx(const Port& port) const;
    // Writes every held port's levels.
    void ReleaseHeld();
    void EndSync();
    void SendInput(Port& port, const DmxFrame& frame, TimePoint now);
    // A line of the journal about the port; the page shows the last.
    void SayFor(Port& port, const std::string& line);
    void StopSearch();
    void SendDiscovery(TimePoint now);
    void JoinGroup(Port& port, std::uint16_t universe);
    void LeaveGroup(std::uint16_t universe);
    void TakeSacnSync(const SacnSyncPacket& sync, TimePoint now);
    // The port's receiver took a packet or timed a source out: its merged levels go to the widget, or wait
    // for the synchronisation packet.
    void DeliverSacn(Port& port, bool changed);
    bool Holds(const Port& port) const;
    // The port's data names this synchronisation address now (0: none); the group follows.
    void UseSyncAddress(Port& port, std::uint16_t address);
    void WatchSync(TimePoint now);
    // What waits for the address's synchronisation packet; on its loss, only what allows it.
    void Release(std::uint16_t address, bool forcedOnly);
    static void Write(Port& port, std::span<const std::uint8_t> levels);
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
    // A synchronisation address that sending ports' data names.
    struct SyncState {
        int ports = 0;
        bool seen = false;  // a synchronisation packet came: data naming the address waits for the next
        bool lost = false;  // none came for kSyncLoss since
        TimePoint last{};
        struct Source {
            SacnCid cid{};
            std::uint8_t sequence = 0;
            TimePoint last{};
        };
        std::vector<Source> sources;  // their synchronisation packets' own sequences
    };
    std::map<std::uint16_t, SyncState> syncs_;
    std::uint64_t artDmxForNoPort_ = 0;
    // ArtSync: the node holds ArtDmx for it while syncing_.
    bool syncing_ = false;
    TimePoint lastSync_{};
    std::optional<std::array<std::uint8_t, 4>> lastArtDmxFrom_;
    ChangeSettings changeSettings_;
    bool changingFromConsole_ = false;  // a port's universe set now is no local one
    bool remoteConfigRefusalSaid_ = false;
    std::uint32_t pollsAnswered_ = 0;
    std::vector<PollAnswer> pollAnswers_;  // due in Tick
    std::chrono::milliseconds pollReplyDelay_;
    bool webPage_ = false;
    TimePoint nextDiscovery_{};
    TimePoint nextRates_{};
    std::array<std::uint8_t, kSacnLongestDiscoveryBytes> discovery_{};
    ArtDmxRecord artDmxOut_{};
    std::thread search_;
    std::atomic<bool> searching_{false};
    std::atomic<bool> stopSearch_{false};
    mutable std::mutex foundMutex_;  // guards found_, which the search's thread fills
    std::vector<FoundWidget> found_;
};
