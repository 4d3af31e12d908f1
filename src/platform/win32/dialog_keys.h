#pragma once

#include "platform/win32/win32_headers.h"

// The keys a dialog box gives its controls, handled by each control itself: the host's own message loop
// dispatches the window's messages but never calls IsDialogMessage for it. Tab and Shift+Tab move the focus
// to the next or previous control with WS_TABSTOP in the parent's z-order, Enter presses a push button, as a
// click does. Space on a button and the arrows on a scroll bar or a list are the controls' own already.
void TakeDialogKeys(HWND control);
