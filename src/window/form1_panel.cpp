#include <algorithm>
#include <string>

#include "window/form1.h"
#include "window/number_format.h"

namespace {

// Break and MAB times count units of 10.67 microseconds.
constexpr double kTimeUnitUs = 10.67;
constexpr Rgb kEditedColour = RGB(0, 0, 100);

void ClampBarTo(ScrollBar& bar, int value) {
    bar.SetValue(std::clamp(value, bar.Min(), bar.Max()));
}

}  // namespace

void Form1::DisplayConfig() {
    const auto& parameters = prowidget.WidgetParameters;
    const std::string& separator = services_.DecimalSeparator;
    Label1.SetCaption("Firmware Version: " + std::to_string(parameters.FirmwareMsb) + "." +
                      std::to_string(parameters.FirmwareLsb));
    Label2.SetCaption("BreakTime: " + FormatNumber(parameters.BreakTime * kTimeUnitUs, separator) + "us");
    Label3.SetCaption("MAB Time: " + FormatNumber(parameters.MABTime * kTimeUnitUs, separator) + "us");
    Label4.SetCaption("Frame Rate: " + std::to_string(parameters.FrameRate));
}

void Form1::HScroll1_Change() {
    Label2.SetBackColor(kEditedColour);
    prowidget.WidgetParameters.BreakTime = static_cast<std::uint8_t>(HScroll1.Value());
    DisplayConfig();
}

void Form1::HScroll2_Change() {
    Label3.SetBackColor(kEditedColour);
    prowidget.WidgetParameters.MABTime = static_cast<std::uint8_t>(HScroll2.Value());
    DisplayConfig();
}

void Form1::HScroll3_Change() {
    Label4.SetBackColor(kEditedColour);
    prowidget.WidgetParameters.FrameRate = static_cast<std::uint8_t>(HScroll3.Value());
    DisplayConfig();
}

// "Refresh": asks the widget for its parameters and shows what the last reply left in the record; the answer
// to this request arrives through the receive poll and shows at the next Refresh.
void Form1::cfg_request_Click() {
    if (!FromVBool(LinkOpen)) return;
    prowidget.SendGetParameters();
    // Each bar's change handler writes the clamped value back into the record.
    ClampBarTo(HScroll1, prowidget.WidgetParameters.BreakTime);
    ClampBarTo(HScroll2, prowidget.WidgetParameters.MABTime);
    ClampBarTo(HScroll3, prowidget.WidgetParameters.FrameRate);
    for (Label* label : {&Label2, &Label3, &Label4}) label->SetBackColor(kDarkGrey);
    DisplayConfig();
}

// "Apply": no range check, the bars and the last reply decide the values.
void Form1::Command3_Click() {
    for (Label* label : {&Label2, &Label3, &Label4}) label->SetBackColor(kDarkGrey);
    auto& request = prowidget.SetParametersRequest;
    request.BreakTime = prowidget.WidgetParameters.BreakTime;
    request.MABTime = prowidget.WidgetParameters.MABTime;
    request.FrameRate = prowidget.WidgetParameters.FrameRate;
    if (FromVBool(LinkOpen)) prowidget.SendSetParameters();
}
