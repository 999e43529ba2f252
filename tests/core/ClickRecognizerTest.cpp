#include "framework/ClickRecognizer.h"

#include <gtest/gtest.h>

using Platform::MouseButton;

TEST(ClickRecognizer, OnlyAPrimaryPressAndReleaseInsideIsAClick)
{
    TClickRecognizer clicks;
    EXPECT_EQ(clicks.Press(MouseButton::Left, false, true), TClickRecognizer::PressResult::Marked);
    EXPECT_TRUE(clicks.Release(true));
    EXPECT_FALSE(clicks.Marked());

    clicks.Press(MouseButton::Left, false, true);
    EXPECT_FALSE(clicks.Release(false)) << "released outside";
    EXPECT_FALSE(clicks.Release(true)) << "the mark is gone after any release";

    for (MouseButton button : {MouseButton::Right, MouseButton::Middle, MouseButton::Other}) {
        EXPECT_EQ(clicks.Press(button, false, true), TClickRecognizer::PressResult::None);
        EXPECT_FALSE(clicks.Release(true));
    }
    EXPECT_EQ(clicks.Press(MouseButton::Left, false, false), TClickRecognizer::PressResult::None);
    EXPECT_FALSE(clicks.Release(true)) << "pressed outside";
}

TEST(ClickRecognizer, TheSecondPressOfADoubleClickNeverMarks)
{
    TClickRecognizer clicks;
    clicks.Press(MouseButton::Left, false, true);
    EXPECT_EQ(clicks.Press(MouseButton::Left, true, true), TClickRecognizer::PressResult::DoubleClick);
    EXPECT_FALSE(clicks.Release(true));
}
