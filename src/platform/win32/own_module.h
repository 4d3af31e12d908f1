#pragma once

#include <string>

#include "platform/win32/win32_headers.h"

// The module that holds this code (the plug-in DLL, or the program it is linked into): its handle, its file
// as an absolute path, and the folder that holds it.
HINSTANCE OwnModule();
std::string OwnModulePath();
std::wstring OwnModulePathW();
std::string OwnModuleFolder();
// Registers a window class of this module (once: a class already registered is fine); throws on failure.
void RegisterOwnWindowClass(const wchar_t* name, WNDPROC procedure, HBRUSH background);
// Keeps the module loaded until the process ends, whatever unloads it: its window, timers and socket call
// into its code for as long as they live.
void PinOwnModule();
