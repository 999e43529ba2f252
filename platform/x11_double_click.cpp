#include "platform/x11_double_click.h"

#include <cstdlib>

namespace Platform::X11 {

void DoubleClickDetector::SetLimits(unsigned timeMs, int distance)
{
    m_timeMs = timeMs;
    m_distance = distance < 0 ? 0 : distance;
}

bool DoubleClickDetector::Press(int button, int x, int y, std::uint32_t time)
{
    // Unsigned subtraction keeps the interval right across the clock's wrap.
    const bool second = m_armed && button == m_button && time - m_time <= m_timeMs &&
                        std::abs(x - m_x) <= m_distance && std::abs(y - m_y) <= m_distance;
    if (second) {
        m_armed = false;
        return true;
    }
    m_armed = true;
    m_button = button;
    m_x = x;
    m_y = y;
    m_time = time;
    return false;
}

}  // namespace Platform::X11
