#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "console.h"
#include "vantor_out.h"

// The bridge at a glance, refreshed once a second. On a terminal: one line with the port and its link, the
// widget's status, output frames and ArtDmx in and out per second with the universe, the received reports
// and datagrams dropped so far, and the last message. Elsewhere: one log line for each change of state, never
// one every second; dropped reports are told in one summary line per period.
class StatusLine {
public:
    using Clock = std::chrono::steady_clock;
    // How long without an ArtDmx before its log line says it stopped; senders may pause for a few seconds.
    static constexpr std::chrono::seconds kQuietAfter{5};
    // How long a widget status must stand before its log line is written: while faulty frames arrive, the
    // monitor's "dmx frame invalid!" and the status tick's "0 Ready" take turns many times a second.
    static constexpr std::chrono::seconds kSettleAfter{2};
    static constexpr std::chrono::seconds kSummaryEvery{10};

    // chosenPort: the port the host chose (0: none) and device its path. linkLinesElsewhere: a reconnect
    // watch tells the link's changes itself.
    StatusLine(Console& console, int chosenPort, std::string device, bool linkLinesElsewhere);

    void Update(const vantor_bridge_status& status, const vantor_receive_counts& dropped,
                Clock::time_point now);
    // Each change of the status bar's text as it happens: between two updates it may change and change back.
    void NoteStatusText(const std::string& text, Clock::time_point now);
    // For vantor_set_status_listener, with the StatusLine as the context.
    static void StatusTextListener(void* context, const char* text);
    // While a reconnect watch waits for the device, the line says so instead of "closed".
    void SetWaiting(bool waiting) { waiting_ = waiting; }
    // With sACN chosen: its line, with counts for the terminal and without for the log's change test.
    void SetSacn(std::string withCounts, std::string withoutCounts) {
        sacnText_ = std::move(withCounts);
        sacnState_ = std::move(withoutCounts);
    }
    // The datagrams the bridge dropped, told with the dropped reports.
    void SetDroppedDatagrams(const vantor_drop_counts& datagrams) { datagrams_ = datagrams; }
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
    std::string TerminalLine(const vantor_bridge_status& status, const vantor_receive_counts& dropped,
                             const Rates& rates) const;
    Facts FactsOf(const vantor_bridge_status& status, const Rates& rates, Clock::time_point now) const;
    void LogChanges(const Facts& facts);
    void LogDropped(const vantor_receive_counts& dropped, Clock::time_point now);

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
    std::string statusText_;
    std::string sacnText_, sacnState_, sacnLogged_;
    Clock::time_point statusSince_;
    Clock::time_point summarisedAt_;
    vantor_receive_counts summarised_{};
    vantor_drop_counts datagrams_{}, summarisedDatagrams_{};
};
