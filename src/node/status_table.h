#pragma once

#include <string>
#include <vector>

#include "node/node.h"

// The status table: a heading, then one line per port, columns aligned; ends with a newline.
std::string StatusTable(const std::vector<PortStatus>& ports);
