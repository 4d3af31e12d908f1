#include "platform/win32/control_views.h"

#include <algorithm>
#include <exception>
#include <stdexcept>
#include <utility>

#include "platform/win32/environment.h"
#include "platform/win32/own_module.h"
#include "platform/win32/text.h"

namespace {

constexpr DWORD kChildStyle = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
// A page of a scroll bar, as a click beside its thumb moves it.
constexpr int kScrollPage = 10;

// A user's action runs the system's handler; a failure there must not unwind through the system's dispatch.
template <typename Action>
void RunHandler(const Control& control, Action&& action) {
    try {
        action();
    } catch (const std::exception& failure) {
        LogLine("vantor: " + control.Name + ": " + failure.what());
    }
}

HWND MakeChild(const wchar_t* windowClass, DWORD style, const Control& control, HWND parent,
               const RECT& place, int id) {
    const HWND child =
        CreateWindowExW(0, windowClass, Widen(control.Name).c_str(), kChildStyle | style, place.left,
                        place.top, place.right - place.left, place.bottom - place.top, parent,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), OwnModule(), nullptr);
    if (!child)
        throw std::runtime_error("Cannot create the view of " + control.Name + ": " +
                                 SystemErrorText(GetLastError()));
    return child;
}

void SetText(HWND handle, const std::string& text) {
    const std::wstring wide = Widen(text);
    const int length = GetWindowTextLengthW(handle);
    std::wstring shown(static_cast<std::size_t>(length) + 1, L'\0');
    shown.resize(static_cast<std::size_t>(GetWindowTextW(handle, shown.data(), length + 1)));
    if (shown != wide) SetWindowTextW(handle, wide.c_str());
}

class LabelView : public ControlView {
public:
    LabelView(Label& label, HWND handle) : ControlView(label, handle), label_(label) { Start(); }
    HBRUSH Colours(HDC dc) override {
        SetTextColor(dc, ToColorRef(label_.ForeColor()));
        SetBkColor(dc, ToColorRef(label_.BackColor()));
        return back_.Of(label_.BackColor());
    }

private:
    void Follow() override {
        SetText(handle_, label_.Caption());
        // A new colour shows only when the label paints again.
        InvalidateRect(handle_, nullptr, TRUE);
    }
    Label& label_;
    SolidBrush back_;
};

// The version 6 group box draws its caption in the visual style's colour, whatever its parent answers: the
// box paints itself, a thin line in the style's manner broken by the caption in the window's colours.
class GroupBoxView : public ControlView {
public:
    GroupBoxView(GroupBox& group, HWND handle) : ControlView(group, handle), group_(group) {
        SetWindowSubclass(handle_, &GroupBoxView::Watch, 0, reinterpret_cast<DWORD_PTR>(this));
        Start();
    }
    ~GroupBoxView() override { RemoveWindowSubclass(handle_, &GroupBoxView::Watch, 0); }
    HBRUSH Colours(HDC dc) override {
        SetTextColor(dc, ToColorRef(kWhite));
        SetBkColor(dc, ToColorRef(kBlack));
        return static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
    }

private:
    static constexpr COLORREF kLine = 0xc0c0c0;

    static LRESULT CALLBACK Watch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR self) {
        if (message == WM_ERASEBKGND) return 1;
        if (message == WM_PRINTCLIENT) {
            reinterpret_cast<GroupBoxView*>(self)->Paint(reinterpret_cast<HDC>(wParam));
            return 0;
        }
        if (message != WM_PAINT) return DefSubclassProc(handle, message, wParam, lParam);
        PAINTSTRUCT paint;
        const HDC dc = BeginPaint(handle, &paint);
        reinterpret_cast<GroupBoxView*>(self)->Paint(dc);
        EndPaint(handle, &paint);
        return 0;
    }

    void Paint(HDC dc) {
        RECT client;
        GetClientRect(handle_, &client);
        const HGDIOBJ oldFont =
            SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(handle_, WM_GETFONT, 0, 0)));
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        const HBRUSH back = Colours(dc);
        FillRect(dc, &client, back);
        RECT frame{client.left, client.top + metrics.tmHeight / 2, client.right, client.bottom};
        const HBRUSH line = CreateSolidBrush(kLine);
        FrameRect(dc, &frame, line);
        DeleteObject(line);
        const std::wstring caption = Widen(group_.Caption());
        SIZE extent{};
        GetTextExtentPoint32W(dc, caption.c_str(), static_cast<int>(caption.size()), &extent);
        // The caption stands a character in from the box's left edge, with half a character's gap each side.
        const int gap = metrics.tmAveCharWidth / 2;
        RECT behind{metrics.tmAveCharWidth - gap, 0, metrics.tmAveCharWidth + extent.cx + gap,
                    metrics.tmHeight};
        FillRect(dc, &behind, back);
        TextOutW(dc, metrics.tmAveCharWidth, 0, caption.c_str(), static_cast<int>(caption.size()));
        SelectObject(dc, oldFont);
    }

    void Follow() override {
        SetText(handle_, group_.Caption());
        InvalidateRect(handle_, nullptr, TRUE);
    }
    GroupBox& group_;
};

