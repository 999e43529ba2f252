#include "framework/Geometry.h"

#include <algorithm>
#include <cmath>

int RoundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double fraction = value - floor;
    double rounded = floor;
    if (fraction > 0.5 || (fraction == 0.5 && std::fmod(floor, 2.0) != 0.0))
        rounded = floor + 1.0;
    return static_cast<int>(rounded);
}

TPoint CenterOnScreen(int screenWidth, int screenHeight, int windowWidth, int windowHeight)
{
    return {RoundHalfEven((screenWidth - windowWidth) / 2.0),
            RoundHalfEven((screenHeight - windowHeight) / 2.0)};
}

TRect FitPicture(double pictureWidth, double pictureHeight, const TRect& control)
{
    if (pictureWidth <= 0 || pictureHeight <= 0 || control.Width <= 0 || control.Height <= 0)
        return {control.Left, control.Top, 0, 0};
    const double ratio = std::max(pictureWidth / control.Width, pictureHeight / control.Height);
    double width = pictureWidth;
    double height = pictureHeight;
    if (ratio >= 1.0) {
        width = pictureWidth / ratio;
        height = pictureHeight / ratio;
    }
    const double left = control.Left + (control.Width - width) / 2.0;
    const double top = control.Top + (control.Height - height) / 2.0;
    const int roundedLeft = RoundHalfEven(left);
    const int roundedTop = RoundHalfEven(top);
    return {roundedLeft, roundedTop, RoundHalfEven(left + width) - roundedLeft,
            RoundHalfEven(top + height) - roundedTop};
}
