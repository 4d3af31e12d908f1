#include "com_status.h"

#include <oleauto.h>

#include "platform/win32/text.h"
#include "vantor_out_com.h"

HRESULT ReportFailure(REFIID iid, HRESULT code, const std::string& description) {
    ICreateErrorInfo* creating = nullptr;
    if (SUCCEEDED(CreateErrorInfo(&creating))) {
        const std::wstring text = Widen(description);
        creating->SetGUID(iid);
        creating->SetSource(const_cast<LPOLESTR>(VANTOR_PROGID_W));
        creating->SetDescription(const_cast<LPOLESTR>(text.c_str()));
        IErrorInfo* error = nullptr;
        if (SUCCEEDED(creating->QueryInterface(IID_IErrorInfo, reinterpret_cast<void**>(&error)))) {
            SetErrorInfo(0, error);
            error->Release();
        }
        creating->Release();
    }
    return code;
}
