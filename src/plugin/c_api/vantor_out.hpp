// The Vantor DMX output plug-in for hosts written in C++: the class clsOutputDriver over the C interface of
// vantor_out.h, header only. The driver and the strings the plug-in hands out are released by destructors; a
// failure status is thrown as vantor::Error, carrying the status and the plug-in's description of it.
#ifndef VANTOR_OUT_HPP
#define VANTOR_OUT_HPP

#include <cstdint>
#include <memory>
#include <stdexcept>
#include <string>
#include <utility>

#include "vantor_out.h"

namespace vantor {

class Error : public std::runtime_error {
public:
    Error(vantor_status status, const std::string& operation)
        : std::runtime_error(operation + ": " + LastError()), status_(status) {}
    vantor_status status() const noexcept { return status_; }

private:
    static std::string LastError() {
        const char* text = vantor_last_error();
        return text ? text : "";
    }
    vantor_status status_;
};

namespace detail {

inline void Check(vantor_status status, const char* operation) {
    if (status != VANTOR_S_OK) throw Error(status, operation);
}

struct StringFree {
    void operator()(char* text) const noexcept { vantor_string_free(text); }
};

}  // namespace detail

// A string handed out by the plug-in, freed with vantor_string_free.
using UniqueString = std::unique_ptr<char, detail::StringFree>;

// One clsOutputDriver object: created with the object, released with it. Movable, not copyable.
class OutputDriver {
public:
    OutputDriver() { detail::Check(vantor_driver_create(&driver_), "vantor_driver_create"); }
    ~OutputDriver() { Release(); }
    OutputDriver(OutputDriver&& other) noexcept : driver_(std::exchange(other.driver_, nullptr)) {}
    OutputDriver& operator=(OutputDriver&& other) noexcept {
        if (this != &other) {
            Release();
            driver_ = std::exchange(other.driver_, nullptr);
        }
        return *this;
    }
    OutputDriver(const OutputDriver&) = delete;
    OutputDriver& operator=(const OutputDriver&) = delete;

    bool Disable() { return Call(vantor_Disable, "Disable"); }
    bool Enable() { return Call(vantor_Enable, "Enable"); }
    std::string PluginName() {
        char* name = nullptr;
        detail::Check(vantor_PluginName(driver_, &name), "PluginName");
        const UniqueString owned(name);
        return owned ? std::string(owned.get()) : std::string();
    }
    // False for a channel outside 1 to 512; a value outside 0 to 255 throws with VANTOR_E_OVERFLOW.
    bool SetChannel(std::int32_t channel, std::int32_t value) {
        vantor_bool result = VANTOR_FALSE;
        detail::Check(vantor_SetChannel(driver_, &channel, &value, &result), "SetChannel");
        return result != VANTOR_FALSE;
    }
    bool Configure() { return Call(vantor_Configure, "Configure"); }
    // The helper, when given, is held from here until Term.
    bool init(std::string callingAppTitle, std::string myFilename,
              vantor_host_helper* hostPluginHelper = nullptr) {
        char* title = callingAppTitle.data();
        char* filename = myFilename.data();
        vantor_bool result = VANTOR_FALSE;
        detail::Check(vantor_init(driver_, &title, &filename, &hostPluginHelper, &result), "init");
        return result != VANTOR_FALSE;
    }
    bool Term() { return Call(vantor_Term, "Term"); }

    vantor_driver* get() const noexcept { return driver_; }

private:
    bool Call(vantor_status (*operation)(vantor_driver*, vantor_bool*), const char* name) {
        vantor_bool result = VANTOR_FALSE;
        detail::Check(operation(driver_, &result), name);
        return result != VANTOR_FALSE;
    }
    void Release() noexcept {
        if (driver_) vantor_driver_release(driver_);
        driver_ = nullptr;
    }

    vantor_driver* driver_ = nullptr;
};

// The extensions for hosts without a Qt event loop or without a person at the window.
inline void ProcessEvents(std::int32_t maxMs) {
    detail::Check(vantor_process_events(maxMs), "vantor_process_events");
}
// True when that port is the open link port afterwards; a number outside 1 to 16 throws.
inline bool SelectPort(std::int32_t port) {
    vantor_bool result = VANTOR_FALSE;
    detail::Check(vantor_select_port(port, &result), "vantor_select_port");
    return result != VANTOR_FALSE;
}
inline void SetBridgeMode(bool send) {
    detail::Check(vantor_set_bridge_mode(send ? VANTOR_TRUE : VANTOR_FALSE), "vantor_set_bridge_mode");
}
inline void SetUniverse(std::int32_t universe) {
    detail::Check(vantor_set_universe(universe), "vantor_set_universe");
}
inline bool UpdateFirmware(const std::string& path) {
    vantor_bool result = VANTOR_FALSE;
    detail::Check(vantor_update_firmware(path.c_str(), &result), "vantor_update_firmware");
    return result != VANTOR_FALSE;
}

// The received-DMX reports that left no ArtDmx, by reason.
inline vantor_receive_counts ReceiveCounts() {
    vantor_receive_counts counts{};
    counts.size = sizeof counts;
    detail::Check(vantor_get_receive_counts(&counts), "vantor_get_receive_counts");
    return counts;
}
// The datagrams the bridge dropped, by reason.
inline vantor_drop_counts DropCounts() {
    vantor_drop_counts counts{};
    counts.size = sizeof counts;
    detail::Check(vantor_get_drop_counts(&counts), "vantor_get_drop_counts");
    return counts;
}

enum class Protocol : std::int32_t { ArtNet = VANTOR_PROTOCOL_ARTNET, Sacn = VANTOR_PROTOCOL_SACN };
inline void SetProtocol(Protocol protocol) {
    detail::Check(vantor_set_protocol(static_cast<std::int32_t>(protocol)), "vantor_set_protocol");
}
inline void SetSacnPriority(std::int32_t priority) {
    detail::Check(vantor_set_sacn_priority(priority), "vantor_set_sacn_priority");
}
inline void SetSacnTtl(std::int32_t ttl) {
    detail::Check(vantor_set_sacn_ttl(ttl), "vantor_set_sacn_ttl");
}
inline vantor_sacn_status SacnStatus() {
    vantor_sacn_status status{};
    status.size = sizeof status;
    detail::Check(vantor_get_sacn_status(&status), "vantor_get_sacn_status");
    return status;
}

}  // namespace vantor

#endif
