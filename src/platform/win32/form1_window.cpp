#include "platform/win32/form1_window.h"

#include "platform/win32/environment.h"
#include "platform/win32/own_module.h"
#include "platform/win32/text.h"

namespace {

std::string DecimalSeparator() {
    wchar_t separator[8] = {};
    if (GetLocaleInfoW(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, 8) == 0) return ".";
    return Narrow(separator);
}

// The machine's host name, as other sACN sources and receivers show it.
std::string ComputerName() {
    wchar_t name[256] = {};
    DWORD length = 256;
    if (!GetComputerNameExW(ComputerNameDnsHostname, name, &length)) return "Windows";
    return Narrow(std::wstring_view(name, length));
}

}  // namespace

Form1Window::Form1Window()
    : window_(Widen(Form1View::kTitle)),
      serial_(window_),
      socket_(window_),
      sacnSocket_(window_),
      fileDialog_(window_),
      thread_(GetCurrentThreadId()) {
    auto sacnLog = [](bool, const std::string& line) { DebugLine(line); };
    WindowServices services{serial_,
                            socket_,
                            messages_,
                            events_,
                            &fileDialog_,
                            &DebugLine,
                            OwnModuleFolder(),
                            DecimalSeparator(),
                            &DebugLine,
                            &sacnSocket_,
                            SacnSendServices{&cids_, ComputerName() + " Vantor DMX bridge", sacnLog}};
    form_ = std::make_unique<Form1>(std::move(services));
    timers_ = std::make_unique<TimerEngine>(window_);
    for (Timer* timer : form_->AllTimers()) timers_->Bind(*timer);
    view_ = std::make_unique<Form1View>(*form_, window_);
    messages_.SetOwner(window_.Handle());
}

Form1Window::~Form1Window() {
    view_.reset();
    timers_.reset();
}

void Form1Window::Load() {
    if (loaded_) return;
    loaded_ = true;
    form_->Form_Load();
}

void Form1Window::Show() {
    // Where no person can see it, the window stays hidden; it still carries every timer and message.
    if (!IsHeadless()) window_.Show();
}
