#pragma once
// Lower-casing of UTF-8 text with the C library's Unicode case tables, for
// backends whose desktop offers no function of its own for it. Bytes that are
// not UTF-8 pass through unchanged.

#include <string>

namespace Platform {

std::string LowerCaseUtf8(const std::string& text);

}  // namespace Platform
