#include "sacn/cid_file_store.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <system_error>

namespace {

constexpr std::size_t kLongestCidFile = 256;

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

void CidFileStore::Save(const std::string& text) {
    std::error_code error;
    std::filesystem::create_directories(file_.parent_path(), error);
    if (error) throw CidStoreError(error.message());
    // Written beside the file and renamed over it, so that a crash leaves the old CID or the new, whole.
    const std::filesystem::path part = file_.string() + ".new";
    {
        std::ofstream out(part, std::ios::binary | std::ios::trunc);
        if (!out) throw CidStoreError(std::strerror(errno));
        out << text << '\n';
        out.close();
        if (!out) {
            std::filesystem::remove(part, error);
            throw CidStoreError("write failed");
        }
    }
    std::filesystem::rename(part, file_, error);
    if (error) {
        const std::string why = error.message();
        std::filesystem::remove(part, error);
        throw CidStoreError(why);
    }
}

std::optional<std::filesystem::path> BridgeStateDirectory(const EnvironmentLookup& environment) {
    if (const auto systemd = NonEmpty(environment("STATE_DIRECTORY")))
        return std::filesystem::path(systemd->substr(0, systemd->find(':')));
    if (const auto xdg = NonEmpty(environment("XDG_STATE_HOME")))
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
