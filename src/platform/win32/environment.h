#pragma once

#include <optional>
#include <string>

// An environment variable of the process, read afresh each time; nullopt when it is not set.
std::optional<std::string> EnvironmentVariable(const char* name);

// True where no person can answer a window: VANTOR_HEADLESS=1.
bool IsHeadless();

// A line for whoever watches: the debugger's output always, and standard error where there is one.
void LogLine(const std::string& line);
// A diagnostic line for the debugger's output only, where nobody sees it unless they listen.
void DebugLine(const std::string& line);
