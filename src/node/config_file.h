#pragma once

#include <optional>
#include <string>

#include "node/node_config.h"

struct LoadedConfig {
    ParsedConfig parsed;
    std::string source;   // the file read
    bool legacy = false;  // the old bridge's settings, read while the node's own file is absent
};

// The file given, or the node's own file; while that is absent, the old bridge's settings, so that an
// upgraded machine keeps bridging its widget with no edit. A file that cannot be read is an error of that
// file.
LoadedConfig LoadNodeConfig(const std::optional<std::string>& path,
                            const std::string& ownFile = kNodeConfigPath,
                            const std::string& legacyFile = kLegacyDefaultsPath);
