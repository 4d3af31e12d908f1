#include "status_line.h"

#include <cstdio>

#include "plugin_library.h"

namespace {

constexpr std::chrono::seconds kRefresh{1};

std::string Rate(double perSecond) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f", perSecond);
    return text;
}

}  // namespace

StatusLine::StatusLine(Console& console, int chosenPort, std::string device, bool linkLinesElsewhere)
    : console_(console),
      chosenPort_(chosenPort),
      device_(std::move(device)),
      linkLinesElsewhere_(linkLinesElsewhere) {}

// The port the host chose, or whichever the window opened when it chose none.
bool StatusLine::PortOpen(const vantor_bridge_status& status) const {
    return IsTrue(status.port_open) && (chosenPort_ == 0 || status.port == chosenPort_);
}

std::string StatusLine::LinkText(const vantor_bridge_status& status) const {
    const bool open = PortOpen(status);
    if (chosenPort_ == 0 && !open) return "no port open";
    const std::string port = "port " + std::to_string(chosenPort_ ? chosenPort_ : status.port);
    if (waiting_) return port + " gone, waiting";
    return port + (open ? " open" : " closed");
}

std::string StatusLine::TerminalLine(const vantor_bridge_status& status, const Rates& rates) const {
    std::string line = LinkText(status) + " | " + status.status_text + " | output ";
    line += IsTrue(status.output_enabled) ? Rate(rates.frames) + " fps" : "off";
    line += std::string(" | ") + (IsTrue(status.send_mode) ? "send" : "receive") + ", universe " +
            std::to_string(status.universe) + ": ArtDmx in " + Rate(rates.artDmxIn) + "/s, out " +
            Rate(rates.artDmxOut) + "/s";
    line += " | last message: ";
    line += status.messages ? status.last_message : "none";
    return line;
}

StatusLine::Facts StatusLine::FactsOf(const vantor_bridge_status& status, const Rates& rates,
                                      Clock::time_point now) const {
    Facts facts;
    facts.link.state = LinkText(status);
    if (!device_.empty() && chosenPort_) facts.link.detail = " (" + device_ + ")";
    facts.widget.state = std::string("widget status ") + status.status_text;
    const std::string universe = "universe " + std::to_string(status.universe);
    facts.bridge.state =
        std::string("bridge ") +
        (IsTrue(status.send_mode) ? "send (Art-Net to DMX), " : "receive (DMX to Art-Net), ") + universe;
    if (!IsTrue(status.output_enabled))
        facts.output.state = "output off";
    else if (!PortOpen(status))
        facts.output = logged_.output;  // no frame can go out; the link's line says why
    else if (rates.frames > 0)
        facts.output = {"output on", ", " + Rate(rates.frames) + " frames/s"};
    else
        facts.output.state = "output on, but no frame reaches the widget";
    if (now - lastIn_ < kQuietAfter)
        facts.artDmxIn = {"ArtDmx in for " + universe, ", " + Rate(rates.artDmxIn) + "/s"};
    else
        facts.artDmxIn.state = "no ArtDmx in for " + universe;
    if (now - lastOut_ < kQuietAfter)
        facts.artDmxOut = {"ArtDmx out", ", " + Rate(rates.artDmxOut) + "/s"};
    else
        facts.artDmxOut.state = "no ArtDmx out";
    return facts;
}

void StatusLine::LogChanges(const Facts& facts) {
    auto log = [&](const Fact& now, Fact& before) {
        if (now.state != before.state) console_.Print(now.state + now.detail);
        before = now;
    };
    if (!linkLinesElsewhere_) log(facts.link, logged_.link);
    log(facts.widget, logged_.widget);
    log(facts.bridge, logged_.bridge);
    log(facts.output, logged_.output);
    log(facts.artDmxIn, logged_.artDmxIn);
    log(facts.artDmxOut, logged_.artDmxOut);
}

void StatusLine::Update(const vantor_bridge_status& status, Clock::time_point now) {
    if (console_.Quiet()) return;
    const Counts counts{status.output_frames, status.artdmx_in, status.artdmx_out};
    if (!started_) {
        started_ = true;
        sampledAt_ = now;
        sampled_ = counts;
        lastIn_ = lastOut_ = now - kQuietAfter;
        return;
    }
    if (now - sampledAt_ < kRefresh) return;
    const double seconds = std::chrono::duration<double>(now - sampledAt_).count();
    const Rates rates{static_cast<double>(counts.frames - sampled_.frames) / seconds,
                      static_cast<double>(counts.artDmxIn - sampled_.artDmxIn) / seconds,
                      static_cast<double>(counts.artDmxOut - sampled_.artDmxOut) / seconds};
    if (counts.artDmxIn != sampled_.artDmxIn) lastIn_ = now;
    if (counts.artDmxOut != sampled_.artDmxOut) lastOut_ = now;
    sampledAt_ = now;
    sampled_ = counts;
    if (console_.OnTerminal())
        console_.Show(TerminalLine(status, rates));
    else
        LogChanges(FactsOf(status, rates, now));
}
