#pragma once
// Recognises the second press of a double-click from the presses alone, the
// way the desktop does: the same button again within the double-click time
// and within the double-click distance (in each direction) of the first
// press. A third press starts a new pair. Portable, for unit tests.

#include <cstdint>

namespace Platform::X11 {

class DoubleClickDetector {
public:
    // The limits used when the desktop publishes none.
    static constexpr unsigned DefaultTimeMs = 400;
    static constexpr int DefaultDistance = 5;

    void SetLimits(unsigned timeMs, int distance);

    // `time` is the desktop's millisecond clock (it wraps at 32 bits).
    // Returns true when this press is the second press of a double-click.
    bool Press(int button, int x, int y, std::uint32_t time);

    // Forgets the last press, e.g. when input was taken away meanwhile.
    void Reset() { m_armed = false; }

private:
    unsigned m_timeMs = DefaultTimeMs;
    int m_distance = DefaultDistance;
    bool m_armed = false;  // a first press is waiting for its second
    int m_button = 0;
    int m_x = 0;
    int m_y = 0;
    std::uint32_t m_time = 0;
};

}  // namespace Platform::X11
