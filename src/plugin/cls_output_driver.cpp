#include "cls_output_driver.h"

#include "widget/records.h"
#include "window_actions.h"

VBool clsOutputDriver::Disable() {
    plugin_.Window().Form().timOutput.SetEnabled(false);
    return kTrue;
}

VBool clsOutputDriver::Enable() {
    plugin_.Window().Form().timOutput.SetEnabled(true);
    return kTrue;
}

VBool clsOutputDriver::SetChannel(std::int32_t& Channel, std::int32_t& Value) {
    if (Channel > kHighestChannel || Channel < 1) return kFalse;
    if (Value < 0 || Value > 255) throw OverflowError();
    // Before the window exists there is no output packet yet; its load would clear the level anyway.
    if (plugin_.HasWindow())
        plugin_.Window().Form().prowidget.OutputPacket.Levels[static_cast<std::size_t>(Channel)] =
            static_cast<std::uint8_t>(Value);
    return kTrue;
}

VBool clsOutputDriver::init(std::string& CallingAppTitle, std::string& MyFilename,
                            std::unique_ptr<HostHelperReference> HostPluginHelper) {
    callingAppTitle_ = CallingAppTitle;
    myFilename_ = MyFilename;
    plugin_.HoldHostHelper(std::move(HostPluginHelper));
    plugin_.Window().Show();
    return kFalse;
}

VBool clsOutputDriver::Term() {
    plugin_.ReleaseHostHelper();
    // The host is done: receivers learn at once that the bridge's own sACN stream ends, rather than after
    // their time-out. The window lives on, and a next frame starts the stream again.
    if (plugin_.HasWindow()) SacnSide(plugin_).EndStream();
    return kFalse;
}
