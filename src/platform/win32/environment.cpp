#include "platform/win32/environment.h"

#include "platform/win32/text.h"
#include "platform/win32/win32_headers.h"

std::optional<std::string> EnvironmentVariable(const char* name) {
    const std::wstring wideName = Widen(name);
    const DWORD size = GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    if (size == 0) {
        if (GetLastError() == ERROR_ENVVAR_NOT_FOUND) return std::nullopt;
        return std::string();
    }
    std::wstring value(size, L'\0');
    const DWORD length = GetEnvironmentVariableW(wideName.c_str(), value.data(), size);
    value.resize(length);
    return Narrow(value);
}

bool IsHeadless() {
    return EnvironmentVariable("VANTOR_HEADLESS") == "1";
}

void DebugLine(const std::string& line) {
    OutputDebugStringW(Widen(line + "\n").c_str());
}

void LogLine(const std::string& line) {
    const std::wstring wide = Widen(line + "\n");
    OutputDebugStringW(wide.c_str());
    const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
    if (error == nullptr || error == INVALID_HANDLE_VALUE) return;
    DWORD written = 0;
    DWORD mode = 0;
    if (GetConsoleMode(error, &mode)) {
        WriteConsoleW(error, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
    } else {
        const std::string bytes = line + "\r\n";
        WriteFile(error, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    }
}
