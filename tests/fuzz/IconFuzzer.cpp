// libFuzzer target for the icon reader: an icon file's bytes (its directory,
// PNG entries through libpng, BMP entries with their masks) are either read
// into images or skipped entry by entry, and the images are packed into the
// _NET_WM_ICON data in bounded pieces. A crash, undefined behaviour, a leak or
// a hang is a fault; so is an image whose pixels do not match its size, or
// packed data that is not width, height and the pixels of each image.

#include "platform/PngDecoder.h"
#include "platform/x11_icon.h"

#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const auto images = Platform::X11::ReadIconImages(std::span<const std::uint8_t>(data, size),
                                                      Platform::DecodePngWithLibpng);
    std::size_t expected = 0;
    for (const auto& image : images) {
        if (image.Width <= 0 || image.Height <= 0) std::abort();
        if (image.Pixels.size() != static_cast<std::size_t>(image.Width) * image.Height) std::abort();
        expected += 2 + image.Pixels.size();
    }
    constexpr std::size_t kPiece = 1000;
    std::size_t packed = 0;
    Platform::X11::NetWmIconData(images, kPiece, [&](std::span<const unsigned long> piece) {
        if (piece.empty() || piece.size() > kPiece) std::abort();
        packed += piece.size();
    });
    if (packed != expected) std::abort();
    return 0;
}
