// The control window as native controls, driven by real window messages and read back through the Win32
// API. Run under wine by the Linux suite with a simulated widget on COM1 (tests/wine/window_test.cpp), which
// also names the firmware image to flash in VANTOR_TEST_FIRMWARE.

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "dialogs/centring.h"
#include "platform/win32/control_views.h"
#include "platform/win32/form1_window.h"
#include "platform/win32/text.h"
#include "platform/win32/win32_event_loop.h"

namespace {

using Clock = std::chrono::steady_clock;

// The file name box of the system's open-file dialog (cmb13).
constexpr int kFileNameBox = 0x47c;

std::wstring TextOf(HWND window) {
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return text;
}

std::wstring ClassOf(HWND window) {
    wchar_t name[64] = {};
    GetClassNameW(window, name, 64);
    return name;
}

// A child's rectangle in its parent's client area.
RECT ClientRectOf(HWND child) {
    RECT rect;
    GetWindowRect(child, &rect);
    MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
}

std::wstring ListEntry(HWND list, int row) {
    std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, row, 0)) + 1, L'\0');
    text.resize(
        static_cast<std::size_t>(SendMessageW(list, LB_GETTEXT, row, reinterpret_cast<LPARAM>(text.data()))));
    return text;
}

std::wstring StatusText(HWND status) {
    // In simple mode the bar has the one text; wine answers for index 0, not for SB_SIMPLEID.
    wchar_t text[512] = {};
    SendMessageW(status, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
    return text;
}

// The colours a label or group box paints with: what the window answers to its WM_CTLCOLORSTATIC.
struct Painted {
    COLORREF text, back, brush;
};
Painted ColoursOf(HWND child) {
    const HDC dc = CreateCompatibleDC(nullptr);
    const auto brush = reinterpret_cast<HBRUSH>(SendMessageW(
        GetParent(child), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc), reinterpret_cast<LPARAM>(child)));
    LOGBRUSH fill{};
    GetObjectW(brush, sizeof fill, &fill);
    const Painted painted{GetTextColor(dc), GetBkColor(dc), fill.lbColor};
    DeleteDC(dc);
    return painted;
}

// What a child window paints, as an image of its client area.
class Printed {
public:
    explicit Printed(HWND window) {
        RECT client;
        GetClientRect(window, &client);
        dc_ = CreateCompatibleDC(nullptr);
        BITMAPINFO info{};
        info.bmiHeader = {sizeof info.bmiHeader, client.right, -client.bottom, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        old_ = SelectObject(dc_, bitmap_);
        SendMessageW(window, WM_PRINTCLIENT, reinterpret_cast<WPARAM>(dc_), PRF_CLIENT);
    }
    ~Printed() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

private:
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

// A key as a person presses it, through the system's input queue to the focused control, and the window's
// messages run as a host's own loop runs them (no IsDialogMessage).
void Press(WORD key, bool shift = false) {
    std::vector<INPUT> inputs;
    const auto add = [&](WORD which, DWORD flags) {
        INPUT input{};
        input.type = INPUT_KEYBOARD;
        input.ki.wVk = which;
        input.ki.dwFlags = flags;
        inputs.push_back(input);
    };
    if (shift) add(VK_SHIFT, 0);
    add(key, 0);
    add(key, KEYEVENTF_KEYUP);
    if (shift) add(VK_SHIFT, KEYEVENTF_KEYUP);
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
    Win32EventLoop events;
    events.RunFor(50);
}

// A hook of the host's own on the window's thread, called after the dialog's; it records what is activated.
std::vector<HWND> activatedForTheHost;
LRESULT CALLBACK HostHook(int code, WPARAM wParam, LPARAM lParam) {
    if (code == HCBT_ACTIVATE) activatedForTheHost.push_back(reinterpret_cast<HWND>(wParam));
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

// One window for the whole program: making it scans the ports and starts the Art-Net node.
class Window : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        window = new Form1Window();
        window->Load();
        // Shown, so that the system keeps track of what needs painting; headless, no person sees it.
        ShowWindow(window->Handle(), SW_SHOWNOACTIVATE);
    }
    static void TearDownTestSuite() {
        delete window;
        window = nullptr;
    }

    static Form1& Form() { return window->Form(); }
    static HWND View(const std::string& name) { return window->View().ViewOf(name); }
    // Runs the window's messages until the condition holds or the time is up.
    static bool PumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
        Win32EventLoop events;
        const auto end = Clock::now() + limit;
        while (!done()) {
            if (Clock::now() >= end) return false;
            events.RunFor(10);
        }
        return true;
    }
    static void Pump(std::chrono::milliseconds time) {
        PumpUntil([] { return false; }, time);
    }

