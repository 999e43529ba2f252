// Win32 backend: the layered main window, its owner and the message loop.
// Implemented features:
//  [X] A WS_EX_LAYERED popup presented with UpdateLayeredWindow (source alpha,
//      constant alpha 255) from a premultiplied 32-bit DIB section; the system
//      passes the mouse through wherever the presented alpha is 0
//  [X] A zero-size application window that owns the popup, carries the task-list
//      entry, the task name and MAINICON (an owned popup gets no entry of its own)
//  [X] Mouse input in window coordinates, double-clicks through CS_DBLCLKS, the
//      mouse captured from the first press until every button is up
//  [X] Hand and arrow cursors through WM_SETCURSOR (client area only)
//  [X] Close requests: WM_CLOSE to either window (Alt+F4, the task list, a
//      process asked to close) and the end of the session
//  [X] The task-list entry closes the program and nothing else: no minimise,
//      maximise, move or size in its styles, its menu or its commands; a
//      window minimised from outside is restored by SC_RESTORE
//  [X] The capture lost (WM_CAPTURECHANGED, WM_CANCELMODE) reported as such
//  [X] A refused surface reported by PresentWindow; tried again on a display change
//  [X] No C++ exception unwinds through a window procedure
// Missing features or Issues:
//  [ ] Expose is reported only after a refused surface: the system keeps a
//      layered window's pixels itself
//  [ ] One main window per process (the program has one)

#include "platform/win32_internal.h"

#include <cstring>
#include <memory>

