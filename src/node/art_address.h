#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

inline constexpr std::uint16_t kOpAddress = 0x6000;

#pragma pack(push, 1)
// A console's settings for one bind index of a node.
struct ArtAddressRecord {
    std::array<std::uint8_t, 8> ID;
    std::uint16_t OpCode;
    std::uint8_t ProtVerHi;
    std::uint8_t ProtVerLo;
    std::uint8_t NetSwitch;
    std::uint8_t BindIndex;
    std::array<std::uint8_t, 18> ShortName;
    std::array<std::uint8_t, 64> LongName;
    std::array<std::uint8_t, 4> SwIn;
    std::array<std::uint8_t, 4> SwOut;
    std::uint8_t SubSwitch;
    std::uint8_t AcnPriority;
    std::uint8_t Command;
};
#pragma pack(pop)

static_assert(sizeof(ArtAddressRecord) == 107);

// What an ArtAddress's command asks of the one port its bind index names.
enum class AddressCommand : std::uint8_t {
    None,
    CancelMerge,
    LedNormal,
    LedMute,
    LedLocate,
    MergeLtp,
    MergeHtp,
    ArtNet,
    Sacn,
    ClearOutput,
    Other  // one this node has nothing for, or one for a port a bind index of one port lacks
};

struct ArtAddressIn {
    int bindIndex = 1;
    std::optional<std::string> shortName;  // absent when its first byte is 0
    std::optional<std::string> longName;
    // The Port-Address switches as sent; SwitchedPortAddress reads them.
    std::uint8_t net = 0x7F;
    std::uint8_t sub = 0x7F;
    std::uint8_t swIn = 0x7F;
    std::uint8_t swOut = 0x7F;
    std::optional<int> acnPriority;  // 0 to 200; absent for "no change"
    AddressCommand command = AddressCommand::None;
    std::uint8_t commandByte = 0;
};

// nullopt for a datagram that is no whole ArtAddress.
std::optional<ArtAddressIn> ReadArtAddress(std::span<const std::uint8_t> datagram);

// The Port-Address after an ArtAddress's switches: a part whose switch has bit 7 set is programmed, a
// switch of 0 returns the part to the local value, any other leaves it.
std::uint16_t SwitchedPortAddress(std::uint16_t current, std::uint16_t local, std::uint8_t net,
                                  std::uint8_t sub, std::uint8_t universe);