    static Form1Window* window;
};
Form1Window* Window::window = nullptr;

TEST_F(Window, EveryControlShowsAtItsPlaceInItsFontWithItsCaption) {
    // Pixels at 96 DPI in the window's client area: a group box's children sit over it.
    const struct {
        const char* name;
        const wchar_t* windowClass;
        const wchar_t* caption;  // nullptr: whatever its object holds now
        RECT place;              // left, top, right, bottom
    } rows[] = {
        {"Frame1", L"Button", L"Device Manager", {8, 8, 193, 305}},
        {"DevList", L"ListBox", L"DevList", {16, 32, 185, 140}},
        {"Command2", L"Button", L"Search", {16, 152, 89, 172}},
        {"Command5", L"Button", L"Show Ports", {96, 152, 185, 172}},
        {"Label5", L"Static", nullptr, {16, 176, 185, 193}},
        {"Label1", L"Static", nullptr, {16, 200, 145, 217}},
        {"Command4", L"Button", L"UPD", {152, 199, 185, 217}},
        {"Label2", L"Static", nullptr, {16, 216, 153, 231}},
        {"Label3", L"Static", nullptr, {16, 232, 153, 247}},
        {"Label4", L"Static", nullptr, {16, 248, 153, 263}},
        {"HScroll1", L"ScrollBar", L"HScroll1", {152, 216, 185, 231}},
        {"HScroll2", L"ScrollBar", L"HScroll2", {152, 232, 185, 247}},
        {"HScroll3", L"ScrollBar", L"HScroll3", {152, 248, 185, 263}},
        {"cfg_request", L"Button", L"Refresh", {24, 280, 97, 300}},
        {"Command3", L"Button", L"Apply", {112, 280, 185, 300}},
        {"Frame2", L"Button", L"Control", {200, 8, 489, 113}},
        {"senddmxbutton", L"Button", L"Art-Net To DMX", {216, 24, 329, 49}},
        {"Command1", L"Button", L"DMX To Art-Net", {352, 24, 465, 49}},
        {"LabelTest", L"Static", nullptr, {216, 64, 465, 81}},
        {"ArtUnivLbl", L"Static", nullptr, {216, 90, 289, 107}},
        {"ArtUniv", L"ScrollBar", L"ArtUniv", {295, 90, 328, 107}},
        {"ArtDetectedLbl", L"Static", nullptr, {352, 91, 484, 108}},
        // The 12 by 11 cells, 24 by 16 pixels apart, each 25 by 17.
        {"Label8", L"VantorMonitor", L"Label8", {200, 128, 489, 305}},
    };
    RECT client;
    GetClientRect(window->Handle(), &client);
    EXPECT_EQ(client.right, 505);
    EXPECT_EQ(client.bottom, 333);
    EXPECT_EQ(TextOf(window->Handle()), L"Vantor DMX Output");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const HWND child = View(row.name);
        ASSERT_NE(child, nullptr);
        EXPECT_EQ(ClassOf(child), row.windowClass);
        std::wstring caption = row.caption ? row.caption : L"";
        if (!row.caption)
            for (Control* control : Form().AllControls())
                if (control->Name == row.name) caption = Widen(dynamic_cast<Label&>(*control).Caption());
        EXPECT_EQ(TextOf(child), caption);
        const RECT place = ClientRectOf(child);
        EXPECT_EQ(place.left, row.place.left);
        EXPECT_EQ(place.top, row.place.top);
        EXPECT_EQ(place.right, row.place.right);
        EXPECT_EQ(place.bottom, row.place.bottom);
        if (ClassOf(child) == L"ScrollBar") continue;  // no text, no font
        LOGFONTW font{};
        GetObjectW(reinterpret_cast<HFONT>(SendMessageW(child, WM_GETFONT, 0, 0)), sizeof font, &font);
        EXPECT_STREQ(font.lfFaceName, L"Verdana");
        EXPECT_EQ(font.lfHeight, -11);  // 8.25 pt at 96 DPI
    }
    // The status bar runs along the bottom edge, the whole width.
    const RECT status = ClientRectOf(View("StatusBar1"));
    EXPECT_EQ(ClassOf(View("StatusBar1")), STATUSCLASSNAMEW);
    EXPECT_EQ(status.left, 0);
    EXPECT_EQ(status.right, client.right);
    EXPECT_EQ(status.bottom, client.bottom);
    Form().StatusBar1.SetSimpleText("Enter BootStrap Programmer");
    EXPECT_EQ(StatusText(View("StatusBar1")), L"Enter BootStrap Programmer");
}

