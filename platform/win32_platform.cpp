// Win32 backend: start and end of the desktop, resources, the screen, and the table.
// Implemented features:
//  [X] The window classes; COM is started when first needed (win32_library.cpp)
//  [X] Resources from the executable's RCDATA section
//  [X] The executable's file name from GetModuleFileNameW, any length
//  [X] The primary screen's size from the desktop window's rectangle
//  [X] No screen-resolution awareness is declared: the system scales the window
// Missing features or Issues:
//  [ ] The icon group MAINICON is used by the window classes and is not RCDATA

#include "platform/win32_platform.h"

#include "platform/lower_case.h"
#include "platform/win32_internal.h"
#include "platform/win32_library.h"

namespace Platform::Win32 {

namespace {

bool Init(std::string& error)
{
    return RegisterWindowClasses(error);
}

void Terminate()
{
    UnregisterWindowClasses();
    StopCom();
}

std::span<const std::uint8_t> FindResource(const char* name)
{
    const std::wstring wideName = Widen(name ? name : "");
    HRSRC found = ::FindResourceW(Instance(), wideName.c_str(), RT_RCDATA);
    if (!found) return {};
    HGLOBAL loaded = ::LoadResource(Instance(), found);
    const DWORD size = ::SizeofResource(Instance(), found);
    const void* bytes = loaded ? ::LockResource(loaded) : nullptr;
    if (!bytes || size == 0) return {};
    return {static_cast<const std::uint8_t*>(bytes), size};
}

std::string ExecutableName()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length =
            ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        path.resize(path.size() * 2); // truncated: try a longer buffer
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    return Narrow(slash == std::wstring::npos ? path : path.substr(slash + 1));
}

ScreenSize GetScreenSize()
{
    RECT desktop{};
    if (!::GetWindowRect(::GetDesktopWindow(), &desktop)) return {};
    return {desktop.right - desktop.left, desktop.bottom - desktop.top};
}

} // namespace

HINSTANCE Instance()
{
    return ::GetModuleHandleW(nullptr);
}

Table Connect()
{
    Table table;
    table.Name = "win32";
    table.Init = Init;
    table.Terminate = Terminate;
    table.FindResource = FindResource;
    table.DecodePng = DecodePng;
    table.ExecutableName = ExecutableName;
    table.LowerCase = LowerCaseUtf8;  // CharLowerBuffW: as the system lowers
    table.GetScreenSize = GetScreenSize;
    table.CreateWindow = CreateWindow;
    table.DestroyWindow = DestroyWindow;
    table.PresentWindow = PresentWindow;
    table.ShowWindow = ShowWindow;
    table.SetCursor = SetCursor;
    table.GetActiveWindow = GetActiveWindow;
    table.RunLoop = RunLoop;
    table.QuitLoop = QuitLoop;
    table.MessageBox = MessageBox;
    table.Beep = Beep;
    table.ShellExecute = ShellExecute;
    // No FinishHandOvers: ShellExecute returns only once the shell has the address.
    table.ExitProcess = ExitProcess;
    return table;
}

} // namespace Platform::Win32
