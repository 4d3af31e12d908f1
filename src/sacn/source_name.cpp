#include "sacn/source_name.h"

#include <algorithm>
#include <cstddef>

namespace {

constexpr char kReplacement = '?';

bool IsContinuation(std::uint8_t byte) {
    return (byte & 0xC0) == 0x80;
}

// The length of the valid UTF-8 sequence at `at`, or 0. Overlong forms, surrogates and code points past
// U+10FFFF are invalid.
std::size_t SequenceAt(std::span<const std::uint8_t> bytes, std::size_t at) {
    const std::uint8_t lead = bytes[at];
    std::size_t length = 0;
    std::uint8_t low = 0x80, high = 0xBF;  // the second byte's range
    if (lead < 0x80) return 1;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (at + length > bytes.size() || bytes[at + 1] < low || bytes[at + 1] > high) return 0;
    for (std::size_t i = 2; i < length; ++i)
        if (!IsContinuation(bytes[at + i])) return 0;
    return length;
}

// C0 controls, DEL, and the C1 controls (U+0080 to U+009F, which some terminals obey as escapes).
bool IsControl(std::span<const std::uint8_t> sequence) {
    if (sequence.size() == 1) return sequence[0] < 0x20 || sequence[0] == 0x7F;
    return sequence.size() == 2 && sequence[0] == 0xC2 && sequence[1] < 0xA0;
}

}  // namespace

void CleanSourceName(std::span<const std::uint8_t, kSacnSourceNameBytes> name,
                     std::array<char, kSacnSourceNameBytes>& out) {
    // At most 63 bytes, so that a NUL always ends the name: a host's 64-byte field then takes it whole, and
    // never cuts a character in two.
    const std::span<const std::uint8_t> bytes =
        name.first(static_cast<std::size_t>(std::find(name.begin(), name.end() - 1, 0) - name.begin()));
    out.fill('\0');
    std::size_t written = 0;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t length = SequenceAt(bytes, at);
        if (length == 0 || IsControl(bytes.subspan(at, length))) {
            out[written++] = kReplacement;
            at += std::max<std::size_t>(length, 1);
            continue;
        }
        for (std::size_t i = 0; i < length; ++i) out[written++] = static_cast<char>(bytes[at + i]);
        at += length;
    }
}
