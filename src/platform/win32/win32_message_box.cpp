#include "platform/win32/win32_message_box.h"

#include "platform/win32/environment.h"
#include "platform/win32/form1_view.h"
#include "platform/win32/text.h"
#include "stuff/scoped_flag.h"

void Win32MessageBox::Show(const std::string& text) {
    ScopedFlag open(open_);
    if (IsHeadless()) {
        LogLine(std::string(Form1View::kTitle) + ": " + text);
        return;
    }
    MessageBoxW(owner_, Widen(text).c_str(), Widen(Form1View::kTitle).c_str(), MB_OK);
}
