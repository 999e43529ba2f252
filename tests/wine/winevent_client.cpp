// A WinEvent client for the tests: it listens out of context, as screen
// readers do (SetWinEventHook with WINEVENT_OUTOFCONTEXT, for every process),
// for the state changes of the window "Avendrel"'s client object, reads each
// changed object's state back through AccessibleObjectFromEvent, and writes
// one line per event to the file named by its argument:
//
//   ready                                   once the hook is set
//   statechange child=ID state=0xS          S: the state read back, or
//   statechange child=ID state=<hr 0x...>   the failure of reading it
//
// It runs until it is ended. Exit status 1 when the hook cannot be set.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cwchar>

namespace {

std::FILE* g_out = nullptr;

void Line(const char* text)
{
    std::fputs(text, g_out);
    std::fputc('\n', g_out);
    std::fflush(g_out);
}

bool IsTheWindow(HWND window)
{
    wchar_t title[64] = {};
    ::GetWindowTextW(window, title, 64);
    return std::wcscmp(title, L"Avendrel") == 0;
}

void CALLBACK OnEvent(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD)
{
    if (event != EVENT_OBJECT_STATECHANGE || object != OBJID_CLIENT || !window || !IsTheWindow(window))
        return;
    char line[128];
    IAccessible* accessible = nullptr;
    VARIANT id;
    ::VariantInit(&id);
    HRESULT hr = ::AccessibleObjectFromEvent(window, object, child, &accessible, &id);
    VARIANT state;
    ::VariantInit(&state);
    if (SUCCEEDED(hr)) {
        hr = accessible->get_accState(id, &state);
        accessible->Release();
    }
    if (SUCCEEDED(hr) && state.vt == VT_I4)
        std::snprintf(line, sizeof line, "statechange child=%ld state=0x%lX", static_cast<long>(child),
                      static_cast<unsigned long>(state.lVal));
    else
        std::snprintf(line, sizeof line, "statechange child=%ld state=<hr 0x%08lX>",
                      static_cast<long>(child), static_cast<unsigned long>(hr));
    Line(line);
}

}  // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) return 2;
    g_out = _wfopen(argv[1], L"w");
    if (!g_out) return 2;
    ::CoInitialize(nullptr);
    const HWINEVENTHOOK hook = ::SetWinEventHook(EVENT_OBJECT_STATECHANGE, EVENT_OBJECT_STATECHANGE,
                                                 nullptr, OnEvent, 0, 0, WINEVENT_OUTOFCONTEXT);
    if (!hook) {
        Line("SetWinEventHook failed");
        return 1;
    }
    Line("ready");
    // Out-of-context events arrive as messages to this thread.
    MSG message;
    while (::GetMessageW(&message, nullptr, 0, 0) > 0) {
        ::TranslateMessage(&message);
        ::DispatchMessageW(&message);
    }
    ::UnhookWinEvent(hook);
    return 0;
}
