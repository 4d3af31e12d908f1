#include "node/status_table.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace {

constexpr std::size_t kColumns = 11;
using Row = std::array<std::string, kColumns>;

std::string Rate(double perSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", perSecond);
    return text;
}

std::string Drops(const PortStatus& port) {
    std::string text;
    for (const auto& [reason, count] : port.drops)
        text += (text.empty() ? "" : ", ") + reason + " " + std::to_string(count);
    return text.empty() ? "-" : text;
}

}  // namespace

std::string StatusTable(const std::vector<PortStatus>& ports) {
    std::vector<Row> rows = {{"PORT", "NAME", "WIDGET", "LINK", "MODE", "PROTOCOL", "UNIVERSE", "IN/S",
                              "OUT/S", "SOURCES", "DROPS"}};
    for (const PortStatus& port : ports)
        rows.push_back({std::to_string(port.number), port.label + (port.locating ? " LOCATE" : ""),
                        port.widget, port.link, port.mode, port.protocol, std::to_string(port.universe),
                        Rate(port.framesInPerSecond), Rate(port.framesOutPerSecond),
                        std::to_string(port.sources) + (port.merging ? " merged" : ""), Drops(port)});
    std::array<std::size_t, kColumns> widths{};
    for (const Row& row : rows)
        for (std::size_t column = 0; column < kColumns; ++column)
            widths[column] = std::max(widths[column], row[column].size());
    std::string table;
    for (const Row& row : rows) {
        std::string line;
        for (std::size_t column = 0; column < kColumns; ++column) {
            line += row[column];
            if (column + 1 < kColumns) line += std::string(widths[column] - row[column].size() + 2, ' ');
        }
        table += line + "\n";
    }
    return table;
}
