#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>

#include "sacn/cid_store.h"

// The Linux CID store: a one-line file, "sacn-cid" in the bridge's state directory (made when missing).
class CidFileStore : public CidStore {
public:
    explicit CidFileStore(std::filesystem::path directory);

    std::string Load() override;
    void Save(const std::string& text) override;
    std::string Where() const override { return file_.string(); }

private:
    std::filesystem::path file_;
};

using EnvironmentLookup = std::function<std::optional<std::string>(const char* name)>;

// The bridge's state directory: $STATE_DIRECTORY where systemd sets it (the first, when it lists several),
// else $XDG_STATE_HOME/vantor-dmx (when absolute), else ~/.local/state/vantor-dmx; nullopt without any of
// them.
std::optional<std::filesystem::path> BridgeStateDirectory(const EnvironmentLookup& environment);
// The process environment, for BridgeStateDirectory.
std::optional<std::string> ProcessEnvironment(const char* name);
