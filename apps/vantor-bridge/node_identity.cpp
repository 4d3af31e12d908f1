#include "node_identity.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>

#include "platform/qt/cid_file_store.h"
#include "sacn/cid_store.h"

namespace {

std::array<std::uint8_t, 6> InterfaceMac(const std::string& interfaceName) {
    std::array<std::uint8_t, 6> mac{};
    std::ifstream in("/sys/class/net/" + interfaceName + "/address");
    std::string text;
    std::getline(in, text);
    unsigned parts[6] = {};
    if (std::sscanf(text.c_str(), "%x:%x:%x:%x:%x:%x", &parts[0], &parts[1], &parts[2], &parts[3], &parts[4],
                    &parts[5]) == 6)
        for (std::size_t i = 0; i < mac.size(); ++i) mac[i] = static_cast<std::uint8_t>(parts[i]);
    return mac;
}

}  // namespace

NodeIdentity LoadNodeIdentity(const InterfaceChoice& chosen,
                              const std::function<void(const std::string&)>& say) {
    NodeIdentity identity;
    in_addr address{};
    ::inet_pton(AF_INET, chosen.address.ip.c_str(), &address);
    std::memcpy(identity.address.data(), &address.s_addr, 4);
    identity.mac = InterfaceMac(chosen.address.interfaceName);
    char host[256] = {};
    ::gethostname(host, sizeof host - 1);
    identity.hostName = host;
    SacnCidChoice cid;
    if (const auto folder = BridgeStateDirectory(ProcessEnvironment)) {
        CidFileStore store(*folder);
        cid = LoadOrMakeCid(store);
    } else {
        cid.Cid = MakeRandomCid();
        cid.Note =
            "no state folder to keep the sACN CID in; " + CidText(cid.Cid) + " holds for this run only";
    }
    if (!cid.Note.empty()) say(cid.Note);
    identity.cid = cid.Cid;
    return identity;
}
