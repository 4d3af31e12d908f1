#pragma once

#include <string>
#include <string_view>

// The core keeps UTF-8; the Windows API speaks UTF-16. These convert at the API edge, embedded NULs included.
// Bytes that are not UTF-8 become U+FFFD rather than failing.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view utf16);

// A system error code's own description, without the line break the system ends it with.
std::string SystemErrorText(unsigned long code);
