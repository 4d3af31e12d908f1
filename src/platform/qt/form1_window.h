#pragma once

#include <memory>

#include "platform/qt/cid_file_store.h"
#include "platform/qt/form1_view.h"
#include "platform/qt/qt_event_loop.h"
#include "platform/qt/qt_file_dialog.h"
#include "platform/qt/qt_message_box.h"
#include "platform/qt/qt_sacn_socket.h"
#include "platform/qt/qt_serial_port.h"
#include "platform/qt/qt_udp_socket.h"
#include "platform/qt/timer_engine.h"
#include "plugin/control_window.h"
#include "window/form1.h"

// Form1 with the Qt services it reaches, its timers driven and, where a person can see it, its view built.
// Without a view the controls and their logic run all the same, and showing the window does nothing. Needs a
// QApplication.
class Form1Window : public ControlWindow {
public:
    explicit Form1Window(bool withView = true);
    Form1Window(const Form1Window&) = delete;
    Form1Window& operator=(const Form1Window&) = delete;
    ~Form1Window() override;

    void Load() override;
    void Show() override;
    Form1& Form() override { return *form_; }
    bool HasView() const { return view_ != nullptr; }
    // Only for a window built with its view.
    Form1View& View() { return *view_; }
    QtMessageBox& Messages() { return messages_; }
    QtSerialPort& Serial() { return serial_; }
    const QtUdpSocket& ArtNetUdp() const { return socket_; }
    const QtSacnSocket& SacnUdp() const { return sacnSocket_; }
    QtFileDialogService& FileDialog() { return fileDialog_; }

private:
    QtSerialPort serial_;
    QtUdpSocket socket_;
    QtSacnSocket sacnSocket_;
    // None without a state directory: the CID then holds for one run.
    std::unique_ptr<CidFileStore> cids_;
    QtMessageBox messages_;
    QtEventLoop events_;
    QtFileDialogService fileDialog_;
    std::unique_ptr<Form1> form_;
    TimerEngine timers_;
    std::unique_ptr<Form1View> view_;
    bool loaded_ = false;
};
