#pragma once
// A surface of premultiplied 32-bit ARGB pixels (0xAARRGGBB per pixel, rows
// top to bottom, no padding), and the drawing operations the controls use.

#include "framework/Geometry.h"
#include "platform/Platform.h"

#include <cstdint>
#include <vector>

// A stretch of one bitmap row whose pixels are all opaque, or all partly
// transparent; fully transparent pixels belong to no run.
struct TPixelRun {
    int Row;
    int Start;
    int Length;
    bool Opaque;
};

// A decoded picture in the same pixel layout.
struct TBitmap {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;
    // The rows' runs, in order; drawing unscaled copies opaque runs whole and
    // skips transparent pixels. Empty until IndexRuns is called.
    std::vector<TPixelRun> Runs;

    // Where each row's runs begin in Runs; Height + 1 entries.
    std::vector<std::size_t> RowRuns;

    // Finds the runs of Pixels; call again whenever Pixels change.
    void IndexRuns();
};

class TSurface {
public:
    TSurface(int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::uint32_t Pixel(int x, int y) const { return pixels_[Index(x, y)]; }
    const std::vector<std::uint32_t>& Pixels() const { return pixels_; }
    Platform::SurfaceView View() const { return {pixels_.data(), width_, height_}; }

    // Sets every pixel of the surface to `pixel`.
    void Fill(std::uint32_t pixel);
    // Draws the whole bitmap into `target` (scaled to it, nearest sample),
    // source over, clipped to the surface.
    void DrawBitmap(const TBitmap& bitmap, const TRect& target);
    // The same as Fill(0) followed by DrawBitmap, writing each pixel once:
    // the bitmap's runs are copied (source over transparent is the source
    // itself) and only the pixels between them are cleared. Returns false,
    // and changes nothing, when the bitmap is not drawn unscaled from its runs.
    bool ClearAndDrawBitmap(const TBitmap& bitmap, const TRect& target);

private:
    std::size_t Index(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x);
    }

    int width_;
    int height_;
    std::vector<std::uint32_t> pixels_;
};

// Source over for premultiplied pixels: source + destination × (1 − source alpha).
std::uint32_t SourceOver(std::uint32_t source, std::uint32_t destination);
