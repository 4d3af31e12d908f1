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

// "12 faulty, 1 empty" (compact) or "12 faulty frames, 1 empty report"; "" when nothing was dropped.
std::string DroppedText(const vantor_receive_counts& dropped, const vantor_drop_counts& datagrams,
                        bool compact) {
    struct Reason {
        std::uint64_t count;
        const char* compact;
        const char* noun;
        const char* after = "";
    };
    const Reason reasons[] = {
        {dropped.faulty, "faulty", "faulty frame"},
        {dropped.not_start_code_0, "non-zero start code", "non-zero start code report"},
        {dropped.no_levels, "empty", "empty report"},
        {datagrams.artdmx_while_sacn, "ArtDmx while sACN", "ArtDmx packet", " while sACN was chosen"},
        {datagrams.artnet_other_interface, "Art-Net on another interface",
         "other-interface Art-Net datagram"},
        {datagrams.sacn_other_interface, "sACN on another interface", "other-interface sACN datagram"}};
    std::string text;
    for (const Reason& reason : reasons) {
        if (reason.count == 0) continue;
        if (!text.empty()) text += ", ";
        text += std::to_string(reason.count) + " ";
        text += compact ? reason.compact
                        : std::string(reason.noun) + (reason.count == 1 ? "" : "s") + reason.after;
    }
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

std::string StatusLine::TerminalLine(const vantor_bridge_status& status, const vantor_receive_counts& dropped,
                                     const Rates& rates) const {
    std::string line = LinkText(status) + " | " + status.status_text + " | output ";
    line += IsTrue(status.output_enabled) ? Rate(rates.frames) + " fps" : "off";
    line += std::string(" | ") + (IsTrue(status.send_mode) ? "send" : "receive") + ", universe " +
            std::to_string(status.universe);
    if (sacnText_.empty())
        line += ": ArtDmx in " + Rate(rates.artDmxIn) + "/s, out " + Rate(rates.artDmxOut) + "/s";
    else
        line += " | " + sacnText_;
    if (const std::string text = DroppedText(dropped, datagrams_, true); !text.empty())
        line += " | dropped " + text;
    line += " | last message: ";
    line += status.messages ? status.last_message : "none";
    return line;
}

StatusLine::Facts StatusLine::FactsOf(const vantor_bridge_status& status, const Rates& rates,
                                      Clock::time_point now) const {
    Facts facts;
    facts.link.state = LinkText(status);
    if (!device_.empty() && chosenPort_) facts.link.detail = " (" + device_ + ")";
    if (now - statusSince_ >= kSettleAfter)
        facts.widget.state = "widget status " + statusText_;
    else
        facts.widget = logged_.widget;  // too new to tell from a flicker
    const std::string universe = "universe " + std::to_string(status.universe);
    const bool sacn = !sacnState_.empty();
    const std::string network = sacn ? "sACN" : "Art-Net";
    facts.bridge.state = "bridge " +
                         (IsTrue(status.send_mode) ? "send (" + network + " to DMX), "
                                                   : "receive (DMX to " + network + "), ") +
                         universe;
    if (!IsTrue(status.output_enabled))
        facts.output.state = "output off";
    else if (!PortOpen(status))
        facts.output = logged_.output;  // no frame can go out; the link's line says why
    else if (rates.frames > 0)
        facts.output = {"output on", ", " + Rate(rates.frames) + " frames/s"};
    else
        facts.output.state = "output on, but no frame reaches the widget";
    if (sacn)
        facts.artDmxIn = logged_.artDmxIn;  // ArtDmx change nothing then; the sACN line tells what comes in
    else if (now - lastIn_ < kQuietAfter)
        facts.artDmxIn = {"ArtDmx in for " + universe, ", " + Rate(rates.artDmxIn) + "/s"};
    else
        facts.artDmxIn.state = "no ArtDmx in for " + universe;
    if (sacn)
        facts.artDmxOut = logged_.artDmxOut;  // the sACN line tells what leaves
    else if (now - lastOut_ < kQuietAfter)
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

void StatusLine::LogDropped(const vantor_receive_counts& dropped, Clock::time_point now) {
    if (now - summarisedAt_ < kSummaryEvery) return;
    vantor_receive_counts since{};
    since.faulty = dropped.faulty - summarised_.faulty;
    since.not_start_code_0 = dropped.not_start_code_0 - summarised_.not_start_code_0;
    since.no_levels = dropped.no_levels - summarised_.no_levels;
    vantor_drop_counts datagramsSince{};
    datagramsSince.artdmx_while_sacn = datagrams_.artdmx_while_sacn - summarisedDatagrams_.artdmx_while_sacn;
    datagramsSince.artnet_other_interface =
        datagrams_.artnet_other_interface - summarisedDatagrams_.artnet_other_interface;
    datagramsSince.sacn_other_interface =
        datagrams_.sacn_other_interface - summarisedDatagrams_.sacn_other_interface;
    if (const std::string text = DroppedText(since, datagramsSince, false); !text.empty())
        console_.Print(text + " in the last " + std::to_string(kSummaryEvery.count()) + " s");
    summarisedAt_ = now;
    summarised_ = dropped;
    summarisedDatagrams_ = datagrams_;
}

void StatusLine::NoteStatusText(const std::string& text, Clock::time_point now) {
    if (text == statusText_) return;
    statusText_ = text;
    statusSince_ = now;
}

void StatusLine::StatusTextListener(void* context, const char* text) {
    static_cast<StatusLine*>(context)->NoteStatusText(text, Clock::now());
}

void StatusLine::Update(const vantor_bridge_status& status, const vantor_receive_counts& dropped,
                        Clock::time_point now) {
    if (console_.Quiet()) return;
    NoteStatusText(status.status_text, now);
    const Counts counts{status.output_frames, status.artdmx_in, status.artdmx_out};
    if (!started_) {
        started_ = true;
        sampledAt_ = now;
        sampled_ = counts;
        lastIn_ = lastOut_ = now - kQuietAfter;
        summarisedAt_ = now;
        summarised_ = dropped;
        summarisedDatagrams_ = datagrams_;
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
        console_.Show(TerminalLine(status, dropped, rates));
    else {
        LogChanges(FactsOf(status, rates, now));
        LogDropped(dropped, now);
        if (sacnState_ != sacnLogged_) console_.Print(sacnText_);
        sacnLogged_ = sacnState_;
    }
}
