#include "framework/Control.h"

#include "framework/Exceptions.h"
#include "framework/Form.h"

#include <cstring>
#include <limits>

TControl::TControl(TComponent* owner) : TComponent(owner) {}

void TControl::SetVisible(bool visible)
{
    if (visible_ == visible) return;
    visible_ = visible;
    if (parent_) parent_->Invalidate();
}

void TControl::Paint(TSurface&) const {}

void TControl::MouseDown(Platform::MouseButton button, int x, int y, bool doubleClick)
{
    if (clicks_.Press(button, doubleClick, bounds_.Contains(x, y)) ==
        TClickRecognizer::PressResult::DoubleClick)
        DblClick();
}

void TControl::MouseUp(Platform::MouseButton, int x, int y)
{
    if (clicks_.Release(bounds_.Contains(x, y))) Click();
}

void TControl::Click()
{
    if (OnClick) OnClick(this);
}

void TControl::DblClick()
{
    if (OnDblClick) OnDblClick(this);
}

TNotifyEvent ReadHandler(const TDefinitionValue& value, const char* property, TBuildContext& context)
{
    return context.Form.BindHandler(ReadText(value, property), value.Line, property);
}

void ApplyControlProperty(TControl& control, const char* property, const TDefinitionValue& value,
                          TBuildContext& context)
{
    constexpr std::int64_t kMax = std::numeric_limits<int>::max() / 2;
    TRect bounds = control.BoundsRect();
    if (std::strcmp(property, "Left") == 0) {
        bounds.Left = static_cast<int>(ReadInteger(value, property, -kMax, kMax));
    } else if (std::strcmp(property, "Top") == 0) {
        bounds.Top = static_cast<int>(ReadInteger(value, property, -kMax, kMax));
    } else if (std::strcmp(property, "Width") == 0) {
        bounds.Width = static_cast<int>(ReadInteger(value, property, 0, kMax));
    } else if (std::strcmp(property, "Height") == 0) {
        bounds.Height = static_cast<int>(ReadInteger(value, property, 0, kMax));
    } else if (std::strcmp(property, "Align") == 0) {
        control.SetAlign(static_cast<TAlignLayout>(ReadChoice(value, property, {"None", "Client"})));
    } else if (std::strcmp(property, "Visible") == 0) {
        control.SetVisible(ReadBoolean(value, property));
    } else if (std::strcmp(property, "Cursor") == 0) {
        control.SetCursor(
            static_cast<TCursor>(ReadChoice(value, property, {"Default", "Arrow", "HandPoint"})));
    } else if (std::strcmp(property, "OnClick") == 0) {
        control.OnClick = ReadHandler(value, property, context);
    } else if (std::strcmp(property, "OnDblClick") == 0) {
        control.OnDblClick = ReadHandler(value, property, context);
    }
    control.SetBounds(bounds);
}
