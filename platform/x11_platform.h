#pragma once
// The Linux desktop backend: X11 through Xlib for the window, GTK for message
// boxes, GIO for opening addresses, ALSA for the tone. No X11 header leaks.

#include "platform/Platform.h"

namespace Platform::X11 {

// The table to Connect. Nothing is opened until the framework calls Init.
Table Connect();

}  // namespace Platform::X11
