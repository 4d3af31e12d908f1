#include <algorithm>
#include <cstring>
#include <exception>

#include "artnet/artnet.h"
#include "stuff/hex_text.h"

namespace {

// Copies the datagram's first sizeof(Record) bytes into the record; bytes past the datagram's end count as
// zero.
template <typename Record>
void ReadRecord(Record& record, std::span<const std::uint8_t> datagram) {
    const std::size_t carried = std::min(datagram.size(), sizeof(Record));
    std::memset(&record, 0, sizeof(Record));
    std::memcpy(&record, datagram.data(), carried);
}

}  // namespace

void ArtNet::HandleArtNetPacket(std::span<const std::uint8_t> datagram) {
    try {
        DispatchArtNetPacket(datagram);
    } catch (const std::exception& failure) {
        ArtNetLog(std::string("! Art-Net Packet Error: ") + failure.what());
    }
}

bool ArtNet::IsOwnDatagram(const UdpEndpoint& sender) const {
    return !BroadcastAddress.empty() && sender.Port == kArtNetPort &&
           std::equal(sender.Address.begin(), sender.Address.end(), NodeAddress.begin());
}

void ArtNet::DispatchArtNetPacket(std::span<const std::uint8_t> datagram) {
    // Without this check a seven-byte "Art-Net" would pass on the zero that stands in for its missing byte.
    if (datagram.size() < kArtNetId.size()) return;
    ArtNetHeaderRecord header;
    ReadRecord(header, datagram);
    if (header.ID != kArtNetId) return;

    ArtNetDetected = -1;
    switch (header.OpCode) {
        case kOpPoll:
            ArtNetLog("ArtPoll Recieved");
            ReadRecord(ArtPollPacket, datagram);
            SendArtPollReply();
            break;
        case kOpDmx:
            ReadRecord(ArtDmxPacket, datagram);
            TakeArtDmx(datagram);
            break;
        default:
            ArtNetLog("Art-Net: NYI OpCode : 0x" + HexText(header.OpCode));
            break;
    }
}

void ArtNet::TakeArtDmx(std::span<const std::uint8_t> datagram) {
    // sACN feeds the output in the node's place: levels from both would take turns at the widget.
    if (bridge_.Protocol() == BridgeProtocol::Sacn) {
        ++ArtDmxIgnoredForSacn;
        return;
    }
    if (ArtDmxPacket.Universe != bridge_.UniverseSetting()) return;
    ++ArtDmxReceived;

    // A short packet changes only the levels it carries.
    const std::size_t dataOffset = offsetof(ArtDmxRecord, Data);
    const std::size_t carried =
        datagram.size() > dataOffset ? std::min(datagram.size() - dataOffset, ArtDmxPacket.Data.size()) : 0;
    std::span<std::uint8_t, 513> levels = output_.OutputLevels();
    std::copy_n(ArtDmxPacket.Data.begin(), carried, levels.begin() + 1);

    if (bridge_.IsSendMode()) output_.SendOutputPacket();
}
