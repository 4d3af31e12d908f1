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
// The bridge's universe and protocol, by the rule the window's BridgeChoice documents: each call is checked
// against the protocol chosen when it is made, and one that fails changes nothing. The universe is the
// bridge's and carries over to a protocol chosen later: Art-Net 0 to 255 (moving the universe scroll bar),
// sACN 1 to 63999. std::out_of_range for a universe or protocol the call cannot take.
void SetUniverse(PluginState& plugin, int universe);
// 0 Art-Net, 1 sACN in its place.
void ChooseProtocol(PluginState& plugin, int protocol);
BridgeProtocol ChosenProtocol(PluginState& plugin);
// The chosen protocol's universe.
int ChosenUniverse(PluginState& plugin);
// The sACN side, for its own settings (priority, TTL) and its status.
SacnBridge& SacnSide(PluginState& plugin);
// The "UPD" button once a file has been chosen; true when the update succeeded.
bool UpdateFirmware(PluginState& plugin, const std::string& path);
// The entries of the port list, as it shows them.
std::vector<std::string> PortList(PluginState& plugin);
