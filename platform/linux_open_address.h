#pragma once
// Opens an address with the desktop's default handler for its scheme.

#include <string>

namespace Platform::Linux {

// Hands `address` to its default handler, or to xdg-open when the desktop's
// MIME settings know none, and returns without waiting for either. False
// when the named handler or xdg-open could not be started; nothing is printed.
bool OpenAddress(const std::string& address);

}  // namespace Platform::Linux
