#include "framework/Surface.h"

#include <algorithm>

TSurface::TSurface(int width, int height)
    : width_(width), height_(height),
      pixels_(static_cast<std::size_t>(std::max(width, 0)) * static_cast<std::size_t>(std::max(height, 0)))
{
}

void TSurface::Fill(std::uint32_t pixel)
{
    std::fill(pixels_.begin(), pixels_.end(), pixel);
}

std::uint32_t SourceOver(std::uint32_t source, std::uint32_t destination)
{
    const std::uint32_t alpha = source >> 24;
    if (alpha == 255) return source;
    if (alpha == 0) return destination;
    const std::uint32_t keep = 255 - alpha;
    std::uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const std::uint32_t s = (source >> shift) & 0xFF;
        const std::uint32_t d = (destination >> shift) & 0xFF;
        const std::uint32_t channel = s + (d * keep + 127) / 255;
        result |= std::min<std::uint32_t>(channel, 255) << shift;
    }
    return result;
}

void TSurface::DrawBitmap(const TBitmap& bitmap, const TRect& target)
{
    if (bitmap.Width <= 0 || bitmap.Height <= 0 || target.Width <= 0 || target.Height <= 0) return;
    const int left = std::max(target.Left, 0);
    const int top = std::max(target.Top, 0);
    const int right = std::min(target.Right(), width_);
    const int bottom = std::min(target.Bottom(), height_);
    const bool unscaled = bitmap.Width == target.Width && bitmap.Height == target.Height;
    for (int y = top; y < bottom; ++y) {
        const int sourceY = unscaled ? y - target.Top
                                     : static_cast<int>((static_cast<long long>(y - target.Top) * 2 + 1) *
                                                        bitmap.Height / (2LL * target.Height));
        const std::uint32_t* sourceRow =
            &bitmap.Pixels[static_cast<std::size_t>(sourceY) * static_cast<std::size_t>(bitmap.Width)];
        std::uint32_t* row = &pixels_[Index(0, y)];
        for (int x = left; x < right; ++x) {
            const int sourceX = unscaled ? x - target.Left
                                         : static_cast<int>((static_cast<long long>(x - target.Left) * 2 + 1) *
                                                            bitmap.Width / (2LL * target.Width));
            row[x] = SourceOver(sourceRow[sourceX], row[x]);
        }
    }
}
