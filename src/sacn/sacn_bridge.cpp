#include "sacn/sacn_bridge.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "artnet/udp_socket.h"

namespace {

// As with Art-Net: past a burst this size the socket announces the rest again, so timers get their turn.
constexpr int kMaxDatagramsPerArrival = 256;

}  // namespace

SacnBridge::SacnBridge(SacnSocket* socket, DmxOutput& output, std::function<bool()> isSendMode)
    : socket_(socket), output_(output), isSendMode_(std::move(isSendMode)) {
    datagram_.reserve(kSacnDataPacketBytes);
    if (socket_) socket_->DataArrival = [this] { TakeArrivals(std::chrono::steady_clock::now()); };
}

SacnBridge::~SacnBridge() {
    if (socket_) socket_->DataArrival = nullptr;
}

void SacnBridge::Choose(bool chosen) {
    if (chosen == chosen_) return;
    if (chosen) {
        if (!socket_) throw SocketError("sACN is not available on this platform");
        socket_->Open(receiver_.Universe());
    } else {
        socket_->Close();
    }
    chosen_ = chosen;
}

void SacnBridge::SetUniverse(int universe) {
    if (universe < 1 || universe > kSacnHighestUniverse)
        throw std::out_of_range("sACN universe " + std::to_string(universe) + " is outside 1 to " +
                                std::to_string(kSacnHighestUniverse));
    const auto wanted = static_cast<std::uint16_t>(universe);
    if (wanted == receiver_.Universe()) return;
    if (chosen_) socket_->Open(wanted);
    receiver_.SetUniverse(wanted);
}

void SacnBridge::SetPriority(int priority) {
    if (priority < 0 || priority > kSacnHighestPriority)
        throw std::out_of_range("sACN priority " + std::to_string(priority) + " is outside 0 to " +
                                std::to_string(kSacnHighestPriority));
    priority_ = static_cast<std::uint8_t>(priority);
}

void SacnBridge::TakeArrivals(TimePoint now) {
    if (!chosen_) return;
    for (int count = 0; count < kMaxDatagramsPerArrival; ++count) {
        if (!socket_->ReadDatagram(datagram_)) break;
        if (receiver_.Receive(datagram_, now)) Output();
    }
}

void SacnBridge::Tick(TimePoint now) {
    if (chosen_ && receiver_.Tick(now)) Output();
}

void SacnBridge::Output() {
    const auto& levels = receiver_.Levels();
    std::copy(levels.begin(), levels.end(), output_.OutputLevels().begin() + 1);
    if (!isSendMode_()) return;
    output_.SendOutputPacket();
    ++FramesSent;
}
