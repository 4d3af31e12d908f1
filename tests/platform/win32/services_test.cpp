// The small Win32 services: text at the API edge, the headless message box, the serial port's refusals, the
// adapter list and the twip layout.

#include <gtest/gtest.h>

#include "artnet/interface_choice.h"
#include "platform/win32/environment.h"
#include "platform/win32/form1_view.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_file_dialog.h"
#include "platform/win32/win32_message_box.h"
#include "platform/win32/win32_serial_port.h"
#include "platform/win32/win32_udp_socket.h"

namespace {

TEST(Text, Utf8AndUtf16RoundTripWithNulsAndAccents) {
    using namespace std::string_literals;
    const std::string utf8 = "Fl\xC3\xBCgel\0C:\\fw\\\xE2\x82\xAC.bin"s;
    const std::wstring utf16 = L"Fl\u00FCgel\0C:\\fw\\\u20AC.bin"s;
    EXPECT_EQ(Widen(utf8), utf16);
    EXPECT_EQ(Narrow(utf16), utf8);
    EXPECT_EQ(Narrow(Widen("")), "");
}

DWORD WINAPI ShowOnce(void* box) {
    static_cast<Win32MessageBox*>(box)->Show("Port 3: the device does not answer");
    return 0;
}

BOOL CALLBACK Answer(HWND window, LPARAM) {
    PostMessageW(window, WM_COMMAND, IDOK, 0);
    return TRUE;
}

// Shown on a thread of its own with standard error on a pipe: a box that waits for a person is answered after
// a while, so that the fault fails the test instead of holding it up.
TEST(MessageBox, HeadlessShowsNothingReturnsAtOnceAndLogsTheText) {
    SetEnvironmentVariableW(L"VANTOR_HEADLESS", L"1");
    Win32MessageBox box;
    HANDLE log = nullptr, logEnd = nullptr;
    ASSERT_TRUE(CreatePipe(&log, &logEnd, nullptr, 0));
    const HANDLE standardError = GetStdHandle(STD_ERROR_HANDLE);
    SetStdHandle(STD_ERROR_HANDLE, logEnd);
    DWORD threadId = 0;
    const HANDLE thread = CreateThread(nullptr, 0, ShowOnce, &box, 0, &threadId);
    ASSERT_NE(thread, nullptr);
    const bool returned = WaitForSingleObject(thread, 5000) == WAIT_OBJECT_0;
    if (!returned) {
        EnumThreadWindows(threadId, Answer, 0);
        WaitForSingleObject(thread, 5000);
    }
    SetStdHandle(STD_ERROR_HANDLE, standardError);
    CloseHandle(thread);
    EXPECT_TRUE(returned) << "the box waited for a person";
    DWORD waiting = 0;
    PeekNamedPipe(log, nullptr, 0, nullptr, &waiting, nullptr);
    std::string logged(waiting, '\0');
    DWORD read = 0;
    if (waiting) ReadFile(log, logged.data(), waiting, &read, nullptr);
    logged.resize(read);
    CloseHandle(log);
    CloseHandle(logEnd);
    EXPECT_NE(logged.find("Port 3: the device does not answer"), std::string::npos) << logged;
}

TEST(SerialPort, RefusesWhatTheControlRefuses) {
    MessageWindow window(L"serial test");
    Win32SerialPort port(window);
    EXPECT_THROW(port.SetCommPort(0), SerialError);
    EXPECT_THROW(port.SetCommPort(17), SerialError);
    EXPECT_THROW(port.Output(std::vector<std::uint8_t>{0x7E}), SerialError);
    EXPECT_THROW(port.Input(), SerialError);
    EXPECT_THROW(port.InBufferCount(), SerialError);
    port.SetCommPort(16);
    EXPECT_EQ(Win32SerialPort::DeviceNameOf(16), L"\\\\.\\COM16");
    // No serial device is mapped to COM16 here.
    try {
        port.SetPortOpen(true);
        ADD_FAILURE() << "COM16 opened";
    } catch (const SerialError& failure) {
        EXPECT_EQ(std::string(failure.what()).rfind("Port 16", 0), 0u) << failure.what();
    }
    EXPECT_FALSE(port.PortOpen());
}

TEST(Adapters, LoopbackIsListedByNameAndChosenWhenAskedFor) {
    const auto addresses = Win32UdpSocket::MachineAddresses();
    const auto chosen = ChooseInterfaceAddress(addresses, std::string("127.0.0.1"));
    ASSERT_TRUE(chosen.has_value());
    EXPECT_EQ(chosen->netmask, "255.0.0.0");
    EXPECT_TRUE(chosen->loopback);
    EXPECT_TRUE(ChooseInterfaceAddress(addresses, chosen->interfaceName).has_value());
    EXPECT_FALSE(ChooseInterfaceAddress(addresses, std::string("no such adapter")).has_value());
}

TEST(Layout, TwipsToPixelsByTheScreensDpi) {
    const struct {
        int twips, dpi, pixels;
    } rows[] = {{1440, 96, 96}, {15, 96, 1}, {7455, 96, 497}, {1440, 144, 144}, {120, 120, 10}};
    for (const auto& row : rows)
        EXPECT_EQ(Form1View::TwipsToPixels(row.twips, row.dpi), row.pixels) << row.twips;
}

TEST(FileDialog, BuffersBecomeTheReplyInUtf8WithTheOffsetInBytes) {
    using namespace std::string_literals;
    const struct {
        std::wstring file;
        WORD offset;
        std::wstring title;
        OpenFileNameReply reply;
    } rows[] = {
        {L"C:\\fw\\image.bin\0   "s, 6, L"image.bin\0  "s, {true, "C:\\fw\\image.bin\0"s, 6, "image.bin"}},
        // Two bytes in UTF-8 for the one character before the name.
        {L"C:\\f\u00FC\\a.bin\0 "s, 6, L"a.bin\0"s, {true, "C:\\f\xC3\xBC\\a.bin\0"s, 7, "a.bin"}},
        {L"C:\\fw\0a.bin\0b.bin\0\0  "s, 6, L"   "s, {true, "C:\\fw\0a.bin\0b.bin\0\0"s, 6, ""}},
        {L"C:\\fw\0a.bin\0b.bin"s, 6, L"   "s, {}},
    };
    for (const auto& row : rows) {
        const OpenFileNameReply reply = ReplyFromBuffers(row.file, row.offset, row.title);
        EXPECT_EQ(reply.Chosen, row.reply.Chosen) << Narrow(row.file);
        EXPECT_EQ(reply.File, row.reply.File) << Narrow(row.file);
        EXPECT_EQ(reply.FileOffset, row.reply.FileOffset) << Narrow(row.file);
        EXPECT_EQ(reply.FileTitle, row.reply.FileTitle) << Narrow(row.file);
    }
}

}  // namespace
