#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

// Multi-byte fields below are stored low byte first, as the host stores them; the fields that go out high
// byte first are filled through SwapBytes.
static_assert(std::endian::native == std::endian::little, "the Art-Net records are laid out little-endian");

inline constexpr std::uint16_t kArtNetPort = 6454;
inline constexpr std::array<std::uint8_t, 8> kArtNetId{'A', 'r', 't', '-', 'N', 'e', 't', 0};
inline constexpr std::uint16_t kOpPoll = 0x2000;
inline constexpr std::uint16_t kOpPollReply = 0x2100;
inline constexpr std::uint16_t kOpDmx = 0x5000;
inline constexpr std::uint16_t kOpSync = 0x5200;
inline constexpr std::uint8_t kProtocolVersion = 14;
inline constexpr std::size_t kArtDmxLevels = 512;

// Returns value with bit number `bit` (0 the least significant) set.
constexpr std::uint8_t SetBit(std::uint8_t value, int bit) {
    return static_cast<std::uint8_t>(value | (1u << bit));
}

constexpr std::uint16_t SwapBytes(std::uint16_t value) {
    return static_cast<std::uint16_t>((value >> 8) | (value << 8));
}

#pragma pack(push, 1)
// Bytes 0 to 18 of every received datagram; only the identifier and the OpCode are used.
struct ArtNetHeaderRecord {
    std::array<std::uint8_t, 8> ID;
    std::uint16_t OpCode;
    std::array<std::uint8_t, 9> Rest;
};

struct ArtPollRecord {
    std::array<std::uint8_t, 8> ID;
    std::uint16_t OpCode;
    std::uint8_t ProtVerHi;
    std::uint8_t ProtVerLo;
    std::uint8_t TalkToMe;
    std::uint8_t Priority;
};

struct PollReplyRecord {
    std::array<std::uint8_t, 8> ID;
    std::uint16_t OpCode;
    std::array<std::uint8_t, 4> IPAddress;
    std::uint16_t Port;
    std::uint8_t VersInfoH;
    std::uint8_t VersInfo;
    std::uint8_t NetSwitch;
    std::uint8_t SubSwitch;
    std::uint16_t Oem;  // filled with SwapBytes: OemHi first
    std::uint8_t UbeaVersion;
    std::uint8_t Status;
    std::uint16_t EstaMan;
    std::array<std::uint8_t, 18> ShortName;
    std::array<std::uint8_t, 64> LongName;
    std::array<std::uint8_t, 64> NodeReport;
    std::uint8_t NumPortsHi;
    std::uint8_t NumPortsLo;
    std::array<std::uint8_t, 4> PortTypes;
    std::array<std::uint8_t, 4> GoodInput;
    std::array<std::uint8_t, 4> GoodOutput;
    std::array<std::uint8_t, 4> SwIn;
    std::array<std::uint8_t, 4> SwOut;
    std::uint8_t SwVideo;
    std::uint8_t SwMacro;
    std::uint8_t SwRemote;
    std::array<std::uint8_t, 3> Spare;
    std::uint8_t Style;
    std::array<std::uint8_t, 6> MAC;
    std::array<std::uint8_t, 32> Filler;
};

struct ArtDmxRecord {
    std::array<std::uint8_t, 8> ID;
    std::uint16_t OpCode;
    std::uint8_t ProtVerHi;
    std::uint8_t ProtVerLo;
    std::uint8_t Sequence;
    std::uint8_t Physical;
    std::uint16_t Universe;  // sub-net and universe byte, then the net byte
    std::uint16_t Length;    // filled with SwapBytes: high byte first
    std::array<std::uint8_t, kArtDmxLevels> Data;
};
#pragma pack(pop)

static_assert(sizeof(ArtNetHeaderRecord) == 19);
static_assert(offsetof(ArtNetHeaderRecord, OpCode) == 8);

static_assert(sizeof(ArtPollRecord) == 14);

static_assert(sizeof(PollReplyRecord) == 239);
static_assert(offsetof(PollReplyRecord, OpCode) == 8);
static_assert(offsetof(PollReplyRecord, IPAddress) == 10);
static_assert(offsetof(PollReplyRecord, Port) == 14);
static_assert(offsetof(PollReplyRecord, VersInfoH) == 16);
static_assert(offsetof(PollReplyRecord, NetSwitch) == 18);
static_assert(offsetof(PollReplyRecord, Oem) == 20);
static_assert(offsetof(PollReplyRecord, UbeaVersion) == 22);
static_assert(offsetof(PollReplyRecord, EstaMan) == 24);
static_assert(offsetof(PollReplyRecord, ShortName) == 26);
static_assert(offsetof(PollReplyRecord, LongName) == 44);
static_assert(offsetof(PollReplyRecord, NodeReport) == 108);
static_assert(offsetof(PollReplyRecord, NumPortsHi) == 172);
static_assert(offsetof(PollReplyRecord, PortTypes) == 174);
static_assert(offsetof(PollReplyRecord, GoodInput) == 178);
static_assert(offsetof(PollReplyRecord, GoodOutput) == 182);
static_assert(offsetof(PollReplyRecord, SwIn) == 186);
static_assert(offsetof(PollReplyRecord, SwOut) == 190);
static_assert(offsetof(PollReplyRecord, SwVideo) == 194);
static_assert(offsetof(PollReplyRecord, Spare) == 197);
static_assert(offsetof(PollReplyRecord, Style) == 200);
static_assert(offsetof(PollReplyRecord, MAC) == 201);
static_assert(offsetof(PollReplyRecord, Filler) == 207);

static_assert(sizeof(ArtDmxRecord) == 530);
static_assert(offsetof(ArtDmxRecord, ProtVerHi) == 10);
static_assert(offsetof(ArtDmxRecord, Sequence) == 12);
static_assert(offsetof(ArtDmxRecord, Universe) == 14);
static_assert(offsetof(ArtDmxRecord, Length) == 16);
static_assert(offsetof(ArtDmxRecord, Data) == 18);

static_assert(SetBit(0, 7) == 0x80 && SetBit(0, 6) == 0x40);
static_assert(SwapBytes(255) == 0xFF00 && SwapBytes(512) == 0x0002);
