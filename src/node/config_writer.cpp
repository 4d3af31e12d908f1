#include "node/config_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <filesystem>
#include <optional>
#include <vector>

#include "node/config_checks.h"
#include "stuff/trimmed.h"

namespace {

constexpr std::array<std::string_view, 7> kKeys = {"mode", "protocol",  "universe", "priority",
                                                   "name", "long_name", "merge"};

// written: the value the line has now, whose form a universe keeps.
std::string ValueOf(const PortConfig& port, std::string_view key, std::string_view written = {}) {
    if (key == "mode") return ModeText(port.mode);
    if (key == "protocol") return ProtocolText(port.protocol);
    if (key == "universe")
        return NetSubUni(written) && port.protocol == BridgeProtocol::ArtNet ? NetSubUniText(port.universe)
                                                                             : std::to_string(port.universe);
    if (key == "priority") return std::to_string(port.priority);
    if (key == "long_name") return port.longName;
    if (key == "merge") return MergeKeyText(port.merge);
    return port.name;
}

// A key whose default the file need not spell out: a missing one is not added, and an empty name goes.
bool WrittenOnlyWhenSet(std::string_view key, const std::string& value) {
    return key == "merge" ? value == MergeKeyText(MergeMode::Htp) : key.ends_with("name") && value.empty();
}

// The title of a [section] line, as the reader takes it.
std::optional<std::string_view> SectionTitle(std::string_view line) {
    line = Trimmed(line);
    if (!line.starts_with('[')) return std::nullopt;
    const auto close = line.find(']');
    if (close == std::string_view::npos || !Trimmed(WithoutComment(line.substr(close + 1))).empty())
        return std::nullopt;
    return Trimmed(line.substr(1, close - 1));
}

std::optional<int> PortNumber(std::string_view title) {
    const auto blank = title.find_first_of(" \t");
    if (blank == std::string_view::npos || title.substr(0, blank) != "port") return std::nullopt;
    const std::string_view digits = Trimmed(title.substr(blank));
    int number = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
    if (error != std::errc{} || end != digits.data() + digits.size()) return std::nullopt;
    return number;
}

// The line with its value replaced; its indentation, spacing and comment stay.
std::string WithValue(std::string_view line, std::size_t equals, const std::string& value) {
    const std::string_view after = line.substr(equals + 1);
    const std::string_view written = WithoutComment(after);
    const std::size_t lead = std::min(written.find_first_not_of(" \t"), written.size());
    const std::size_t valueEnd = lead + Trimmed(written).size();
    const std::string_view rest = after.substr(valueEnd);
    // A comment that followed an empty value at once needs its blank now.
    const std::string_view blank = rest.starts_with('#') ? " " : "";
    std::string out(line.substr(0, equals + 1 + lead));
    out.append(value).append(blank).append(rest);
    return out;
}

class Rewriter {
public:
    explicit Rewriter(const NodeConfig& config) : config_(config) {}

    void Line(std::string_view line) {
        if (const auto title = SectionTitle(line)) {
            EndSection();
            const auto number = PortNumber(*title);
            const auto found = std::find_if(config_.ports.begin(), config_.ports.end(),
                                            [&](const PortConfig& port) { return number == port.number; });
            port_ = number && found != config_.ports.end() ? &*found : nullptr;
            seen_.clear();
            Keep(std::string(line));
            return;
        }
        const std::string_view content = Trimmed(line);
        const auto equals = line.find('=');
        const std::string_view key = Trimmed(line.substr(0, equals));
        const auto known = std::find(kKeys.begin(), kKeys.end(), key);
        if (!port_ || content.empty() || content.front() == '#' || equals == std::string_view::npos ||
            known == kKeys.end()) {
            Keep(std::string(line));
            return;
        }
        seen_.push_back(key);
        const std::string value = ValueOf(*port_, key, Trimmed(WithoutComment(line.substr(equals + 1))));
        if (key.ends_with("name") && value.empty()) return;
        Keep(WithValue(line, equals, value));
    }

    std::vector<std::string> Finish() {
        EndSection();
        return std::move(lines_);
    }

private:
    void Keep(std::string line) {
        const std::string_view content = Trimmed(line);
        lines_.push_back(std::move(line));
        if (!content.empty() && content.front() != '#') sectionEnd_ = lines_.size();
    }

    // What the section lacks goes after its last setting, before the blank lines and comments that
    // introduce the next one.
    void EndSection() {
        if (!port_) return;
        std::vector<std::string> added;
        for (const std::string_view key : kKeys) {
            const std::string value = ValueOf(*port_, key);
            if (std::find(seen_.begin(), seen_.end(), key) == seen_.end() && !WrittenOnlyWhenSet(key, value))
                added.push_back(std::string(key) + " = " + value);
        }
        lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(sectionEnd_), added.begin(), added.end());
        port_ = nullptr;
    }

    const NodeConfig& config_;
    std::vector<std::string> lines_;
    const PortConfig* port_ = nullptr;
    std::vector<std::string_view> seen_;
    std::size_t sectionEnd_ = 0;
};

std::string Failure(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

}  // namespace

std::string RewriteNodeConfig(std::string_view text, const NodeConfig& config) {
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    const auto firstEnd = text.find('\n');
    const bool crlf = firstEnd != std::string_view::npos && firstEnd > 0 && text[firstEnd - 1] == '\r';
    Rewriter rewriter(config);
    ForEachLine(text, [&](int, std::string_view line) {
        if (line.ends_with('\r')) line.remove_suffix(1);
        rewriter.Line(line);
    });
    std::string out(text.starts_with(kByteOrderMark) ? kByteOrderMark : "");
    const std::vector<std::string> lines = rewriter.Finish();
    for (std::size_t i = 0; i < lines.size(); ++i) {
        out += lines[i];
        if (i + 1 < lines.size() || text.ends_with('\n')) out += crlf ? "\r\n" : "\n";
    }
    return out;
}

std::string ReplaceFileAtomically(const std::string& given, std::string_view text) {
    // A link stays a link: the file it leads to is the one replaced.
    std::error_code unresolved;
    const std::filesystem::path resolved = std::filesystem::canonical(given, unresolved);
    const std::string path = unresolved ? given : resolved.string();
    struct stat old {};
    if (::stat(path.c_str(), &old) != 0) return Failure("cannot replace", path);
    if (!S_ISREG(old.st_mode)) {
        errno = S_ISDIR(old.st_mode) ? EISDIR : EINVAL;
        return Failure("cannot replace", path);
    }
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::string temporary = path + ".XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return Failure("cannot write a new file beside", path);
    std::string failure;
    // The settings keep their mode. Not their owner: the service may not change owners, and whoever may
    // replace the file owns the new one.
    if (::fchmod(fd, old.st_mode & 07777) != 0) failure = Failure("cannot set the mode of", temporary);
    for (std::size_t done = 0; failure.empty() && done < text.size();) {
        const ssize_t written = ::write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0)
            failure = Failure("cannot write", temporary);
        else
            done += static_cast<std::size_t>(written);
    }
    if (failure.empty() && ::fsync(fd) != 0) failure = Failure("cannot sync", temporary);
    if (::close(fd) != 0 && failure.empty()) failure = Failure("cannot write", temporary);
    if (failure.empty() && ::rename(temporary.c_str(), path.c_str()) != 0)
        failure = Failure("cannot rename the new file over", path);
    if (!failure.empty()) {
        ::unlink(temporary.c_str());
        return failure;
    }
    // The rename survives a power cut only once the folder is synced; where that cannot be done, readers see
    // the new file all the same, so the replace stands.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return {};
}
