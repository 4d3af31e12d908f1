#pragma once

#include <cstdint>

// The host and the shared flags speak 16-bit Booleans: -1 true, 0 false.
using VBool = std::int16_t;
inline constexpr VBool kTrue = -1;
inline constexpr VBool kFalse = 0;

inline constexpr VBool ToVBool(bool value) {
    return value ? kTrue : kFalse;
}
inline constexpr bool FromVBool(VBool value) {
    return value != 0;
}
