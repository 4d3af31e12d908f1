#pragma once

#include <ostream>

// Prints each widget that answers on this machine as a [port N] section ready to paste into the node's
// file, named by its most stable identity; returns the exit status (1 when none answered).
int ListPorts(std::ostream& out);
