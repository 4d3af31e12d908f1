#pragma once

// Widget messages as a test writes them by hand: start byte, label, length low and high, data, end byte.

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

inline Bytes WidgetFrame(std::uint8_t label, const Bytes& data) {
    Bytes frame(4 + data.size() + 1);
    frame[0] = 0x7E;
    frame[1] = label;
    frame[2] = static_cast<std::uint8_t>(data.size() & 0xFF);
    frame[3] = static_cast<std::uint8_t>(data.size() >> 8);
    std::copy(data.begin(), data.end(), frame.begin() + 4);
    frame.back() = 0xE7;
    return frame;
}

inline Bytes operator+(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

// A packed record's bytes, as it would be copied to or from the wire.
template <typename Record>
Bytes BytesOf(const Record& record) {
    Bytes bytes(sizeof record);
    std::memcpy(bytes.data(), &record, sizeof record);
    return bytes;
}
