#include "sacn/sacn_sender.h"

SacnSender::SacnSender(SacnSocket& socket) : socket_(socket) {}

std::uint32_t SacnGroupOf(std::uint16_t universe) {
    return (239u << 24) | (255u << 16) | universe;
}

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

void SacnSender::Send(std::span<const std::uint8_t, kSacnSlots> levels, TimePoint now) {
    data_ = BuildSacnDataPacket(fields_, sequence_++, 0, levels);
    Put(data_, fields_.Universe);
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
        data_ = BuildSacnStreamTerminatedPacket(fields_, sequence_++);
        Put(data_, fields_.Universe);
    }
}

void SacnSender::SendDiscoveryIfDue(TimePoint now) {
    if (now < nextDiscovery_) return;
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
