#include "platform/x11_pixels.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <limits>

namespace Platform::X11 {

namespace {

// `value` (0-255) scaled to the width of `mask` and moved into its place.
std::uint32_t IntoMask(std::uint32_t value, std::uint32_t mask)
{
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const std::uint64_t top = mask >> shift; // all ones, the channel's largest value
    return static_cast<std::uint32_t>(((value * top + 127) / 255) << shift);
}

int Lightness(int red, int green, int blue)
{
    // Rec. 601 weights, in 1/1024.
    return (306 * red + 601 * green + 117 * blue + 512) >> 10;
}

// A 4 x 4 Bayer matrix: thresholds 0-15 spread evenly over each 4 x 4 block.
constexpr int Bayer[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};

// The typical distance between neighbouring palette colours along one channel.
double PaletteStep(std::size_t colours, bool grey)
{
    if (colours < 2) return 0;
    const double perChannel =
        grey ? static_cast<double>(colours) : std::cbrt(static_cast<double>(colours));
    return 255.0 / std::max(1.0, perChannel - 1.0);
}

class NearestColour {
public:
    NearestColour(std::span<const PaletteColour> palette, bool grey)
        : m_palette(palette), m_grey(grey),
          m_cache(grey ? 256 : 32 * 32 * 32, std::numeric_limits<std::uint32_t>::max())
    {
    }

    // The palette index nearest to the colour; colours are looked up at 5 bits
    // per channel (or 8 bits of lightness), which the dither hides.
    std::uint32_t Find(int red, int green, int blue)
    {
        std::size_t key;
        if (m_grey) {
            const int light = Lightness(red, green, blue);
            red = green = blue = light;
            key = static_cast<std::size_t>(light);
        } else {
            key = static_cast<std::size_t>(((red >> 3) << 10) | ((green >> 3) << 5) | (blue >> 3));
            red = (red & ~7) | 4;
            green = (green & ~7) | 4;
            blue = (blue & ~7) | 4;
        }
        std::uint32_t& slot = m_cache[key];
        if (slot == std::numeric_limits<std::uint32_t>::max()) slot = Search(red, green, blue);
        return slot;
    }

private:
    std::uint32_t Search(int red, int green, int blue) const
    {
        std::uint32_t best = 0;
        long bestDistance = std::numeric_limits<long>::max();
        for (std::size_t i = 0; i < m_palette.size(); ++i) {
            const PaletteColour& c = m_palette[i];
            long distance;
            if (m_grey) {
                const long d = Lightness(c.Red, c.Green, c.Blue) - red;
                distance = d * d;
            } else {
                const long dr = c.Red - red, dg = c.Green - green, db = c.Blue - blue;
                distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
            }
            if (distance < bestDistance) {
                bestDistance = distance;
                best = static_cast<std::uint32_t>(i);
            }
        }
        return best;
    }

    std::span<const PaletteColour> m_palette;
    bool m_grey;
    std::vector<std::uint32_t> m_cache;
};

} // namespace

std::vector<std::uint32_t> MaskedPixels(const SurfaceView& surface, const ChannelMasks& masks)
{
    const std::size_t count = static_cast<std::size_t>(std::max(surface.Width, 0)) *
                              static_cast<std::size_t>(std::max(surface.Height, 0));
    std::vector<std::uint32_t> out(surface.Pixels ? count : 0);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const std::uint32_t p = surface.Pixels[i];
        out[i] = IntoMask(p >> 24, masks.Alpha) | IntoMask((p >> 16) & 0xFF, masks.Red) |
                 IntoMask((p >> 8) & 0xFF, masks.Green) | IntoMask(p & 0xFF, masks.Blue);
    }
    return out;
}

std::vector<std::uint32_t> PalettePixels(const SurfaceView& surface,
                                         std::span<const PaletteColour> palette, bool grey)
{
    if (!surface.Pixels || surface.Width <= 0 || surface.Height <= 0) return {};
    std::vector<std::uint32_t> out(static_cast<std::size_t>(surface.Width) *
                                   static_cast<std::size_t>(surface.Height));
    if (palette.empty()) return out;
    // The dither stays within half a step, less the lookup's rounding (up to 4),
    // so that a colour of the palette is always shown as itself.
    const double reach = std::max(0.0, PaletteStep(palette.size(), grey) / 2 - 4.5);
    NearestColour nearest(palette, grey);
    std::size_t i = 0;
    for (int y = 0; y < surface.Height; ++y) {
        for (int x = 0; x < surface.Width; ++x, ++i) {
            const std::uint32_t p = surface.Pixels[i];
            // An offset between -reach and +reach that differs from pixel to pixel.
            const int offset =
                static_cast<int>(std::lround(((Bayer[y & 3][x & 3] + 0.5) / 8.0 - 1.0) * reach));
            auto channel = [offset](std::uint32_t v) {
                return std::clamp(int(v) + offset, 0, 255);
            };
            out[i] = palette[nearest.Find(channel((p >> 16) & 0xFF), channel((p >> 8) & 0xFF),
                                          channel(p & 0xFF))]
                         .Pixel;
        }
    }
    return out;
}

std::vector<PaletteColour> ColourCube(int levels)
{
    std::vector<PaletteColour> cube;
    if (levels < 2) return cube;
    auto level = [levels](int i) {
        return static_cast<std::uint8_t>((i * 255 + (levels - 1) / 2) / (levels - 1));
    };
    for (int r = 0; r < levels; ++r)
        for (int g = 0; g < levels; ++g)
            for (int b = 0; b < levels; ++b)
                cube.push_back({0, level(r), level(g), level(b)});
    return cube;
}

std::vector<PaletteColour> GreyRamp(int levels)
{
    std::vector<PaletteColour> ramp;
    if (levels < 2) return ramp;
    for (int i = 0; i < levels; ++i) {
        const auto v = static_cast<std::uint8_t>((i * 255 + (levels - 1) / 2) / (levels - 1));
        ramp.push_back({0, v, v, v});
    }
    return ramp;
}

} // namespace Platform::X11
