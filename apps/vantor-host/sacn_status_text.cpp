#include "sacn_status_text.h"

#include <algorithm>

std::string SacnStatusText(const vantor_sacn_status& status, const std::optional<SacnSent>& sent,
                           SacnIgnoredNamer ignoredName, bool withCounts) {
    std::string text = "sACN universe " + std::to_string(status.universe) + ": ";
    if (sent) {
        text += "sending at priority " + std::to_string(status.priority);
        if (!withCounts) return text;
        text += ", " + std::to_string(sent->packets) + " packets sent";
        if (sent->refused) text += ", " + std::to_string(sent->refused) + " refused";
        return text;
    }
    const uint32_t count = std::min<uint32_t>(status.source_count, VANTOR_SACN_MAX_SOURCES);
    if (count == 0) text += "no source";
    for (uint32_t index = 0; index < count; ++index) {
        const vantor_sacn_source& source = status.sources[index];
        if (index) text += ", ";
        text += "\"" + std::string(source.name) + "\" priority " + std::to_string(source.priority);
        if (withCounts) text += " " + std::to_string(source.packets_per_second) + "/s";
    }
    if (status.winner >= 0 && static_cast<uint32_t>(status.winner) < count)
        text += std::string("; ") + (status.merging != VANTOR_FALSE ? "merging, first " : "winner ") + "\"" +
                status.sources[status.winner].name + "\"";
    if (!withCounts) return text;
    std::string ignored;
    const uint32_t reasons = std::min<uint32_t>(status.ignored_reasons, VANTOR_SACN_MAX_IGNORED_REASONS);
    for (uint32_t reason = 0; reason < reasons; ++reason) {
        if (status.ignored[reason] == 0) continue;
        ignored += (ignored.empty() ? "" : ", ") + std::string(ignoredName(static_cast<int32_t>(reason))) +
                   " " + std::to_string(status.ignored[reason]);
    }
    if (!ignored.empty()) text += "; ignored " + ignored;
    return text;
}
