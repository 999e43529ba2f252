#pragma once
// TControl: a visual component of a form with bounds, alignment, visibility,
// a cursor, and click events. The form routes the mouse to it; the control
// decides what is a click with its TClickRecognizer.

#include "framework/Accessible.h"
#include "framework/ClickRecognizer.h"
#include "framework/Component.h"
#include "framework/Geometry.h"
#include "framework/Properties.h"

#include <functional>
#include <string>

class TForm;
class TSurface;

using TNotifyEvent = std::function<void(TObject* sender)>;

enum class TAlignLayout { None, Client };
enum class TCursor { Default, Arrow, HandPoint };

class TControl : public TComponent {
public:
    explicit TControl(TComponent* owner);
    const char* ClassName() const override { return "TControl"; }

    const TRect& BoundsRect() const { return bounds_; }
    void SetBounds(const TRect& bounds) { bounds_ = bounds; }
    TAlignLayout Align() const { return align_; }
    void SetAlign(TAlignLayout align) { align_ = align; }
    bool Visible() const { return visible_; }
    void SetVisible(bool visible);
    TCursor Cursor() const { return cursor_; }
    void SetCursor(TCursor cursor) { cursor_ = cursor; }

    // What assistive technology is told about the control.
    TAccessibleRole AccessibleRole() const { return accessibleRole_; }
    void SetAccessibleRole(TAccessibleRole role) { accessibleRole_ = role; }
    const std::string& AccessibleName() const { return accessibleName_; }
    void SetAccessibleName(const std::string& name) { accessibleName_ = name; }
    const std::string& AccessibleDescription() const { return accessibleDescription_; }
    void SetAccessibleDescription(const std::string& text) { accessibleDescription_ = text; }
    // Where the control is seen, in window coordinates: its rectangle.
    virtual TRect AccessibleBounds() const { return bounds_; }

    TForm* ParentForm() const { return parent_; }
    void SetParentForm(TForm* form) { parent_ = form; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

    // Draws the control onto the form's surface.
    virtual void Paint(TSurface& surface) const;
    // Clears the whole surface to transparent and draws the control onto it,
    // faster than the two steps apart; false (surface untouched) when the
    // control cannot do that.
    virtual bool PaintOnClearedSurface(TSurface& surface) const;

    // Mouse input routed by the form, in window coordinates.
    void MouseDown(Platform::MouseButton button, int x, int y, bool doubleClick);
    void MouseUp(Platform::MouseButton button, int x, int y);
    // Fires the click event as a recognised click does: the default action
    // of an announced control.
    void PerformClick() { Click(); }
    // The press in progress ends without a click: its release went elsewhere
    // or reached a disabled form.
    void CancelMouse() { clicks_.Reset(); }

protected:
    virtual void Click();
    virtual void DblClick();

private:
    TRect bounds_;
    TAlignLayout align_ = TAlignLayout::None;
    bool visible_ = true;
    TCursor cursor_ = TCursor::Default;
    TForm* parent_ = nullptr;
    TAccessibleRole accessibleRole_ = TAccessibleRole::None;
    std::string accessibleName_;
    std::string accessibleDescription_;
    TClickRecognizer clicks_;
};

// Setters of the properties every control has, shared by the control classes' tables.
namespace ControlProperty {
void Left(TControl& control, const TDefinitionValue& value);
void Top(TControl& control, const TDefinitionValue& value);
void Width(TControl& control, const TDefinitionValue& value);
void Height(TControl& control, const TDefinitionValue& value);
void Align(TControl& control, const TDefinitionValue& value);
void Visible(TControl& control, const TDefinitionValue& value);
void Cursor(TControl& control, const TDefinitionValue& value);
void OnClick(TControl& control, const TDefinitionValue& value, TBuildContext& context);
void OnDblClick(TControl& control, const TDefinitionValue& value, TBuildContext& context);
void AccessibleRole(TControl& control, const TDefinitionValue& value);
void AccessibleName(TControl& control, const TDefinitionValue& value);
void AccessibleDescription(TControl& control, const TDefinitionValue& value);
}  // namespace ControlProperty

// Binds the handler named by `value` for the event `property` of the form
// being built; raises EDefinitionError for an unknown handler.
TNotifyEvent ReadHandler(const TDefinitionValue& value, const char* property, TBuildContext& context);

// Adds the properties every control has to a control class's table.
template <class T>
void AddControlProperties(TPropertyTable<T>& table)
{
    using V = const TDefinitionValue&;
    using C = TBuildContext&;
    table.push_back({"Left", true, [](T& control, V value, C) { ControlProperty::Left(control, value); }});
    table.push_back({"Top", true, [](T& control, V value, C) { ControlProperty::Top(control, value); }});
    table.push_back({"Width", true, [](T& control, V value, C) { ControlProperty::Width(control, value); }});
    table.push_back({"Height", true, [](T& control, V value, C) { ControlProperty::Height(control, value); }});
    table.push_back({"Align", false, [](T& control, V value, C) { ControlProperty::Align(control, value); }});
    table.push_back({"Visible", false, [](T& control, V value, C) { ControlProperty::Visible(control, value); }});
    table.push_back({"Cursor", false, [](T& control, V value, C) { ControlProperty::Cursor(control, value); }});
    table.push_back({"OnClick", false,
                     [](T& control, V value, C context) { ControlProperty::OnClick(control, value, context); }});
    table.push_back({"OnDblClick", false, [](T& control, V value, C context) {
                         ControlProperty::OnDblClick(control, value, context);
                     }});
    table.push_back({"AccessibleRole", false,
                     [](T& control, V value, C) { ControlProperty::AccessibleRole(control, value); }});
    table.push_back({"AccessibleName", false,
                     [](T& control, V value, C) { ControlProperty::AccessibleName(control, value); }});
    table.push_back({"AccessibleDescription", false,
                     [](T& control, V value, C) { ControlProperty::AccessibleDescription(control, value); }});
}
