#include <string>

#include "window/form1.h"

namespace {
constexpr Rgb kDetectedColour = RGB(0, 127, 0);
constexpr Rgb kNotDetectedColour = RGB(127, 0, 0);
}  // namespace

void Form1::Timer2_Timer() {
    const StatusShown now{prowidget.ReplyStatus, SendMode, artnet.ArtNetDetected != 0};
    if (statusShown_ == now && StatusBar1.SimpleText() == statusText_) return;
    StatusBar1.SetSimpleText(std::to_string(prowidget.ReplyStatus) + " " +
                             ProWidget::StatusText(prowidget.ReplyStatus));
    LabelTest.SetCaption(FromVBool(SendMode) ? "PRO Send Mode" : "PRO Recieve Mode");
    if (now.detected) {
        ArtDetectedLbl.SetCaption("Art-Net Detected");
        ArtDetectedLbl.SetBackColor(kDetectedColour);
    } else {
        ArtDetectedLbl.SetCaption("Art-Net Not Detected");
        ArtDetectedLbl.SetBackColor(kNotDetectedColour);
    }
    statusShown_ = now;
    statusText_ = StatusBar1.SimpleText();
}
