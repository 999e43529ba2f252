// Test helper, run under Wine: loads each DLL named on the command line the
// way any code in a process may, with LoadLibraryW and the default search,
// and prints per name "<name> loaded" or "<name> failed". With "restricted"
// as the first argument it first restricts the search as Avendrel.exe does
// at its start; without, it shows what an unprotected program loads.

#include "platform/win32_platform.h"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <cstdio>
#include <cwchar>

int wmain(int argc, wchar_t** argv)
{
    int first = 1;
    if (argc > 1 && std::wcscmp(argv[1], L"restricted") == 0) {
        if (!Platform::Win32::RestrictDllSearch()) {
            std::printf("cannot restrict the DLL search\n");
            return 1;
        }
        first = 2;
    }
    for (int index = first; index < argc; ++index) {
        const HMODULE module = ::LoadLibraryW(argv[index]);
        std::printf("%ls %s\n", argv[index], module ? "loaded" : "failed");
    }
    return 0;
}
