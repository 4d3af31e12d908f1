#pragma once

#include <utility>

#include "operation_status.h"
#include "platform/win32/win32_headers.h"

// Hands a failure to the caller as COM does: its HRESULT, with an error object that carries the description
// and names the interface and the component, for the caller's GetErrorInfo (a script host's Err object).
HRESULT ReportFailure(REFIID iid, HRESULT code, const std::string& description);

// Runs one operation of a COM interface: a thrown failure becomes its HRESULT and error object.
template <typename Action>
HRESULT ComGuarded(REFIID iid, Action&& action) {
    const OperationStatus status = RunOperation(std::forward<Action>(action));
    if (status.Code == kStatusOk) return S_OK;
    return ReportFailure(iid, static_cast<HRESULT>(status.Code), status.Description);
}
