#include "widget/prowidget.h"

// Placeholder until the reply parser lands.
std::int32_t ProWidget::ParseWidgetReply(std::vector<std::uint8_t>& text) {
    (void)text;
    ReplyStatus = kStatusReady;
    return 0;
}

std::string ProWidget::StatusText(std::uint8_t code) {
    (void)code;
    return "Unknown Error";
}
