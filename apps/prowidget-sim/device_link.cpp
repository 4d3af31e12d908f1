#include "device_link.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

namespace prowidget {

void MakeDeviceLink(const std::string& link, const std::string& target) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0) {
        if (!S_ISLNK(info.st_mode)) throw std::runtime_error(link + " exists and is not a symbolic link");
        unlink(link.c_str());
    }
    if (symlink(target.c_str(), link.c_str()) != 0)
        throw std::runtime_error("cannot link " + link + ": " + std::strerror(errno));
}

void RemoveDeviceLink(const std::string& link) {
    struct stat info {};
    if (lstat(link.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) unlink(link.c_str());
}

}  // namespace prowidget
