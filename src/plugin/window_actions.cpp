#include "window_actions.h"

#include <stdexcept>

bool SelectPort(PluginState& plugin, int port) {
    return plugin.Window().Form().SelectPort(port);
}

void SetBridgeMode(PluginState& plugin, bool send) {
    Form1& form = plugin.Window().Form();
    if (send)
        form.senddmxbutton.PerformClick();
    else
        form.Command1.PerformClick();
}

void SetUniverse(PluginState& plugin, int universe) {
    SacnBridge& sacn = plugin.Window().Form().sacn;
    if (sacn.Chosen()) {
        sacn.SetUniverse(universe);
        return;
    }
    if (universe < 0 || universe > 255)
        throw std::out_of_range("Universe " + std::to_string(universe) + " is outside 0 to 255");
    plugin.Window().Form().ArtUniv.SetValue(universe);
}

void ChooseSacn(PluginState& plugin, bool sacn) {
    plugin.Window().Form().sacn.Choose(sacn);
}

void ChooseProtocol(PluginState& plugin, int protocol) {
    if (protocol != 0 && protocol != 1)
        throw std::out_of_range("Protocol " + std::to_string(protocol) +
                                " is neither 0 (Art-Net) nor 1 (sACN)");
    ChooseSacn(plugin, protocol == 1);
}

bool UpdateFirmware(PluginState& plugin, const std::string& path) {
    return plugin.Window().Form().UpdateFirmwareFromFile(path);
}

std::vector<std::string> PortList(PluginState& plugin) {
    return plugin.Window().Form().DevList.Items();
}
