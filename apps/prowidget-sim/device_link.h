#pragma once

#include <string>

namespace prowidget {

// Makes `link` a symbolic link to `target`, replacing an existing symbolic link but never a real file.
// Throws std::runtime_error with the reason.
void MakeDeviceLink(const std::string& link, const std::string& target);
// Removes `link` if it is a symbolic link; anything else there is left alone.
void RemoveDeviceLink(const std::string& link);

}  // namespace prowidget
