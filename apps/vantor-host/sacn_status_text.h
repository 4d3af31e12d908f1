#pragma once

#include <string>

#include "vantor_out.h"

using SacnIgnoredNamer = const char* (*)(int32_t reason);

// The sACN side in one line: the sources seen (name, priority and, withCounts, packets per second), the
// winner and whether a merge is in force, and, withCounts, the datagrams ignored so far by reason.
std::string SacnStatusText(const vantor_sacn_status& status, SacnIgnoredNamer ignoredName, bool withCounts);