TEST_F(Window, LabelsAndGroupBoxesPaintInTheirObjectsColours) {
    Form().Label5.SetForeColor(RGB(1, 2, 3));
    Form().Label5.SetBackColor(RGB(200, 100, 50));
    const struct {
        const char* name;
        COLORREF text, back;
    } rows[] = {
        {"Frame1", ToColorRef(kWhite), ToColorRef(kBlack)},
        {"Frame2", ToColorRef(kWhite), ToColorRef(kBlack)},
        {"ArtUnivLbl", ToColorRef(kWhite), ToColorRef(kDarkGrey)},
        {"Label5", ToColorRef(RGB(1, 2, 3)), ToColorRef(RGB(200, 100, 50))},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const Painted painted = ColoursOf(View(row.name));
        EXPECT_EQ(painted.text, row.text);
        EXPECT_EQ(painted.back, row.back);
        EXPECT_EQ(painted.brush, row.back);
    }
    Form().Label5.SetForeColor(kWhite);
    Form().Label5.SetBackColor(kBlack);
    // A version 6 group box would paint its caption in the visual style's colour, not in these.
    for (const char* name : {"Frame1", "Frame2"}) {
        const Printed printed(View(name));
        int white = 0;
        for (int x = 0; x < 80; ++x)
            for (int y = 0; y < 8; ++y) white += printed.At(x, y) == ToColorRef(kWhite);
        EXPECT_GT(white, 10) << name << "'s caption";
    }
}

TEST_F(Window, ScrollBarsKeepTheirRangesAndRaiseChangeOnlyOnARealChange) {
    const struct {
        const char* name;
        int min, max;
    } ranges[] = {{"HScroll1", 9, 127}, {"HScroll2", 1, 127}, {"HScroll3", 1, 40}, {"ArtUniv", 0, 255}};
    for (const auto& row : ranges) {
        int min = -1, max = -1;
        GetScrollRange(View(row.name), SB_CTL, &min, &max);
        EXPECT_EQ(min, row.min) << row.name;
        EXPECT_EQ(max, row.max) << row.name;
    }

    // Keys to the focused scroll bar, and clicks on its arrows: it reports both to the window as the same
    // requests, line and page steps.
    const HWND universe = View("ArtUniv");
    Form().ArtUniv.SetValue(0);
    int changes = 0;
    const auto handler = Form().ArtUniv.Change;
    Form().ArtUniv.Change = [&] {
        ++changes;
        handler();
    };
    SetForegroundWindow(window->Handle());
    SetFocus(universe);
    RECT bar;
    GetClientRect(universe, &bar);
    const int arrow = GetSystemMetrics(SM_CXHSCROLL) / 2;
    const auto click = [&](int x) {
        const LPARAM at = MAKELPARAM(x, bar.bottom / 2);
        PostMessageW(universe, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(universe, WM_LBUTTONUP, 0, at);
        Pump(std::chrono::milliseconds(50));
    };
    const struct {
        WPARAM key;  // 0: a click on the arrow of that side
        int arrowAt, value, changes;
    } steps[] = {{VK_LEFT, 0, 0, 0},  {VK_RIGHT, 0, 1, 1},   {0, bar.right - arrow, 2, 2},
                 {0, arrow, 1, 3},    {VK_LEFT, 0, 0, 4},    {VK_NEXT, 0, 10, 5},
                 {VK_END, 0, 255, 6}, {VK_RIGHT, 0, 255, 6}, {VK_PRIOR, 0, 245, 7},
                 {VK_HOME, 0, 0, 8}};
    for (const auto& step : steps) {
        SCOPED_TRACE(step.key ? "key " + std::to_string(step.key)
                              : "click at " + std::to_string(step.arrowAt));
        if (step.key)
            Press(static_cast<WORD>(step.key));
        else
            click(step.arrowAt);
        EXPECT_EQ(Form().ArtUniv.Value(), step.value);
        EXPECT_EQ(changes, step.changes);
        EXPECT_EQ(GetScrollPos(universe, SB_CTL), step.value);
        EXPECT_EQ(TextOf(View("ArtUnivLbl")), Widen(Form().ArtUnivLbl.Caption()));
    }
    // A thumb on its way changes nothing; where it is let go, the value follows.
    const auto thumb = [&](WORD request, WORD position) {
        SendMessageW(window->Handle(), WM_HSCROLL, MAKEWPARAM(request, position),
                     reinterpret_cast<LPARAM>(universe));
    };
    thumb(SB_THUMBTRACK, 100);
    EXPECT_EQ(Form().ArtUniv.Value(), 0);
    thumb(SB_THUMBPOSITION, 100);
    EXPECT_EQ(Form().ArtUniv.Value(), 100);
    EXPECT_EQ(changes, 9);
    thumb(SB_THUMBPOSITION, 100);
    EXPECT_EQ(changes, 9);
    Form().ArtUniv.Change = handler;

    // The break time's bar writes the parameters record and shows the new value in its label.
    const int breakTime = Form().HScroll1.Value() < 127 ? Form().HScroll1.Value() + 1 : 126;
    SetFocus(View("HScroll1"));
    Press(breakTime > Form().HScroll1.Value() ? VK_RIGHT : VK_LEFT);
    EXPECT_EQ(Form().prowidget.WidgetParameters.BreakTime, breakTime);
    EXPECT_EQ(TextOf(View("Label2")), Widen(Form().Label2.Caption()));
    EXPECT_NE(Form().Label2.Caption().find(std::to_string(breakTime)), std::string::npos)
        << Form().Label2.Caption();
    // And the logic's value shows on the bar.
    Form().HScroll3.SetValue(40);
    EXPECT_EQ(GetScrollPos(View("HScroll3"), SB_CTL), 40);
}

// The module whose code runs a window's class.
HMODULE ClassCodeOf(HWND window) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       reinterpret_cast<LPCWSTR>(GetClassLongPtrW(window, GCLP_WNDPROC)), &module);
    return module;
}

