#pragma once
// The Win32 desktop backend. Only the table crosses this header; every
// Windows type stays inside the win32_* sources.

#include "platform/Platform.h"

namespace Platform::Win32 {

// The table to Connect: layered windows, WIC decoding, the shell and the
// message box of the Windows desktop.
Table Connect();

// Restricts every DLL that the process loads from now on to the system
// folder, so that none planted beside the executable is ever loaded. Call it
// first, before anything can load a DLL. False where the system cannot
// restrict the search (the backend's own loads still name the system folder).
bool RestrictDllSearch();

} // namespace Platform::Win32
