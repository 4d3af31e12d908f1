#pragma once

#include <cstdint>

// The Art-Net bridge's direction and universe, read at every use (the window's SendMode flag and ArtUniv
// bar).
class BridgeSettings {
public:
    virtual ~BridgeSettings() = default;
    // True in send mode ("Art-Net To DMX"), false in receive mode ("DMX To Art-Net").
    virtual bool IsSendMode() const = 0;
    virtual std::uint8_t UniverseSetting() const = 0;
};
