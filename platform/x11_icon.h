#pragma once
// Reads the images of a Windows icon file (.ico: PNG entries and BMP entries
// of 1, 4, 8, 24 or 32 bits per pixel with their transparency masks) and
// packs them the way the _NET_WM_ICON window property carries them.
// Portable: PNG entries are decoded by the function the caller passes.

#include "platform/Platform.h"

#include <cstdint>
#include <span>
#include <vector>

namespace Platform::X11 {

// One icon image in straight (not premultiplied) 0xAARRGGBB, rows top down.
struct IconImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;
};

using PngDecodeFunction = bool (*)(std::span<const std::uint8_t> data, DecodedImage& out);

// One image per size, the entry with the most colours of that size, in file
// order; entries that are cut short or malformed are skipped. Empty when
// `data` is not an icon file.
std::vector<IconImage> ReadIconImages(std::span<const std::uint8_t> data, PngDecodeFunction decodePng);

// width, height, then width × height pixels, for each image in turn: the
// layout of _NET_WM_ICON (format 32, which Xlib passes as an array of long).
std::vector<unsigned long> NetWmIconData(const std::vector<IconImage>& images);

}  // namespace Platform::X11
