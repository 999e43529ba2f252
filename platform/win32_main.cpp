// Win32 backend: the Unicode GUI entry point of Avendrel.exe.
// Implemented features:
//  [X] wWinMain (linked with -municode); the command line is not read
// Missing features or Issues:
//  [ ] None

#include "platform/win32_internal.h"
#include "platform/win32_platform.h"

#include "app/Avendrel.h"
#include "framework/Startup.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    return StartProgram(Platform::Win32::Connect(), Avendrel);
}
