#pragma once

// The Windows headers, for the files of this folder and of the COM boundary. Three of their macros would
// rename names of the system's own code (MessageBox, RGB, GetOpenFileName); they go, and the Win32 calls are
// made by their W names.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

#undef MessageBox
#undef RGB
#undef GetOpenFileName
