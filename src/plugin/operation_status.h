#pragma once

#include <cstdint>
#include <exception>
#include <string>

#include "cls_output_driver.h"

// What a host-facing operation hands back, the same codes on every platform: success, the overflow as
// run-time error 6 (0x800A0006, "Overflow"), anything else as a general failure with its own description.
inline constexpr std::int32_t kStatusOk = 0;
inline constexpr std::int32_t kStatusOverflow = static_cast<std::int32_t>(0x800A0006u);
inline constexpr std::int32_t kStatusFailed = static_cast<std::int32_t>(0x80004005u);

struct OperationStatus {
    std::int32_t Code = kStatusOk;
    std::string Description;
};

// Runs one host-facing operation: a thrown failure becomes its status, never an exception across the host
// boundary.
template <typename Action>
OperationStatus RunOperation(Action&& action) {
    try {
        action();
        return {};
    } catch (const OverflowError& failure) {
        return {kStatusOverflow, failure.what()};
    } catch (const std::exception& failure) {
        return {kStatusFailed, failure.what()};
    } catch (...) {
        return {kStatusFailed, "Unknown failure"};
    }
}
