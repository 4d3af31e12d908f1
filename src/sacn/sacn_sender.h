#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <span>
#include <string>

#include "sacn/sacn_packets.h"
#include "sacn/sacn_socket.h"

// The bridge's own sACN stream: one data packet per frame of levels to the universe's group, three
// stream-terminated packets when the stream ends, and while it runs a universe discovery packet every 10 s
// (the first with the first data packet). Packets are built in storage of its own: sending allocates nothing.
class SacnSender {
public:
    using TimePoint = std::chrono::steady_clock::time_point;
    static constexpr std::chrono::seconds kDiscoveryInterval{10};
    static constexpr int kTerminatedRepeats = 3;

    explicit SacnSender(SacnSocket& socket);
    SacnSender(const SacnSender&) = delete;
    SacnSender& operator=(const SacnSender&) = delete;

    // The CID and source name of every packet from now on; set before the first.
    void SetIdentity(const SacnCid& cid, std::string sourceName);
    bool HasIdentity() const { return hasIdentity_; }
    const SacnCid& Cid() const { return fields_.Cid; }
    void SetPriority(std::uint8_t priority) { fields_.Priority = priority; }
    // A running stream ends on the old universe; the next frame starts one on the new.
    void SetUniverse(std::uint16_t universe);

    // Levels of 1 to 512 slots (more are cut): a packet carries as many as the frame had.
    void Send(std::span<const std::uint8_t> levels, TimePoint now);
    // Universe discovery when it is due.
    void Tick(TimePoint now);
    // Off where one discovery packet lists the universes of several senders of the same CID.
    void SetDiscovery(bool on) { discoveryOn_ = on; }
    // Ends a running stream: three stream-terminated packets with the last levels sent.
    void Stop();
    bool Running() const { return running_; }

    // Data, terminated and discovery packets that left, and those the socket refused.
    std::uint64_t PacketsSent = 0;
    std::uint64_t SendFailures = 0;

private:
    std::span<const std::uint8_t> LastLevels() const { return std::span(lastLevels_).first(lastSlots_); }
    void SendDiscoveryIfDue(TimePoint now);
    void Put(std::span<const std::uint8_t> packet, std::uint16_t universe);

    SacnSocket& socket_;
    SacnSenderFields fields_;
    std::string sourceName_;
    bool hasIdentity_ = false;
    bool running_ = false;
    bool discoveryOn_ = true;
    std::uint8_t sequence_ = 0;
    TimePoint nextDiscovery_{};
    SacnDataPacketBytes data_{};
    std::array<std::uint8_t, kSacnSlots> lastLevels_{};
    std::size_t lastSlots_ = 0;
    std::array<std::uint8_t, kSacnLongestDiscoveryBytes> discovery_{};
};
