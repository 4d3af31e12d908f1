#include "sacn/sacn_bridge.h"

#include <algorithm>
#include <stdexcept>
#include <string>

#include "stuff/arrival_limit.h"
#include "stuff/socket_error.h"

SacnBridge::SacnBridge(SacnSocket* socket, DmxOutput& output, std::function<bool()> isSendMode,
                       SacnSendServices sendServices)
    : socket_(socket),
      output_(output),
      isSendMode_(std::move(isSendMode)),
      sendServices_(std::move(sendServices)) {
    datagram_.reserve(kSacnDataPacketBytes);
    if (!socket_) return;
    socket_->DataArrival = [this] { TakeArrivals(std::chrono::steady_clock::now()); };
    sender_.emplace(*socket_);
}

SacnBridge::~SacnBridge() {
    if (!socket_) return;
    socket_->DataArrival = nullptr;
    EndStream();
}

void SacnBridge::Choose(bool chosen) {
    if (chosen == chosen_) return;
    if (chosen) {
        if (!socket_) throw SocketError("sACN is not available on this platform");
        socket_->Open(receiver_.Universe());
        // The output still holds what the other protocol put there: the first source takes it over whole,
        // even when its levels are the ones the receiver merged before.
        outputOwed_ = true;
        if (!sender_->HasIdentity()) TakeIdentity();
    } else {
        sender_->Stop();
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
    if (chosen_) {
        // The old stream ends on the old group, before the socket leaves it. A group that cannot be joined
        // leaves the bridge on the old universe, sender and receiver alike.
        sender_->Stop();
        try {
            socket_->Open(wanted);
        } catch (...) {
            try {
                socket_->Open(receiver_.Universe());
            } catch (...) {
            }
            throw;
        }
    }
    if (sender_) sender_->SetUniverse(wanted);
    receiver_.SetUniverse(wanted);
}

void SacnBridge::SetPriority(int priority) {
    if (priority < 0 || priority > kSacnHighestPriority)
        throw std::out_of_range("sACN priority " + std::to_string(priority) + " is outside 0 to " +
                                std::to_string(kSacnHighestPriority));
    priority_ = static_cast<std::uint8_t>(priority);
    if (sender_) sender_->SetPriority(priority_);
}

void SacnBridge::SetTtl(int ttl) {
    if (ttl < 1 || ttl > 255)
        throw std::out_of_range("sACN TTL " + std::to_string(ttl) + " is outside 1 to 255");
    if (socket_) socket_->SetMulticastTtl(ttl);
}

// Made or read once, when sACN is first chosen: an Art-Net bridge never touches its state.
void SacnBridge::TakeIdentity() {
    SacnCidChoice cid;
    if (sendServices_.Cids) {
        cid = LoadOrMakeCid(*sendServices_.Cids);
    } else {
        cid.Cid = MakeRandomCid();
        cid.Note =
            "no state directory to keep the sACN CID in; " + CidText(cid.Cid) + " holds for this run only";
        cid.Warning = true;
    }
    if (!cid.Note.empty() && sendServices_.Log) sendServices_.Log(cid.Warning, cid.Note);
    sender_->SetIdentity(cid.Cid, sendServices_.SourceName);
}

void SacnBridge::SendLevels(std::span<const std::uint8_t> levels, TimePoint now) {
    if (!chosen_ || levels.empty()) return;
    lastFrame_ = now;
    sender_->Send(levels, now);
}

void SacnBridge::EndStream() {
    if (chosen_) sender_->Stop();
}

void SacnBridge::TakeArrivals(TimePoint now) {
    if (!chosen_) return;
    for (int count = 0; count < kMaxDatagramsPerArrival; ++count) {
        if (!socket_->ReadDatagram(datagram_)) break;
        if (IsOwn(datagram_)) continue;
        if (receiver_.Receive(datagram_, now) || (outputOwed_ && receiver_.Winner())) Output();
    }
}

void SacnBridge::Tick(TimePoint now) {
    if (!chosen_) return;
    if (receiver_.Tick(now)) Output();
    // A silent input ends the stream as a receiver would time it out; the next frame starts it again.
    if (isSendMode_() || now - lastFrame_ >= SacnReceiver::kSourceTimeout)
        sender_->Stop();
    else
        sender_->Tick(now);
}

// The bridge's own stream comes back to it over the interface's loopback, and a second bridge sharing its
// state folder sends with the same CID: neither is a source, in either mode.
bool SacnBridge::IsOwn(std::span<const std::uint8_t> datagram) const {
    if (!sender_->HasIdentity() || datagram.size() < kAtCid + kSacnCidBytes) return false;
    const SacnCid& cid = sender_->Cid();
    return std::equal(cid.begin(), cid.end(), datagram.begin() + kAtCid);
}

void SacnBridge::Output() {
    outputOwed_ = false;
    const auto& levels = receiver_.Levels();
    std::copy(levels.begin(), levels.end(), output_.OutputLevels().begin() + 1);
    if (!isSendMode_()) return;
    output_.SendOutputPacket();
    ++FramesSent;
}
