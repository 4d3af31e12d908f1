#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <vector>

#include "sacn/sacn_receiver.h"
#include "sacn/sacn_socket.h"
#include "stuff/dmx_output.h"

// sACN to the widget: while chosen, the merged levels of the universe are written into the output, and in
// send mode each packet that changes them sends one frame, as the Art-Net node does with ArtDmx.
class SacnBridge {
public:
    using TimePoint = std::chrono::steady_clock::time_point;

    // socket may be null where the platform has none: choosing sACN then fails.
    SacnBridge(SacnSocket* socket, DmxOutput& output, std::function<bool()> isSendMode);
    ~SacnBridge();
    SacnBridge(const SacnBridge&) = delete;
    SacnBridge& operator=(const SacnBridge&) = delete;

    // Opens or closes the socket; a failure to open is thrown and leaves sACN not chosen.
    void Choose(bool chosen);
    bool Chosen() const { return chosen_; }
    // std::out_of_range outside 1 to 63999; a chosen bridge joins the new group.
    void SetUniverse(int universe);
    std::uint16_t Universe() const { return receiver_.Universe(); }
    // std::out_of_range outside 0 to 200. Kept for the sending side.
    void SetPriority(int priority);
    std::uint8_t Priority() const { return priority_; }

    void TakeArrivals(TimePoint now);
    // Source time-outs: a winner gone silent hands the output to the next at once.
    void Tick(TimePoint now);

    const SacnReceiver& Receiver() const { return receiver_; }
    // Frames sent to the widget for changed levels.
    std::uint64_t FramesSent = 0;

private:
    void Output();

    SacnSocket* socket_;
    DmxOutput& output_;
    std::function<bool()> isSendMode_;
    SacnReceiver receiver_{1};
    std::uint8_t priority_ = kSacnDefaultPriority;
    bool chosen_ = false;
    // Reused from one read to the next: a stream of packets allocates nothing.
    std::vector<std::uint8_t> datagram_;
};
