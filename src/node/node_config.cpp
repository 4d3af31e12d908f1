#include "node/node_config.h"

#include <algorithm>
#include <map>

#include "node/config_checks.h"
#include "stuff/trimmed.h"

namespace {

// The name by which two spellings of one by-id link compare equal.
std::string_view DeviceKey(std::string_view device) {
    constexpr std::string_view kByIdFolder = "/dev/serial/by-id/";
    return device.starts_with(kByIdFolder) ? device.substr(kByIdFolder.size()) : device;
}

struct PortDraft {
    PortConfig port;
    int line = 0;  // its section header
    bool hasDevice = false;
    bool universeTaken = false;
    std::optional<std::pair<int, std::string>> universe;  // line and text, checked once the protocol is known
};

class IniReader {
public:
    IniReader(const std::string& fileName, ParsedConfig& out) : checks_(fileName, out.errors), out_(out) {}

    void Line(int line, std::string_view text);
    void Finish();

private:
    enum class Section { None, Node, Port, Web, Skipped };

    void Header(int line, std::string_view title);
    void NodeKey(int line, std::string_view key, std::string_view value);
    void WebKey(int line, std::string_view key, std::string_view value);
    void CheckWeb();
    void PortKey(int line, std::string_view key, std::string_view value, PortDraft& draft);
    void CheckPorts();