TEST_F(Window, ControlsAreVersion6CommonControlsThoughTheProgramHasNoManifestOfItsOwn) {
    // Without the manifest these are the system's own classes, run by user32; the scroll bar is one still
    // under wine, whose version 6 library leaves it to the system's (and the system draws it in the visual
    // styles).
    const HMODULE version6 = ClassCodeOf(View("StatusBar1"));
    ASSERT_NE(version6, nullptr);
    for (const char* name : {"Frame1", "DevList", "Command2", "Label5"}) {
        wchar_t file[MAX_PATH] = {};
        GetModuleFileNameW(ClassCodeOf(View(name)), file, MAX_PATH);
        EXPECT_EQ(ClassCodeOf(View(name)), version6) << name << " runs in " << Narrow(file);
    }
}

TEST_F(Window, TabAndShiftTabMoveTheFocusThroughTheControlsInTheirVisualOrder) {
    const char* const order[] = {"DevList",  "Command2",      "Command5", "Command4",
                                 "HScroll1", "HScroll2",      "HScroll3", "cfg_request",
                                 "Command3", "senddmxbutton", "Command1", "ArtUniv"};
    const std::size_t count = std::size(order);
    SetForegroundWindow(window->Handle());
    SetFocus(View(order[0]));
    for (std::size_t step = 1; step <= count; ++step) {
        Press(VK_TAB);
        EXPECT_EQ(GetFocus(), View(order[step % count])) << "Tab to " << order[step % count];
    }
    for (std::size_t step = count; step-- > 0;) {
        Press(VK_TAB, true);
        EXPECT_EQ(GetFocus(), View(order[step])) << "Shift+Tab to " << order[step];
    }
}

TEST_F(Window, SpaceAndEnterPressTheFocusedButtonAsAClickDoes) {
    const HWND list = View("DevList");
    const struct {
        const char* button;
        WORD key;
        std::size_t entries;
        const wchar_t* first;
    } rows[] = {{"Command2", VK_SPACE, 1, L"Pro Widget - Com:  1"}, {"Command5", VK_RETURN, 16, nullptr}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.button);
        SendMessageW(list, LB_RESETCONTENT, 0, 0);
        SetForegroundWindow(window->Handle());
        SetFocus(View(row.button));
        Press(row.key);
        ASSERT_TRUE(
            PumpUntil([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) > 0; }, std::chrono::seconds(20)));
        EXPECT_EQ(Form().DevList.Items().size(), row.entries);
        EXPECT_EQ(static_cast<std::size_t>(SendMessageW(list, LB_GETCOUNT, 0, 0)), row.entries);
        if (row.first) {
            EXPECT_EQ(ListEntry(list, 0), row.first);
        }
    }
}

