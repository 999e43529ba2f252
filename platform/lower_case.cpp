#include "platform/lower_case.h"

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <climits>
#include <clocale>
#include <cwchar>
#include <cwctype>
#include <locale.h>
#endif

namespace Platform {

#ifdef _WIN32

std::string LowerCaseUtf8(const std::string& text)
{
    if (text.empty()) return text;
    const int size = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
    if (wide <= 0) return text;
    std::wstring buffer(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, text.data(), size, buffer.data(), wide);
    ::CharLowerBuffW(buffer.data(), static_cast<DWORD>(buffer.size()));
    const int narrow = ::WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, nullptr, 0, nullptr, nullptr);
    if (narrow <= 0) return text;
    std::string result(static_cast<std::size_t>(narrow), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, buffer.data(), wide, result.data(), narrow, nullptr, nullptr);
    return result;
}

#else

std::string LowerCaseUtf8(const std::string& text)
{
    // The C.UTF-8 locale is built into the C library: its tables are there
    // whatever locales the machine has installed or the environment names.
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(nullptr));
    if (!utf8) return text;
    const locale_t previous = uselocale(utf8);
    std::string result;
    result.reserve(text.size());
    std::mbstate_t in{};
    std::size_t at = 0;
    while (at < text.size()) {
        wchar_t character = 0;
        const std::size_t length = std::mbrtowc(&character, text.data() + at, text.size() - at, &in);
        if (length == 0 || length > text.size() - at) {
            // An embedded NUL, or a byte that starts no character: kept as it is.
            result.push_back(text[at++]);
            in = std::mbstate_t{};
            continue;
        }
        char encoded[MB_LEN_MAX];
        std::mbstate_t out{};
        const std::size_t written =
            std::wcrtomb(encoded, static_cast<wchar_t>(std::towlower(static_cast<wint_t>(character))), &out);
        if (written == static_cast<std::size_t>(-1)) result.append(text, at, length);
        else result.append(encoded, written);
        at += length;
    }
    uselocale(previous);
    return result;
}

#endif

}  // namespace Platform