namespace Platform::Win32 {

namespace {

constexpr wchar_t kApplicationClass[] = L"AvendrelApplication";
constexpr wchar_t kMainClass[] = L"AvendrelWindow";

bool g_quit = false;
DWORD g_loopThread = 0;
Platform::Window* g_window = nullptr; // the one live main window, if any

unsigned ButtonBit(MouseButton button)
{
    return 1u << static_cast<unsigned>(button);
}

int PointX(LPARAM lParam)
{
    return static_cast<short>(LOWORD(lParam)); // signed: captured moves can be left of the window
}

int PointY(LPARAM lParam)
{
    return static_cast<short>(HIWORD(lParam));
}

Platform::Window* WindowOf(HWND hwnd)
{
    return reinterpret_cast<Platform::Window*>(::GetWindowLongPtrW(hwnd, GWLP_USERDATA));
}

// Stores the record passed to CreateWindowExW on the window being created.
void Attach(HWND hwnd, LPARAM lParam)
{
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    ::SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
}

void Press(Platform::Window& window, MouseButton button, LPARAM lParam, bool doubleClick)
{
    if (window.ButtonsDown == 0) ::SetCapture(window.Handle);
    window.ButtonsDown |= ButtonBit(button);
    window.Events->MouseDown(button, PointX(lParam), PointY(lParam), doubleClick);
}

void Release(Platform::Window& window, MouseButton button, LPARAM lParam)
{
    window.ButtonsDown &= ~ButtonBit(button);
    // The capture goes before the release is reported: the release may open a
    // modal box, which must get the mouse.
    if (window.ButtonsDown == 0 && ::GetCapture() == window.Handle) ::ReleaseCapture();
    window.Events->MouseUp(button, PointX(lParam), PointY(lParam));
}

// Returns true when the message was one of the popup's own and sets `result`.
bool HandleMainMessage(Platform::Window& window, UINT message, LPARAM lParam, LRESULT& result)
{
    result = 0;
    switch (message) {
    case WM_MOUSEMOVE: window.Events->MouseMove(PointX(lParam), PointY(lParam)); return true;
    case WM_LBUTTONDOWN: Press(window, MouseButton::Left, lParam, false); return true;
    case WM_MBUTTONDOWN: Press(window, MouseButton::Middle, lParam, false); return true;
    case WM_RBUTTONDOWN: Press(window, MouseButton::Right, lParam, false); return true;
    // The second press of a double-click arrives as its own message instead of
    // a down message; it is still a press, flagged as a double-click.
    case WM_LBUTTONDBLCLK: Press(window, MouseButton::Left, lParam, true); return true;
    case WM_MBUTTONDBLCLK: Press(window, MouseButton::Middle, lParam, true); return true;
    case WM_RBUTTONDBLCLK: Press(window, MouseButton::Right, lParam, true); return true;
    case WM_XBUTTONDOWN:
        Press(window, MouseButton::Other, lParam, false);
        result = TRUE;
        return true;
    case WM_XBUTTONDBLCLK:
        Press(window, MouseButton::Other, lParam, true);
        result = TRUE;
        return true;
    case WM_LBUTTONUP: Release(window, MouseButton::Left, lParam); return true;
    case WM_MBUTTONUP: Release(window, MouseButton::Middle, lParam); return true;
    case WM_RBUTTONUP: Release(window, MouseButton::Right, lParam); return true;
    case WM_XBUTTONUP:
        Release(window, MouseButton::Other, lParam);
        result = TRUE;
        return true;
    case WM_CAPTURECHANGED:
        // Someone else took the mouse (a modal box, the system): no button of
        // ours is held any longer, and no release will come.
        if (reinterpret_cast<HWND>(lParam) != window.Handle && window.ButtonsDown != 0) {
            window.ButtonsDown = 0;
            window.Events->CaptureLost();
        }
        return true;
    case WM_CANCELMODE:
        // The system asks every mode to end (a box or a menu takes over).
        if (::GetCapture() == window.Handle) ::ReleaseCapture();
        if (window.ButtonsDown != 0) {
            window.ButtonsDown = 0;
            window.Events->CaptureLost();
        }
        return true;
    case WM_DISPLAYCHANGE:
        // A surface the system refused may be taken on the new display.
        if (window.PresentFailed) window.Events->Expose();
        return false;
    case WM_SETCURSOR:
        if (LOWORD(lParam) != HTCLIENT) return false;
        ::SetCursor(window.Cursor);
        result = TRUE;
        return true;
    case WM_CLOSE: window.Events->CloseRequest(); return true;
    default: break;
    }
    return false;
}

bool HandleApplicationMessage(Platform::Window& window, UINT message, WPARAM wParam,
                              LRESULT& result)
{
    result = 0;
    switch (message) {
    case WM_SYSCOMMAND:
        // The task-list entry offers closing only: the window is never moved,
        // resized, minimised or maximised. Restoring is let through: it only
        // undoes what something else did (another program or a shell gesture
        // minimised the window), and refusing it would strand the window.
        switch (wParam & 0xFFF0) {
        case SC_MOVE:
        case SC_SIZE:
        case SC_MINIMIZE:
        case SC_MAXIMIZE: return true;
        default: return false;
        }
    case WM_CLOSE: window.Events->CloseRequest(); return true;
    case WM_QUERYENDSESSION: result = TRUE; return true;
    case WM_ENDSESSION:
        // NOTE: the system may end the process once every window has answered
        // this; the request lets the loop return and the program end itself first.
        if (wParam) window.Events->CloseRequest();
        return true;
    case WM_ACTIVATE:
        // Activating the task-list entry activates the popup it stands for,
        // unless a modal box has disabled the popup.
        if (LOWORD(wParam) == WA_INACTIVE || !window.Handle || !::IsWindowEnabled(window.Handle) ||
            !::IsWindowVisible(window.Handle))
            return false;
        ::SetActiveWindow(window.Handle);
        return true;
    default: return false;
    }
}

LRESULT CALLBACK MainProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_NCCREATE) Attach(hwnd, lParam);
        Platform::Window* window = WindowOf(hwnd);
        LRESULT result = 0;
        if (window && window->Events && HandleMainMessage(*window, message, lParam, result))
            return result;
        if (window && HandleAccessibleMessage(*window, message, wParam, lParam, result))
            return result;
    } catch (...) {
        // Nothing above throws; should it, the message gets its default handling.
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

LRESULT CALLBACK ApplicationProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    try {
        if (message == WM_NCCREATE) Attach(hwnd, lParam);
        Platform::Window* window = WindowOf(hwnd);
        LRESULT result = 0;
        if (window && window->Events && HandleApplicationMessage(*window, message, wParam, result))
            return result;
    } catch (...) {
        // As in MainProc.
    }
    return ::DefWindowProcW(hwnd, message, wParam, lParam);
}

