// The Windows program entry of Avendrel.exe: the Unicode GUI entry point
// (linked with -municode) with the Win32 backend under the portable program.
// The command line is not read.

#include "app/Avendrel.h"
#include "framework/Startup.h"
#include "platform/win32_platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    // First of all: from here on, DLLs come from the system folder only.
    Platform::Win32::RestrictDllSearch();
    return StartProgram(Platform::Win32::Connect(), Avendrel);
}
