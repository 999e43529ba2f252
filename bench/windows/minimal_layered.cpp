// The smallest program that shows what Avendrel.exe shows at start: one
// borderless 800 x 677 layered popup, centred, presented with
// UpdateLayeredWindow from a premultiplied 32-bit DIB section (opaque rows
// 92-584, transparent bands above and below). The start-up benchmark times it
// beside Avendrel.exe. It closes on WM_CLOSE.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdint>

namespace {

constexpr int kWidth = 800;
constexpr int kHeight = 677;

LRESULT CALLBACK MinimalProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CLOSE: ::DestroyWindow(hwnd); return 0;
    case WM_DESTROY: ::PostQuitMessage(0); return 0;
    default: return ::DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    WNDCLASSEXW windowClass{};
    windowClass.cbSize = sizeof windowClass;
    windowClass.lpfnWndProc = MinimalProc;
    windowClass.hInstance = instance;
    windowClass.hCursor = ::LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    windowClass.lpszClassName = L"MinimalLayered";
    if (!::RegisterClassExW(&windowClass)) return 1;

    RECT desktop{};
    ::GetWindowRect(::GetDesktopWindow(), &desktop);
    const int left = (desktop.right - desktop.left - kWidth) / 2;
    const int top = (desktop.bottom - desktop.top - kHeight) / 2;
    HWND hwnd = ::CreateWindowExW(WS_EX_LAYERED, L"MinimalLayered", L"Minimal", WS_POPUP, left,
                                  top, kWidth, kHeight, nullptr, nullptr, instance, nullptr);
    if (!hwnd) return 1;

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = kWidth;
    info.bmiHeader.biHeight = -kHeight;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = ::CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return 1;
    auto* pixels = static_cast<std::uint32_t*>(bits);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            pixels[y * kWidth + x] = (y >= 92 && y < 585) ? 0xFF3080E0u : 0u;

    HDC screen = ::GetDC(nullptr);
    HDC memory = ::CreateCompatibleDC(screen);
    HGDIOBJ previous = ::SelectObject(memory, bitmap);
    POINT position{left, top};
    SIZE size{kWidth, kHeight};
    POINT source{0, 0};
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    ::UpdateLayeredWindow(hwnd, screen, &position, &size, memory, &source, 0, &blend, ULW_ALPHA);
    ::SelectObject(memory, previous);
    ::DeleteDC(memory);
    ::ReleaseDC(nullptr, screen);
    ::ShowWindow(hwnd, SW_SHOWNORMAL);

    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::DeleteObject(bitmap);
    return 0;
}
