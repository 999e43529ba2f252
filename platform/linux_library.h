#pragma once
// A shared library opened the first time it is needed, so that start-up does
// not pay for loading toolkits the program may never use. Its functions are
// looked up by name into pointers typed from the library's own headers.

#include <dlfcn.h>

namespace Platform::Linux {

class SharedLibrary {
public:
    explicit SharedLibrary(const char* soname) : m_soname(soname) {}

    // Opens the library once; later calls return the first answer.
    bool Open()
    {
        if (!m_tried) {
            m_tried = true;
            m_handle = dlopen(m_soname, RTLD_NOW | RTLD_LOCAL);
        }
        return m_handle != nullptr;
    }

    // Looks `symbol` up in the library and the libraries it depends on.
    template <typename Function>
    bool Find(const char* symbol, Function*& out) const
    {
        out = m_handle ? reinterpret_cast<Function*>(dlsym(m_handle, symbol)) : nullptr;
        return out != nullptr;
    }

private:
    const char* m_soname;
    void* m_handle = nullptr;
    bool m_tried = false;
};

}  // namespace Platform::Linux

// Declares a pointer named and typed like the library function `name`.
#define AVENDREL_LIBRARY_FUNCTION(name) decltype(&::name) name = nullptr
// Looks the function up into the pointer of the same name in `api`.
#define AVENDREL_FIND(library, api, name) (library).Find(#name, (api).name)
