// Win32 backend: the search for DLLs loaded at run time.
// Implemented features:
//  [X] RestrictDllSearch: SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32),
//      looked up at run time, so that every later load in the process (the
//      program's, the system's and the toolkit's own) searches the system
//      folder only; a system that lacks the function still starts
//  [X] SystemLibrary: LoadLibraryExW limited to the system folder, or by the
//      full path in the system folder where that limit is not known
//  [X] COM started when first needed, through ole32.dll
// Missing features or Issues:
//  [ ] The DLLs in the import table are the loader's to find (kernel32,
//      user32, gdi32 and msvcrt: known DLLs that Windows maps from its own folder)

#include "platform/win32_library.h"

#include "platform/win32_platform.h"

#include <string>

namespace Platform::Win32 {

bool RestrictDllSearch()
{
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD);
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const FARPROC address = kernel ? ::GetProcAddress(kernel, "SetDefaultDllDirectories") : nullptr;
    if (!address) return false; // an older system without it: the full paths below still hold
    const auto restrict =
        reinterpret_cast<SetDefaultDllDirectoriesFunction>(reinterpret_cast<void (*)()>(address));
    return restrict(LOAD_LIBRARY_SEARCH_SYSTEM32) != FALSE;
}

bool SystemLibrary::Open()
{
    if (m_tried) return m_module != nullptr;
    m_tried = true;
    m_module = ::LoadLibraryExW(m_name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
    if (m_module || ::GetLastError() != ERROR_INVALID_PARAMETER) return m_module != nullptr;
    // NOTE: a system without the search flags refuses them as an invalid
    // parameter; the DLL is then named by its full path in the system folder.
    std::wstring path(MAX_PATH, L'\0');
    const UINT length = ::GetSystemDirectoryW(path.data(), static_cast<UINT>(path.size()));
    if (length == 0 || length >= path.size()) return false;
    path.resize(length);
    path += L'\\';
    path += m_name;
    m_module = ::LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    return m_module != nullptr;
}

namespace {

struct ComFunctions {
    decltype(&::CoInitializeEx) CoInitializeEx = nullptr;
    decltype(&::CoUninitialize) CoUninitialize = nullptr;
};

// The functions of ole32.dll, or nullptr when it or one of them cannot be had.
const ComFunctions* Com()
{
    static const ComFunctions* const functions = []() -> const ComFunctions* {
        static SystemLibrary library(L"ole32.dll");
        static ComFunctions found;
        if (!library.Open() || !AVENDREL_WIN32_FIND(library, found, CoInitializeEx) ||
            !AVENDREL_WIN32_FIND(library, found, CoUninitialize))
            return nullptr;
        return &found;
    }();
    return functions;
}

enum class ComState { NotTried, Started, RunningAlready, Failed };
ComState g_com = ComState::NotTried;

} // namespace

bool StartCom()
{
    if (g_com == ComState::NotTried) {
        const ComFunctions* const api = Com();
        const HRESULT result =
            api ? api->CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE)
                : E_FAIL;
        // S_FALSE: already started on this thread, which still wants its own
        // CoUninitialize; RPC_E_CHANGED_MODE: running in another mode, usable.
        g_com = SUCCEEDED(result)                ? ComState::Started
                : result == RPC_E_CHANGED_MODE ? ComState::RunningAlready
                                               : ComState::Failed;
    }
    return g_com == ComState::Started || g_com == ComState::RunningAlready;
}

void StopCom()
{
    if (g_com == ComState::Started) Com()->CoUninitialize();
    g_com = ComState::NotTried;
}

} // namespace Platform::Win32
