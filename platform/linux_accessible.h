#pragma once
// The main window on the desktop's accessibility bus (AT-SPI 2, through ATK
// and its bridge), for a program whose windows are plain X11 windows. The
// desktop's switch is followed on the session bus; ATK and its bridge are
// loaded only once it says that accessibility is on.

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

// Follows the desktop's accessibility switch for the window: asks the session
// bus whether accessibility is on (org.a11y.Status: IsEnabled or
// ScreenReaderEnabled) and listens for it being switched on later; once it is
// on, puts the window on the bus that org.a11y.Bus names. The bus is never
// started for the program. Without a session bus, an accessibility bus
// announced on the root window of `display` is used. Nothing is done when the
// session asks for no bridge (NO_AT_BRIDGE=1).
void FollowAccessibility(Display* display, const AccessibleWindow& window);
// The window goes: the tree is no longer read and the switch no longer followed.
void StopAccessibility();

// While accessibility is off: the session bus connection that the event loop
// watches (-1: none), and what it calls when that connection is readable.
int AccessibilitySwitchConnection();
void ServeAccessibilitySwitch();

// True once on the bus: the event loop must then sleep in WaitWithAccessibility.
bool AccessibilityRunning();
// Sleeps in the toolkit's loop until the bus, the watched descriptors or
// anything else of the toolkit's has work, and does it.
void WaitWithAccessibility();

// What the window does, for the window events screen readers announce: it was
// shown, it took the keyboard focus or lost it.
void AccessibleWindowShown();
void AccessibleWindowFocused(bool focused);

}  // namespace Platform::Linux
