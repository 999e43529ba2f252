#include "platform/x11_xsettings.h"

#include <cstddef>

namespace Platform::X11 {

namespace {

// A cursor over the property bytes in the byte order the data declares.
class Reader {
public:
    explicit Reader(std::span<const std::uint8_t> data) : m_data(data) {}
    void SetBigEndian(bool big) { m_big = big; }
    bool Has(std::size_t count) const { return m_data.size() - m_pos >= count; }
    bool Skip(std::size_t count)
    {
        if (!Has(count)) return false;
        m_pos += count;
        return true;
    }
    bool Byte(std::uint8_t& out)
    {
        if (!Has(1)) return false;
        out = m_data[m_pos++];
        return true;
    }
    bool Card16(std::uint16_t& out)
    {
        if (!Has(2)) return false;
        const std::uint8_t a = m_data[m_pos], b = m_data[m_pos + 1];
        out = m_big ? static_cast<std::uint16_t>(a << 8 | b) : static_cast<std::uint16_t>(b << 8 | a);
        m_pos += 2;
        return true;
    }
    bool Card32(std::uint32_t& out)
    {
        if (!Has(4)) return false;
        out = 0;
        for (int i = 0; i < 4; ++i) {
            const std::uint32_t byte = m_data[m_pos + (m_big ? i : 3 - i)];
            out = out << 8 | byte;
        }
        m_pos += 4;
        return true;
    }
    bool Text(std::size_t length, std::string& out)
    {
        if (!Has(length)) return false;
        out.assign(reinterpret_cast<const char*>(m_data.data() + m_pos), length);
        m_pos += length;
        return true;
    }

private:
    std::span<const std::uint8_t> m_data;
    std::size_t m_pos = 0;
    bool m_big = false;
};

std::size_t Padding(std::size_t length)
{
    return (4 - length % 4) % 4;
}

enum : std::uint8_t { SettingInteger = 0, SettingString = 1, SettingColor = 2 };

}  // namespace

bool ReadXSettingsIntegers(std::span<const std::uint8_t> data, std::map<std::string, int>& integers)
{
    Reader reader(data);
    std::uint8_t order = 0;
    std::uint32_t serial = 0, count = 0;
    if (!reader.Byte(order) || order > 1) return false;
    reader.SetBigEndian(order == 1);
    if (!reader.Skip(3) || !reader.Card32(serial) || !reader.Card32(count)) return false;
    for (std::uint32_t i = 0; i < count; ++i) {
        std::uint8_t type = 0;
        std::uint16_t nameLength = 0;
        std::string name;
        std::uint32_t changed = 0;
        if (!reader.Byte(type) || !reader.Skip(1) || !reader.Card16(nameLength) ||
            !reader.Text(nameLength, name) || !reader.Skip(Padding(nameLength)) ||
            !reader.Card32(changed))
            return false;
        switch (type) {
        case SettingInteger: {
            std::uint32_t value = 0;
            if (!reader.Card32(value)) return false;
            integers[name] = static_cast<int>(value);
            break;
        }
        case SettingString: {
            std::uint32_t length = 0;
            if (!reader.Card32(length) || !reader.Skip(length) || !reader.Skip(Padding(length)))
                return false;
            break;
        }
        case SettingColor:
            if (!reader.Skip(8)) return false;
            break;
        default: return false;  // an unknown type has an unknown size
        }
    }
    return true;
}

}  // namespace Platform::X11
