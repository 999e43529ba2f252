#pragma once
// The Win32 desktop backend. Only the table crosses this header; every
// Windows type stays inside the win32_* sources.

#include "platform/Platform.h"

namespace Platform::Win32 {

// The table to Connect: layered windows, WIC decoding, the shell and the
// message box of the Windows desktop.
Table Connect();

} // namespace Platform::Win32
