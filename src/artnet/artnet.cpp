#include "artnet/artnet.h"

// Placeholder until the node lands.
ArtNet::ArtNet(UdpSocket& socket, BridgeSettings& bridge, DmxOutput& output, LogSink log)
    : socket_(socket), bridge_(bridge), output_(output), log_(std::move(log)) {}

std::int32_t ArtNet::StartArtNetNode() { return 0; }
void ArtNet::ArtNetLog(const std::string& message) {
    if (log_) log_(message);
}
void ArtNet::HandleArtNetPacket(std::span<const std::uint8_t> datagram) { (void)datagram; }
void ArtNet::SendArtPollReply() {}
void ArtNet::SendArtDmx(std::uint8_t universe, std::span<const std::uint8_t, 513> levels) {
    (void)universe;
    (void)levels;
}
