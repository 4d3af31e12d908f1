#pragma once

// The Windows headers, for the files of this folder and of the COM boundary. Some of their macros would
// rename names of the system's own code (MessageBox, RGB, GetOpenFileName, the open-file flags); they go,
// the Win32 calls are made by their W names, and the flags are the dialog module's own constants.
#include <windows.h>
#include <winsock2.h>
#include <ws2tcpip.h>

// After windows.h, which they build on.
#include <commctrl.h>
#include <commdlg.h>

#undef MessageBox
#undef RGB
#undef GetOpenFileName
#undef OFN_HIDEREADONLY
#undef OFN_ALLOWMULTISELECT
#undef OFN_CREATEPROMPT
#undef OFN_EXPLORER
#undef OFN_NODEREFERENCELINKS
#undef OFN_LONGNAMES
