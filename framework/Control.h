#pragma once
// TControl: a visual component of a form with bounds, alignment, visibility,
// a cursor, and click events. The form routes the mouse to it; the control
// decides what is a click with its TClickRecognizer.

#include "framework/ClickRecognizer.h"
#include "framework/Component.h"
#include "framework/Geometry.h"
#include "framework/Properties.h"

#include <functional>

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

    TForm* ParentForm() const { return parent_; }
    void SetParentForm(TForm* form) { parent_ = form; }

    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

    // Draws the control onto the form's surface.
    virtual void Paint(TSurface& surface) const;

    // Mouse input routed by the form, in window coordinates.
    void MouseDown(Platform::MouseButton button, int x, int y, bool doubleClick);
    void MouseUp(Platform::MouseButton button, int x, int y);
    bool Pressed() const { return clicks_.Marked(); }

protected:
    virtual void Click();
    virtual void DblClick();

private:
    TRect bounds_;
    TAlignLayout align_ = TAlignLayout::None;
    bool visible_ = true;
    TCursor cursor_ = TCursor::Default;
    TForm* parent_ = nullptr;
    TClickRecognizer clicks_;
};

// The properties every control has, for a control class's own table.
template <class T>
void AddControlProperties(TPropertyTable<T>& table);

// Binds the handler named by `value` for the event `property` of the form
// being built; raises EDefinitionError for an unknown handler.
TNotifyEvent ReadHandler(const TDefinitionValue& value, const char* property, TBuildContext& context);

// Implementation of the template above: each entry forwards to TControl.
void ApplyControlProperty(TControl& control, const char* property, const TDefinitionValue& value,
                          TBuildContext& context);

template <class T>
void AddControlProperties(TPropertyTable<T>& table)
{
#define AVENDREL_CONTROL_PROPERTY(name, required)                                                  \
    table.push_back({name, required, [](T& control, const TDefinitionValue& value,                 \
                                        TBuildContext& context) {                                  \
                         ApplyControlProperty(control, name, value, context);                      \
                     }})
    AVENDREL_CONTROL_PROPERTY("Left", true);
    AVENDREL_CONTROL_PROPERTY("Top", true);
    AVENDREL_CONTROL_PROPERTY("Width", true);
    AVENDREL_CONTROL_PROPERTY("Height", true);
    AVENDREL_CONTROL_PROPERTY("Align", false);
    AVENDREL_CONTROL_PROPERTY("Visible", false);
    AVENDREL_CONTROL_PROPERTY("Cursor", false);
    AVENDREL_CONTROL_PROPERTY("OnClick", false);
    AVENDREL_CONTROL_PROPERTY("OnDblClick", false);
#undef AVENDREL_CONTROL_PROPERTY
}