TEST_F(Window, MovedToAMonitorOfAnotherDpiTheWindowLaysItselfOutAgain) {
    const HWND search = View("Command2");
    RECT frame96, search96;
    GetWindowRect(window->Handle(), &frame96);
    search96 = ClientRectOf(search);
    for (int dpi : {144, 96}) {
        SCOPED_TRACE(dpi);
        // The rectangle the system suggests: the window scaled where it now is.
        RECT suggested{frame96.left, frame96.top,
                       frame96.left + MulDiv(frame96.right - frame96.left, dpi, 96),
                       frame96.top + MulDiv(frame96.bottom - frame96.top, dpi, 96)};
        SendMessageW(window->Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                     reinterpret_cast<LPARAM>(&suggested));
        RECT frame;
        GetWindowRect(window->Handle(), &frame);
        EXPECT_TRUE(EqualRect(&frame, &suggested));
        const double scale = dpi / 96.0;
        const RECT place = ClientRectOf(search);
        EXPECT_NEAR(place.left, search96.left * scale, 1);
        EXPECT_NEAR(place.top, search96.top * scale, 1);
        EXPECT_NEAR(place.right, search96.right * scale, 1);
        EXPECT_NEAR(place.bottom, search96.bottom * scale, 1);
        EXPECT_EQ(window->View().Monitor().Cell(131).left, MulDiv(11 * 24, dpi, 96));
        for (const char* name : {"Command2", "Label8"}) {
            LOGFONTW font{};
            GetObjectW(reinterpret_cast<HFONT>(SendMessageW(View(name), WM_GETFONT, 0, 0)), sizeof font,
                       &font);
            EXPECT_EQ(font.lfHeight, -MulDiv(825, dpi, 7200)) << name;  // 8.25 pt
        }
    }
}

TEST_F(Window, SearchListsTheWidgetOnCom1AndAClickedEntryOpensItsPort) {
    const HWND list = View("DevList");
    SendMessageW(list, LB_RESETCONTENT, 0, 0);
    PostMessageW(View("Command2"), BM_CLICK, 0, 0);
    ASSERT_TRUE(
        PumpUntil([&] { return SendMessageW(list, LB_GETCOUNT, 0, 0) > 0; }, std::chrono::seconds(20)));
    EXPECT_EQ(ListEntry(list, 0), L"Pro Widget - Com:  1");
    ASSERT_EQ(Form().DevList.Items().size(), static_cast<std::size_t>(SendMessageW(list, LB_GETCOUNT, 0, 0)));

    int clicks = 0;
    const auto handler = Form().DevList.Click;
    Form().DevList.Click = [&] {
        ++clicks;
        handler();
    };
    RECT item;
    SendMessageW(list, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM(item.left + 5, (item.top + item.bottom) / 2);
    // The chosen entry, then the same entry once more: each click raises Click.
    for (int expected : {1, 2}) {
        PostMessageW(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
        PostMessageW(list, WM_LBUTTONUP, 0, at);
        ASSERT_TRUE(PumpUntil([&] { return clicks == expected; }, std::chrono::seconds(10))) << clicks;
        EXPECT_EQ(SendMessageW(list, LB_GETCURSEL, 0, 0), 0);
        EXPECT_EQ(Form().DevList.ListIndex(), 0);
    }
    Pump(std::chrono::milliseconds(100));
    EXPECT_EQ(clicks, 2);
    Form().DevList.Click = handler;
    EXPECT_EQ(Form().LinkOpen, kTrue);
    EXPECT_EQ(TextOf(View("Label5")), L"Current Port: 1");
}

TEST_F(Window, ArtNetToDmxShowsTheOutputLevelsOnTheMonitor) {
    if (Form().LinkOpen != kTrue) Form().SelectPort(1);
    ASSERT_EQ(Form().LinkOpen, kTrue);
    auto& levels = Form().prowidget.OutputPacket.Levels;
    levels[1] = 255;
    levels[2] = 128;
    levels[132] = 0;
    PostMessageW(View("senddmxbutton"), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Form().Label8[0]->Caption() == "255"; }, std::chrono::seconds(5)));
    EXPECT_EQ(Form().SendMode, kTrue);
    EXPECT_EQ(Form().Label8[1]->Caption(), "128");
    EXPECT_EQ(Form().Label8[131]->Caption(), "0");

    // Each cell painted in its level's red, away from its text; the last cell black.
    const HWND monitor = View("Label8");
    const MonitorView& view = window->View().Monitor();
    const Printed printed(monitor);
    const struct {
        std::size_t cell;
        COLORREF colour;
    } cells[] = {{0, ToColorRef(RGB(255, 0, 0))}, {1, ToColorRef(RGB(128, 0, 0))}, {131, ToColorRef(kBlack)}};
    for (const auto& row : cells) {
        const RECT& cell = view.Cell(row.cell);
        EXPECT_EQ(printed.At(cell.right - 2, cell.top + 1), row.colour) << row.cell;
    }
    EXPECT_EQ(view.Cell(0).left, 0);
    EXPECT_EQ(view.Cell(131).left, 11 * 24);
    EXPECT_EQ(view.Cell(131).top, 10 * 16);

    // A change leaves only its own cell to repaint.
    Form().Timer3.SetEnabled(false);
    UpdateWindow(monitor);
    levels[30] = 7;
    Form().Timer3_Timer();
    RECT dirty;
    ASSERT_TRUE(GetUpdateRect(monitor, &dirty, FALSE));
    EXPECT_TRUE(EqualRect(&dirty, &view.Cell(29)));
    UpdateWindow(monitor);
    PostMessageW(View("Command1"), BM_CLICK, 0, 0);
    ASSERT_TRUE(PumpUntil([&] { return Form().SendMode == kFalse; }, std::chrono::seconds(5)));
}

