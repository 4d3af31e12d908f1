#pragma once

#include <string>
#include <utility>

#include "cls_output_driver.h"
#include "linux_plugin.h"
#include "operation_status.h"
#include "vantor_out.h"

// Remembers the description of the last failure handed to the host on this thread.
void SetLastFailure(const std::string& description);

// Runs one host-facing operation: a thrown failure becomes its status code, never an exception across the
// C boundary.
template <typename Action>
vantor_status Guarded(Action&& action) {
    const OperationStatus status = RunOperation(std::forward<Action>(action));
    if (status.Code != kStatusOk) SetLastFailure(status.Description);
    return status.Code;
}
