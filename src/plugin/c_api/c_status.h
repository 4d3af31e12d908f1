#pragma once

#include <exception>
#include <string>

#include "cls_output_driver.h"
#include "vantor_out.h"

// Remembers the description of the last failure handed to the host on this thread.
void SetLastFailure(const std::string& description);

// Runs one host-facing operation: a thrown failure becomes its status code, never an exception across the
// C boundary.
template <typename Action>
vantor_status Guarded(Action&& action) {
    try {
        action();
        return VANTOR_S_OK;
    } catch (const OverflowError& failure) {
        SetLastFailure(failure.what());
        return VANTOR_E_OVERFLOW;
    } catch (const std::exception& failure) {
        SetLastFailure(failure.what());
        return VANTOR_E_FAIL;
    } catch (...) {
        SetLastFailure("Unknown failure");
        return VANTOR_E_FAIL;
    }
}
