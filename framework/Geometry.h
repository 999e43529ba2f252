#pragma once
// Whole-pixel geometry in window coordinates and the two placement rules:
// centring a window on the screen and fitting a picture into a control.

struct TPoint {
    int X = 0;
    int Y = 0;
    bool operator==(const TPoint&) const = default;
};

// Left, top, width and height; Right and Bottom are exclusive.
struct TRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;

    int Right() const { return Left + Width; }
    int Bottom() const { return Top + Height; }
    bool Contains(int x, int y) const { return x >= Left && x < Right() && y >= Top && y < Bottom(); }
    bool operator==(const TRect&) const = default;
};

// Rounds to the nearest integer, an exact half to the even neighbour,
// whatever the floating-point rounding mode is.
int RoundHalfEven(double value);

// The top-left corner that centres a window of the given size on a screen of
// the given size. Not clamped: on a smaller screen the position is negative.
TPoint CenterOnScreen(int screenWidth, int screenHeight, int windowWidth, int windowHeight);

// Where a picture of pictureWidth x pictureHeight (already divided by its
// scale) is drawn inside `control`: shrunk to fit when larger, never
// enlarged, centred, each edge rounded half to even.
TRect FitPicture(double pictureWidth, double pictureHeight, const TRect& control);
