#pragma once

#include <memory>

#include "platform/win32/form1_view.h"
#include "platform/win32/message_window.h"
#include "platform/win32/registry_cid_store.h"
#include "platform/win32/timer_engine.h"
#include "platform/win32/win32_event_loop.h"
#include "platform/win32/win32_file_dialog.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_sacn_socket.h"
#include "platform/win32/win32_serial_port.h"
#include "platform/win32/win32_udp_socket.h"
#include "plugin/control_window.h"
#include "window/form1.h"

// Form1 on Windows: its window, the Win32 services it reaches, its timers driven and its view built. Every
// part runs on the thread that made it, which must pump that thread's messages.
class Form1Window : public ControlWindow {
public:
    Form1Window();
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;
    ~Form1Window() override;

    void Load() override;
    void Show() override;
    Form1& Form() override { return *form_; }

    HWND Handle() const { return window_.Handle(); }
    const Form1View& View() const { return *view_; }
    Win32FileDialogService& FileDialog() { return fileDialog_; }
    DWORD Thread() const { return thread_; }

private:
    // Declared in the order they must come: the window before all that posts to it, and gone after them.
    MessageWindow window_;
    Win32SerialPort serial_;
    Win32UdpSocket socket_;
    Win32SacnSocket sacnSocket_;
    RegistryCidStore cids_;
    Win32MessageBox messages_;
    Win32EventLoop events_;
    Win32FileDialogService fileDialog_;
    std::unique_ptr<Form1> form_;
    std::unique_ptr<TimerEngine> timers_;
    std::unique_ptr<Form1View> view_;
    DWORD thread_;
    bool loaded_ = false;
};