    ConfigChecks checks_;
    ParsedConfig& out_;
    Section section_ = Section::None;
    std::string title_;                  // the current section as written in errors, "[port 2]"
    std::map<std::string, int> titles_;  // each section seen, with its line
    std::map<std::string, int> keys_;    // the current section's keys, with their lines
    std::map<int, PortDraft> ports_;
    PortDraft* port_ = nullptr;
    bool hasInterface_ = false;
    bool hasPortSection_ = false;  // a refused one too: its own error says enough
    int listenLine_ = 0;
    int passwordLine_ = 0;
};

void IniReader::Line(int line, std::string_view text) {
    text = Trimmed(text);
    if (text.empty() || text.front() == '#') return;
    if (text.front() == '[') {
        const auto close = text.find(']');
        if (close != std::string_view::npos && Trimmed(WithoutComment(text.substr(close + 1))).empty())
            return Header(line, Trimmed(text.substr(1, close - 1)));
    }
    const auto equals = text.find('=');
    const std::string_view key = Trimmed(text.substr(0, equals));
    if (equals == std::string_view::npos || key.empty())
        return checks_.Refuse(line, "'" + std::string(text) + "' is neither a [section] nor key = value");
    const std::string_view value = Trimmed(WithoutComment(text.substr(equals + 1)));
    if (section_ == Section::None)
        return checks_.Refuse(line, "key '" + std::string(key) + "' is outside any section");
    if (section_ == Section::Skipped) return;
    if (const auto [first, added] = keys_.emplace(key, line); !added)
        return checks_.Refuse(line, "duplicate key '" + std::string(key) + "' in " + title_ +
                                        " (first on line " + std::to_string(first->second) + ")");
    if (section_ == Section::Node) return NodeKey(line, key, value);
    if (section_ == Section::Web) return WebKey(line, key, value);
    PortKey(line, key, value, *port_);
}

void IniReader::Header(int line, std::string_view title) {
    keys_.clear();
    section_ = Section::Skipped;
    const auto blank = title.find_first_of(" \t");
    const std::string_view number = blank == std::string_view::npos ? "" : Trimmed(title.substr(blank));
    std::optional<int> port;
    if (title == "node" || title == "web") {
        title_ = "[" + std::string(title) + "]";
    } else if (title.substr(0, blank) == "port") {
        hasPortSection_ = true;
        port = checks_.Number(line, "port number", number, 1, kMaxNodePorts);
        if (!port) return;
        title_ = "[port " + std::to_string(*port) + "]";
    } else {
        return checks_.Refuse(line, "unknown section [" + std::string(title) + "]");
    }
    if (const auto [first, added] = titles_.emplace(title_, line); !added)
        return checks_.Refuse(
            line, "duplicate section " + title_ + " (first on line " + std::to_string(first->second) + ")");
    section_ = port ? Section::Port : title == "web" ? Section::Web : Section::Node;
    if (!port) return;
    port_ = &ports_[*port];
    port_->port.number = *port;
    port_->line = line;
}

void IniReader::NodeKey(int line, std::string_view key, std::string_view value) {
    if (key == "interface") {
        hasInterface_ = true;
        if (value.empty()) checks_.Refuse(line, "interface is empty: name one (eth0, or an IPv4 address)");
        out_.config.interface = value;
    } else if (key == "name") {
        out_.config.name = checks_.Name(line, value).value_or("");
    } else if (key == "poll_replies") {
        if (value != "unicast" && value != "broadcast")
            checks_.Refuse(line, "poll_replies '" + std::string(value) + "' should be unicast or broadcast");
        out_.config.pollRepliesBroadcast = value == "broadcast";
    } else if (key == "remote_config") {
        if (value != "on" && value != "off")
            checks_.Refuse(line, "remote_config '" + std::string(value) + "' should be on or off");
        out_.config.remoteConfig = value != "off";
    } else {
        checks_.Refuse(line, "unknown key '" + std::string(key) + "' in [node]");
    }
}

void IniReader::WebKey(int line, std::string_view key, std::string_view value) {
    WebConfig& web = out_.config.web;
    if (key == "listen") {
        listenLine_ = line;
        if (checks_.Ipv4Address(line, value)) web.listen = value;
    } else if (key == "port") {
        web.port = checks_.Number(line, "port", value, 1, 65535).value_or(web.port);
    } else if (key == "password") {
        passwordLine_ = line;
        if (checks_.PasswordHash(line, value)) web.password = value;
    } else if (key == "read") {
        if (value == "anyone" || value == "password")
            web.readNeedsPassword = value == "password";
        else
            checks_.Refuse(line, "read '" + std::string(value) + "' should be anyone or password");
    } else {
        checks_.Refuse(line, "unknown key '" + std::string(key) + "' in [web]");
    }
}

// The page may be opened from elsewhere only behind a password, and a password says where it is asked for.
void IniReader::CheckWeb() {
    const WebConfig& web = out_.config.web;
    if (listenLine_ > 0 && web.listen != WebConfig{}.listen && passwordLine_ == 0)
        checks_.Refuse(listenLine_, "listen = " + web.listen +
                                        " needs a password: add password = the line that "
                                        "`vantor-bridge --hash-password` prints");
    if (passwordLine_ > 0 && listenLine_ == 0)
        checks_.Refuse(passwordLine_,
                       "password needs a listen line in [web]: the address the page listens on");
}

void IniReader::PortKey(int line, std::string_view key, std::string_view value, PortDraft& draft) {
    PortConfig& port = draft.port;
    if (key == "device") {
        draft.hasDevice = true;
        if (value.empty()) checks_.Refuse(line, "device is empty");
        port.device = value;
    } else if (key == "mode") {
        port.mode = checks_.Mode(line, value).value_or(port.mode);
    } else if (key == "protocol") {
        port.protocol = checks_.Protocol(line, value).value_or(port.protocol);
    } else if (key == "universe") {
        draft.universe.emplace(line, value);
    } else if (key == "priority") {
        port.priority = checks_.Number(line, "priority", value, 0, kHighestPriority).value_or(port.priority);
    } else if (key == "ttl") {
        port.ttl = checks_.Number(line, "ttl", value, 1, kHighestTtl).value_or(port.ttl);
    } else if (key == "name") {
        port.name = checks_.Name(line, value).value_or("");
    } else if (key == "long_name") {
        port.longName = checks_.Name(line, value).value_or("");
    } else if (key == "merge") {
        port.merge = checks_.Merge(line, value).value_or(port.merge);
    } else {
        checks_.Refuse(line, "unknown key '" + std::string(key) + "' in " + title_);
    }
}

// What no single section shows: two ports on one widget, or two sending one universe.
void IniReader::CheckPorts() {
    std::map<std::string_view, const PortDraft*> devices;
    std::vector<const PortConfig*> sending;
    for (const auto& [number, draft] : ports_) {
        const PortConfig& port = draft.port;
        if (!draft.hasDevice)
            checks_.Refuse(draft.line, "[port " + std::to_string(number) + "] has no device");
        if (const auto [first, added] = devices.emplace(DeviceKey(port.device), &draft);
            !added && !port.device.empty())
            checks_.Refuse(draft.line, "port " + std::to_string(number) + " names the same device as port " +
                                           std::to_string(first->second->port.number) + " (line " +
                                           std::to_string(first->second->line) + ")");
        if (draft.universeTaken) sending.push_back(&port);
    }
    for (const auto& [port, first] : UniversesSentTwice(sending))
        checks_.Refuse(ports_.at(port->number).line, SentTwiceText(*port, *first) + " (line " +
                                                         std::to_string(ports_.at(first->number).line) + ")");
}

void IniReader::Finish() {
    for (auto& [number, draft] : ports_) {
        const auto& universe = draft.universe;
        draft.universeTaken =
            checks_.Universe(universe ? universe->first : draft.line,
                             universe ? std::optional<std::string_view>(universe->second) : std::nullopt,
                             kHighestPortAddress, draft.port);
    }
    CheckPorts();
    CheckWeb();
    if (!hasInterface_)
        checks_.Refuse(0, "no interface: the node broadcasts and must never pick a network by itself");
    if (!hasPortSection_) checks_.Refuse(0, "no [port N] section");
    for (const auto& [number, draft] : ports_) out_.config.ports.push_back(draft.port);
    checks_.SortByLine();
}

}  // namespace

ParsedConfig ParseNodeConfig(std::string_view text, const std::string& fileName) {
    ParsedConfig parsed;
    IniReader reader(fileName, parsed);
    ForEachLine(text, [&](int line, std::string_view content) { reader.Line(line, content); });
    reader.Finish();
    return parsed;
}
