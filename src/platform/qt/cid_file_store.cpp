#include "platform/qt/cid_file_store.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string_view>
#include <system_error>

namespace {

constexpr std::size_t kLongestCidFile = 256;

bool WriteWhole(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::optional<std::string> NonEmpty(std::optional<std::string> value) {
    if (value && value->empty()) return std::nullopt;
    return value;
}

}  // namespace

CidFileStore::CidFileStore(std::filesystem::path directory) : file_(std::move(directory) / "sacn-cid") {}

std::string CidFileStore::Load() {
    std::error_code error;
    if (!std::filesystem::exists(file_, error)) {
        if (error) throw CidStoreError(error.message());
        return {};
    }
    std::ifstream in(file_, std::ios::binary);
    if (!in) throw CidStoreError(std::strerror(errno));
    // A file far longer than a UUID is corrupt; reading it whole would gain nothing.
    std::string text(kLongestCidFile, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    text.resize(static_cast<std::size_t>(in.gcount()));
    return text;
}

// Written to a fresh name beside the file, flushed to the disk and renamed over it, and the rename flushed
// too, so that a power cut leaves the old CID or the new, whole; two bridges saving at once never share the
// temporary file.
void CidFileStore::Save(const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    if (error) throw CidStoreError(error.message());
    std::string part = file_.string() + ".XXXXXX";
    const int fd = ::mkostemp(part.data(), O_CLOEXEC);
    if (fd < 0) throw CidStoreError(std::strerror(errno));
    const std::string line = text + '\n';
    std::string failure;
    if (!WriteWhole(fd, line))
        failure = std::strerror(errno);
    else if (::fsync(fd) != 0)
        failure = std::strerror(errno);
    if (::close(fd) != 0 && failure.empty()) failure = std::strerror(errno);
    if (failure.empty() && ::rename(part.c_str(), file_.c_str()) != 0) failure = std::strerror(errno);
    if (!failure.empty()) {
        ::unlink(part.c_str());
        throw CidStoreError(failure);
    }
    const int directory = ::open(file_.parent_path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (directory < 0) throw CidStoreError(std::strerror(errno));
    const bool flushed = ::fsync(directory) == 0;
    const int why = errno;
    ::close(directory);
    if (!flushed) throw CidStoreError(std::strerror(why));
}

std::optional<std::filesystem::path> BridgeStateDirectory(const EnvironmentLookup& environment) {
    if (const auto systemd = NonEmpty(environment("STATE_DIRECTORY")))
        return std::filesystem::path(systemd->substr(0, systemd->find(':')));
    // The XDG rules: a relative path is invalid and ignored.
    if (const auto xdg = NonEmpty(environment("XDG_STATE_HOME"));
        xdg && std::filesystem::path(*xdg).is_absolute())
        return std::filesystem::path(*xdg) / "vantor-dmx";
    if (const auto home = NonEmpty(environment("HOME")))
        return std::filesystem::path(*home) / ".local" / "state" / "vantor-dmx";
    return std::nullopt;
}

std::optional<std::string> ProcessEnvironment(const char* name) {
    const char* value = std::getenv(name);
    if (!value) return std::nullopt;
    return std::string(value);
}
