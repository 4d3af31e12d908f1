#include "interface_watch.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>

#include <memory>
#include <thread>

namespace {

std::string Dotted(const sockaddr* address) {
    char text[INET_ADDRSTRLEN] = "";
    if (address && address->sa_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, text, sizeof text);
    return text;
}

std::string WhatIsMissing(const std::string& name, InterfaceState::Presence presence) {
    in_addr ignored{};
    if (inet_pton(AF_INET, name.c_str(), &ignored) == 1) return "no interface has this address yet";
    return presence == InterfaceState::Presence::Missing ? "no such interface yet" : "no IPv4 address yet";
}

}  // namespace

InterfaceState LookUpInterface(const std::string& nameOrAddress) {
    InterfaceState state;
    if (if_nametoindex(nameOrAddress.c_str()) != 0) state.presence = InterfaceState::Presence::NoAddress;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return state;
    const std::unique_ptr<ifaddrs, decltype(&freeifaddrs)> owner(list, &freeifaddrs);
    for (const ifaddrs* entry = list; entry; entry = entry->ifa_next) {
        const std::string address = Dotted(entry->ifa_addr);
        if (address.empty() || (nameOrAddress != entry->ifa_name && nameOrAddress != address)) continue;
        return {InterfaceState::Presence::Ready, address, Dotted(entry->ifa_netmask)};
    }
    return state;
}

InterfaceWatch::InterfaceWatch(std::string nameOrAddress, Console& console)
    : name_(std::move(nameOrAddress)), console_(console) {}

bool InterfaceWatch::WaitUntilReady(const std::function<bool()>& stopRequested) {
    const auto began = Clock::now();
    bool waited = false;
    InterfaceState::Presence told = InterfaceState::Presence::Ready;
    for (;;) {
        const InterfaceState state = LookUpInterface(name_);
        if (state.presence == InterfaceState::Presence::Ready) {
            started_ = state;
            if (waited) {
                console_.Print(Name() + ": " + state.address + " after " + SecondsText(Clock::now() - began) +
                               "; starting");
            }
            return true;
        }
        if (state.presence != told) {
            told = state.presence;
            waited = true;
            console_.Print(Name() + ": " + WhatIsMissing(name_, state.presence) + "; waiting for it");
        }
        if (stopRequested()) return false;
        std::this_thread::sleep_for(kCheckEvery);
    }
}

bool InterfaceWatch::Unchanged(Clock::time_point now) {
    if (now < nextCheck_) return true;
    nextCheck_ = now + kCheckEvery;
    const InterfaceState state = LookUpInterface(name_);
    if (state == started_) return true;
    std::string what;
    if (state.presence == InterfaceState::Presence::Missing)
        what = "gone";
    else if (state.presence == InterfaceState::Presence::NoAddress)
        what = "address " + started_.address + " gone";
    else
        what = "address now " + state.address + " (was " + started_.address + ")";
    console_.Print(Name() + ": " + what + "; exiting for a restart (status " +
                   std::to_string(kExitForRestart) + ")");
    return false;
}
