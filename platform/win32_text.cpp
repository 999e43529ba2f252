// Win32 backend: text conversion between the table's UTF-8 and UTF-16.
// Implemented features:
//  [X] UTF-8 to UTF-16 and back with MultiByteToWideChar / WideCharToMultiByte
// Missing features or Issues:
//  [ ] Invalid UTF-8 becomes U+FFFD rather than an error (the program's texts are fixed)

#include "platform/win32_internal.h"

namespace Platform::Win32 {

std::wstring Widen(const std::string& text)
{
    if (text.empty()) return {};
    const int length =
        ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return {};
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(),
                          length);
    return wide;
}

std::string Narrow(const std::wstring& text)
{
    if (text.empty()) return {};
    const int length = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                             nullptr, 0, nullptr, nullptr);
    if (length <= 0) return {};
    std::string narrow(static_cast<std::size_t>(length), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), narrow.data(),
                          length, nullptr, nullptr);
    return narrow;
}

} // namespace Platform::Win32
