// An assistive-technology client for the tests: it finds the main window
// "Avendrel", asks it for its client object with AccessibleObjectFromWindow
// alone, as a screen reader does, and prints what it reads, one line each.
//
//   accessible_client.exe read          the object and its children:
//       count N
//       node ID role=R state=0xS location=L,T,W,H action="..." name="..." description="..."
//   accessible_client.exe hit X Y       hit X,Y -> ID (or "none")
//   accessible_client.exe do ID         do ID -> 0xHRESULT of accDoDefaultAction
//
// Texts are printed as UTF-8. Exit status 0 when the window answered, 1 otherwise.

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <oleacc.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

std::string Utf8(BSTR text)
{
    if (!text) return "";
    const int wide = static_cast<int>(::SysStringLen(text));
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text, wide, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, wide, out.data(), length, nullptr, nullptr);
    ::SysFreeString(text);
    return out;
}

VARIANT Child(LONG id)
{
    VARIANT child;
    ::VariantInit(&child);
    child.vt = VT_I4;
    child.lVal = id;
    return child;
}

// A text property, or "<hr 0x...>" when the call failed.
template <class Get>
std::string Text(Get get)
{
    BSTR text = nullptr;
    const HRESULT hr = get(&text);
    if (FAILED(hr)) {
        char code[32];
        std::snprintf(code, sizeof code, "<hr 0x%08lX>", static_cast<unsigned long>(hr));
        return code;
    }
    return Utf8(text);
}

void PrintNode(IAccessible& object, LONG id)
{
    const VARIANT child = Child(id);
    VARIANT role, state;
    ::VariantInit(&role);
    ::VariantInit(&state);
    object.get_accRole(child, &role);
    object.get_accState(child, &state);
    LONG left = -1, top = -1, width = -1, height = -1;
    object.accLocation(&left, &top, &width, &height, child);
    const std::string action = Text([&](BSTR* out) { return object.get_accDefaultAction(child, out); });
    const std::string name = Text([&](BSTR* out) { return object.get_accName(child, out); });
    const std::string description = Text([&](BSTR* out) { return object.get_accDescription(child, out); });
    std::printf("node %ld role=%ld state=0x%lX location=%ld,%ld,%ld,%ld action=\"%s\" name=\"%s\" "
                "description=\"%s\"\n",
                static_cast<long>(id), role.vt == VT_I4 ? static_cast<long>(role.lVal) : -1L,
                state.vt == VT_I4 ? static_cast<unsigned long>(state.lVal) : 0xFFFFFFFFul,
                static_cast<long>(left), static_cast<long>(top), static_cast<long>(width),
                static_cast<long>(height), action.c_str(), name.c_str(), description.c_str());
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    const std::string command = argv[1];
    ::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    const HWND window = ::FindWindowW(L"AvendrelWindow", L"Avendrel");
    if (!window) {
        std::printf("no window\n");
        return 1;
    }
    IAccessible* object = nullptr;
    const HRESULT found = ::AccessibleObjectFromWindow(window, static_cast<DWORD>(OBJID_CLIENT),
                                                       __uuidof(IAccessible),
                                                       reinterpret_cast<void**>(&object));
    if (FAILED(found) || !object) {
        std::printf("AccessibleObjectFromWindow failed 0x%08lX\n", static_cast<unsigned long>(found));
        return 1;
    }
    if (command == "read") {
        LONG count = -1;
        object->get_accChildCount(&count);
        std::printf("count %ld\n", static_cast<long>(count));
        for (LONG id = 0; id <= count; ++id) PrintNode(*object, id);
    } else if (command == "hit" && argc == 4) {
        VARIANT at;
        ::VariantInit(&at);
        const HRESULT hr = object->accHitTest(std::atol(argv[2]), std::atol(argv[3]), &at);
        if (hr == S_OK && at.vt == VT_I4)
            std::printf("hit %s,%s -> %ld\n", argv[2], argv[3], static_cast<long>(at.lVal));
        else
            std::printf("hit %s,%s -> none\n", argv[2], argv[3]);
    } else if (command == "do" && argc == 3) {
        const HRESULT hr = object->accDoDefaultAction(Child(std::atol(argv[2])));
        std::printf("do %s -> 0x%08lX\n", argv[2], static_cast<unsigned long>(hr));
    } else {
        object->Release();
        return 2;
    }
    std::fflush(stdout);
    object->Release();
    ::CoUninitialize();
    return 0;
}
