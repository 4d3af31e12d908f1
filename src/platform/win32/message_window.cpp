#include "platform/win32/message_window.h"

#include <exception>
#include <stdexcept>

#include "platform/win32/environment.h"
#include "platform/win32/own_module.h"
#include "platform/win32/text.h"

namespace {

const wchar_t* const kClassName = L"VantorForm1";
constexpr UINT kFirstHandlerMessage = WM_APP + 1;

}  // namespace

MessageWindow::MessageWindow(const std::wstring& title) {
    RegisterOwnWindowClass(kClassName, &MessageWindow::WindowProc,
                           static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    handle_ = CreateWindowExW(0, kClassName, title.c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, OwnModule(), this);
    if (!handle_) throw std::runtime_error("Cannot create the window: " + SystemErrorText(GetLastError()));
}

MessageWindow::~MessageWindow() {
    // What the window is sent while it goes no longer reaches this object.
    SetWindowLongPtrW(handle_, GWLP_USERDATA, 0);
    DestroyWindow(handle_);
    // Fails while another window of the class lives, which is as it should be.
    UnregisterClassW(kClassName, OwnModule());
}

UINT MessageWindow::AddHandler(Handler handler) {
    handlers_.push_back(std::move(handler));
    return kFirstHandlerMessage + static_cast<UINT>(handlers_.size() - 1);
}

void MessageWindow::Show() {
    ShowWindow(handle_, SW_SHOWNORMAL);
    UpdateWindow(handle_);
}

LRESULT CALLBACK MessageWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* creating = reinterpret_cast<CREATESTRUCTW*>(lParam);
        auto* self = static_cast<MessageWindow*>(creating->lpCreateParams);
        self->handle_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MessageWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    return self->Handle(message, wParam, lParam);
}

LRESULT MessageWindow::Handle(UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_CLOSE) {
        ShowWindow(handle_, SW_HIDE);
        return 0;
    }
    if (message >= kFirstHandlerMessage && message < kFirstHandlerMessage + handlers_.size()) {
        try {
            handlers_[message - kFirstHandlerMessage](wParam, lParam);
        } catch (const std::exception& failure) {
            LogLine(std::string("vantor: ") + failure.what());
        } catch (...) {
            LogLine("vantor: unknown failure in a window handler");
        }
        return 0;
    }
    LRESULT result = 0;
    if (filter_ && filter_(message, wParam, lParam, &result)) return result;
    return DefWindowProcW(handle_, message, wParam, lParam);
}
