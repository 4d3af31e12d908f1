#pragma once

#include <cstddef>
#include <cstdint>

// Result codes of ParseWidgetReply besides the label of a parsed message.
inline constexpr std::int32_t kReplyTooShort = -1;   // fewer than 4 bytes after trimming (status 2)
inline constexpr std::int32_t kReplyNoStart = -2;    // the text does not begin with a start delimiter
inline constexpr std::int32_t kReplyBadLength = -3;  // data length above kMaxReplyDataLength (status 3)
inline constexpr std::int32_t kReplyBadEnd =
    -4;  // the byte after the data is not the end delimiter (status 1)
inline constexpr std::int32_t kReplyDataMissing = -5;   // the text ends before its data does (status 5)
inline constexpr std::int32_t kReplyPageWritten = 254;  // a firmware page answer "TRUE"
inline constexpr std::int32_t kReplyPageRefused = 255;  // a firmware page answer not beginning with "T"

inline constexpr std::uint16_t kMaxReplyDataLength = 600;
// The longest frame the parser accepts: head, data, end delimiter.
inline constexpr std::size_t kMaxReplyFrameBytes = 4 + kMaxReplyDataLength + 1;
