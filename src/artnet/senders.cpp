#include <algorithm>
#include <cstring>
#include <string_view>

#include "artnet/artnet.h"

namespace {

template <std::size_t Width>
void SetPaddedText(std::array<std::uint8_t, Width>& field, std::string_view text) {
    field.fill(' ');
    std::copy_n(text.begin(), std::min(text.size(), Width), field.begin());
}

template <typename Record>
std::span<const std::uint8_t> ByteImage(const Record& record) {
    return {reinterpret_cast<const std::uint8_t*>(&record), sizeof(Record)};
}

}  // namespace

void ArtNet::BuildArtPollReply() {
    PollReplyRecord& reply = PollReply;
    reply.ID = kArtNetId;
    reply.OpCode = kOpPollReply;
    std::copy_n(NodeAddress.begin(), 4, reply.IPAddress.begin());
    reply.Port = static_cast<std::uint16_t>(NodeAddress[4] | NodeAddress[5] << 8);
    reply.VersInfoH = 0;
    reply.VersInfo = kProtocolVersion;
    reply.NetSwitch = 0;
    reply.Oem = SwapBytes(255);
    reply.UbeaVersion = 0;
    reply.Status = 0;
    reply.EstaMan = 0;
    reply.Style = 0;
    SetPaddedText(reply.ShortName, "Zephrax");
    SetPaddedText(reply.LongName, "Tarvo's Zephrax");
    SetPaddedText(reply.NodeReport, "OK");
    reply.NumPortsHi = 0;
    reply.NumPortsLo = 1;
    reply.PortTypes = {};
    // Readers take the port's universe from the sub-net switch (its bits 7 to 4) and the low four bits of the
    // port's switch byte; up to 15 the bytes are what they always were.
    const std::uint8_t universe = bridge_.UniverseSetting();
    reply.SubSwitch = static_cast<std::uint8_t>(universe >> 4);
    const auto portSwitch = static_cast<std::uint8_t>(universe & 0x0F);
    // The other direction's status and universe bytes keep what an earlier build in that mode put there.
    if (bridge_.IsSendMode()) {
        reply.PortTypes[0] = SetBit(0, 7);
        reply.GoodOutput[0] = SetBit(0, 7);
        if (bridge_.Protocol() == BridgeProtocol::Sacn) reply.GoodOutput[0] = SetBit(reply.GoodOutput[0], 0);
        reply.SwOut[0] = portSwitch;
    } else {
        reply.PortTypes[0] = SetBit(0, 6);
        reply.GoodInput[0] = SetBit(0, 7);
        reply.SwIn[0] = portSwitch;
    }
    reply.SwVideo = 0;
    reply.SwMacro = 0;
    reply.SwRemote = 0;
    reply.Spare = {};
    reply.MAC = {};
    reply.Filler = {};
}

void ArtNet::SendArtPollReply() {
    BuildArtPollReply();
    BroadcastSend(ByteImage(PollReply));
}

void ArtNet::SendArtDmx(std::uint8_t universe, std::span<const std::uint8_t, 513> levels) {
    ArtDmxRecord packet{};
    packet.ID = kArtNetId;
    packet.OpCode = kOpDmx;
    packet.ProtVerHi = 0;
    packet.ProtVerLo = kProtocolVersion;
    packet.Universe = universe;
    packet.Length = SwapBytes(static_cast<std::uint16_t>(kArtDmxLevels));
    std::copy_n(levels.begin() + 1, kArtDmxLevels, packet.Data.begin());
    if (BroadcastSend(ByteImage(packet))) ++ArtDmxSent;
}

bool ArtNet::BroadcastSend(std::span<const std::uint8_t> image) {
    if (BroadcastAddress.empty()) return false;
    socket_.SetRemoteHost(BroadcastAddress);
    socket_.SendData(image);
    return true;
}
