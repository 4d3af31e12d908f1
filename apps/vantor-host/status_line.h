#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "console.h"
#include "vantor_out.h"

// The bridge at a glance, refreshed once a second. On a terminal: one line with the port and its link, the
// widget's status, output frames and ArtDmx in and out per second with the universe, and the last message.
// Elsewhere: one log line for each change of state, never one every second.
class StatusLine {
public:
    using Clock = std::chrono::steady_clock;
    // How long without an ArtDmx before its log line says it stopped; senders may pause for a few seconds.
    static constexpr std::chrono::seconds kQuietAfter{5};

    // chosenPort: the port the host chose (0: none) and device its path. linkLinesElsewhere: a reconnect
    // watch tells the link's changes itself.
    StatusLine(Console& console, int chosenPort, std::string device, bool linkLinesElsewhere);

    void Update(const vantor_bridge_status& status, Clock::time_point now);
    // While a reconnect watch waits for the device, the line says so instead of "closed".
    void SetWaiting(bool waiting) { waiting_ = waiting; }
    // A widget found again under another number or path.
    void SetPort(int port, const std::string& device) {
        chosenPort_ = port;
        device_ = device;
    }

private:
    struct Counts {
        std::uint64_t frames = 0, artDmxIn = 0, artDmxOut = 0;
    };
    struct Rates {
        double frames = 0, artDmxIn = 0, artDmxOut = 0;
    };
    // One thing the log lines tell: a line is written when its state changes, with the detail (a rate) as it
    // is then; a new rate alone is no change.
    struct Fact {
        std::string state, detail;
    };
    struct Facts {
        Fact link, widget, bridge, output, artDmxIn, artDmxOut;
    };

    bool PortOpen(const vantor_bridge_status& status) const;
    std::string LinkText(const vantor_bridge_status& status) const;
    std::string TerminalLine(const vantor_bridge_status& status, const Rates& rates) const;
    Facts FactsOf(const vantor_bridge_status& status, const Rates& rates, Clock::time_point now) const;
    void LogChanges(const Facts& facts);

    Console& console_;
    int chosenPort_;
    std::string device_;
    bool linkLinesElsewhere_;
    bool waiting_ = false;
    bool started_ = false;
    Clock::time_point sampledAt_;
    Counts sampled_;
    Clock::time_point lastIn_, lastOut_;
    Facts logged_;
};
