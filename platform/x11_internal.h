#pragma once
// State that the X11 backend's files share. Only the backend includes this.

#include "platform/Platform.h"
#include "platform/x11_double_click.h"

#include <X11/Xlib.h>

// NOTE: X.h defines CursorShape (a size class of XQueryBestSize) as a macro,
// which would hide Platform::CursorShape; this backend never queries sizes.
#undef CursorShape

namespace Platform::X11 {

struct Atoms {
    Atom WmProtocols, WmDeleteWindow, NetWmName, NetWmIcon, NetWmPid, NetWmWindowType,
        NetWmWindowTypeNormal, MotifWmHints, Utf8String, XSettingsSettings, XSettingsSelection,
        Manager;
};

struct Backend {
    Display* Dpy = nullptr;
    int Screen = 0;
    ::Window Root = 0;
    Atoms Atom{};
    // The primary monitor, in root window coordinates.
    int MonitorX = 0;
    int MonitorY = 0;
    int MonitorWidth = 0;
    int MonitorHeight = 0;
    // Written by the signal handler, read by the loop: a close request.
    int SignalPipe[2] = {-1, -1};
    bool Quit = false;
    // Message boxes open; while above 0 the main window takes no input and a
    // close request waits until the last box is answered.
    int ModalDepth = 0;
    bool CloseWaiting = false;
    DoubleClickDetector Clicks;
    ::Window SettingsManager = 0;  // the XSETTINGS owner being followed, or 0
    Platform::Window* Main = nullptr;
};

Backend& State();

// x11_window.cpp: the window entries of the table
Platform::Window* CreateWindow(const WindowDesc& desc, WindowEvents* events);
void DestroyWindow(Platform::Window* window);
bool PresentWindow(Platform::Window* window, const SurfaceView& surface, int left, int top);
void ShowWindow(Platform::Window* window);
void SetCursor(Platform::Window* window, CursorShape shape);
Platform::Window* GetActiveWindow();
// x11_window.cpp: events and the modal state
void HandleEvent(XEvent& event);
void EnterModal();
void LeaveModal();
::Window NativeWindow(const Platform::Window* window);
// The window's rectangle on the root window (for centring a box on it).
void WindowFrame(const Platform::Window* window, int& x, int& y, int& width, int& height);

// x11_settings.cpp: the double-click limits from the desktop's settings manager,
// followed as they change and as managers come and go.
void WatchDesktopSettings();
// True when the event was about the settings (and has been handled).
bool HandleSettingsEvent(const XEvent& event);

// x11_platform.cpp: handles every event and signal that is waiting, without blocking.
void DispatchWaiting();
// A close request from the desktop or a signal; waits while a box is open.
void RequestClose();

}  // namespace Platform::X11
