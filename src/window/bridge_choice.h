#pragma once

#include <optional>

#include "sacn/sacn_bridge.h"
#include "stuff/bridge_settings.h"
#include "stuff/vb_boolean.h"
#include "window/controls.h"

// The one home of the bridge's protocol and universe: the node, the sACN side, the window and the host's
// calls all go through it.
//
// The universe belongs to the bridge, not to a protocol: it carries over when the protocol changes. Each
// call is checked against the protocol chosen when it is made (Art-Net 0 to 255, sACN 1 to 63999), and a
// call that fails changes nothing. So every order of calls that each succeed ends in the same state: the
// protocol, universe and mode given last. Until a universe is set, each protocol keeps its own (the bar's
// for Art-Net, 1 for sACN).
class BridgeChoice : public BridgeSettings {
public:
    BridgeChoice(const VBool& sendMode, ScrollBar& artUniverse, SacnBridge& sacn);
    BridgeChoice(const BridgeChoice&) = delete;
    BridgeChoice& operator=(const BridgeChoice&) = delete;

    bool IsSendMode() const override { return FromVBool(sendMode_); }
    BridgeProtocol Protocol() const override { return protocol_; }
    std::uint8_t UniverseSetting() const override { return static_cast<std::uint8_t>(artUniverse_.Value()); }

    // The chosen protocol's universe, as the status shows it.
    int Universe() const;
    // std::out_of_range for a universe the chosen protocol has not; a socket's failure is thrown as it is.
    void SetUniverse(int universe);
    // std::out_of_range when the universe set last is not one of the protocol's; a socket's failure is thrown
    // as it is.
    void ChooseProtocol(BridgeProtocol protocol);
    // The user moved the universe bar: while Art-Net is chosen, that is the bridge's universe.
    void ArtNetUniverseMoved();

private:
    const VBool& sendMode_;
    ScrollBar& artUniverse_;
    SacnBridge& sacn_;
    BridgeProtocol protocol_ = BridgeProtocol::ArtNet;
    std::optional<int> universe_;
};
