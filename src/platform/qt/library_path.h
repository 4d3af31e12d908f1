#pragma once

#include <string>

// The file that holds this code (the plug-in library, or the program it is linked into), as an absolute path,
// and its folder. Empty when the system cannot tell.
std::string OwnLibraryPath();
std::string OwnLibraryFolder();
