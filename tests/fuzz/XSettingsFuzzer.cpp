// libFuzzer target for the XSETTINGS reader: the property's bytes are written
// by whichever X client owns the settings selection, so any bytes must be
// either read or refused. A crash, undefined behaviour, a leak or a hang is a
// fault; so is a refusal that still reports a setting it never read whole.

#include "platform/x11_xsettings.h"

#include <cstdint>
#include <cstdlib>
#include <map>
#include <span>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::map<std::string, int> integers;
    Platform::X11::ReadXSettingsIntegers(std::span<const std::uint8_t>(data, size), integers);
    // Every setting read carries its name inside the data, so no name can be
    // longer than the data itself.
    for (const auto& [name, value] : integers) {
        (void)value;
        if (name.size() > size) std::abort();
    }
    return 0;
}
