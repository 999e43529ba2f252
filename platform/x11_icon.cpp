#include "platform/x11_icon.h"

#include <cstddef>
#include <cstring>

namespace Platform::X11 {

namespace {

constexpr int MaxIconSide = 1024;  // no real icon is larger; guards the allocation

std::uint32_t Le16(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0] | p[1] << 8);
}

std::uint32_t Le32(const std::uint8_t* p)
{
    return static_cast<std::uint32_t>(p[0]) | static_cast<std::uint32_t>(p[1]) << 8 |
           static_cast<std::uint32_t>(p[2]) << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

// Turns premultiplied ARGB back into straight ARGB.
std::uint32_t Unpremultiply(std::uint32_t pixel)
{
    const std::uint32_t a = pixel >> 24;
    if (a == 0) return 0;
    if (a == 255) return pixel;
    auto channel = [&](int shift) {
        const std::uint32_t c = (pixel >> shift & 0xFF) * 255 + a / 2;
        const std::uint32_t value = c / a;
        return (value > 255 ? 255u : value) << shift;
    };
    return a << 24 | channel(16) | channel(8) | channel(0);
}

bool ReadPngEntry(std::span<const std::uint8_t> entry, PngDecodeFunction decodePng, IconImage& out)
{
    DecodedImage decoded;
    if (!decodePng || !decodePng(entry, decoded)) return false;
    if (decoded.Width <= 0 || decoded.Height <= 0 ||
        decoded.Pixels.size() != static_cast<std::size_t>(decoded.Width) * decoded.Height)
        return false;
    out.Width = decoded.Width;
    out.Height = decoded.Height;
    out.Pixels = std::move(decoded.Pixels);
    for (std::uint32_t& pixel : out.Pixels) pixel = Unpremultiply(pixel);
    return true;
}

// A device-independent bitmap without its file header: the header, the
// palette, the colour rows and then the 1-bit mask rows, both bottom up.
bool ReadBitmapEntry(std::span<const std::uint8_t> entry, IconImage& out)
{
    if (entry.size() < 40) return false;
    const std::uint8_t* p = entry.data();
    const std::uint32_t headerSize = Le32(p);
    const auto width = static_cast<std::int32_t>(Le32(p + 4));
    const auto doubledHeight = static_cast<std::int32_t>(Le32(p + 8));
    const std::uint32_t bitCount = Le16(p + 14);
    const std::uint32_t compression = Le32(p + 16);
    std::uint32_t colorsUsed = Le32(p + 32);
    if (headerSize < 40 || headerSize > entry.size()) return false;
    if (width <= 0 || width > MaxIconSide || doubledHeight <= 0 || doubledHeight % 2 != 0 ||
        doubledHeight / 2 > MaxIconSide)
        return false;
    // Uncompressed only; 32-bit entries may declare their standard masks as bit fields.
    if (!(compression == 0 || (compression == 3 && bitCount == 32))) return false;
    if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 24 && bitCount != 32)
        return false;
    const int height = doubledHeight / 2;
    std::size_t offset = headerSize;
    if (compression == 3 && headerSize == 40) offset += 12;  // the masks follow the header
    std::span<const std::uint8_t> palette;
    if (bitCount <= 8) {
        const std::uint32_t maxColors = 1u << bitCount;
        if (colorsUsed == 0 || colorsUsed > maxColors) colorsUsed = maxColors;
        if (entry.size() < offset + colorsUsed * 4) return false;
        palette = entry.subspan(offset, colorsUsed * 4);
        offset += colorsUsed * 4;
    }
    const std::size_t colorStride = ((static_cast<std::size_t>(width) * bitCount + 31) / 32) * 4;
    const std::size_t maskStride = ((static_cast<std::size_t>(width) + 31) / 32) * 4;
    const std::size_t colorBytes = colorStride * height;
    if (entry.size() < offset + colorBytes) return false;
    const std::uint8_t* colors = p + offset;
    // Some 32-bit entries carry no mask; every other kind needs it.
    const bool hasMask = entry.size() >= offset + colorBytes + maskStride * height;
    if (!hasMask && bitCount != 32) return false;
    const std::uint8_t* mask = hasMask ? colors + colorBytes : nullptr;

    out.Width = width;
    out.Height = height;
    out.Pixels.assign(static_cast<std::size_t>(width) * height, 0);
    bool anyAlpha = false;
    for (int row = 0; row < height; ++row) {
        const std::uint8_t* src = colors + colorStride * (height - 1 - row);
        std::uint32_t* dst = out.Pixels.data() + static_cast<std::size_t>(row) * width;
        for (int x = 0; x < width; ++x) {
            std::uint32_t pixel = 0;
            if (bitCount == 32) {
                pixel = Le32(src + x * 4);
                anyAlpha = anyAlpha || (pixel >> 24) != 0;
            } else if (bitCount == 24) {
                const std::uint8_t* bgr = src + x * 3;
                pixel = 0xFF000000u | static_cast<std::uint32_t>(bgr[2]) << 16 |
                        static_cast<std::uint32_t>(bgr[1]) << 8 | bgr[0];
            } else {
                const std::size_t bit = static_cast<std::size_t>(x) * bitCount;
                const std::uint32_t shift = 8 - bitCount - bit % 8;
                const std::uint32_t index = (src[bit / 8] >> shift) & ((1u << bitCount) - 1);
                if (index * 4 + 4 <= palette.size()) {
                    const std::uint8_t* bgr = palette.data() + index * 4;
                    pixel = 0xFF000000u | static_cast<std::uint32_t>(bgr[2]) << 16 |
                            static_cast<std::uint32_t>(bgr[1]) << 8 | bgr[0];
                }
            }
            dst[x] = pixel;
        }
    }
    // The mask decides transparency unless a 32-bit entry has its own alpha.
    if (mask && !(bitCount == 32 && anyAlpha)) {
        for (int row = 0; row < height; ++row) {
            const std::uint8_t* bits = mask + maskStride * (height - 1 - row);
            std::uint32_t* dst = out.Pixels.data() + static_cast<std::size_t>(row) * width;
            for (int x = 0; x < width; ++x) {
                const bool transparent = bits[x / 8] >> (7 - x % 8) & 1;
                dst[x] = transparent ? 0 : (dst[x] | 0xFF000000u);
            }
        }
    }
    return true;
}

}  // namespace

