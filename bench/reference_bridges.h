#pragma once

// The bridges the host's Art-Net to DMX latency is read against, each on the same rig as the host: they bind
// UDP 6454 in the bench's namespace and write each matching ArtDmx's levels as one 518-byte frame to the
// widget's pty, and do nothing else.
// - lean: blocks in recv, the machine's own floor;
// - epoll: waits in epoll_wait, as an event loop without a toolkit does;
// - Qt: a QCoreApplication with one QSocketNotifier on the socket, the least a Qt program needs for the path,
//   with Qt's default event dispatcher (glib on Debian) or, with QT_NO_GLIB=1, Qt's own.

#include <sys/epoll.h>
#include <termios.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include "bench_rig.h"

namespace reference_bridges {

using bench_rig::kOutputLabel;
using bench_rig::kUniverse;

enum class Wait { Recv, Epoll };

struct Endpoints {
    int socket = -1;
    int tty = -1;
};

inline Endpoints Open(const std::string& device, bool nonBlocking) {
    Endpoints endpoints;
    endpoints.socket = socket(AF_INET, SOCK_DGRAM | (nonBlocking ? SOCK_NONBLOCK : 0), 0);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(6454);
    if (bind(endpoints.socket, reinterpret_cast<sockaddr*>(&any), sizeof any) != 0) _exit(1);
    endpoints.tty = open(device.c_str(), O_RDWR | O_NOCTTY);
    termios raw{};
    tcgetattr(endpoints.tty, &raw);
    cfmakeraw(&raw);
    tcsetattr(endpoints.tty, TCSANOW, &raw);
    return endpoints;
}

// Takes every pending datagram; false when the socket had none.
inline bool Bridge(const Endpoints& endpoints) {
    static std::uint8_t frame[518] = {0x7E, kOutputLabel, 0x01, 0x02, 0x00};
    frame[517] = 0xE7;
    std::uint8_t datagram[2048];
    const ssize_t got = recv(endpoints.socket, datagram, sizeof datagram, 0);
    if (got < 0) return false;
    if (got < 530 || std::memcmp(datagram, "Art-Net", 8) != 0 || datagram[9] != 0x50 ||
        datagram[14] != kUniverse)
        return true;
    std::memcpy(frame + 5, datagram + 18, 512);
    if (write(endpoints.tty, frame, sizeof frame) < 0) _exit(1);
    return true;
}

// A child process that bridges until it is killed.
inline pid_t StartPosix(const std::string& device, Wait wait) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    const Endpoints endpoints = Open(device, wait == Wait::Epoll);
    if (wait == Wait::Recv)
        for (;;) Bridge(endpoints);
    const int poller = epoll_create1(EPOLL_CLOEXEC);
    epoll_event interest{};
    interest.events = EPOLLIN;
    epoll_ctl(poller, EPOLL_CTL_ADD, endpoints.socket, &interest);
    for (;;) {
        epoll_event ready{};
        if (epoll_wait(poller, &ready, 1, -1) > 0)
            while (Bridge(endpoints)) {
            }
    }
}

// The Qt bridge runs in a fresh program (the bench itself, by this option), not in a fork of a process that
// has threads.
constexpr const char* kQtBridgeOption = "--qt-bridge";

inline int RunQtBridge(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    const Endpoints endpoints = Open(argv[2], true);
    QSocketNotifier notifier(endpoints.socket, QSocketNotifier::Read);
    QObject::connect(&notifier, &QSocketNotifier::activated, [&] {
        while (Bridge(endpoints)) {
        }
    });
    return application.exec();
}

inline pid_t StartQt(const std::string& device, bool glib) {
    const pid_t pid = fork();
    if (pid != 0) return pid;
    if (!glib) setenv("QT_NO_GLIB", "1", 1);
    const std::string self = std::filesystem::canonical("/proc/self/exe").string();
    execl(self.c_str(), self.c_str(), kQtBridgeOption, device.c_str(), nullptr);
    _exit(127);
}

}  // namespace reference_bridges
