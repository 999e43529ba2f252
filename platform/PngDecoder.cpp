#include "platform/PngDecoder.h"

#include <png.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <utility>

namespace Platform {

namespace {

// Premultiplies one channel with rounding, the way the Windows imaging
// component does, so that both backends produce the same surface.
std::uint32_t Premultiply(std::uint32_t channel, std::uint32_t alpha)
{
    return (channel * alpha + 127) / 255;
}

}  // namespace

bool DecodePngWithLibpng(std::span<const std::uint8_t> data, DecodedImage& out)
{
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, data.data(), data.size()))
        return false;
    // Straight 8-bit colour with alpha, in the byte order that makes each
    // pixel one native 0xAARRGGBB word, read straight into the result; the
    // artwork is sRGB, so no conversion happens. Premultiplied in place.
    image.format = std::endian::native == std::endian::little ? PNG_FORMAT_BGRA : PNG_FORMAT_ARGB;
    if (image.height != 0 && image.width > SIZE_MAX / 4 / image.height) {
        png_image_free(&image); // more pixels than memory can hold
        return false;
    }
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(image.width) * image.height);
    if (pixels.size() * 4 != PNG_IMAGE_SIZE(image) ||
        !png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    for (std::uint32_t& pixel : pixels) {
        const std::uint32_t a = pixel >> 24;
        if (a == 255) continue;
        pixel = (a << 24) | (Premultiply(pixel >> 16 & 0xFF, a) << 16) |
                (Premultiply(pixel >> 8 & 0xFF, a) << 8) | Premultiply(pixel & 0xFF, a);
    }
    out.Width = static_cast<int>(image.width);
    out.Height = static_cast<int>(image.height);
    out.Pixels = std::move(pixels);
    return true;
}

bool DecodePngForHeadless(std::span<const std::uint8_t> data, DecodedImage& out)
{
    return DecodePngWithLibpng(data, out);
}

}  // namespace Platform
