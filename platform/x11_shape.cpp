#include "platform/x11_shape.h"

#include <cstddef>

namespace Platform::X11 {

namespace {

struct Run {
    int Start = 0;
    int End = 0;  // exclusive
    bool operator==(const Run&) const = default;
};

// Appends the runs of pixels with alpha above 0 in one row.
void RowRuns(const std::uint32_t* row, int width, std::vector<Run>& runs)
{
    runs.clear();
    int x = 0;
    while (x < width) {
        while (x < width && (row[x] >> 24) == 0) ++x;
        if (x == width) break;
        const int start = x;
        while (x < width && (row[x] >> 24) != 0) ++x;
        runs.push_back({start, x});
    }
}

}  // namespace

std::vector<ShapeRect> VisibleRectangles(const SurfaceView& surface)
{
    std::vector<ShapeRect> rects;
    if (!surface.Pixels || surface.Width <= 0 || surface.Height <= 0) return rects;
    std::vector<Run> previous;
    std::vector<Run> current;
    std::size_t bandStart = 0;  // index of the first rectangle of the open band
    for (int y = 0; y < surface.Height; ++y) {
        RowRuns(surface.Pixels + static_cast<std::size_t>(y) * surface.Width, surface.Width,
                current);
        if (y > 0 && current == previous && !current.empty()) {
            for (std::size_t i = bandStart; i < rects.size(); ++i) ++rects[i].Height;
        } else {
            bandStart = rects.size();
            for (const Run& run : current) rects.push_back({run.Start, y, run.End - run.Start, 1});
        }
        previous.swap(current);
    }
    return rects;
}

}  // namespace Platform::X11
