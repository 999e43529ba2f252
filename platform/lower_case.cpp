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

namespace {

// The length of the UTF-8 sequence that `lead` starts, or 0 for a byte that
// starts none.
std::size_t SequenceLength(unsigned char lead)
{
    if (lead < 0x80) return 1;
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 0;
}

}  // namespace

std::string LowerCaseUtf8(const std::string& text)
{
    // One character at a time, so that a byte that is not UTF-8 is kept as it
    // is instead of becoming U+FFFD, as the conversion of a whole string would.
    std::string result;
    result.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t length = SequenceLength(static_cast<unsigned char>(text[at]));
        wchar_t wide[2];
        const int units = length == 0 || length > text.size() - at
                              ? 0
                              : ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data() + at,
                                                      static_cast<int>(length), wide, 2);
        if (units <= 0) {
            result.push_back(text[at++]);
            continue;
        }
        ::CharLowerBuffW(wide, static_cast<DWORD>(units));
        char encoded[8];
        const int written =
            ::WideCharToMultiByte(CP_UTF8, 0, wide, units, encoded, sizeof encoded, nullptr, nullptr);
        if (written > 0) result.append(encoded, static_cast<std::size_t>(written));
        else result.append(text, at, length);
        at += length;
    }
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
