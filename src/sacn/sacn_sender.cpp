#include "sacn/sacn_sender.h"

#include <algorithm>

SacnSender::SacnSender(SacnSocket& socket) : socket_(socket) {}

void SacnSender::SetIdentity(const SacnCid& cid, std::string sourceName) {
    fields_.Cid = cid;
    sourceName_ = std::move(sourceName);
    fields_.SourceName = sourceName_;
    hasIdentity_ = true;
}

void SacnSender::SetUniverse(std::uint16_t universe) {
    if (universe == fields_.Universe) return;
    Stop();
    fields_.Universe = universe;
}

void SacnSender::Send(std::span<const std::uint8_t> levels, TimePoint now) {
    lastSlots_ = std::min(levels.size(), kSacnSlots);
    std::copy_n(levels.begin(), lastSlots_, lastLevels_.begin());
    const std::size_t size = BuildSacnDataPacket(fields_, sequence_++, 0, LastLevels(), data_);
    Put(std::span(data_).first(size), fields_.Universe);
    if (!running_) {
        running_ = true;
        nextDiscovery_ = now;
    }
    SendDiscoveryIfDue(now);
}

void SacnSender::Tick(TimePoint now) {
    if (running_) SendDiscoveryIfDue(now);
}

void SacnSender::Stop() {
    if (!running_) return;
    running_ = false;
    for (int repeat = 0; repeat < kTerminatedRepeats; ++repeat) {
        const std::size_t size = BuildSacnStreamTerminatedPacket(fields_, sequence_++, LastLevels(), data_);
        Put(std::span(data_).first(size), fields_.Universe);
    }
}

void SacnSender::SendDiscoveryIfDue(TimePoint now) {
    if (!discoveryOn_ || now < nextDiscovery_) return;
    nextDiscovery_ = now + kDiscoveryInterval;
    const std::array<std::uint16_t, 1> universes{fields_.Universe};
    const std::size_t size = BuildSacnDiscoveryPacket(fields_, 0, 0, universes, discovery_);
    Put(std::span(discovery_).first(size), kSacnDiscoveryUniverse);
}

void SacnSender::Put(std::span<const std::uint8_t> packet, std::uint16_t universe) {
    if (socket_.Send(packet, SacnGroupOf(universe), kSacnPort))
        ++PacketsSent;
    else
        ++SendFailures;
}
