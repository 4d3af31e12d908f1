#pragma once

#include <string>
#include <string_view>

#include "node/node_config.h"

// The file's text with each [port N] section's mode, protocol, universe, priority, names and merge set to the
// config's: a key already there keeps its line, comments and the rest of the file stay as they are, a key
// that is missing is added at the end of its section. Sections of ports that the config lacks stay.
std::string RewriteNodeConfig(std::string_view text, const NodeConfig& config);

// Replaces the file at path with text so that a reader sees the old file or the new one, never a part:
// a new file beside it, synced, renamed over it, with the old file's mode. Empty when done, else why not.
std::string ReplaceFileAtomically(const std::string& path, std::string_view text);
