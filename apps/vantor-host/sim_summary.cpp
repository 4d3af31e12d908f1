#include "sim_summary.h"

#include <sstream>

#include "prowidget_sim.h"

namespace {

constexpr std::uint8_t kOutputLabel = 6;
constexpr std::uint8_t kReceiveModeLabel = 7;
constexpr int kChannelsShown = 8;

}  // namespace

SimWatch::SimWatch(prowidget::Simulator* simulator) : simulator_(simulator) {
    if (simulator_) simulator_->TakeFrames();  // count from here on: what the host's run produced
}

std::string SimWatch::Summary() const {
    if (!simulator_) return {};
    const auto frames = simulator_->TakeFrames();
    std::size_t outputs = 0;
    std::chrono::steady_clock::time_point first, last;
    for (const auto& frame : frames) {
        if (frame.label != kOutputLabel) continue;
        if (outputs++ == 0) first = frame.at;
        last = frame.at;
    }
    std::ostringstream text;
    text << "simulated widget: " << outputs << " output frames (label 6) received";
    if (outputs > 1) {
        const std::chrono::duration<double> span = last - first;
        text.precision(1);
        text << std::fixed << ", " << static_cast<double>(outputs - 1) / span.count() << " per second";
    }
    text << "; " << simulator_->FrameCount(kReceiveModeLabel) << " receive-mode requests (label 7)\n";
    if (const auto lastFrame = simulator_->LastFrame(kOutputLabel)) {
        text << "last output frame: " << lastFrame->data.size() + 5 << " bytes, levels of channels 1 to "
             << kChannelsShown << ":";
        for (int channel = 1;
             channel <= kChannelsShown && static_cast<std::size_t>(channel) < lastFrame->data.size();
             ++channel)
            text << ' ' << static_cast<int>(lastFrame->data[static_cast<std::size_t>(channel)]);
        text << "\n";
    }
    return text.str();
}
