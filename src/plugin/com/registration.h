#pragma once

#include "platform/win32/win32_headers.h"

// Where the component is registered: for the whole machine (HKEY_CLASSES_ROOT, the type library through
// LoadTypeLibEx) or for the current user only (HKEY_CURRENT_USER\Software\Classes, no administrator rights
// needed).
enum class RegistrationScope { Machine, User };

HRESULT RegisterComponent(RegistrationScope scope);
// Removes what RegisterComponent wrote; what is already gone is no failure.
HRESULT UnregisterComponent(RegistrationScope scope);
