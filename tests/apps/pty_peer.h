#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "frame_codec.h"

namespace prowidget::testing {

struct ReceivedFrame {
    std::uint8_t label;
    std::vector<std::uint8_t> data;
    bool operator==(const ReceivedFrame&) const = default;
};

// The plug-in's end of the simulator's pty, driven with plain POSIX calls.
class PtyPeer {
public:
    explicit PtyPeer(const std::string& path);
    ~PtyPeer();
    PtyPeer(const PtyPeer&) = delete;
    PtyPeer& operator=(const PtyPeer&) = delete;

    void Write(const std::vector<std::uint8_t>& bytes);
    // One read: whatever is waiting, or what arrives first within the timeout (empty if nothing).
    std::vector<std::uint8_t> ReadOnce(std::chrono::milliseconds timeout);
    // Everything that arrives until the line stays quiet for `quiet`.
    std::vector<std::uint8_t> ReadUntilQuiet(std::chrono::milliseconds quiet);
    // Reads until `count` whole frames have arrived or the timeout passes; bytes are cut by the length field.
    std::vector<ReceivedFrame> ReadFrames(std::size_t count, std::chrono::milliseconds timeout);
    std::size_t BadFrames() const { return bad_; }

private:
    int fd_ = -1;
    std::vector<ReceivedFrame> pending_;
    std::size_t bad_ = 0;
    FrameCutter cutter_;
};

}  // namespace prowidget::testing
