#include "node/config_file.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

std::optional<std::string> ReadWhole(const std::string& path, std::string& reason) {
    std::error_code error;
    if (std::filesystem::is_directory(path, error)) {
        reason = std::strerror(EISDIR);
        return std::nullopt;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        reason = std::strerror(errno);
        return std::nullopt;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

LoadedConfig Unreadable(const std::string& path, const std::string& reason) {
    LoadedConfig loaded;
    loaded.source = path;
    loaded.parsed.errors.push_back({path, 0, "cannot be read: " + reason});
    return loaded;
}

}  // namespace

LoadedConfig LoadNodeConfig(const std::optional<std::string>& path, const std::string& ownFile,
                            const std::string& legacyFile) {
    std::string reason;
    const std::string wanted = path.value_or(ownFile);
    std::error_code error;
    if (!path && !std::filesystem::exists(ownFile, error) && std::filesystem::exists(legacyFile, error)) {
        const auto text = ReadWhole(legacyFile, reason);
        if (!text) return Unreadable(legacyFile, reason);
        return {ParseLegacyDefaults(*text, legacyFile), legacyFile, true};
    }
    const auto text = ReadWhole(wanted, reason);
    if (!text) return Unreadable(wanted, reason);
    return {ParseNodeConfig(*text, wanted), wanted, false};
}
