// Win32 backend: the message box, the tone, the shell and the end of the process.
// Implemented features:
//  [X] MessageBoxW, modal to its owner (it disables the owner while open);
//      its result is passed on as it is (0, or -1 from Wine without a display
//      driver, means the box could not be shown); a Yes/No box that was shown
//      answers only Yes or No, also where the system lets Escape or a close
//      request end it
//  [X] Beep with the given frequency and duration
//  [X] ShellExecuteExW with the given owner, verb, file, parameters, directory
//      and show command and SEE_MASK_NOASYNC, so that the hand-over is complete
//      when it returns and the process may end at once; shell32.dll is loaded
//      from the system folder, and COM started, at the first call
//  [X] Nothing is left to finish at the end of the process (FinishHandOvers
//      stays empty in the table)
//  [X] ExitProcess with the given status
// Missing features or Issues:
//  [ ] None

#include "platform/win32_internal.h"
#include "platform/win32_library.h"

#include <shellapi.h>
#undef ShellExecute

namespace Platform::Win32 {

namespace {

HWND HandleOf(const Platform::Window* window)
{
    return window ? window->Handle : nullptr;
}

// True when WM_QUIT waits in the thread's queue; a box ends at once then.
bool QuitPending()
{
    MSG message;
    return ::PeekMessageW(&message, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE) != FALSE;
}

} // namespace

int MessageBox(Platform::Window* owner, const std::string& text, const std::string& caption,
               unsigned style)
{
    const std::wstring wideText = Widen(text);
    const std::wstring wideCaption = Widen(caption);
    const bool yesNo = (style & MB_TYPEMASK) == MB_YESNO;
    // HACK: under Wine the box's common controls delay-load msimg32.dll with a
    // search that ignores the restriction and starts in the executable's
    // folder. Loaded from the system folder first, it is found already loaded.
    static SystemLibrary boxDrawing(L"msimg32.dll");
    boxDrawing.Open();
    for (;;) {
        const int result =
            ::MessageBoxW(HandleOf(owner), wideText.c_str(), wideCaption.c_str(), style);
        // HACK: Wine ends a Yes/No box with IDCANCEL on Escape or a close
        // request, which Windows never does (such a box has no way out but its
        // two buttons). Ask again, as if the key or request had been ignored.
        if (!yesNo || result != IDCANCEL) return result;
        if (QuitPending()) return Box::Failed; // the box can no longer be shown
    }
}

bool Beep(unsigned frequency, unsigned durationMs)
{
    return ::Beep(frequency, durationMs) != FALSE;
}

std::intptr_t ShellExecute(Platform::Window* owner, const std::string& verb,
                           const std::string& file, const std::string& parameters,
                           const std::string& directory, int showCommand)
{
    const std::wstring wideVerb = Widen(verb);
    const std::wstring wideFile = Widen(file);
    const std::wstring wideParameters = Widen(parameters);
    const std::wstring wideDirectory = Widen(directory);
    // The shell may hand the address to components that need COM.
    StartCom();
    static SystemLibrary shell(L"shell32.dll");
    static decltype(&::ShellExecuteExW) shellExecuteEx = nullptr;
    if (!shellExecuteEx && (!shell.Open() || !shell.Find("ShellExecuteExW", shellExecuteEx)))
        return SE_ERR_DLLNOTFOUND; // a failure value (at most 32), as the shell itself reports
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof info;
    // The process may end right after this call (the sign-up answered Yes):
    // the shell must finish handing the address over before it returns, or
    // the browser may never get it. The shell's own error messages still appear.
    info.fMask = SEE_MASK_NOASYNC;
    info.hwnd = HandleOf(owner);
    info.lpVerb = wideVerb.c_str();
    info.lpFile = wideFile.c_str();
    info.lpParameters = wideParameters.c_str();
    info.lpDirectory = wideDirectory.c_str();
    info.nShow = showCommand;
    shellExecuteEx(&info);
    // hInstApp holds a value above 32 on success, an SE_ERR_ value otherwise.
    return reinterpret_cast<std::intptr_t>(info.hInstApp);
}

void ExitProcess(int status)
{
    ::ExitProcess(static_cast<UINT>(status));
}

} // namespace Platform::Win32
