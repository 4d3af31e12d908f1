#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/win32/win32_headers.h"

// The control window's Win32 window: top-level, of a class this module registers, owned by nobody. Besides
// being what a person sees, it carries the messages that timers, the socket and the serial port post to reach
// the window's thread, each handed to the handler registered for it. Closing it hides it: the window lives as
// long as the plug-in's state does.
class MessageWindow {
public:
    using Handler = std::function<void(WPARAM wParam, LPARAM lParam)>;
    // Sees every other message first; true when it answered it (with *result).
    using Filter = std::function<bool(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result)>;

    // Created hidden; its view gives it its size.
    explicit MessageWindow(const std::wstring& title);
    MessageWindow(const MessageWindow&) = delete;
    MessageWindow& operator=(const MessageWindow&) = delete;
    ~MessageWindow();

    HWND Handle() const { return handle_; }
    static constexpr DWORD kStyle =
        WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    // A message number of the window's own: posting it to Handle() runs the handler on the window's thread.
    // A handler's failure is logged; it never unwinds through the system's message dispatch.
    UINT AddHandler(Handler handler);
    // The view's hold on what the children report (commands, scrolling, colours); nullptr lets go.
    void SetFilter(Filter filter) { filter_ = std::move(filter); }
    void Show();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT Handle(UINT message, WPARAM wParam, LPARAM lParam);

    HWND handle_ = nullptr;
    std::vector<Handler> handlers_;
    Filter filter_;
};
