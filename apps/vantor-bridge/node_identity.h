#pragma once

#include <functional>
#include <string>

#include "artnet/interface_choice.h"
#include "node/node.h"

// The node's address and MAC on its interface, the host's name, and the sACN CID it keeps from one start to
// the next in its state folder (a fresh one for this run when there is none; said once).
NodeIdentity LoadNodeIdentity(const InterfaceChoice& chosen,
                              const std::function<void(const std::string&)>& say);
