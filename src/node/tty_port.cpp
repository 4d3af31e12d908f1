#include "node/tty_port.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

TtyPort::~TtyPort() {
    Close();
}

void TtyPort::Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

void TtyPort::Fail(const std::string& what, int error) {
    // A device that has gone away cannot come back under this descriptor.
    if (error == EIO || error == ENODEV || error == ENXIO || error == EBADF) Close();
    throw SerialError(what + " " + path_ + ": " + std::strerror(error));
}

void TtyPort::SetPortOpen(bool open) {
    if (!open) {
        Close();
        return;
    }
    if (fd_ >= 0) throw SerialError(path_ + " is already open");
    const int fd = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) throw SerialError("Cannot open " + path_ + ": " + std::strerror(errno));
    termios settings{};
    if (::tcgetattr(fd, &settings) == 0) {
        ::cfmakeraw(&settings);
        // The widget's USB side ignores the line rate; 8N1 without flow control is what it expects.
        ::cfsetspeed(&settings, B115200);
        settings.c_cflag |= CLOCAL | CREAD;
        settings.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
        ::tcsetattr(fd, TCSANOW, &settings);
    }
    // No second program may write into a widget that a port drives: not another node, nor a listing (root
    // passes TIOCEXCL, not the lock).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        throw SerialError(
            "Cannot open " + path_ + ": " +
            (error == EWOULDBLOCK ? std::string("in use by another program") : std::strerror(error)));
    }
    ::ioctl(fd, TIOCEXCL);
    fd_ = fd;
}

int TtyPort::InBufferCount() {
    if (fd_ < 0) throw SerialError("The port is not open");
    int count = 0;
    if (::ioctl(fd_, FIONREAD, &count) != 0) Fail("Cannot read", errno);
    // A hung-up line has nothing waiting, yet must end a wait for input at once.
    pollfd watch{fd_, POLLIN, 0};
    if (count == 0 && ::poll(&watch, 1, 0) > 0 && (watch.revents & (POLLHUP | POLLERR | POLLNVAL)))
        Fail("Cannot read", EIO);
    return count;
}

void TtyPort::ClearInBuffer() {
    if (fd_ >= 0) ::tcflush(fd_, TCIFLUSH);
}

std::vector<std::uint8_t> TtyPort::Input() {
    std::vector<std::uint8_t> bytes;
    ReadInput(bytes);
    return bytes;
}

void TtyPort::ReadInput(std::vector<std::uint8_t>& bytes) {
    if (fd_ < 0) throw SerialError("The port is not open");
    bytes.clear();
    std::uint8_t chunk[4096];
    for (;;) {
        const ssize_t got = ::read(fd_, chunk, sizeof chunk);
        if (got > 0) {
            bytes.insert(bytes.end(), chunk, chunk + got);
            continue;
        }
        if (got < 0 && errno == EINTR) continue;
        if (got < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return;
        // End of file on a tty: the other side hung up.
        Fail("Cannot read", got == 0 ? EIO : errno);
    }
}

void TtyPort::Output(std::span<const std::uint8_t> bytes) {
    if (fd_ < 0) throw SerialError("The port is not open");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kWriteTimeoutMs);
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t put = ::write(fd_, bytes.data() + done, bytes.size() - done);
        if (put > 0) {
            done += static_cast<std::size_t>(put);
            continue;
        }
        if (put < 0 && errno == EINTR) continue;
        if (put < 0 && errno != EAGAIN && errno != EWOULDBLOCK) Fail("Cannot write to", errno);
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd watch{fd_, POLLOUT, 0};
        if (left.count() <= 0 || ::poll(&watch, 1, static_cast<int>(left.count())) <= 0) {
            // A device that takes nothing for this long hangs: its link must not hold on to it.
            Close();
            throw SerialError("The widget at " + path_ + " took no data for " +
                              std::to_string(kWriteTimeoutMs) + " ms");
        }
        if (watch.revents & (POLLHUP | POLLERR | POLLNVAL)) Fail("Cannot write to", EIO);
    }
}
