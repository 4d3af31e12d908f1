#include <span>
#include <string>

#include "window/form1.h"

// Each label shows its channel's level as text and as a shade of red. Labels whose level is already shown are
// left alone, so that a tick with nothing new changes nothing.
void Form1::ShowLevels(std::span<const std::uint8_t, kLevelCount> levels) {
    const bool drawnBefore = monitorShown_.has_value();
    if (!drawnBefore) monitorShown_.emplace();
    for (int channel = 1; channel <= kMonitorChannels; ++channel) {
        const std::uint8_t level = levels[static_cast<std::size_t>(channel)];
        std::uint8_t& shown = (*monitorShown_)[static_cast<std::size_t>(channel - 1)];
        if (drawnBefore && shown == level) continue;
        Label& label = *Label8[static_cast<std::size_t>(channel - 1)];
        label.SetCaption(std::to_string(level));
        label.SetBackColor(RGB(level, 0, 0));
        shown = level;
    }
}

void Form1::Timer3_Timer() {
    ShowLevels(prowidget.OutputPacket.Levels);
}

void Form1::Timer4_Timer() {
    if (prowidget.ReceivedDmx.ReceiveStatus == 0)
        ShowLevels(prowidget.ReceivedDmx.Levels);
    else
        StatusBar1.SetSimpleText("dmx frame invalid!");
}
