#include "framework/Dialogs.h"

#include "framework/Application.h"
#include "framework/Exceptions.h"
#include "platform/Platform.h"

#include <vector>

namespace {

struct TButtonLayout {
    TMsgDlgButtons Buttons;
    unsigned Style;
    std::vector<TMsgDlgBtn> Order;  // as the box shows them
};

// The button-set bits of a message box style.
constexpr unsigned kButtonSetMask = 0xF;

const std::vector<TButtonLayout>& Layouts()
{
    using B = TMsgDlgBtn;
    static const std::vector<TButtonLayout> layouts = {
        {{B::OK}, 0x0, {B::OK}},
        {{B::OK, B::Cancel}, 0x1, {B::OK, B::Cancel}},
        {{B::Abort, B::Retry, B::Ignore}, 0x2, {B::Abort, B::Retry, B::Ignore}},
        {{B::Yes, B::No, B::Cancel}, 0x3, {B::Yes, B::No, B::Cancel}},
        {{B::Yes, B::No}, 0x4, {B::Yes, B::No}},
        {{B::Retry, B::Cancel}, 0x5, {B::Retry, B::Cancel}},
    };
    return layouts;
}

// The result a box gives when the button is chosen.
int ResultOf(TMsgDlgBtn button)
{
    switch (button) {
    case TMsgDlgBtn::OK: return mrOk;
    case TMsgDlgBtn::Cancel: return mrCancel;
    case TMsgDlgBtn::Abort: return mrAbort;
    case TMsgDlgBtn::Retry: return mrRetry;
    case TMsgDlgBtn::Ignore: return mrIgnore;
    case TMsgDlgBtn::Yes: return mrYes;
    case TMsgDlgBtn::No: return mrNo;
    }
    return 0;
}

// True when `result` is what one of the buttons of a box of this style gives.
// Anything else (0, the system's -1 when it has no display, a value no button
// has) means that no question reached the user.
bool IsAnswerOf(unsigned style, int result)
{
    for (const TButtonLayout& layout : Layouts()) {
        if (layout.Style != (style & kButtonSetMask)) continue;
        for (TMsgDlgBtn button : layout.Order)
            if (ResultOf(button) == result) return true;
        return false;
    }
    return false;
}

unsigned IconStyle(TMsgDlgType type)
{
    switch (type) {
    case TMsgDlgType::Warning: return 0x30;
    case TMsgDlgType::Error: return 0x10;
    case TMsgDlgType::Information: return 0x40;
    case TMsgDlgType::Confirmation: return 0x20;
    case TMsgDlgType::Custom: return 0x0;
    }
    return 0x0;
}

// Shows one box owned by the active window, with that window's form
// disabled while it is open.
int ShowBox(const std::string& text, const std::string& caption, unsigned style)
{
    const Platform::Table& platform = Platform::Current();
    Platform::Window* owner = platform.GetActiveWindow();
    TForm* form = Application ? Application->FindForm(owner) : nullptr;
    struct TEnableAgain {
        TForm* Form;
        bool WasEnabled;
        ~TEnableAgain()
        {
            if (Form) Form->SetEnabled(WasEnabled);
        }
    } enableAgain{form, form ? form->Enabled() : true};
    if (form) form->SetEnabled(false);
    const int result = platform.MessageBox(owner, text, caption, style);
    if (!IsAnswerOf(style, result)) throw EDialogError("The message box could not be shown.");
    return result;
}

}  // namespace

const char* DialogTitle(TMsgDlgType type)
{
    switch (type) {
    case TMsgDlgType::Warning: return "Warning";
    case TMsgDlgType::Error: return "Error";
    case TMsgDlgType::Information: return "Information";
    case TMsgDlgType::Confirmation: return "Confirm";
    case TMsgDlgType::Custom: return "";
    }
    return "";
}

unsigned MessageBoxStyle(TMsgDlgType type, TMsgDlgButtons buttons, TMsgDlgBtn defaultButton)
{
    for (const TButtonLayout& layout : Layouts()) {
        if (!(layout.Buttons == buttons)) continue;
        unsigned position = 0;
        for (unsigned i = 0; i < layout.Order.size(); ++i)
            if (layout.Order[i] == defaultButton) position = i;
        return layout.Style | IconStyle(type) | (position * 0x100);
    }
    throw EDialogError("A message box cannot have this set of buttons.");
}

int MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext)
{
    return MessageDlg(message, type, buttons, helpContext, TMsgDlgBtn::OK);
}

int MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
               int helpContext, TMsgDlgBtn defaultButton)
{
    return MessageDlgPosHelp(message, type, buttons, helpContext, -1, -1, "", defaultButton);
}

int MessageDlgPosHelp(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
                      int /*helpContext*/, int /*x*/, int /*y*/, const std::string& /*helpFileName*/,
                      TMsgDlgBtn defaultButton)
{
    // The desktop's box always appears where the desktop puts it and has no help.
    return ShowBox(message, DialogTitle(type), MessageBoxStyle(type, buttons, defaultButton));
}

void ShowErrorBox(const std::string& message)
{
    ShowBox(message, DialogTitle(TMsgDlgType::Error),
            MessageBoxStyle(TMsgDlgType::Error, {TMsgDlgBtn::OK}, TMsgDlgBtn::OK));
}