std::vector<IconImage> ReadIconImages(std::span<const std::uint8_t> data, PngDecodeFunction decodePng)
{
    std::vector<IconImage> images;
    if (data.size() < 6 || Le16(data.data()) != 0 || Le16(data.data() + 2) != 1) return images;
    const std::uint32_t count = Le16(data.data() + 4);
    if (data.size() < 6 + static_cast<std::size_t>(count) * 16) return images;
    std::vector<unsigned> depths;  // bits per pixel of each kept image
    static constexpr std::uint8_t PngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::uint8_t* dirEntry = data.data() + 6 + i * 16;
        const std::size_t size = Le32(dirEntry + 8);
        const std::size_t offset = Le32(dirEntry + 12);
        if (offset > data.size() || size > data.size() - offset) continue;
        const std::span<const std::uint8_t> entry = data.subspan(offset, size);
        IconImage image;
        const bool isPng = entry.size() >= 8 && std::memcmp(entry.data(), PngSignature, 8) == 0;
        const bool ok = isPng ? ReadPngEntry(entry, decodePng, image) : ReadBitmapEntry(entry, image);
        if (!ok || image.Width > MaxIconSide || image.Height > MaxIconSide) continue;
        // PNG entries carry full colour; a bitmap entry says its depth in its header.
        const unsigned depth = isPng ? 32 : Le16(entry.data() + 14);
        bool replaced = false;
        for (std::size_t k = 0; k < images.size() && !replaced; ++k) {
            if (images[k].Width != image.Width || images[k].Height != image.Height) continue;
            if (depth > depths[k]) {
                images[k] = std::move(image);
                depths[k] = depth;
            }
            replaced = true;
        }
        if (!replaced) {
            images.push_back(std::move(image));
            depths.push_back(depth);
        }
    }
    return images;
}

void NetWmIconData(const std::vector<IconImage>& images, std::size_t maxPiece,
                   const std::function<void(std::span<const unsigned long>)>& put)
{
    if (maxPiece < 2) maxPiece = 2;
    std::vector<unsigned long> piece;
    piece.reserve(maxPiece);
    auto flush = [&] {
        if (!piece.empty()) put(piece);
        piece.clear();
    };
    for (const IconImage& image : images) {
        if (piece.size() + 2 > maxPiece) flush();
        piece.push_back(static_cast<unsigned long>(image.Width));
        piece.push_back(static_cast<unsigned long>(image.Height));
        for (std::uint32_t pixel : image.Pixels) {
            if (piece.size() == maxPiece) flush();
            piece.push_back(pixel);
        }
    }
    flush();
}

}  // namespace Platform::X11