HICON LoadMainIcon(int metricX, int metricY)
{
    return static_cast<HICON>(::LoadImageW(Instance(), L"MAINICON", IMAGE_ICON,
                                           ::GetSystemMetrics(metricX), ::GetSystemMetrics(metricY),
                                           LR_DEFAULTCOLOR));
}

// Makes sure the window's DIB section has the given size.
bool EnsureBitmap(Platform::Window& window, int width, int height)
{
    if (window.Bitmap && window.BitmapWidth == width && window.BitmapHeight == height) return true;
    if (window.Bitmap) ::DeleteObject(window.Bitmap);
    window.Bitmap = nullptr;
    window.Bits = nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down rows, as the surface has them
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    window.Bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &window.Bits, nullptr, 0);
    if (!window.Bitmap) return false;
    window.BitmapWidth = width;
    window.BitmapHeight = height;
    return true;
}

} // namespace

bool RegisterWindowClasses(std::string& error)
{
    WNDCLASSEXW application{};
    application.cbSize = sizeof application;
    application.lpfnWndProc = ApplicationProc;
    application.hInstance = Instance();
    application.hIcon = LoadMainIcon(SM_CXICON, SM_CYICON);
    application.hIconSm = LoadMainIcon(SM_CXSMICON, SM_CYSMICON);
    application.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
    application.lpszClassName = kApplicationClass;

    WNDCLASSEXW main = application;
    main.style = CS_DBLCLKS;
    main.lpfnWndProc = MainProc;
    main.hCursor = nullptr; // WM_SETCURSOR sets the shape the framework asked for
    main.lpszClassName = kMainClass;

    if (!::RegisterClassExW(&application) || !::RegisterClassExW(&main)) {
        error =
            "cannot register the window classes (error " + std::to_string(::GetLastError()) + ")";
        ::UnregisterClassW(kApplicationClass, Instance());
        return false;
    }
    return true;
}

void UnregisterWindowClasses()
{
    ::UnregisterClassW(kMainClass, Instance());
    ::UnregisterClassW(kApplicationClass, Instance());
}

Platform::Window* CreateWindow(const WindowDesc& desc, WindowEvents* events)
{
    auto window = std::make_unique<Platform::Window>();
    window->Events = events;
    window->Tree = desc.Accessible;
    window->Cursor = ::LoadCursorW(nullptr, IDC_ARROW);

    const std::wstring taskName = Widen(desc.TaskName);
    const std::wstring caption = Widen(desc.Caption);
    window->Application =
        ::CreateWindowExW(0, kApplicationClass, taskName.c_str(),
                          WS_POPUP | WS_CAPTION | WS_CLIPSIBLINGS | WS_SYSMENU,
                          desc.Left + desc.Width / 2, desc.Top + desc.Height / 2, 0, 0, nullptr,
                          nullptr, Instance(), window.get());
    if (!window->Application) return nullptr;
    // Its system menu (the task-list entry's menu) keeps Close alone.
    if (HMENU menu = ::GetSystemMenu(window->Application, FALSE)) {
        for (UINT command : {SC_RESTORE, SC_MOVE, SC_SIZE, SC_MINIMIZE, SC_MAXIMIZE})
            ::DeleteMenu(menu, command, MF_BYCOMMAND);
    }

    window->Handle = ::CreateWindowExW(
        WS_EX_LAYERED, kMainClass, caption.c_str(), WS_POPUP | WS_CLIPSIBLINGS, desc.Left, desc.Top,
        desc.Width, desc.Height, window->Application, nullptr, Instance(), window.get());
    if (!window->Handle) {
        ::SetWindowLongPtrW(window->Application, GWLP_USERDATA, 0);
        ::DestroyWindow(window->Application);
        return nullptr;
    }
    g_window = window.get();
    WatchAccessible(*window);
    return window.release();
}

