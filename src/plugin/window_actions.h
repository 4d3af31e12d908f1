#pragma once

#include <string>
#include <vector>

#include "plugin_state.h"

// What a person does at the control window, for hosts without one (a headless bridge, a test). Each runs the
// very handler that the user's action runs, on the window, which is created first when it does not exist.
// Choosing a port's entry in the port list; true when that port is the open link port afterwards.
bool SelectPort(PluginState& plugin, int port);
// "Art-Net To DMX" (send true) or "DMX To Art-Net".
void SetBridgeMode(PluginState& plugin, bool send);
// Moves the universe scroll bar; std::out_of_range outside 0 to 255. With sACN chosen: the sACN universe
// instead (1 to 63999), the scroll bar left as it is.
void SetUniverse(PluginState& plugin, int universe);
// Art-Net (false) or sACN beside it (true); the window's controls stay as they are.
void ChooseSacn(PluginState& plugin, bool sacn);
// The same by the number the hosts' interfaces give it: 0 Art-Net, 1 sACN; std::out_of_range for another.
void ChooseProtocol(PluginState& plugin, int protocol);
// The "UPD" button once a file has been chosen; true when the update succeeded.
bool UpdateFirmware(PluginState& plugin, const std::string& path);
// The entries of the port list, as it shows them.
std::vector<std::string> PortList(PluginState& plugin);
