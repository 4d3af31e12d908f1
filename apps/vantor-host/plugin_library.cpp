#include "plugin_library.h"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>

namespace {

template <typename Function>
void Resolve(void* library, const char* name, Function& function) {
    dlerror();
    void* symbol = dlsym(library, name);
    if (!symbol) throw std::runtime_error(std::string("the plug-in lacks ") + name);
    function = reinterpret_cast<Function>(symbol);
}

}  // namespace

PluginLibrary PluginLibrary::Load(const std::string& path) {
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) throw std::runtime_error(std::string("cannot load the plug-in: ") + dlerror());
    PluginLibrary api;
    Resolve(library, "vantor_driver_create", api.driver_create);
    Resolve(library, "vantor_driver_release", api.driver_release);
    Resolve(library, "vantor_Disable", api.Disable);
    Resolve(library, "vantor_Enable", api.Enable);
    Resolve(library, "vantor_PluginName", api.PluginName);
    Resolve(library, "vantor_SetChannel", api.SetChannel);
    Resolve(library, "vantor_init", api.init);
    Resolve(library, "vantor_Term", api.Term);
    Resolve(library, "vantor_string_free", api.string_free);
    Resolve(library, "vantor_last_error", api.last_error);
    Resolve(library, "vantor_process_events", api.process_events);
    Resolve(library, "vantor_select_port", api.select_port);
    Resolve(library, "vantor_set_bridge_mode", api.set_bridge_mode);
    Resolve(library, "vantor_set_universe", api.set_universe);
    Resolve(library, "vantor_update_firmware", api.update_firmware);
    Resolve(library, "vantor_search_ports", api.search_ports);
    Resolve(library, "vantor_search_port", api.search_port);
    Resolve(library, "vantor_get_port_report", api.get_port_report);
    Resolve(library, "vantor_get_bridge_status", api.get_bridge_status);
    Resolve(library, "vantor_set_status_listener", api.set_status_listener);
    Resolve(library, "vantor_get_receive_counts", api.get_receive_counts);
    Resolve(library, "vantor_get_drop_counts", api.get_drop_counts);
    Resolve(library, "vantor_set_protocol", api.set_protocol);
    Resolve(library, "vantor_set_sacn_priority", api.set_sacn_priority);
    Resolve(library, "vantor_set_sacn_ttl", api.set_sacn_ttl);
    Resolve(library, "vantor_get_sacn_sent", api.get_sacn_sent);
    Resolve(library, "vantor_get_sacn_status", api.get_sacn_status);
    Resolve(library, "vantor_sacn_ignored_name", api.sacn_ignored_name);
    return api;
}

std::string PluginLibrary::DevicePathOf(int port) const {
    vantor_port_report report{};
    return get_port_report(port, &report) == VANTOR_S_OK ? report.device : std::string();
}

vantor_receive_counts PluginLibrary::ReceiveCounts() const {
    vantor_receive_counts counts{};
    counts.size = sizeof counts;
    if (get_receive_counts(&counts) != VANTOR_S_OK) return vantor_receive_counts{};
    return counts;
}

vantor_drop_counts PluginLibrary::DropCounts() const {
    vantor_drop_counts counts{};
    counts.size = sizeof counts;
    if (get_drop_counts(&counts) != VANTOR_S_OK) return vantor_drop_counts{};
    return counts;
}

vantor_sacn_status PluginLibrary::SacnStatus() const {
    vantor_sacn_status status{};
    status.size = sizeof status;
    if (get_sacn_status(&status) != VANTOR_S_OK) return vantor_sacn_status{};
    return status;
}

SacnSent PluginLibrary::SacnSentCounts() const {
    SacnSent sent;
    if (get_sacn_sent(&sent.packets, &sent.refused) != VANTOR_S_OK) return {};
    return sent;
}

std::string PluginLibrary::DefaultPath() {
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return "vantor.out.so";
    const auto beside = self.parent_path() / "vantor.out.so";
    if (std::filesystem::exists(beside, error)) return beside.string();
    // Set by the build: the installed plug-in's path relative to the installed program's folder.
    return (self.parent_path() / VANTOR_INSTALLED_PLUGIN).lexically_normal().string();
}
