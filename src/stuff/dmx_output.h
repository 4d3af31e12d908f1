#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

// The one output buffer and its sender, as Art-Net input reaches them.
class DmxOutput {
public:
    virtual ~DmxOutput() = default;
    // 513 entries: entry 0 the start code, entry n the level of channel n.
    virtual std::span<std::uint8_t, 513> OutputLevels() = 0;
    virtual void SendOutputPacket() = 0;
};
