#pragma once

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>

#include "host_helper.h"
#include "plugin_state.h"
#include "stuff/vb_boolean.h"

// The run-time overflow error: a value that does not fit the byte it is stored in.
class OverflowError : public std::runtime_error {
public:
    OverflowError() : std::runtime_error("Overflow") {}
};

// The one creatable class the host sees, with its seven operations. Failures are thrown; each host boundary
// turns them into its status codes.
class clsOutputDriver {
public:
    static constexpr const char* kPluginName = "Vantor Driver";

    explicit clsOutputDriver(PluginState& plugin) : plugin_(plugin) {}

    VBool Disable();
    VBool Enable();
    std::string PluginName() const { return kPluginName; }
    VBool SetChannel(std::int32_t& Channel, std::int32_t& Value);
    VBool Configure() { return kFalse; }
    // The boundary has taken the reference on the host's helper object (none for a null object).
    VBool init(std::string& CallingAppTitle, std::string& MyFilename,
               std::unique_ptr<HostHelperReference> HostPluginHelper);
    VBool Term();

    const std::string& CallingAppTitle() const { return callingAppTitle_; }
    const std::string& MyFilename() const { return myFilename_; }

private:
    PluginState& plugin_;
    std::string callingAppTitle_;
    std::string myFilename_;
};
