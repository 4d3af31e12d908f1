#include "platform/win32/win32_file_dialog.h"

#include <cstddef>

#include <string>

#include "platform/win32/environment.h"
#include "platform/win32/text.h"

// The system reads the record by the size it declares, laid out for the caller's pointer size: both builds
// must fill the one their headers describe.
static_assert(sizeof(OPENFILENAMEW) == (sizeof(void*) == 8 ? 152 : 88));
static_assert(offsetof(OPENFILENAMEW, lpstrFile) == (sizeof(void*) == 8 ? 48 : 28));
static_assert(offsetof(OPENFILENAMEW, Flags) == (sizeof(void*) == 8 ? 96 : 52));
namespace {

// The dialog being shown on this thread, for the hook, which the system calls without a context of its own.
// One dialog at a time per thread: the dialog is modal.
struct PendingDialog {
    HHOOK hook = nullptr;
    const FileDialogService::ActivationHook* activating = nullptr;
    HWND answerWindow = nullptr;
    UINT answerMessage = 0;
    RECT* placed = nullptr;
};
thread_local PendingDialog* pending = nullptr;

void RemoveHook(PendingDialog& dialog) {
    if (dialog.hook) UnhookWindowsHookEx(dialog.hook);
    dialog.hook = nullptr;
}

}  // namespace

Win32FileDialogService::Win32FileDialogService(MessageWindow& window)
    : window_(window), answerMessage_(window.AddHandler([this](WPARAM dialog, LPARAM) {
          if (answer_) answer_(reinterpret_cast<HWND>(dialog));
      })) {}

OpenFileNameReply ReplyFromBuffers(const std::wstring& file, WORD offset, const std::wstring& title) {
    OpenFileNameReply reply;
    reply.Chosen = true;
    const bool list = offset > 0 && offset <= file.size() && file[offset - 1] == L'\0';
    const std::size_t end = list ? file.find(std::wstring(2, L'\0'), offset - 1) : file.find(L'\0');
    if (end == std::wstring::npos) return {};
    reply.File = Narrow(file.substr(0, list ? end + 2 : end + 1));
    reply.FileOffset = static_cast<std::uint16_t>(Narrow(file.substr(0, offset)).size());
    if (!list) reply.FileTitle = Narrow(title.substr(0, title.find(L'\0')));
    return reply;
}

WindowHandle Win32FileDialogService::OwnerWindow() const {
    return reinterpret_cast<WindowHandle>(window_.Handle());
}

OpenFileNameReply Win32FileDialogService::GetOpenFileName(const OpenFileNameRecord& record,
                                                          const ActivationHook& activating) {
    if (!answer_ && IsHeadless()) {
        LogLine("vantor: open-file dialog '" + record.lpstrTitle +
                "' not shown: no person can answer it here; taken as cancelled");
        return {};
    }
    // The system reads each list up to a pair of NULs; the strings end in one and c_str() adds the other.
    const std::wstring filter = Widen(record.lpstrFilter) + L'\0';
    const std::wstring title = Widen(record.lpstrTitle);
    const std::wstring folder = Widen(record.lpstrInitialDir);
    std::wstring file = Widen(record.lpstrFile);
    std::wstring fileTitle = Widen(record.lpstrFileTitle);
    if (file.empty() || fileTitle.empty()) return {};

    OPENFILENAMEW dialog{};
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = reinterpret_cast<HWND>(record.hwndOwner);
    dialog.lpstrFilter = record.lpstrFilter.empty() ? nullptr : filter.c_str();
    dialog.nFilterIndex = record.nFilterIndex;
    dialog.lpstrFile = file.data();
    dialog.nMaxFile = static_cast<DWORD>(file.size());
    dialog.lpstrFileTitle = fileTitle.data();
    dialog.nMaxFileTitle = static_cast<DWORD>(fileTitle.size());
    dialog.lpstrInitialDir = folder.empty() ? nullptr : folder.c_str();
    dialog.lpstrTitle = title.empty() ? nullptr : title.c_str();
    dialog.Flags = record.Flags;

    PendingDialog shown{nullptr, &activating, window_.Handle(), answer_ ? answerMessage_ : 0, &placed_};
    PendingDialog* const outer = pending;
    pending = &shown;
    shown.hook = SetWindowsHookExW(WH_CBT, &Win32FileDialogService::CbtHook, nullptr, GetCurrentThreadId());
    const BOOL chosen = GetOpenFileNameW(&dialog);
    // A dialog that never showed leaves no hook behind to move some later window.
    RemoveHook(shown);
    pending = outer;
    if (!chosen) return {};
    return ReplyFromBuffers(file, dialog.nFileOffset, fileTitle);
}

LRESULT CALLBACK Win32FileDialogService::CbtHook(int code, WPARAM wParam, LPARAM lParam) {
    PendingDialog* dialog = pending;
    if (code == HCBT_ACTIVATE && dialog && dialog->hook) {
        RemoveHook(*dialog);
        const HWND shown = reinterpret_cast<HWND>(wParam);
        if (*dialog->activating) (*dialog->activating)(reinterpret_cast<WindowHandle>(shown));
        ::GetWindowRect(shown, dialog->placed);
        if (dialog->answerMessage)
            PostMessageW(dialog->answerWindow, dialog->answerMessage, reinterpret_cast<WPARAM>(shown), 0);
    }
    // Other hooks on the thread (the host's) see every event too.
    return CallNextHookEx(nullptr, code, wParam, lParam);
}

WindowRect Win32FileDialogService::GetWindowRect(WindowHandle window) const {
    RECT rect{};
    ::GetWindowRect(reinterpret_cast<HWND>(window), &rect);
    return {rect.left, rect.top, rect.right, rect.bottom};
}

void Win32FileDialogService::MoveWindow(WindowHandle window, int x, int y) {
    SetWindowPos(reinterpret_cast<HWND>(window), nullptr, x, y, 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

ScreenSize Win32FileDialogService::GetScreenSize() const {
    return {GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}
