// X11 backend: the desktop's settings that the backend uses.
// Implemented features:
//  [X] Double-click time and distance from XSETTINGS, 400 ms / 5 px without a manager
//  [X] Followed while the program runs: changed values, a manager that starts
//      later, replaces another, or goes away
// Missing features or Issues:
//  [ ] Only the double-click settings are read

#include "platform/x11_internal.h"
#include "platform/x11_xsettings.h"

#include <climits>
#include <map>
#include <string>

namespace Platform::X11 {

namespace {

// Reads the current manager's settings, or takes the defaults without one.
void ReadSettings(Backend& b)
{
    unsigned timeMs = DoubleClickDetector::DefaultTimeMs;
    int distance = DoubleClickDetector::DefaultDistance;
    if (b.SettingsManager != None) {
        Atom type = None;
        int format = 0;
        unsigned long count = 0, after = 0;
        unsigned char* data = nullptr;
        // A manager that has just gone away fails the request harmlessly.
        if (XGetWindowProperty(b.Dpy, b.SettingsManager, b.Atom.XSettingsSettings, 0,
                               LONG_MAX / 4, False, b.Atom.XSettingsSettings, &type, &format,
                               &count, &after, &data) == Success &&
            data && format == 8) {
            std::map<std::string, int> settings;
            ReadXSettingsIntegers({data, count}, settings);
            if (auto it = settings.find("Net/DoubleClickTime"); it != settings.end() && it->second > 0)
                timeMs = static_cast<unsigned>(it->second);
            if (auto it = settings.find("Net/DoubleClickDistance");
                it != settings.end() && it->second >= 0)
                distance = it->second;
        }
        if (data) XFree(data);
    }
    b.Clicks.SetLimits(timeMs, distance);
}

// Finds the manager that owns the settings now and listens to it.
void FollowManager(Backend& b)
{
    XGrabServer(b.Dpy);  // so that the owner cannot go away between the two requests
    b.SettingsManager = XGetSelectionOwner(b.Dpy, b.Atom.XSettingsSelection);
    if (b.SettingsManager != None)
        XSelectInput(b.Dpy, b.SettingsManager, PropertyChangeMask | StructureNotifyMask);
    XUngrabServer(b.Dpy);
    XFlush(b.Dpy);  // the ungrab must not wait in the buffer: others would hang meanwhile
    ReadSettings(b);
}

}  // namespace

void WatchDesktopSettings()
{
    Backend& b = State();
    // A new manager announces itself to the root window with a MANAGER message.
    XWindowAttributes root;
    if (XGetWindowAttributes(b.Dpy, b.Root, &root))
        XSelectInput(b.Dpy, b.Root, root.your_event_mask | StructureNotifyMask);
    FollowManager(b);
}

bool HandleSettingsEvent(const XEvent& event)
{
    Backend& b = State();
    switch (event.type) {
    case ClientMessage:
        if (event.xclient.window != b.Root || event.xclient.message_type != b.Atom.Manager ||
            static_cast<Atom>(event.xclient.data.l[1]) != b.Atom.XSettingsSelection)
            return false;
        FollowManager(b);
        return true;
    case PropertyNotify:
        if (b.SettingsManager == None || event.xproperty.window != b.SettingsManager) return false;
        if (event.xproperty.atom == b.Atom.XSettingsSettings) ReadSettings(b);
        return true;
    case DestroyNotify:
        if (b.SettingsManager == None || event.xdestroywindow.window != b.SettingsManager)
            return false;
        b.SettingsManager = None;
        FollowManager(b);
        return true;
    default: return false;
    }
}

}  // namespace Platform::X11
