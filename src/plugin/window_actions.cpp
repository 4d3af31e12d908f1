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
    plugin.Window().Form().bridge.SetUniverse(universe);
}

void ChooseProtocol(PluginState& plugin, int protocol) {
    if (protocol != 0 && protocol != 1)
        throw std::out_of_range("Protocol " + std::to_string(protocol) +
                                " is neither 0 (Art-Net) nor 1 (sACN)");
    plugin.Window().Form().bridge.ChooseProtocol(static_cast<BridgeProtocol>(protocol));
}

BridgeProtocol ChosenProtocol(PluginState& plugin) {
    return plugin.Window().Form().bridge.Protocol();
}

int ChosenUniverse(PluginState& plugin) {
    return plugin.Window().Form().bridge.Universe();
}

SacnBridge& SacnSide(PluginState& plugin) {
    return plugin.Window().Form().sacn;
}

bool UpdateFirmware(PluginState& plugin, const std::string& path) {
    return plugin.Window().Form().UpdateFirmwareFromFile(path);
}

std::vector<std::string> PortList(PluginState& plugin) {
    return plugin.Window().Form().DevList.Items();
}
