#pragma once

#include <chrono>
#include <functional>
#include <string>

#include "console.h"

// The Art-Net interface as the node would find it: a name (eth0) or one of the machine's IPv4 addresses.
struct InterfaceState {
    enum class Presence { Missing, NoAddress, Ready };
    Presence presence = Presence::Missing;
    std::string address, netmask;  // dotted, when Ready
    bool operator==(const InterfaceState&) const = default;
};
InterfaceState LookUpInterface(const std::string& nameOrAddress);

// Holds a bridge back until its interface can carry Art-Net, and tells when that changes under it: the node
// learns its address and broadcast address once, at start-up, so a new address needs a new process.
class InterfaceWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kCheckEvery{250};
    // The exit status of a bridge whose address changed (EX_TEMPFAIL): its service starts it again.
    static constexpr int kExitForRestart = 75;

    InterfaceWatch(std::string nameOrAddress, Console& console);

    // Until the interface has an IPv4 address; one line for each thing waited for. False when stopped first.
    bool WaitUntilReady(const std::function<bool()>& stopRequested);
    // False once the address or netmask differs from the one the bridge started with, said in one line.
    bool Unchanged(Clock::time_point now);

private:
    std::string Name() const { return "Art-Net interface " + name_; }

    std::string name_;
    Console& console_;
    InterfaceState started_;
    Clock::time_point nextCheck_{};
};
