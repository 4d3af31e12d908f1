#include "node_settings.h"

#include <fstream>
#include <sstream>

#include "node/config_file.h"
#include "node/config_writer.h"

NodeSettings::Outcome NodeSettings::Change(Node& node, int portNumber, const PortChange& change,
                                           Node::TimePoint now) {
    auto changed = ChangedConfig(config_, portNumber, change);
    if (auto* error = std::get_if<std::string>(&changed)) return {*error, false};
    NodeConfig& config = std::get<NodeConfig>(changed);
    // A console may repeat its ArtAddress: what changes nothing costs no write, and the file holds it
    // already.
    if (config == config_) return {{}, !file_.empty() && !legacy_};
    if (legacy_)
        return {
            "the settings come from " + file_ +
                ", which the node does not write: write /etc/vantor-bridge.conf (vantor-bridge --list-ports) "
                "to change them from the page or a console",
            false};
    bool saved = false;
    if (!file_.empty()) {
        std::ifstream in(file_, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        if (!in) return {"cannot read " + file_ + "; nothing changed", false};
        const std::string rewritten = RewriteNodeConfig(text.str(), config);
        const ParsedConfig check = ParseNodeConfig(rewritten, file_);
        if (!check.Ok() || check.config.ports != config.ports)
            return {file_ + " would not read back as changed" +
                        (check.Ok() ? std::string() : ": " + check.errors.front().reason) +
                        "; nothing changed",
                    false};
        if (std::string failure = ReplaceFileAtomically(file_, rewritten); !failure.empty())
            return {"cannot save " + file_ + ": " + failure + "; nothing changed", false};
        saved = true;
    }
    config_ = std::move(config);
    node.Apply(config_, now);
    return {{}, saved};
}

void NodeSettings::Reload(Node& node, const std::function<void(const std::string&)>& say,
                          Node::TimePoint now) {
    if (file_.empty()) return say("reload: the node runs without a file; nothing changed");
    LoadedConfig loaded = LoadNodeConfig(requested_);
    if (!loaded.parsed.Ok()) {
        for (const ConfigError& error : loaded.parsed.errors) say("reload: " + error.Text());
        say("reload: " + loaded.source + " not taken; nothing changed");
        return;
    }
    NodeConfig& config = loaded.parsed.config;
    if (config.interface != config_.interface) {
        say("reload: the interface stays " + config_.interface + " until the next start");
        config.interface = config_.interface;
    }
    if (!(config.web == config_.web)) {
        say("reload: the page's settings stay as they are until the next start");
        config.web = config_.web;
    }
    say("reload: " + loaded.source);
    file_ = loaded.source;
    legacy_ = loaded.legacy;
    config_ = config;
    node.Apply(config_, now);
}
