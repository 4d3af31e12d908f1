#pragma once

#include <optional>
#include <string>

#include "vantor_out.h"

using SacnIgnoredNamer = const char* (*)(int32_t reason);

struct SacnSent {
    uint64_t packets = 0;
    uint64_t refused = 0;
};

// The sACN side in one line. Receiving: the sources seen (name, priority and, withCounts, packets per
// second), the winner and whether a merge is in force, and, withCounts, the datagrams ignored so far by
// reason. Sending (sent set): the priority and, withCounts, the packets sent and refused.
std::string SacnStatusText(const vantor_sacn_status& status, const std::optional<SacnSent>& sent,
                           SacnIgnoredNamer ignoredName, bool withCounts);
