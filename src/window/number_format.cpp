#include "window/number_format.h"

#include <array>
#include <charconv>

std::string FormatNumber(double value, const std::string& decimalSeparator) {
    if (value == 0) return "0";  // no "-0"
    std::array<char, 64> buffer{};
    // to_chars ignores the C locale, so the separator is always ours to choose.
    const auto written =
        std::to_chars(buffer.data(), buffer.data() + buffer.size(), value, std::chars_format::general, 15);
    std::string text;
    for (const char* c = buffer.data(); c != written.ptr; ++c) {
        if (*c == '.')
            text += decimalSeparator;
        else if (*c == 'e')
            text += 'E';
        else
            text += *c;
    }
    return text;
}
