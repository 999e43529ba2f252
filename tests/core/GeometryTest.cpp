#include "framework/Geometry.h"

#include <gtest/gtest.h>

TEST(Geometry, RoundHalfEvenGoesToTheEvenNeighbourOnExactHalves)
{
    const struct {
        double Value;
        int Expected;
    } cases[] = {{0.5, 0}, {1.5, 2}, {2.5, 2}, {-0.5, 0}, {-1.5, -2}, {-38.5, -38},
                 {-39.5, -40}, {2.4999, 2}, {2.5001, 3}, {-2.5001, -3}, {7.0, 7}};
    for (const auto& c : cases) EXPECT_EQ(RoundHalfEven(c.Value), c.Expected) << c.Value;
}

TEST(Geometry, CenterOnScreenRoundsHalvesToEvenAndNeverClamps)
{
    const struct {
        int ScreenWidth, ScreenHeight;
        TPoint Expected;
    } cases[] = {
        {1920, 1080, {560, 202}}, {1680, 1050, {440, 186}}, {1366, 768, {283, 46}},
        {800, 600, {0, -38}},     {801, 678, {0, 0}},       {803, 680, {2, 2}},
        {805, 682, {2, 2}},       {1, 1, {-400, -338}},     {0, 0, {-400, -338}},
        {640, 480, {-80, -98}},   {3840, 2160, {1520, 742}}, {799, 676, {0, 0}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CenterOnScreen(c.ScreenWidth, c.ScreenHeight, 800, 677), c.Expected)
            << c.ScreenWidth << " x " << c.ScreenHeight;
}

TEST(Geometry, FitPictureShrinksLargePicturesAndCentresSmallOnesUnscaled)
{
    const TRect control{0, 0, 800, 677};
    // The artwork: as wide as the control, so drawn unscaled between two bands.
    EXPECT_EQ(FitPicture(800, 493, control), (TRect{0, 92, 800, 493}));
    // Smaller pictures are never enlarged; an odd margin rounds half to even.
    EXPECT_EQ(FitPicture(400, 300, control), (TRect{200, 188, 400, 300}));
    EXPECT_EQ(FitPicture(1, 1, control), (TRect{400, 338, 0, 1}));
    // Larger pictures shrink by the larger ratio and keep their shape.
    EXPECT_EQ(FitPicture(1600, 986, control), (TRect{0, 92, 800, 493}));
    EXPECT_EQ(FitPicture(800, 1354, control), (TRect{200, 0, 400, 677}));
    // Offsets of the control carry over.
    EXPECT_EQ(FitPicture(10, 10, TRect{440, 398, 337, 86}), (TRect{604, 436, 10, 10}));
    // Nothing to draw.
    EXPECT_EQ(FitPicture(0, 10, control).Width, 0);
}
