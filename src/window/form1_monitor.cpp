#include <span>
#include <string>

#include "window/form1.h"

namespace {

// Channels 1 to 132 of a levels array: each label shows its level as text and as a shade of red.
void ShowLevels(std::vector<std::unique_ptr<Label>>& labels,
                std::span<const std::uint8_t, kLevelCount> levels) {
    for (int channel = 1; channel <= kMonitorChannels; ++channel) {
        const std::uint8_t level = levels[static_cast<std::size_t>(channel)];
        Label& label = *labels[static_cast<std::size_t>(channel - 1)];
        label.SetCaption(std::to_string(level));
        label.SetBackColor(RGB(level, 0, 0));
    }
}

}  // namespace

void Form1::Timer3_Timer() {
    ShowLevels(Label8, prowidget.OutputPacket.Levels);
}

void Form1::Timer4_Timer() {
    if (prowidget.ReceivedDmx.ReceiveStatus == 0)
        ShowLevels(Label8, prowidget.ReceivedDmx.Levels);
    else
        StatusBar1.SetSimpleText("dmx frame invalid!");
}
