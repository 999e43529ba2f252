#pragma once
// Reads the integer settings out of the XSETTINGS property that a desktop's
// settings manager publishes (e.g. "Net/DoubleClickTime"). Portable: it works
// on the property's bytes, so it builds and is tested without a display.

#include <cstdint>
#include <map>
#include <span>
#include <string>

namespace Platform::X11 {

// Fills `integers` with every integer setting; string and colour settings are
// skipped. Returns false (and keeps what was read before the fault) when the
// data is cut short or malformed.
bool ReadXSettingsIntegers(std::span<const std::uint8_t> data,
                           std::map<std::string, int>& integers);

}  // namespace Platform::X11
