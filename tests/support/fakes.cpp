#include "support/fakes.h"

#include <algorithm>

void FakeSerialPort::SetCommPort(int port) {
    if (open) throw SerialError("Port already open");
    if (port < 1 || port > 16) throw SerialError("Invalid port number");
    commPort = port;
}

void FakeSerialPort::SetPortOpen(bool value) {
    if (value) {
        if (open) throw SerialError("Port already open");
        if (std::find(existing.begin(), existing.end(), commPort) == existing.end())
            throw SerialError("Port not found");
    }
    open = value;
}

int FakeSerialPort::InBufferCount() {
    if (!open) throw SerialError("Port is closed");
    if (vanished) {
        open = false;
        throw SerialError("Input/output error");
    }
    return static_cast<int>(input.size());
}

std::vector<std::uint8_t> FakeSerialPort::Input() {
    if (!open) throw SerialError("Port is closed");
    std::vector<std::uint8_t> bytes(input.begin(), input.end());
    input.clear();
    return bytes;
}

void FakeSerialPort::Output(std::span<const std::uint8_t> bytes) {
    if (!open) throw SerialError("Port is closed");
    if (failWrites) {
        open = false;
        throw SerialError("Write timed out");
    }
    writes.emplace_back(bytes.begin(), bytes.end());
    if (onWrite) onWrite(writes.back());
}

void FakeUdpSocket::Bind(std::uint16_t localPort) {
    if (portTaken) throw SocketError("Address in use");
    boundPort = localPort;
}

std::string FakeUdpSocket::LocalIP() const {
    if (localIp.empty()) throw SocketError("No local IPv4 address");
    return localIp;
}

void FakeUdpSocket::SendData(std::span<const std::uint8_t> datagram) {
    if (failSends) throw SocketError("Send failed");
    sent.push_back({remoteHost, remotePort, {datagram.begin(), datagram.end()}});
}

std::vector<std::uint8_t> FakeUdpSocket::GetData() {
    lastSender = {};
    if (pending.empty()) return {};
    auto datagram = std::move(pending.front());
    pending.pop_front();
    lastSender = arrivingFrom;
    return datagram;
}

void FakeUdpSocket::Arrive(const std::vector<std::uint8_t>& datagram) {
    pending.push_back(datagram);
    if (DataArrival) DataArrival(datagram.size());
}