TEST_F(Window, FirmwareButtonFlashesTheFileChosenInTheDialogCentredOverTheWindow) {
    const char* image = std::getenv("VANTOR_TEST_FIRMWARE");
    if (!image) GTEST_SKIP() << "VANTOR_TEST_FIRMWARE names no image to flash";
    if (Form().LinkOpen != kTrue) Form().SelectPort(1);
    ASSERT_EQ(Form().LinkOpen, kTrue);

    // Where the whole dialog fits on the screen beside it.
    SetWindowPos(window->Handle(), nullptr, 300, 250, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    RECT owner{}, dialogRect{};
    std::wstring title;
    HWND shown = nullptr;
    const HHOOK hostHook = SetWindowsHookExW(WH_CBT, &HostHook, nullptr, GetCurrentThreadId());
    window->FileDialog().SetAnswer([&](HWND dialog) {
        shown = dialog;
        GetWindowRect(window->Handle(), &owner);
        GetWindowRect(dialog, &dialogRect);
        title = TextOf(dialog);
        // The name box of the system's dialog, then its OK button.
        SetDlgItemTextW(dialog, kFileNameBox, Widen(image).c_str());
        PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)));
    });
    std::size_t mostDots = 0;
    const HWND status = View("StatusBar1");
    Form().StatusBar1.TextChanged = [&](const std::string&) {
        const std::wstring shown = StatusText(status);
        if (shown.find_first_not_of(L".x") == std::wstring::npos) mostDots = std::max(mostDots, shown.size());
    };
    bool clicked = false;
    std::string statusAfter;
    const auto handler = Form().Command4.Click;
    Form().Command4.Click = [&] {
        handler();
        statusAfter = Narrow(StatusText(status));
        clicked = true;
    };
    PostMessageW(View("Command4"), BM_CLICK, 0, 0);
    const bool ended = PumpUntil([&] { return clicked; }, std::chrono::seconds(90));
    Form().Command4.Click = handler;
    Form().StatusBar1.TextChanged = nullptr;
    window->FileDialog().SetAnswer(nullptr);
    UnhookWindowsHookEx(hostHook);
    ASSERT_TRUE(ended);
    // The dialog's hook passed the activation on.
    EXPECT_NE(std::find(activatedForTheHost.begin(), activatedForTheHost.end(), shown),
              activatedForTheHost.end());

    EXPECT_EQ(title, L"Update Firmware");
    // Centred where the hook placed it: wine's dialog changes its size a little once shown.
    const RECT placed = window->FileDialog().PlacedRect();
    EXPECT_EQ(placed.left, dialogRect.left);
    EXPECT_EQ(placed.top, dialogRect.top);
    const WindowPosition centred = CentreOverOwner({owner.left, owner.top, owner.right, owner.bottom},
                                                   {placed.left, placed.top, placed.right, placed.bottom});
    EXPECT_EQ(placed.left, centred.X);
    EXPECT_EQ(placed.top, centred.Y);
    EXPECT_EQ(mostDots, 96u);
    EXPECT_EQ(statusAfter, "Firmware Update Success!");
}

}  // namespace
