#include "web_json.h"

#include <QJsonArray>

#include "widget/firmware_update.h"

namespace {

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

const char* FirmwareStateText(FirmwareProgress::State state) {
    switch (state) {
        case FirmwareProgress::State::Running:
            return "running";
        case FirmwareProgress::State::Updated:
            return "updated";
        case FirmwareProgress::State::Failed:
            return "failed";
        case FirmwareProgress::State::None:
            break;
    }
    return "none";
}

}  // namespace

QJsonObject NodeJson(const NodeFacts& facts, std::chrono::steady_clock::time_point now) {
    return {{"name", Text(facts.name)},
            {"interface", Text(facts.interface)},
            {"address", Text(facts.address)},
            {"mac", Text(facts.mac)},
            {"version", PROJECT_VERSION_TEXT},
            {"uptime", static_cast<qint64>(
                           std::chrono::duration_cast<std::chrono::seconds>(now - facts.started).count())}};
}

QJsonObject PortJson(const PortStatus& port) {
    QJsonArray sources;
    for (const SourceStatus& source : port.heard)
        sources.append(QJsonObject{{"name", Text(source.name)},
                                   {"address", Text(source.address)},
                                   {"priority", source.priority},
                                   {"packetsPerSecond", source.packetsPerSecond},
                                   {"winning", source.winning}});
    QJsonObject drops;
    for (const auto& [reason, count] : port.drops) drops[Text(reason)] = static_cast<qint64>(count);
    return {{"number", port.number},
            {"label", Text(port.label)},
            {"name", Text(port.name)},
            {"device", Text(port.device)},
            {"widget", QJsonObject{{"path", Text(port.widget)},
                                   {"serialNumber", Text(port.serialNumber)},
                                   {"firmware", Text(port.firmware)},
                                   {"link", Text(port.link)},
                                   {"status", Text(port.statusText)}}},
            {"mode", Text(port.mode)},
            {"protocol", Text(port.protocol)},
            {"universe", port.universe},
            {"priority", port.priority},
            {"ttl", port.ttl},
            {"framesInPerSecond", port.framesInPerSecond},
            {"framesOutPerSecond", port.framesOutPerSecond},
            {"sources", sources},
            {"merge", Text(port.merge)},
            {"mergeMode", Text(port.mergeMode)},
            {"merging", port.merging},
            {"sync", Text(port.sync)},
            {"longName", Text(port.longName)},
            {"drops", drops},
            {"lastMessage", Text(port.lastMessage)},
            {"locating", port.locating},
            {"firmwareUpdate", QJsonObject{{"state", FirmwareStateText(port.firmwareUpdate.state)},
                                           {"pages", port.firmwareUpdate.pagesWritten},
                                           {"of", kFirmwarePages},
                                           {"message", Text(port.firmwareUpdate.message)}}}};
}

QJsonArray PortsJson(const std::vector<PortStatus>& ports) {
    QJsonArray list;
    for (const PortStatus& port : ports) list.append(PortJson(port));
    return list;
}
