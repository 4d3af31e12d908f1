#pragma once

#include <cstdio>
#include <string>

// A number as upper-case hexadecimal digits without leading zeros, as the window and the node's log show it.
inline std::string HexText(unsigned value) {
    char digits[12];
    std::snprintf(digits, sizeof digits, "%X", value);
    return digits;
}
