#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>

static_assert(std::endian::native == std::endian::little, "the widget records are laid out little-endian");

inline constexpr std::uint8_t kStartDelimiter = 0x7E;
inline constexpr std::uint8_t kEndDelimiter = 0xE7;
inline constexpr std::size_t kLevelCount = 513;  // entry 0 the start code, entry n channel n
inline constexpr int kHighestChannel = 512;
inline constexpr std::uint16_t kMaxUserConfigLength = 508;

inline constexpr std::uint8_t kLabelReprogram = 1;
inline constexpr std::uint8_t kLabelFlashPage = 2;
inline constexpr std::uint8_t kLabelGetParameters = 3;
inline constexpr std::uint8_t kLabelSetParameters = 4;
inline constexpr std::uint8_t kLabelReceivedDmx = 5;
inline constexpr std::uint8_t kLabelOutputDmx = 6;
inline constexpr std::uint8_t kLabelReceiveMode = 7;

using LevelArray = std::array<std::uint8_t, kLevelCount>;

#pragma pack(push, 1)
struct MessageHeaderRecord {
    std::uint8_t StartDelimiter;
    std::uint8_t Label;
    std::uint16_t DataLength;
};

struct OutputPacketRecord {
    std::uint8_t StartDelimiter;
    std::uint8_t Label;
    std::uint16_t DataLength;
    LevelArray Levels;
};

struct GetParametersRequestRecord {
    std::uint8_t StartDelimiter;
    std::uint8_t Label;
    std::uint16_t DataLength;
    std::uint16_t UserConfigLength;
};

struct SetParametersRequestRecord {
    std::uint8_t StartDelimiter;
    std::uint8_t Label;
    std::uint16_t DataLength;
    std::uint16_t UserConfigLength;
    std::uint8_t BreakTime;
    std::uint8_t MABTime;
    std::uint8_t FrameRate;
};

struct WidgetParametersRecord {
    std::uint8_t StartDelimiter;
    std::uint8_t Label;
    std::uint16_t DataLength;
    std::uint8_t FirmwareLsb;
    std::uint8_t FirmwareMsb;
    std::uint8_t BreakTime;
    std::uint8_t MABTime;
    std::uint8_t FrameRate;
    std::array<std::uint8_t, 508> UserConfig;
};

struct ReceivedDmxRecord {
    std::uint8_t StartDelimiter;
    std::uint8_t Label;
    std::uint16_t DataLength;
    std::uint8_t ReceiveStatus;
    LevelArray Levels;
};

struct FlashPageRequestRecord {
    std::uint8_t StartDelimiter;
    std::uint8_t Label;
    std::uint16_t DataLength;
    std::array<std::uint8_t, 64> PageData;
};

struct FlashReplyRecord {
    std::uint8_t StartDelimiter;
    std::uint8_t Label;
    std::uint16_t DataLength;
    std::array<char, 4> Answer;
};
#pragma pack(pop)

static_assert(sizeof(MessageHeaderRecord) == 4);
static_assert(sizeof(OutputPacketRecord) == 517);
static_assert(sizeof(GetParametersRequestRecord) == 6);
static_assert(sizeof(SetParametersRequestRecord) == 9);
static_assert(sizeof(WidgetParametersRecord) == 517);
static_assert(sizeof(ReceivedDmxRecord) == 518);
static_assert(sizeof(FlashPageRequestRecord) == 68);
static_assert(sizeof(FlashReplyRecord) == 8);
static_assert(offsetof(OutputPacketRecord, Levels) == 4);
static_assert(offsetof(WidgetParametersRecord, FirmwareLsb) == 4);
static_assert(offsetof(WidgetParametersRecord, UserConfig) == 9);
static_assert(offsetof(SetParametersRequestRecord, BreakTime) == 6);
static_assert(offsetof(ReceivedDmxRecord, Levels) == 5);
static_assert(offsetof(FlashPageRequestRecord, PageData) == 4);
static_assert(offsetof(FlashReplyRecord, Answer) == 4);
