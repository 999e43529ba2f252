#pragma once
// Message boxes with GTK, for a program whose windows are plain X11 windows.

#include <string>

namespace Platform::Linux {

// The box's owner and what must keep running while the box is open.
struct BoxOwner {
    unsigned long Window = 0;  // the X window the box stays above; 0: none
    int X = 0;                 // the owner's rectangle on the screen, to centre on
    int Y = 0;
    int Width = 0;
    int Height = 0;
    int WatchFds[2] = {-1, -1};  // served by calling Serve when readable
    void (*Serve)() = nullptr;
};

// Shows a modal box with the desktop's own translated buttons and returns the
// result of the button chosen (1 OK, 2 Cancel, 6 Yes, 7 No), or 0 when the box
// cannot be shown: GTK missing or the display not reachable, or a style whose
// buttons are not supported (OK, OK/Cancel and Yes/No are).
int ShowMessageBox(const BoxOwner& owner, const std::string& text, const std::string& caption,
                   unsigned style);

// The toolkit's own display connection once a box has been shown, else -1.
// Between boxes the event loop serves it when it is readable, so that the
// toolkit goes on answering the desktop (e.g. for text selected in a box).
int ToolkitConnection();
// Handles whatever the toolkit has waiting, without blocking.
void ServeToolkit();

}  // namespace Platform::Linux
