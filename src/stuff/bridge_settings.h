#pragma once

#include <cstdint>

// The network the bridge speaks: the Art-Net node, or sACN in its place.
enum class BridgeProtocol : std::uint8_t { ArtNet = 0, Sacn = 1 };

// The bridge's direction, protocol and Art-Net universe, read at every use.
class BridgeSettings {
public:
    virtual ~BridgeSettings() = default;
    // True in send mode ("Art-Net To DMX"), false in receive mode ("DMX To Art-Net").
    virtual bool IsSendMode() const = 0;
    virtual BridgeProtocol Protocol() const = 0;
    // The node's universe (the window's ArtUniv bar), which its poll reply names whichever protocol is
    // chosen.
    virtual std::uint8_t UniverseSetting() const = 0;
};
