#include "framework/ClickRecognizer.h"

TClickRecognizer::PressResult TClickRecognizer::Press(Platform::MouseButton button,
                                                      bool doubleClick, bool inside)
{
    if (button != Platform::MouseButton::Left || !inside) return PressResult::None;
    if (doubleClick) {
        marked_ = false;
        return PressResult::DoubleClick;
    }
    marked_ = true;
    return PressResult::Marked;
}

bool TClickRecognizer::Release(bool inside)
{
    const bool click = marked_ && inside;
    marked_ = false;
    return click;
}
