#pragma once

#include <string>

// A number as the window shows it: the shortest decimal form with at most 15 significant digits, no trailing
// zeros, and the given decimal separator (96.03, 106.7, 1067, 0).
std::string FormatNumber(double value, const std::string& decimalSeparator);
