#include "window/bridge_choice.h"

#include <stdexcept>
#include <string>

namespace {

constexpr int kArtNetHighestUniverse = 255;

std::string ProtocolName(BridgeProtocol protocol) {
    return protocol == BridgeProtocol::Sacn ? "sACN" : "Art-Net";
}

}  // namespace

BridgeChoice::BridgeChoice(const VBool& sendMode, ScrollBar& artUniverse, SacnBridge& sacn)
    : sendMode_(sendMode), artUniverse_(artUniverse), sacn_(sacn) {}

int BridgeChoice::Universe() const {
    return protocol_ == BridgeProtocol::Sacn ? sacn_.Universe() : artUniverse_.Value();
}

void BridgeChoice::SetUniverse(int universe) {
    if (protocol_ == BridgeProtocol::Sacn) {
        sacn_.SetUniverse(universe);
    } else {
        if (universe < 0 || universe > kArtNetHighestUniverse)
            throw std::out_of_range("Universe " + std::to_string(universe) + " is outside 0 to " +
                                    std::to_string(kArtNetHighestUniverse));
        artUniverse_.SetValue(universe);
    }
    universe_ = universe;
}

void BridgeChoice::ChooseProtocol(BridgeProtocol protocol) {
    if (protocol == protocol_) return;
    const bool fits = !universe_ || (protocol == BridgeProtocol::Sacn
                                         ? *universe_ >= 1 && *universe_ <= kSacnHighestUniverse
                                         : *universe_ >= 0 && *universe_ <= kArtNetHighestUniverse);
    if (!fits)
        throw std::out_of_range("Universe " + std::to_string(*universe_) + ", set last, is not one of " +
                                ProtocolName(protocol) + "'s: set the universe first");
    if (protocol == BridgeProtocol::Sacn) {
        const int before = sacn_.Universe();
        if (universe_) sacn_.SetUniverse(*universe_);
        try {
            sacn_.Choose(true);
        } catch (...) {
            sacn_.SetUniverse(before);
            throw;
        }
        protocol_ = protocol;
        return;
    }
    sacn_.Choose(false);
    protocol_ = protocol;
    if (universe_) artUniverse_.SetValue(*universe_);
}

void BridgeChoice::ArtNetUniverseMoved() {
    if (protocol_ == BridgeProtocol::ArtNet) universe_ = artUniverse_.Value();
}
