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

void TBitmap::IndexRuns()
{
    Runs.clear();
    RowRuns.assign(1, 0);
    for (int y = 0; y < Height; ++y, RowRuns.push_back(Runs.size())) {
        const std::uint32_t* row = &Pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(Width)];
        int x = 0;
        while (x < Width) {
            const std::uint32_t alpha = row[x] >> 24;
            if (alpha == 0) {
                ++x;
                continue;
            }
            const bool opaque = alpha == 255;
            const int start = x;
            while (x < Width && (row[x] >> 24) != 0 && ((row[x] >> 24) == 255) == opaque) ++x;
            Runs.push_back({y, start, x - start, opaque});
        }
    }
}

bool TSurface::ClearAndDrawBitmap(const TBitmap& bitmap, const TRect& target)
{
    if (bitmap.Width <= 0 || bitmap.Height <= 0 || bitmap.Width != target.Width ||
        bitmap.Height != target.Height || bitmap.RowRuns.size() != static_cast<std::size_t>(bitmap.Height) + 1)
        return false;
    std::uint32_t* const pixels = pixels_.data();
    for (int y = 0; y < height_; ++y) {
        std::uint32_t* row = pixels + Index(0, y);
        int x = 0;  // everything left of x is written
        const int sourceRow = y - target.Top;
        if (sourceRow >= 0 && sourceRow < bitmap.Height) {
            const std::uint32_t* source =
                &bitmap.Pixels[static_cast<std::size_t>(sourceRow) * static_cast<std::size_t>(bitmap.Width)];
            for (std::size_t i = bitmap.RowRuns[static_cast<std::size_t>(sourceRow)];
                 i < bitmap.RowRuns[static_cast<std::size_t>(sourceRow) + 1]; ++i) {
                const TPixelRun& run = bitmap.Runs[i];
                const int from = std::max(target.Left + run.Start, 0);
                const int to = std::min(target.Left + run.Start + run.Length, width_);
                if (from >= to) continue;
                std::fill(row + x, row + from, 0u);
                std::copy(source + (from - target.Left), source + (to - target.Left), row + from);
                x = to;
            }
        }
        std::fill(row + x, row + width_, 0u);
    }
    return true;
}

void TSurface::DrawBitmap(const TBitmap& bitmap, const TRect& target)
{
    if (bitmap.Width <= 0 || bitmap.Height <= 0 || target.Width <= 0 || target.Height <= 0) return;
    const int left = std::max(target.Left, 0);
    const int top = std::max(target.Top, 0);
    const int right = std::min(target.Right(), width_);
    const int bottom = std::min(target.Bottom(), height_);
    const bool unscaled = bitmap.Width == target.Width && bitmap.Height == target.Height;
    if (unscaled && !bitmap.Runs.empty()) {
        // Opaque runs are copied whole; that is what makes composing cheap.
        for (const TPixelRun& run : bitmap.Runs) {
            const int y = target.Top + run.Row;
            if (y < top || y >= bottom) continue;
            const int from = std::max(target.Left + run.Start, left);
            const int to = std::min(target.Left + run.Start + run.Length, right);
            if (from >= to) continue;
            const std::uint32_t* source = &bitmap.Pixels[static_cast<std::size_t>(run.Row) *
                                                             static_cast<std::size_t>(bitmap.Width) +
                                                         static_cast<std::size_t>(from - target.Left)];
            std::uint32_t* destination = &pixels_[Index(from, y)];
            if (run.Opaque) {
                std::copy(source, source + (to - from), destination);
            } else {
                for (int i = 0; i < to - from; ++i) destination[i] = SourceOver(source[i], destination[i]);
            }
        }
        return;
    }
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
