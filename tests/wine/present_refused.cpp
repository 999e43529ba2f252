// The program with a Win32 desktop that refuses the window's first picture:
// everything else is the real backend. Run under Wine by tests/wine to see
// how a refused presentation is reported and recovered from on Windows.
#include "platform/win32_platform.h"

#include "app/Avendrel.h"
#include "framework/Startup.h"

#include <windows.h>

namespace {

Platform::Table g_desktop;
int g_refusalsLeft = 1;

bool RefuseFirstPresentation(Platform::Window* window, const Platform::SurfaceView& surface, int left,
                             int top)
{
    if (g_refusalsLeft > 0) {
        --g_refusalsLeft;
        return false;
    }
    return g_desktop.PresentWindow(window, surface, left, top);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    g_desktop = Platform::Win32::Connect();
    Platform::Table table = g_desktop;
    table.PresentWindow = RefuseFirstPresentation;
    return StartProgram(table, Avendrel);
}
