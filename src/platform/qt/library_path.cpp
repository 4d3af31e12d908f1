#include "platform/qt/library_path.h"

#include <dlfcn.h>

#include <filesystem>

std::string OwnLibraryPath() {
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&OwnLibraryPath), &info) == 0 || !info.dli_fname) return {};
    std::error_code error;
    const auto path = std::filesystem::canonical(info.dli_fname, error);
    return error ? std::string(info.dli_fname) : path.string();
}

std::string OwnLibraryFolder() {
    const std::string path = OwnLibraryPath();
    return path.empty() ? std::string() : std::filesystem::path(path).parent_path().string();
}