class ButtonView : public ControlView {
public:
    ButtonView(Button& button, HWND handle) : ControlView(button, handle), button_(button) { Start(); }
    void Command(WORD code) override {
        if (code == BN_CLICKED) RunHandler(button_, [this] { button_.PerformClick(); });
    }

private:
    void Follow() override { SetText(handle_, button_.Caption()); }
    Button& button_;
};

// Arrows and page steps move the value at once; a drag reports only where the thumb was let go.
class ScrollBarView : public ControlView {
public:
    ScrollBarView(ScrollBar& bar, HWND handle) : ControlView(bar, handle), bar_(bar) { Start(); }
    void Scroll(WORD request, WORD position) override {
        const int value = bar_.Value();
        int wanted = value;
        switch (request) {
            case SB_LINELEFT:
                wanted = value - 1;
                break;
            case SB_LINERIGHT:
                wanted = value + 1;
                break;
            case SB_PAGELEFT:
                wanted = value - kScrollPage;
                break;
            case SB_PAGERIGHT:
                wanted = value + kScrollPage;
                break;
            case SB_LEFT:
                wanted = bar_.Min();
                break;
            case SB_RIGHT:
                wanted = bar_.Max();
                break;
            case SB_THUMBPOSITION:  // 16 bits hold every range here
                wanted = position;
                break;
            default:
                return;  // the thumb on its way, or the end of a scroll
        }
        wanted = std::clamp(wanted, bar_.Min(), bar_.Max());
        // The object raises its change only when the value really changes.
        RunHandler(bar_, [&] { bar_.SetValue(wanted); });
        // A released thumb goes back where the value is, when the value did not follow it.
        Follow();
    }

private:
    void Follow() override {
        SCROLLINFO info{};
        info.cbSize = sizeof info;
        info.fMask = SIF_RANGE | SIF_POS;
        info.nMin = bar_.Min();
        info.nMax = bar_.Max();
        info.nPos = bar_.Value();
        SetScrollInfo(handle_, SB_CTL, &info, TRUE);
    }
    ScrollBar& bar_;
};

// An entry clicked raises the list's Click, also when it was already the selected one: the system reports no
// selection change then, so the list's own mouse clicks are watched as well.
class ListBoxView : public ControlView {
public:
    ListBoxView(ListBox& list, HWND handle) : ControlView(list, handle), list_(list) {
        SetWindowSubclass(handle_, &ListBoxView::Watch, 0, reinterpret_cast<DWORD_PTR>(this));
        Start();
    }
    ~ListBoxView() override { RemoveWindowSubclass(handle_, &ListBoxView::Watch, 0); }

    void Command(WORD code) override {
        if (code != LBN_SELCHANGE) return;
        const int row = static_cast<int>(SendMessageW(handle_, LB_GETCURSEL, 0, 0));
        if (row < 0) return;
        clickRaised_ = true;
        RunHandler(list_, [&] {
            if (row == list_.ListIndex()) {
                if (list_.Click) list_.Click();
            } else {
                list_.SetListIndex(row);
            }
        });
    }

private:
    static LRESULT CALLBACK Watch(HWND handle, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR,
                                  DWORD_PTR self) {
        auto& view = *reinterpret_cast<ListBoxView*>(self);
        if (message == WM_LBUTTONDOWN) {
            const LRESULT hit = SendMessageW(handle, LB_ITEMFROMPOINT, 0, lParam);
            view.pressedRow_ = HIWORD(hit) == 0 ? static_cast<int>(LOWORD(hit)) : -1;
            view.clickRaised_ = false;
        }
        const LRESULT result = DefSubclassProc(handle, message, wParam, lParam);
        if (message == WM_LBUTTONUP && view.pressedRow_ >= 0) {
            const int row = std::exchange(view.pressedRow_, -1);
            if (!view.clickRaised_ && row == view.list_.ListIndex() && view.list_.Click)
                RunHandler(view.list_, [&] { view.list_.Click(); });
        }
        return result;
    }

