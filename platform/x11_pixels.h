#pragma once
// A premultiplied ARGB surface turned into the pixel values of a visual that
// is not the surface's own layout. Portable: no X11 header is needed to build
// or test it; the backend packs the values into an image for the visual.

#include "platform/Platform.h"

#include <cstdint>
#include <span>
#include <vector>

namespace Platform::X11 {

// A TrueColor or DirectColor visual: where each channel sits in a pixel. The
// masks are contiguous runs of bits of any width (5, 6, 8, 10 ...); alpha is 0
// for a visual without an alpha channel.
struct ChannelMasks {
    std::uint32_t Red = 0;
    std::uint32_t Green = 0;
    std::uint32_t Blue = 0;
    std::uint32_t Alpha = 0;
};

// One pixel value per surface pixel: each premultiplied channel scaled to the
// width of its mask, rounded to the nearest step. Without an alpha mask the
// colour is what the premultiplied pixel shows over black.
std::vector<std::uint32_t> MaskedPixels(const SurfaceView& surface, const ChannelMasks& masks);

// A colour that an indexed visual (PseudoColor, StaticColor, GrayScale,
// StaticGray) can show, with its pixel value.
struct PaletteColour {
    std::uint32_t Pixel = 0;
    std::uint8_t Red = 0;
    std::uint8_t Green = 0;
    std::uint8_t Blue = 0;
};

// One pixel value per surface pixel: the nearest palette colour after an
// ordered dither as coarse as the palette's spacing, so that areas between
// two palette colours mix them. On a grey visual colours are compared by
// their lightness. An empty palette gives pixel 0 everywhere.
std::vector<std::uint32_t> PalettePixels(const SurfaceView& surface,
                                         std::span<const PaletteColour> palette, bool grey);

// The colours of a cube with `levels` steps per channel (levels³ colours,
// black first, white last), or of a ramp of `levels` greys.
std::vector<PaletteColour> ColourCube(int levels);
std::vector<PaletteColour> GreyRamp(int levels);

} // namespace Platform::X11
