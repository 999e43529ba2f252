#pragma once
// Opens an address with the desktop's default handler for its scheme.

#include <string>

namespace Platform::Linux {

// Hands `address` to its default handler and returns without waiting for it.
// False when there is none or it could not be started; nothing is printed.
bool OpenAddress(const std::string& address);

}  // namespace Platform::Linux
