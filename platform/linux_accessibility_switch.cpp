#include "platform/linux_accessibility_switch.h"

#include <string_view>

namespace Platform::Linux {

SwitchStep AccessibilitySwitch::SessionBusConnected()
{
    askingStatus_ = true;
    return SwitchStep::AskStatus;
}

SwitchStep AccessibilitySwitch::NoSessionBus(const std::string& rootAnnouncement)
{
    if (started_ || rootAnnouncement.empty()) return SwitchStep::Nothing;
    address_ = rootAnnouncement;
    started_ = true;
    return SwitchStep::Start;
}

SwitchStep AccessibilitySwitch::StatusAnswered(bool isEnabled, bool screenReaderEnabled)
{
    askingStatus_ = false;
    isEnabled_ = isEnabled;
    screenReaderEnabled_ = screenReaderEnabled;
    return Decide();
}

SwitchStep AccessibilitySwitch::StatusFailed()
{
    askingStatus_ = false;
    isEnabled_ = screenReaderEnabled_ = false;
    return SwitchStep::Nothing;
}

SwitchStep AccessibilitySwitch::StatusChanged(std::optional<bool> isEnabled,
                                              std::optional<bool> screenReaderEnabled,
                                              bool invalidated)
{
    if (isEnabled) isEnabled_ = *isEnabled;
    if (screenReaderEnabled) screenReaderEnabled_ = *screenReaderEnabled;
    if (invalidated && !started_) {
        if (askingStatus_) return SwitchStep::Nothing;
        askingStatus_ = true;
        return SwitchStep::AskStatus;
    }
    return Decide();
}

SwitchStep AccessibilitySwitch::OwnerChanged(bool hasOwner)
{
    if (!hasOwner) {
        // Its status went with it; a new owner is asked afresh.
        isEnabled_ = screenReaderEnabled_ = false;
        return SwitchStep::Nothing;
    }
    if (started_ || askingStatus_) return SwitchStep::Nothing;
    askingStatus_ = true;
    return SwitchStep::AskStatus;
}

SwitchStep AccessibilitySwitch::AddressAnswered(const std::string& address)
{
    askingAddress_ = false;
    if (address.empty() || started_ || !Enabled()) return SwitchStep::Nothing;
    address_ = address;
    started_ = true;
    return SwitchStep::Start;
}

SwitchStep AccessibilitySwitch::AddressFailed()
{
    askingAddress_ = false;
    return SwitchStep::Nothing;
}

void AccessibilitySwitch::StartFailed()
{
    started_ = false;
    // Only a change of the switch tries again, so that a bus that refuses the
    // program is not asked in a loop.
    isEnabled_ = screenReaderEnabled_ = false;
}

SwitchStep AccessibilitySwitch::Decide()
{
    if (started_ || askingAddress_ || !Enabled()) return SwitchStep::Nothing;
    askingAddress_ = true;
    return SwitchStep::AskAddress;
}

std::string SessionBusAddress(const char* sessionAddress, const char* runtimeFolder,
                              bool (*socketExists)(const std::string& path))
{
    if (sessionAddress && *sessionAddress) {
        // The address that says a session has no bus, as GLib writes it.
        if (std::string_view(sessionAddress).starts_with("disabled:")) return {};
        return sessionAddress;
    }
    if (!runtimeFolder || *runtimeFolder != '/') return {};
    const std::string socket = std::string(runtimeFolder) + "/bus";
    // NOTE: a path with characters the address syntax reserves would need
    // escaping; such a runtime folder is not looked at.
    for (char c : socket)
        if (c == ';' || c == ',' || c == '=' || c == '%' || c == ' ') return {};
    return socketExists && socketExists(socket) ? "unix:path=" + socket : std::string();
}

}  // namespace Platform::Linux
