#pragma once

#include <string>
#include <vector>

// Reads whole lines from a file descriptor without ever blocking, so the host's event loop keeps running.
class LineReader {
public:
    explicit LineReader(int fd) : fd_(fd) {}
    // The lines completed since the last call (a last line without newline counts once the input ends).
    std::vector<std::string> ReadAvailable();
    bool AtEnd() const { return atEnd_; }

private:
    int fd_;
    bool atEnd_ = false;
    std::string pending_;
};
