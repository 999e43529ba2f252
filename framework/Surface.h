#pragma once
// A surface of premultiplied 32-bit ARGB pixels (0xAARRGGBB per pixel, rows
// top to bottom, no padding), and the drawing operations the controls use.

#include "framework/Geometry.h"
#include "platform/Platform.h"

#include <cstdint>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <vector>

// Memory that is zero from the start: calloc's, which for a large block is
// the system's fresh zeroed pages, costing nothing until they are written.
// Value-initialised elements are left as calloc made them (zero), so that a
// pixel row nobody draws into is never touched.
template <typename T>
struct TZeroedAllocator {
    static_assert(std::is_trivial_v<T>, "zero bytes must be a valid value");
    using value_type = T;

    TZeroedAllocator() = default;
    template <typename U>
    TZeroedAllocator(const TZeroedAllocator<U>&) noexcept {}

    T* allocate(std::size_t count)
    {
        void* memory = std::calloc(count, sizeof(T));
        if (!memory) throw std::bad_alloc();
        return static_cast<T*>(memory);
    }
    void deallocate(T* memory, std::size_t) noexcept { std::free(memory); }

    // Value-initialisation: calloc's zero bytes already are the value.
    template <typename U>
    void construct(U*) noexcept {}
    template <typename U, typename... Args>
    void construct(U* place, Args&&... args)
    {
        ::new (static_cast<void*>(place)) U(std::forward<Args>(args)...);
    }

    friend bool operator==(const TZeroedAllocator&, const TZeroedAllocator&) { return true; }
};

using TPixelBuffer = std::vector<std::uint32_t, TZeroedAllocator<std::uint32_t>>;

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
    const TPixelBuffer& Pixels() const { return pixels_; }
    Platform::SurfaceView View() const { return {pixels_.data(), width_, height_}; }

    // Sets every pixel of the surface to `pixel`. Transparent (0) rewrites
    // only the rows drawn into since: a surface starts as zero memory that
    // costs nothing until written, and rows nobody draws into never are.
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
    // Widens the band of rows written since the last transparent fill.
    void MarkWritten(int top, int bottom);

    std::size_t Index(int x, int y) const
    {
        return static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
               static_cast<std::size_t>(x);
    }

    int width_;
    int height_;
    TPixelBuffer pixels_;
    // Rows [writtenTop_, writtenBottom_) may hold non-zero pixels.
    int writtenTop_ = 0;
    int writtenBottom_ = 0;
};

// Source over for premultiplied pixels: source + destination × (1 − source alpha).
std::uint32_t SourceOver(std::uint32_t source, std::uint32_t destination);