void DestroyWindow(Platform::Window* window)
{
    if (!window) return;
    if (::GetCapture() == window->Handle) ::ReleaseCapture();
    ReleaseAccessible(*window);
    // Detach first: the messages that destruction sends need no answer from the framework.
    ::SetWindowLongPtrW(window->Handle, GWLP_USERDATA, 0);
    ::SetWindowLongPtrW(window->Application, GWLP_USERDATA, 0);
    ::DestroyWindow(window->Handle);
    ::DestroyWindow(window->Application);
    if (window->Bitmap) ::DeleteObject(window->Bitmap);
    if (g_window == window) g_window = nullptr;
    delete window;
}

bool PresentWindow(Platform::Window* window, const SurfaceView& surface, int left, int top)
{
    if (!window || !surface.Pixels || surface.Width <= 0 || surface.Height <= 0) return false;
    if (!EnsureBitmap(*window, surface.Width, surface.Height)) return false;
    ::GdiFlush(); // GDI must be done with the bits before they are rewritten
    std::memcpy(window->Bits, surface.Pixels,
                static_cast<std::size_t>(surface.Width) * surface.Height * sizeof(std::uint32_t));

    HDC screen = ::GetDC(nullptr);
    HDC memory = screen ? ::CreateCompatibleDC(screen) : nullptr;
    BOOL presented = FALSE;
    if (memory) {
        HGDIOBJ previous = ::SelectObject(memory, window->Bitmap);
        POINT position{left, top};
        SIZE size{surface.Width, surface.Height};
        POINT source{0, 0};
        BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
        presented = ::UpdateLayeredWindow(window->Handle, screen, &position, &size, memory, &source,
                                          0, &blend, ULW_ALPHA);
        ::SelectObject(memory, previous);
        ::DeleteDC(memory);
    }
    if (screen) ::ReleaseDC(nullptr, screen);
    window->PresentFailed = !presented;
    return presented != FALSE;
}

void ShowWindow(Platform::Window* window)
{
    if (!window) return;
    // The task-list entry first; it has no size, so nothing of it is seen.
    ::ShowWindow(window->Application, SW_SHOWNOACTIVATE);
    ::ShowWindow(window->Handle, SW_SHOWNORMAL);
    ::SetForegroundWindow(window->Handle);
}

void SetCursor(Platform::Window* window, CursorShape shape)
{
    if (!window) return;
    window->Cursor = ::LoadCursorW(nullptr, shape == CursorShape::Hand ? IDC_HAND : IDC_ARROW);
    // The framework changes the shape while it handles a move, after the
    // system has asked for the cursor of that move: set it now while the
    // pointer is over the popup (or the popup holds the mouse).
    POINT point{};
    if (::GetCapture() == window->Handle ||
        (::GetCursorPos(&point) && ::WindowFromPoint(point) == window->Handle))
        ::SetCursor(window->Cursor);
}

Platform::Window* GetActiveWindow()
{
    const HWND active = ::GetActiveWindow();
    if (g_window && active && (active == g_window->Handle || active == g_window->Application))
        return g_window;
    return nullptr;
}

void RunLoop()
{
    g_quit = false;
    g_loopThread = ::GetCurrentThreadId();
    MSG message;
    while (!g_quit) {
        const BOOL got = ::GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break; // WM_QUIT, or the queue is gone
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
}

void QuitLoop()
{
    g_quit = true;
    // Wakes GetMessage when the request came from a sent message, which
    // GetMessage handles without returning.
    if (g_loopThread) ::PostThreadMessageW(g_loopThread, WM_NULL, 0, 0);
}

} // namespace Platform::Win32
