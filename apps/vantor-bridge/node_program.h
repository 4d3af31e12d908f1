#pragma once

#include <string>

#include "bridge_options.h"
#include "node/config_file.h"

inline constexpr int kExitUsage = 2;
inline constexpr int kExitUnavailable = 69;

// Says why, on standard error, and gives the exit status.
int Fail(const std::string& text, int status);

// Runs the node on the file's settings until a stop: it waits for its interface and its ports first, then
// serves the ports, reloads on SIGHUP and answers the status socket. Returns the exit status.
int RunNode(const BridgeOptions& options, LoadedConfig loaded, int argc, char** argv);
