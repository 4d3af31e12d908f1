#include "platform/win32/dialog_keys.h"

namespace {

bool IsPushButton(HWND control) {
    return (SendMessageW(control, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON)) != 0;
}

bool IsOurs(UINT message, WPARAM key, HWND control) {
    return (message == WM_KEYDOWN || message == WM_CHAR) &&
           (key == VK_TAB || (key == VK_RETURN && IsPushButton(control)));
}

LRESULT CALLBACK DialogKeys(HWND control, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR id,
                            DWORD_PTR) {
    if (message == WM_NCDESTROY) {
        RemoveWindowSubclass(control, &DialogKeys, id);
    } else if (IsOurs(message, wParam, control)) {
        // The character that follows the key is dropped: a list would take it as the start of an entry.
        if (message == WM_CHAR) return 0;
        const HWND parent = GetParent(control);
        if (wParam == VK_TAB) {
            if (const HWND next = GetNextDlgTabItem(parent, control, GetKeyState(VK_SHIFT) < 0))
                SetFocus(next);
        } else {
            // What the button itself reports when clicked.
            SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(control), BN_CLICKED),
                         reinterpret_cast<LPARAM>(control));
        }
        return 0;
    }
    return DefSubclassProc(control, message, wParam, lParam);
}

}  // namespace

void TakeDialogKeys(HWND control) {
    SetWindowSubclass(control, &DialogKeys, 0, 0);
}