    void Follow() override {
        const auto& items = list_.Items();
        if (items != shown_) {
            SendMessageW(handle_, LB_RESETCONTENT, 0, 0);
            for (const auto& item : items)
                SendMessageW(handle_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
            shown_ = items;
        }
        if (SendMessageW(handle_, LB_GETCURSEL, 0, 0) != list_.ListIndex())
            SendMessageW(handle_, LB_SETCURSEL, static_cast<WPARAM>(list_.ListIndex()), 0);
    }

    ListBox& list_;
    std::vector<std::string> shown_;
    int pressedRow_ = -1;
    bool clickRaised_ = false;
};

class StatusBarView : public ControlView {
public:
    StatusBarView(StatusBar& status, HWND handle) : ControlView(status, handle), status_(status) {
        SendMessageW(handle_, SB_SIMPLE, TRUE, 0);
        Start();
    }

private:
    void Follow() override {
        SendMessageW(handle_, SB_SETTEXTW, SB_SIMPLEID,
                     reinterpret_cast<LPARAM>(Widen(status_.SimpleText()).c_str()));
    }
    StatusBar& status_;
};

}  // namespace

ControlView::ControlView(Control& control, HWND handle) : control_(control), handle_(handle) {}

ControlView::~ControlView() {
    control_.Changed = nullptr;
    DestroyWindow(handle_);
}

void ControlView::Start() {
    control_.Changed = [this] { Follow(); };
    Follow();
}

std::unique_ptr<ControlView> MakeControlView(Control& control, HWND parent, const RECT& place, int id) {
    if (auto* label = dynamic_cast<Label*>(&control))
        return std::make_unique<LabelView>(
            *label, MakeChild(L"STATIC", SS_LEFT | SS_NOPREFIX, control, parent, place, id));
    if (auto* group = dynamic_cast<GroupBox*>(&control))
        return std::make_unique<GroupBoxView>(*group,
                                              MakeChild(L"BUTTON", BS_GROUPBOX, control, parent, place, id));
    if (auto* button = dynamic_cast<Button*>(&control))
        return std::make_unique<ButtonView>(
            *button, MakeChild(L"BUTTON", BS_PUSHBUTTON | WS_TABSTOP, control, parent, place, id));
    if (auto* bar = dynamic_cast<ScrollBar*>(&control))
        return std::make_unique<ScrollBarView>(
            *bar, MakeChild(L"SCROLLBAR", SBS_HORZ | WS_TABSTOP, control, parent, place, id));
    if (auto* list = dynamic_cast<ListBox*>(&control))
        return std::make_unique<ListBoxView>(
            *list,
            MakeChild(L"LISTBOX", LBS_NOTIFY | LBS_NOINTEGRALHEIGHT | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
                      control, parent, place, id));
    if (auto* status = dynamic_cast<StatusBar*>(&control))
        return std::make_unique<StatusBarView>(
            *status, MakeChild(STATUSCLASSNAMEW, CCS_BOTTOM, control, parent, place, id));
    return nullptr;  // timers have no view; the monitor's labels have their own
}

SolidBrush::~SolidBrush() {
    if (brush_) DeleteObject(brush_);
}

HBRUSH SolidBrush::Of(Rgb colour) {
    if (brush_ && colour == colour_) return brush_;
    if (brush_) DeleteObject(brush_);
    brush_ = CreateSolidBrush(ToColorRef(colour));
    colour_ = colour;
    return brush_;
}

COLORREF ToColorRef(Rgb colour) {
    return static_cast<COLORREF>(colour.r | colour.g << 8 | colour.b << 16);
}
