#pragma once
// The main window on the desktop's accessibility bus (AT-SPI 2, through ATK
// and its bridge), for a program whose windows are plain X11 windows. Nothing
// is loaded and no bus is asked unless the desktop runs an accessibility bus.

#include "platform/Accessibility.h"

#include <string>

typedef struct _XDisplay Display;

namespace Platform::Linux {

struct AccessibleWindow {
    AccessibleTree* Tree = nullptr;
    std::string ApplicationName;  // what the program is listed under
    // Added to the tree's screen coordinates (the monitor's origin on the root window).
    int OffsetX = 0;
    int OffsetY = 0;
    // Served by calling Serve when readable, while the toolkit's loop waits.
    int WatchFds[2] = {-1, -1};
    void (*Serve)() = nullptr;
};

// Announces the window when the desktop's accessibility is enabled
// (org.a11y.Status on the session bus says IsEnabled or ScreenReaderEnabled);
// true when it was started. `display` is only looked at, for the property that
// a running accessibility bus sets on the root window.
bool StartAccessibility(Display* display, const AccessibleWindow& window);
// The window goes: the tree is no longer read.
void StopAccessibility();
// True once started: the event loop must then sleep in WaitWithAccessibility.
bool AccessibilityRunning();
// Sleeps in the toolkit's loop until the bus, the watched descriptors or
// anything else of the toolkit's has work, and does it.
void WaitWithAccessibility();

}  // namespace Platform::Linux
