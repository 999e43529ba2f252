#pragma once
// Message dialogs. A dialog is asked for by kind, buttons, help context and a
// default button; it reaches the desktop as one message box owned by the
// active window, whose form is disabled while the box is open. Only the
// result of one of the box's own buttons is an answer; a box that cannot be
// shown, or that returns anything else, raises EDialogError: a failure is
// never taken as an answer.

#include <initializer_list>
#include <string>

enum class TMsgDlgType { Warning, Error, Information, Confirmation, Custom };
enum class TMsgDlgBtn { Yes, No, OK, Cancel, Abort, Retry, Ignore };

// A set of buttons.
class TMsgDlgButtons {
public:
    constexpr TMsgDlgButtons(std::initializer_list<TMsgDlgBtn> buttons)
    {
        for (TMsgDlgBtn button : buttons) bits_ |= Bit(button);
    }
    constexpr bool Contains(TMsgDlgBtn button) const { return (bits_ & Bit(button)) != 0; }
    constexpr bool operator==(const TMsgDlgButtons&) const = default;

private:
    static constexpr unsigned Bit(TMsgDlgBtn button) { return 1u << static_cast<unsigned>(button); }
    unsigned bits_ = 0;
};

// Dialog results, as the desktop's message box returns them.
inline constexpr int mrOk = 1;
inline constexpr int mrCancel = 2;
inline constexpr int mrAbort = 3;
inline constexpr int mrRetry = 4;
inline constexpr int mrIgnore = 5;
inline constexpr int mrYes = 6;
inline constexpr int mrNo = 7;

// The title of a dialog of this kind: "Confirm" for a confirmation.
const char* DialogTitle(TMsgDlgType type);

// The message box style for the kind, the buttons and the requested default
// button. A default button that is not among the buttons falls back to the
// first one. Raises EDialogError for a set of buttons a box cannot have.
unsigned MessageBoxStyle(TMsgDlgType type, TMsgDlgButtons buttons, TMsgDlgBtn defaultButton);

// Shows a dialog and returns the button chosen. The default button asked for
// is OK; position, help context and help file do not reach the box.
int MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons, int helpContext);
int MessageDlg(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
               int helpContext, TMsgDlgBtn defaultButton);
int MessageDlgPosHelp(const std::string& message, TMsgDlgType type, TMsgDlgButtons buttons,
                      int helpContext, int x, int y, const std::string& helpFileName,
                      TMsgDlgBtn defaultButton);

// Shows an error message with an OK button.
void ShowErrorBox(const std::string& message);
