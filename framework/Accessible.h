#pragma once
// What a form tells assistive technology: the form and its announced controls
// as accessible objects, with the texts its definition declares beside their
// other values:
//
//   [Form1]
//   AccessibleName = "..."           # the window's name (else its Caption)
//   AccessibleDescription = "..."    # what the window shows, in reading order
//   [[Form1.Controls]]
//   AccessibleRole = "PushButton"    # Graphic, PushButton or Link
//   AccessibleName = "..."
//   AccessibleDescription = "..."    # optional
//
// A control without AccessibleRole is not announced. TFormAccessible is the
// tree the form hands to its window; the backend translates it for the desktop.

#include "framework/Definition.h"
#include "framework/Geometry.h"
#include "platform/Accessibility.h"

#include <string>
#include <vector>

class TControl;
class TForm;

enum class TAccessibleRole { None, Graphic, PushButton, Link };

// Readers for the definition's accessible properties; raise EDefinitionError.
TAccessibleRole ReadAccessibleRole(const TDefinitionValue& value);
// A non-empty text without control characters, leading or trailing spaces.
std::string ReadAccessibleText(const TDefinitionValue& value, const char* property);
// Checks that a control's accessible properties make sense together: texts
// only with a role, a name with every role, a click handler behind a role
// whose default action is a click.
void CheckAccessibleControl(const TControl& control, const TDefinitionObject& definition);

class TFormAccessible final : public Platform::AccessibleTree {
public:
    explicit TFormAccessible(TForm& form) : form_(form) {}

    // The announced controls: visible, with a role, bottom of the z-order first.
    std::vector<TControl*> Children() const;

    int AccessibleChildCount() const noexcept override;
    bool DescribeAccessible(int index, Platform::AccessibleNode& node) const noexcept override;
    int AccessibleAt(int screenX, int screenY) const noexcept override;
    bool DoAccessibleAction(int index) noexcept override;
    void SetAccessibleEvents(Platform::AccessibleEvents* events) noexcept override;

    // The form was enabled or disabled (a modal box opened or closed): every
    // object's state changed with it, and the backend is told so, the window
    // first and then its objects, bottom first.
    void FormEnabledChanged() noexcept;

private:
    TForm& form_;
    Platform::AccessibleEvents* events_ = nullptr;
};
