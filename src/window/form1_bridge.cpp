#include <exception>

#include "stuff/arrival_limit.h"
#include "stuff/hex_text.h"
#include "window/form1.h"

void Form1::senddmxbutton_Click() {
    SendMode = kTrue;
    if (FromVBool(LinkOpen)) {
        Timer3.SetEnabled(true);
        Timer4.SetEnabled(false);
    }
}

void Form1::Command1_Click() {
    Timer3.SetEnabled(false);
    SendMode = kFalse;
    prowidget.PrepareReceiveRequest();
    prowidget.SendOutputPacket();
    Timer4.SetEnabled(true);
}

void Form1::ArtUniv_Change() {
    ArtUnivLbl.SetCaption("Universe: " + HexText(static_cast<unsigned>(ArtUniv.Value())));
    ArtUnivLbl.SetBackColor(RGB(0, 0, 127));
    bridge.ArtNetUniverseMoved();
}

// Reads every pending datagram, not just the one announced: the platform may announce several at once. The
// announced count is not used. An empty read ends the loop (an empty datagram carries nothing to handle).
void Form1::ArtSocket_DataArrival(std::size_t bytesTotal) {
    (void)bytesTotal;
    // The buffer is borrowed for the call: a failure box that runs a nested event loop while a datagram is
    // handled makes the nested arrival use a buffer of its own.
    std::vector<std::uint8_t> datagram = std::move(datagram_);
    for (int count = 0; count < kMaxDatagramsPerArrival; ++count) {
        try {
            if (!ArtSocket.ReadDatagram(datagram)) break;
        } catch (const std::exception& failure) {
            artnet.ArtNetLog(std::string("! Art-Net Receive Error: ") + failure.what());
            break;
        }
        if (artnet.IsOwnDatagram(ArtSocket.LastSender())) continue;
        artnet.HandleArtNetPacket(datagram);
    }
    datagram_ = std::move(datagram);
}
