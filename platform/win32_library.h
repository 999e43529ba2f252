#pragma once
// System DLLs loaded the first time they are needed, so that start-up does
// not pay for what only a click uses, and loaded from the system folder only,
// so that a DLL of the same name planted beside the executable (a downloads
// folder) is never picked up. Functions are looked up by name into pointers
// typed from the system headers. Shared by the win32_* sources only.

#include "platform/win32_internal.h"

#include <objbase.h>

namespace Platform::Win32 {

class SystemLibrary {
public:
    explicit SystemLibrary(const wchar_t* name) : m_name(name) {}
    SystemLibrary(const SystemLibrary&) = delete;
    SystemLibrary& operator=(const SystemLibrary&) = delete;

    // Loads the DLL from the system folder once; later calls return the first answer.
    bool Open();

    // Looks `symbol` up in the loaded DLL.
    template <typename Function>
    bool Find(const char* symbol, Function*& out) const
    {
        const FARPROC address = m_module ? ::GetProcAddress(m_module, symbol) : nullptr;
        // NOTE: GetProcAddress returns one generic function type; the pointer
        // passes through void (*)() to the real type, which is what it points to.
        out = reinterpret_cast<Function*>(reinterpret_cast<void (*)()>(address));
        return out != nullptr;
    }

private:
    const wchar_t* m_name;
    HMODULE m_module = nullptr;
    bool m_tried = false;
};

// Starts COM on the calling thread (a single-threaded apartment, as the
// shell wants it) the first time something needs it; ole32.dll is loaded
// then. True when COM runs on the thread, also when it already did.
bool StartCom();
// Ends COM on the thread if StartCom started it.
void StopCom();

} // namespace Platform::Win32

// Looks the function `name` up into the pointer of the same name in `api`.
#define AVENDREL_WIN32_FIND(library, api, name) (library).Find(#name, (api).name)
