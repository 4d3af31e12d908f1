#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "sacn/sacn_packets.h"

// A packet's source name as it may be shown: up to the first NUL (63 bytes at most), with each control
// character and each byte that is no part of valid UTF-8 replaced by one '?'. Names reach terminals, the
// journal and hosts, where an escape sequence or a newline from the network would act; the result is never
// longer than the name.
void CleanSourceName(std::span<const std::uint8_t, kSacnSourceNameBytes> name,
                     std::array<char, kSacnSourceNameBytes>& out);
