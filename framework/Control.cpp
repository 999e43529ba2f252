#include "framework/Control.h"

#include "framework/Exceptions.h"
#include "framework/Form.h"

#include <limits>

TControl::TControl(TComponent* owner) : TComponent(owner) {}

void TControl::SetVisible(bool visible)
{
    if (visible_ == visible) return;
    visible_ = visible;
    if (parent_) parent_->Invalidate();
}

void TControl::Paint(TSurface&) const {}

bool TControl::PaintOnClearedSurface(TSurface&) const
{
    return false;
}

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

namespace ControlProperty {

namespace {
constexpr std::int64_t kMaxCoordinate = std::numeric_limits<int>::max() / 2;

int ReadCoordinate(const TDefinitionValue& value, const char* property, std::int64_t min)
{
    return static_cast<int>(ReadInteger(value, property, min, kMaxCoordinate));
}
}  // namespace

void Left(TControl& control, const TDefinitionValue& value)
{
    TRect bounds = control.BoundsRect();
    bounds.Left = ReadCoordinate(value, "Left", -kMaxCoordinate);
    control.SetBounds(bounds);
}

void Top(TControl& control, const TDefinitionValue& value)
{
    TRect bounds = control.BoundsRect();
    bounds.Top = ReadCoordinate(value, "Top", -kMaxCoordinate);
    control.SetBounds(bounds);
}

void Width(TControl& control, const TDefinitionValue& value)
{
    TRect bounds = control.BoundsRect();
    bounds.Width = ReadCoordinate(value, "Width", 0);
    control.SetBounds(bounds);
}

void Height(TControl& control, const TDefinitionValue& value)
{
    TRect bounds = control.BoundsRect();
    bounds.Height = ReadCoordinate(value, "Height", 0);
    control.SetBounds(bounds);
}

void Align(TControl& control, const TDefinitionValue& value)
{
    control.SetAlign(static_cast<TAlignLayout>(ReadChoice(value, "Align", {"None", "Client"})));
}

void Visible(TControl& control, const TDefinitionValue& value)
{
    control.SetVisible(ReadBoolean(value, "Visible"));
}

void Cursor(TControl& control, const TDefinitionValue& value)
{
    control.SetCursor(static_cast<TCursor>(ReadChoice(value, "Cursor", {"Default", "Arrow", "HandPoint"})));
}

void OnClick(TControl& control, const TDefinitionValue& value, TBuildContext& context)
{
    control.OnClick = ReadHandler(value, "OnClick", context);
}

void OnDblClick(TControl& control, const TDefinitionValue& value, TBuildContext& context)
{
    control.OnDblClick = ReadHandler(value, "OnDblClick", context);
}

void AccessibleRole(TControl& control, const TDefinitionValue& value)
{
    control.SetAccessibleRole(ReadAccessibleRole(value));
}

void AccessibleName(TControl& control, const TDefinitionValue& value)
{
    control.SetAccessibleName(ReadAccessibleText(value, "AccessibleName"));
}

void AccessibleDescription(TControl& control, const TDefinitionValue& value)
{
    control.SetAccessibleDescription(ReadAccessibleText(value, "AccessibleDescription"));
}

}  // namespace ControlProperty
