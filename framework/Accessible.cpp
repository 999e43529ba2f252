#include "framework/Accessible.h"

#include "framework/Application.h"
#include "framework/Control.h"
#include "framework/Exceptions.h"
#include "framework/Form.h"

namespace {

const TDefinitionProperty* FindProperty(const TDefinitionObject& definition, const char* name)
{
    for (const TDefinitionProperty& property : definition.Properties)
        if (property.Name == name) return &property;
    return nullptr;
}

Platform::AccessibleRole PlatformRole(TAccessibleRole role)
{
    switch (role) {
    case TAccessibleRole::PushButton: return Platform::AccessibleRole::PushButton;
    case TAccessibleRole::Link: return Platform::AccessibleRole::Link;
    case TAccessibleRole::Graphic:
    case TAccessibleRole::None: break;
    }
    return Platform::AccessibleRole::Graphic;
}

// What the default action of a role is called; nullptr: the role has none.
const char* DefaultActionName(TAccessibleRole role)
{
    switch (role) {
    case TAccessibleRole::PushButton: return "Press";
    case TAccessibleRole::Link: return "Jump";
    case TAccessibleRole::Graphic:
    case TAccessibleRole::None: break;
    }
    return nullptr;
}

}  // namespace

TAccessibleRole ReadAccessibleRole(const TDefinitionValue& value)
{
    // None is the default and not written: a control is announced by naming its role.
    return static_cast<TAccessibleRole>(
        1 + ReadChoice(value, "AccessibleRole", {"Graphic", "PushButton", "Link"}));
}

std::string ReadAccessibleText(const TDefinitionValue& value, const char* property)
{
    const std::string& text = ReadText(value, property);
    if (text.empty() || text.front() == ' ' || text.back() == ' ')
        throw EDefinitionError(value.Line, std::string("expected a text without leading or trailing "
                                                       "spaces for ") + property);
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f)
            throw EDefinitionError(value.Line, std::string("expected a text without control "
                                                           "characters for ") + property);
    }
    return text;
}

void CheckAccessibleControl(const TControl& control, const TDefinitionObject& definition)
{
    const TDefinitionProperty* role = FindProperty(definition, "AccessibleRole");
    if (!role) {
        for (const char* text : {"AccessibleName", "AccessibleDescription"}) {
            if (const TDefinitionProperty* property = FindProperty(definition, text))
                throw EDefinitionError(property->Value.Line,
                                       std::string("expected AccessibleRole beside ") + text + " of " +
                                           definition.Name + ": a control is announced by its role");
        }
        return;
    }
    if (control.AccessibleName().empty())
        throw EDefinitionError(role->Value.Line, "expected AccessibleName beside AccessibleRole of " +
                                                     definition.Name +
                                                     ": an announced control needs a name");
    if (DefaultActionName(control.AccessibleRole()) && !control.OnClick)
        throw EDefinitionError(role->Value.Line, "expected OnClick beside AccessibleRole = \"" +
                                                     role->Value.Text + "\" of " + definition.Name +
                                                     ": its default action is a click");
}

std::vector<TControl*> TFormAccessible::Children() const
{
    std::vector<TControl*> children;
    for (TControl* control : form_.Controls())
        if (control->Visible() && control->AccessibleRole() != TAccessibleRole::None)
            children.push_back(control);
    return children;
}

int TFormAccessible::AccessibleChildCount() const noexcept
{
    return static_cast<int>(Children().size());
}

bool TFormAccessible::DescribeAccessible(int index, Platform::AccessibleNode& node) const noexcept
{
    const std::vector<TControl*> children = Children();
    if (index < 0 || index > static_cast<int>(children.size())) return false;
    node = {};
    node.Enabled = form_.Enabled();
    node.Showing = form_.Visible();
    if (index == 0) {
        node.Role = Platform::AccessibleRole::Window;
        node.Name = form_.AccessibleName.empty() ? form_.Caption : form_.AccessibleName;
        node.Description = form_.AccessibleDescription;
        node.Left = form_.Left;
        node.Top = form_.Top;
        node.Width = form_.ClientWidth;
        node.Height = form_.ClientHeight;
        return true;
    }
    const TControl& control = *children[static_cast<std::size_t>(index - 1)];
    node.Role = PlatformRole(control.AccessibleRole());
    node.Name = control.AccessibleName();
    node.Description = control.AccessibleDescription();
    if (const char* action = DefaultActionName(control.AccessibleRole())) node.DefaultAction = action;
    const TRect bounds = control.AccessibleBounds();
    node.Left = form_.Left + bounds.Left;
    node.Top = form_.Top + bounds.Top;
    node.Width = bounds.Width;
    node.Height = bounds.Height;
    return true;
}

int TFormAccessible::AccessibleAt(int screenX, int screenY) const noexcept
{
    const int x = screenX - form_.Left;
    const int y = screenY - form_.Top;
    if (!form_.Visible() || !TRect{0, 0, form_.ClientWidth, form_.ClientHeight}.Contains(x, y))
        return -1;
    const std::vector<TControl*> children = Children();
    for (std::size_t i = children.size(); i-- > 0;)
        if (children[i]->AccessibleBounds().Contains(x, y)) return static_cast<int>(i) + 1;
    return 0;
}

bool TFormAccessible::DoAccessibleAction(int index) noexcept
{
    if (!form_.Visible() || !form_.Enabled()) return false;
    const std::vector<TControl*> children = Children();
    if (index < 1 || index > static_cast<int>(children.size())) return false;
    TControl* control = children[static_cast<std::size_t>(index - 1)];
    if (!DefaultActionName(control->AccessibleRole())) return false;
    HandleEventSafely([control] { control->PerformClick(); });
    return true;
}

void TFormAccessible::SetAccessibleEvents(Platform::AccessibleEvents* events) noexcept
{
    events_ = events;
}

void TFormAccessible::FormEnabledChanged() noexcept
{
    if (!events_ || !form_.Visible()) return;
    const bool enabled = form_.Enabled();
    const int count = AccessibleChildCount();
    for (int index = 0; index <= count; ++index) events_->AccessibleEnabledChanged(index, enabled);
}
