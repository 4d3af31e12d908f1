#pragma once

// What the fuzz targets share: an invariant check that stops the run with a finding, and the frames of a
// widget stream as a plain reading of the protocol sees them.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <vector>

#define FUZZ_CHECK(condition)                                                                       \
    do {                                                                                            \
        if (!(condition)) {                                                                         \
            std::fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                           \
        }                                                                                           \
    } while (0)

using Bytes = std::vector<std::uint8_t>;

// A whole widget frame: start byte, label, a length of at most 600, that many data bytes, end byte.
inline bool IsWholeFrame(std::span<const std::uint8_t> frame) {
    if (frame.size() < 5 || frame.front() != 0x7E || frame.back() != 0xE7) return false;
    const std::size_t length = frame[2] | (frame[3] << 8);
    return length <= 600 && frame.size() == length + 5;
}

inline bool Contains(std::span<const std::uint8_t> stream, std::span<const std::uint8_t> part) {
    if (part.size() > stream.size()) return false;
    for (std::size_t at = 0; at + part.size() <= stream.size(); ++at)
        if (std::equal(part.begin(), part.end(), stream.begin() + static_cast<std::ptrdiff_t>(at)))
            return true;
    return false;
}
