#pragma once

// An sACN socket that records what is sent and hands out the datagrams put in its inbox, for the bridge's
// and the window's tests.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "sacn/sacn_socket.h"
#include "sacn_fixture.h"

struct Sent {
    Bytes bytes;
    std::uint32_t group;
};

class RecordingSocket : public SacnSocket {
public:
    void Open(std::uint16_t) override { open = true; }
    void Close() override { open = false; }
    bool ReadDatagram(std::vector<std::uint8_t>& datagram) override {
        if (inbox.empty()) return false;
        datagram = inbox.front();
        inbox.erase(inbox.begin());
        return true;
    }
    bool Send(std::span<const std::uint8_t> datagram, std::uint32_t group, std::uint16_t port) override {
        EXPECT_EQ(port, kSacnPort);
        sent.push_back({Bytes(datagram.begin(), datagram.end()), group});
        return open;
    }
    void SetMulticastTtl(int value) override { ttl = value; }

    bool open = true;
    int ttl = 1;
    std::vector<Sent> sent;
    std::vector<Bytes> inbox;
};
