#pragma once
// Following the desktop's accessibility switch, as a small state machine that
// knows nothing of D-Bus: the backend feeds it what the session bus says and
// does what it answers. The desktop announces its accessibility bus through
// the session bus (org.a11y.Bus, whose org.a11y.Status tells whether
// accessibility is on and whose GetAddress gives the bus); a session without a
// session bus may still announce one on the X root window.

#include <optional>
#include <string>

namespace Platform::Linux {

enum class SwitchStep {
    Nothing,
    AskStatus,   // ask org.a11y.Status for IsEnabled and ScreenReaderEnabled
    AskAddress,  // ask org.a11y.Bus for the accessibility bus's address
    Start,       // put the window on the bus at Address()
};

class AccessibilitySwitch {
public:
    // Connected to the session bus: the status is asked for at once.
    SwitchStep SessionBusConnected();
    // No session bus: the root window's announcement (empty: none) decides.
    SwitchStep NoSessionBus(const std::string& rootAnnouncement);

    // The answer to AskStatus; a property the answer lacks counts as off.
    SwitchStep StatusAnswered(bool isEnabled, bool screenReaderEnabled);
    // AskStatus failed: nobody owns org.a11y.Bus (it is never started for
    // us), or it did not answer. Accessibility stays off until it says more.
    SwitchStep StatusFailed();
    // org.a11y.Status changed: the values it carries (absent: unchanged), and
    // whether it only said that they changed without saying how.
    SwitchStep StatusChanged(std::optional<bool> isEnabled, std::optional<bool> screenReaderEnabled,
                             bool invalidated);
    // org.a11y.Bus got an owner (or lost it).
    SwitchStep OwnerChanged(bool hasOwner);

    SwitchStep AddressAnswered(const std::string& address);
    SwitchStep AddressFailed();
    // The window could not be put on the bus at Address(): the next time the
    // desktop switches accessibility on, it is tried again.
    void StartFailed();

    bool Enabled() const { return isEnabled_ || screenReaderEnabled_; }
    bool Started() const { return started_; }
    const std::string& Address() const { return address_; }

private:
    SwitchStep Decide();

    bool isEnabled_ = false;
    bool screenReaderEnabled_ = false;
    bool askingStatus_ = false;
    bool askingAddress_ = false;
    bool started_ = false;
    std::string address_;
};

// Where the session bus is: the address the session gives
// (DBUS_SESSION_BUS_ADDRESS; "disabled:" says there is none), else the user's
// bus socket in the runtime folder when it exists, else none. A bus is never
// started for the program.
std::string SessionBusAddress(const char* sessionAddress, const char* runtimeFolder,
                              bool (*socketExists)(const std::string& path));

}  // namespace Platform::Linux
