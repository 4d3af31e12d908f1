#pragma once

#include <string>

#include "sacn_status_text.h"
#include "vantor_out.h"

// The plug-in's C interface, loaded with dlopen. Never unloaded: the plug-in keeps its window and Qt state
// until the process ends.
struct PluginLibrary {
    decltype(&vantor_driver_create) driver_create = nullptr;
    decltype(&vantor_driver_release) driver_release = nullptr;
    decltype(&vantor_Disable) Disable = nullptr;
    decltype(&vantor_Enable) Enable = nullptr;
    decltype(&vantor_PluginName) PluginName = nullptr;
    decltype(&vantor_SetChannel) SetChannel = nullptr;
    decltype(&vantor_init) init = nullptr;
    decltype(&vantor_Term) Term = nullptr;
    decltype(&vantor_string_free) string_free = nullptr;
    decltype(&vantor_last_error) last_error = nullptr;
    decltype(&vantor_process_events) process_events = nullptr;
    decltype(&vantor_select_port) select_port = nullptr;
    decltype(&vantor_set_bridge_mode) set_bridge_mode = nullptr;
    decltype(&vantor_set_universe) set_universe = nullptr;
    decltype(&vantor_update_firmware) update_firmware = nullptr;
    decltype(&vantor_search_ports) search_ports = nullptr;
    decltype(&vantor_search_port) search_port = nullptr;
    decltype(&vantor_get_port_report) get_port_report = nullptr;
    decltype(&vantor_get_bridge_status) get_bridge_status = nullptr;
    decltype(&vantor_set_status_listener) set_status_listener = nullptr;
    decltype(&vantor_get_receive_counts) get_receive_counts = nullptr;
    decltype(&vantor_get_drop_counts) get_drop_counts = nullptr;
    decltype(&vantor_set_protocol) set_protocol = nullptr;
    decltype(&vantor_set_sacn_priority) set_sacn_priority = nullptr;
    decltype(&vantor_set_sacn_ttl) set_sacn_ttl = nullptr;
    decltype(&vantor_get_sacn_sent) get_sacn_sent = nullptr;
    decltype(&vantor_get_sacn_status) get_sacn_status = nullptr;
    decltype(&vantor_sacn_ignored_name) sacn_ignored_name = nullptr;

    // The device path a port number names now ("" when none, or on a failure).
    std::string DevicePathOf(int port) const;
    // The received-DMX reports that left no ArtDmx (all zero on a failure).
    vantor_receive_counts ReceiveCounts() const;
    // The datagrams the bridge dropped (all zero on a failure).
    vantor_drop_counts DropCounts() const;
    // The sACN side (all zero on a failure).
    vantor_sacn_status SacnStatus() const;
    SacnSent SacnSentCounts() const;

    // Throws std::runtime_error with dlerror's text when the library or a function is missing.
    static PluginLibrary Load(const std::string& path);
    // vantor.out.so in the folder of the running program (a build folder), else where the install puts it
    // relative to the program.
    static std::string DefaultPath();
};

inline bool IsTrue(vantor_bool value) {
    return value != VANTOR_FALSE;
}
