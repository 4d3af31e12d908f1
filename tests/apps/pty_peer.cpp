#include "pty_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <system_error>

#include "prowidget_sim.h"

namespace prowidget::testing {

using Clock = std::chrono::steady_clock;

PtyPeer::PtyPeer(const std::string& path)
    : cutter_(
          kSimMaxDataLength,
          [this](std::uint8_t label, std::vector<std::uint8_t> data) {
              pending_.push_back({label, std::move(data)});
          },
          [this] { ++bad_; }) {
    fd_ = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "open " + path);
}

PtyPeer::~PtyPeer() {
    close(fd_);
}

void PtyPeer::Write(const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t put = write(fd_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
        } else if (put < 0 && (errno == EAGAIN || errno == EINTR)) {
            pollfd out{fd_, POLLOUT, 0};
            poll(&out, 1, 100);
        } else {
            throw std::system_error(errno, std::generic_category(), "write to pty");
        }
    }
}

std::vector<std::uint8_t> PtyPeer::ReadOnce(std::chrono::milliseconds timeout) {
    pollfd in{fd_, POLLIN, 0};
    if (poll(&in, 1, static_cast<int>(timeout.count())) <= 0) return {};
    std::vector<std::uint8_t> bytes(65536);
    ssize_t got = read(fd_, bytes.data(), bytes.size());
    bytes.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
    return bytes;
}

std::vector<std::uint8_t> PtyPeer::ReadUntilQuiet(std::chrono::milliseconds quiet) {
    std::vector<std::uint8_t> all;
    for (;;) {
        auto piece = ReadOnce(quiet);
        if (piece.empty()) return all;
        all.insert(all.end(), piece.begin(), piece.end());
    }
}

std::vector<ReceivedFrame> PtyPeer::ReadFrames(std::size_t count, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (pending_.size() < count && Clock::now() < deadline) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        auto piece = ReadOnce(std::max(left, std::chrono::milliseconds(1)));
        cutter_.Feed(piece);
    }
    std::size_t take = std::min(count, pending_.size());
    std::vector<ReceivedFrame> frames(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(take));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(take));
    return frames;
}

}  // namespace prowidget::testing
