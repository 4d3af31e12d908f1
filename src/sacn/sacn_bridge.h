#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sacn/cid_store.h"
#include "sacn/sacn_receiver.h"
#include "sacn/sacn_sender.h"
#include "sacn/sacn_socket.h"
#include "stuff/dmx_output.h"

// What the bridge's sending side needs from its platform: where its CID lives (none: a new one each run),
// the source name of its packets, and where it says what happened to the CID.
struct SacnSendServices {
    CidStore* Cids = nullptr;
    std::string SourceName;
    std::function<void(bool warning, const std::string& line)> Log;
};

// sACN beside Art-Net. While chosen, in send mode the merged levels of the universe are written into the
// output and each packet that changes them sends one frame, as the Art-Net node does with ArtDmx; in receive
// mode each good frame of the widget's input leaves as one data packet of the bridge's own stream, which
// ends (three stream-terminated packets) when the bridge leaves receive mode or sACN, or stops, when the link
// closes, and when no good frame has come for as long as a receiver waits for a source; the next frame starts
// it again.
class SacnBridge {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // socket may be null where the platform has none: choosing sACN then fails.
    SacnBridge(SacnSocket* socket, DmxOutput& output, std::function<bool()> isSendMode,
               SacnSendServices sendServices = {});
    ~SacnBridge();
    SacnBridge(const SacnBridge&) = delete;
    SacnBridge& operator=(const SacnBridge&) = delete;

    // Opens or closes the socket; a failure to open is thrown and leaves sACN not chosen. Choosing it reads
    // (or makes) the CID, so that the bridge knows its own packets in either mode.
    void Choose(bool chosen);
    bool Chosen() const { return chosen_; }
    // std::out_of_range outside 1 to 63999; a chosen bridge joins the new group.
    void SetUniverse(int universe);
    std::uint16_t Universe() const { return receiver_.Universe(); }
    // std::out_of_range outside 0 to 200. Kept for the sending side.
    void SetPriority(int priority);
    std::uint8_t Priority() const { return priority_; }
    // std::out_of_range outside 1 to 255.
    void SetTtl(int ttl);

    // The slots (1 to 512) of a good start code 0 frame of the widget's input; sent only while chosen.
    void SendLevels(std::span<const std::uint8_t> levels, TimePoint now);
    // Three stream-terminated packets when the own stream runs: the link closed, or the bridge stops.
    void EndStream();
    // Data, terminated and discovery packets sent; those the socket refused.
    std::uint64_t PacketsSent() const { return sender_ ? sender_->PacketsSent : 0; }
    std::uint64_t SendFailures() const { return sender_ ? sender_->SendFailures : 0; }

    void TakeArrivals(TimePoint now);
    // Source time-outs: a winner gone silent hands the output to the next at once. The own stream's
    // discovery, and its end once the bridge is in send mode or its input has gone silent.
    void Tick(TimePoint now);

    const SacnReceiver& Receiver() const { return receiver_; }
    // Frames sent to the widget for changed levels.
    std::uint64_t FramesSent = 0;

private:
    void Output();
    void TakeIdentity();
    bool IsOwn(std::span<const std::uint8_t> datagram) const;

    SacnSocket* socket_;
    DmxOutput& output_;
    std::function<bool()> isSendMode_;
    SacnReceiver receiver_{1};
    std::uint8_t priority_ = kSacnDefaultPriority;
    bool chosen_ = false;
    bool outputOwed_ = false;
    SacnSendServices sendServices_;
    std::optional<SacnSender> sender_;
    TimePoint lastFrame_{};
    // Reused from one read to the next: a stream of packets allocates nothing.
    std::vector<std::uint8_t> datagram_;
};
