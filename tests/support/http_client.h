#pragma once

// A plain HTTP/1.1 client on loopback for the tests of the node's page: one request per connection, the
// answer read whole.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

namespace http_loopback {

struct Answer {
    int status = 0;  // 0: no answer
    std::string headers;
    std::string body;
};

inline Answer Request(int port, const std::string& method, const std::string& path,
                      const std::string& body = {},
                      const std::vector<std::pair<std::string, std::string>>& headers = {}) {
    Answer answer;
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return answer;
    }
    std::string request = method + " " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port) +
                          "\r\nConnection: close\r\nContent-Length: " + std::to_string(body.size()) + "\r\n";
    for (const auto& [name, value] : headers) request += name + ": " + value + "\r\n";
    request += "\r\n" + body;
    for (std::size_t sent = 0; sent < request.size();) {
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    std::string text;
    char buffer[65536];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) {
        text.append(buffer, static_cast<std::size_t>(n));
        // The server may keep the connection open: the answer ends with its Content-Length.
        const auto end = text.find("\r\n\r\n");
        if (end == std::string::npos) continue;
        const auto length = text.find("Content-Length: ");
        if (length != std::string::npos && length < end &&
            text.size() >= end + 4 + std::stoul(text.substr(length + 16)))
            break;
    }
    ::close(fd);
    const auto end = text.find("\r\n\r\n");
    if (text.rfind("HTTP/1.1 ", 0) != 0 || end == std::string::npos) return answer;
    answer.status = std::stoi(text.substr(9, 3));
    answer.headers = text.substr(0, end);
    answer.body = text.substr(end + 4);
    return answer;
}

}  // namespace http_loopback
