#pragma once
// Shared by the win32_* sources only: the backend's window record and the
// helpers that more than one of its files uses. Never included above platform/.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

// NOTE: <windows.h> maps these names to their W functions with macros, which
// would rename the members of Platform::Table. The W functions are called by
// their full names instead.
#undef CreateWindow
#undef FindResource
#undef MessageBox

#include "platform/Accessibility.h"
#include "platform/Platform.h"

#include <string>

namespace Platform {

// The backend's window: the visible layered popup, the zero-size application
// window that owns it (and stands for the program in the task list), and the
// DIB section whose pixels the popup last presented.
struct Window {
    HWND Handle = nullptr;
    HWND Application = nullptr;
    WindowEvents* Events = nullptr;
    HBITMAP Bitmap = nullptr;
    void* Bits = nullptr;
    int BitmapWidth = 0;
    int BitmapHeight = 0;
    HCURSOR Cursor = nullptr;
    unsigned ButtonsDown = 0; // one bit per MouseButton while pressed
    AccessibleTree* Tree = nullptr; // what assistive technology is told, if anything
    void* AccessibleObject = nullptr; // win32_accessible.cpp's object, once asked for
    AccessibleEvents* AccessibleNotifier = nullptr; // raises its WinEvents, while the window exists
    bool PresentFailed = false; // the system refused the last surface
};

namespace Win32 {

HINSTANCE Instance();

// UTF-8 (the table's strings) to and from UTF-16 (the W functions).
std::wstring Widen(const std::string& text);
std::string Narrow(const std::wstring& text);

// win32_window.cpp
bool RegisterWindowClasses(std::string& error);
void UnregisterWindowClasses();
Platform::Window* CreateWindow(const WindowDesc& desc, WindowEvents* events);
void DestroyWindow(Platform::Window* window);
bool PresentWindow(Platform::Window* window, const SurfaceView& surface, int left, int top);
void ShowWindow(Platform::Window* window);
void SetCursor(Platform::Window* window, CursorShape shape);
Platform::Window* GetActiveWindow();
void RunLoop();
void QuitLoop();

// win32_accessible.cpp: answers WM_GETOBJECT and performs posted default
// actions; true when the message was one of these.
bool HandleAccessibleMessage(Platform::Window& window, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT& result);
// Tells assistive technology of the tree's changes (WinEvents) from now on.
void WatchAccessible(Platform::Window& window);
// Cuts off the clients of the window's accessible object before the window goes.
void ReleaseAccessible(Platform::Window& window);

// win32_image.cpp
bool DecodePng(std::span<const std::uint8_t> data, DecodedImage& out);

// win32_shell.cpp
int MessageBox(Platform::Window* owner, const std::string& text, const std::string& caption,
               unsigned style);
bool Beep(unsigned frequency, unsigned durationMs);
std::intptr_t ShellExecute(Platform::Window* owner, const std::string& verb,
                           const std::string& file, const std::string& parameters,
                           const std::string& directory, int showCommand);
[[noreturn]] void ExitProcess(int status);

} // namespace Win32
} // namespace Platform
