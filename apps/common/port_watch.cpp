#include "port_watch.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

#include "artnet/artnet_packets.h"
#include "sacn/sacn_packets.h"

namespace {

// errno of a bind as the bridge makes it, 0 when it would succeed.
int BindFailure(const BridgePort& port) {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return errno;
    const int on = 1;
    if (port.shared) ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in any{};
    any.sin_family = AF_INET;
    any.sin_port = htons(port.number);
    any.sin_addr.s_addr = htonl(INADDR_ANY);
    const int failure = ::bind(fd, reinterpret_cast<const sockaddr*>(&any), sizeof any) == 0 ? 0 : errno;
    ::close(fd);
    return failure;
}

std::string Name(const BridgePort& port) {
    return port.name + " port " + std::to_string(port.number);
}

}  // namespace

std::vector<BridgePort> BridgePorts(bool sacn) {
    std::vector<BridgePort> ports{{"Art-Net", kArtNetPort, false}};
    if (sacn) ports.push_back({"sACN", kSacnPort, true});
    return ports;
}

PortWatch::PortWatch(std::vector<BridgePort> ports, Console& console)
    : ports_(std::move(ports)), console_(console) {}

bool PortWatch::WaitUntilFree(const std::function<bool()>& stopRequested) {
    for (const BridgePort& port : ports_) {
        const auto began = Clock::now();
        std::chrono::milliseconds delay = kFirstLook;
        bool told = false;
        for (;;) {
            const int failure = BindFailure(port);
            if (failure != EADDRINUSE) break;
            if (!told) {
                told = true;
                console_.Print(Name(port) + ": held by another program (" + std::strerror(failure) +
                               "); waiting for it");
            }
            for (auto next = Clock::now() + delay; Clock::now() < next;) {
                if (stopRequested()) return false;
                std::this_thread::sleep_for(kStopCheckEvery);
            }
            delay = std::min(delay * 2, kLongestLook);
        }
        if (told)
            console_.Print(Name(port) + ": free after " + SecondsText(Clock::now() - began) + "; starting");
    }
    return true;
}
