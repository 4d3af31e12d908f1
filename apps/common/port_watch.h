#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "console.h"

// A UDP port that the bridge binds once, at start-up, on any address.
struct BridgePort {
    std::string name;  // "Art-Net"
    std::uint16_t number;
    bool shared;  // bound with SO_REUSEADDR, as beside other receivers
};
// The Art-Net node always starts; the sACN socket only when sACN is chosen.
std::vector<BridgePort> BridgePorts(bool sacn);

// Holds a bridge back while another program holds a port it needs: a node that cannot bind stays deaf, and a
// new start would not help while the other program runs. Says so once with the cause, then looks again
// quietly, less and less often, and lets the bridge start once the port is free. Any other failure to bind is
// left for the bridge itself to report.
class PortWatch {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFirstLook{500};
    static constexpr std::chrono::milliseconds kLongestLook{8000};
    // How promptly a stop request is seen between looks.
    static constexpr std::chrono::milliseconds kStopCheckEvery{250};

    PortWatch(std::vector<BridgePort> ports, Console& console);
    // False when stopped first.
    bool WaitUntilFree(const std::function<bool()>& stopRequested);

private:
    std::vector<BridgePort> ports_;
    Console& console_;
};
