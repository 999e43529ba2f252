#pragma once
// Reads the images of a Windows icon file (.ico: PNG entries and BMP entries
// of 1, 4, 8, 24 or 32 bits per pixel with their transparency masks) and
// packs them the way the _NET_WM_ICON window property carries them.
// Portable: PNG entries are decoded by the function the caller passes.

#include "platform/Platform.h"

#include <cstddef>
#include <cstdint>
#include <functional>
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

// Hands `put` the _NET_WM_ICON data (format 32, which Xlib passes as long):
// width, height, then width × height pixels, for each image in turn, in
// consecutive pieces of at most `maxPiece` values, so that a large icon
// never needs one large buffer.
void NetWmIconData(const std::vector<IconImage>& images, std::size_t maxPiece,
                   const std::function<void(std::span<const unsigned long>)>& put);

}  // namespace Platform::X11
