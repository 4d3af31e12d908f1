#include "line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>

std::vector<std::string> LineReader::ReadAvailable() {
    std::vector<std::string> lines;
    while (!atEnd_) {
        pollfd ready{fd_, POLLIN, 0};
        if (poll(&ready, 1, 0) <= 0 || !(ready.revents & (POLLIN | POLLHUP))) break;
        char buffer[4096];
        const ssize_t got = read(fd_, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) {
            atEnd_ = true;
            break;
        }
        pending_.append(buffer, static_cast<std::size_t>(got));
    }
    std::size_t start = 0;
    for (std::size_t end; (end = pending_.find('\n', start)) != std::string::npos; start = end + 1)
        lines.push_back(pending_.substr(start, end - start));
    pending_.erase(0, start);
    if (atEnd_ && !pending_.empty()) {
        lines.push_back(pending_);
        pending_.clear();
    }
    return lines;
}
