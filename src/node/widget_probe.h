#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

// What a widget says about itself when asked.
struct WidgetFacts {
    std::string firmware;  // "2.44"
    std::optional<std::uint32_t> serialNumber;
};

// Opens the device, asks for its parameters and its serial number, and closes it again: nullopt when no
// widget answers within the time-out (or the device cannot be opened).
std::optional<WidgetFacts> ProbeWidget(const std::string& path,
                                       std::chrono::milliseconds timeout = std::chrono::milliseconds(1000));

inline constexpr std::uint8_t kLabelSerialNumber = 10;
// A widget's answer to kLabelSerialNumber (a whole frame: start, label, length, data, end): its serial
// number, low byte first; nullopt for another frame.
std::optional<std::uint32_t> SerialNumberIn(std::span<const std::uint8_t> frame);

// The serial number as the widget's label shows it: eight decimal digits.
std::string SerialNumberText(std::uint32_t serial);
