#pragma once
// The region of a surface whose pixels are seen: every pixel with alpha above
// 0, as rectangles in Y-X banded order (rows of equal height, sorted by y and
// then x, none overlapping), the order the X shape extension accepts fastest.
// Portable: no X11 header is needed to build or test it.

#include "platform/Platform.h"

#include <vector>

namespace Platform::X11 {

struct ShapeRect {
    int X = 0;
    int Y = 0;
    int Width = 0;
    int Height = 0;
    bool operator==(const ShapeRect&) const = default;
};

// Rows with the same runs of visible pixels are merged into one band.
std::vector<ShapeRect> VisibleRectangles(const SurfaceView& surface);

}  // namespace Platform::X11
