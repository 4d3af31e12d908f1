#pragma once

#include <stdexcept>

// A failure of a network socket (Art-Net's or sACN's), carrying its description.
class SocketError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
