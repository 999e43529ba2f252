#include "platform/PngDecoder.h"

#include <png.h>

#include <cstring>

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
    // Straight 8-bit RGBA; the artwork is sRGB, so no conversion happens.
    image.format = PNG_FORMAT_RGBA;
    std::vector<std::uint8_t> rgba(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, rgba.data(), 0, nullptr)) {
        png_image_free(&image);
        return false;
    }
    out.Width = static_cast<int>(image.width);
    out.Height = static_cast<int>(image.height);
    out.Pixels.resize(static_cast<std::size_t>(out.Width) * static_cast<std::size_t>(out.Height));
    for (std::size_t i = 0; i < out.Pixels.size(); ++i) {
        const std::uint8_t* p = &rgba[i * 4];
        const std::uint32_t a = p[3];
        if (a == 255) {
            out.Pixels[i] = 0xFF000000u | (std::uint32_t{p[0]} << 16) | (std::uint32_t{p[1]} << 8) | p[2];
        } else {
            out.Pixels[i] = (a << 24) | (Premultiply(p[0], a) << 16) | (Premultiply(p[1], a) << 8) |
                            Premultiply(p[2], a);
        }
    }
    return true;
}

bool DecodePngForHeadless(std::span<const std::uint8_t> data, DecodedImage& out)
{
    return DecodePngWithLibpng(data, out);
}

}  // namespace Platform
