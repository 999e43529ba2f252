#pragma once
// The headless desktop: a faithful in-memory model of a desktop for tests.
// It records every platform call with its arguments in order, delivers a
// scripted sequence of mouse events and close requests, applies the rule that
// a window takes the mouse only where its presented alpha is above 0 (and,
// like a real desktop, keeps the mouse captured from a press until every
// button is up), answers message boxes from the script (or fails them), and
// makes the end of the process observable through a hook.

#include "platform/Accessibility.h"
#include "platform/Platform.h"

#include <functional>
#include <string>
#include <vector>

namespace Platform::Headless {

struct Event {
    enum class Kind { Move, Press, Release, LostRelease, Close, Expose, CaptureLost, AccessibleAction };
    Kind What = Kind::Move;
    MouseButton Button = MouseButton::Left;
    int X = 0;
    int Y = 0;
    bool DoubleClick = false;
};

Event MoveTo(int x, int y);
Event Press(int x, int y, MouseButton button = MouseButton::Left, bool doubleClick = false);
Event Release(int x, int y, MouseButton button = MouseButton::Left);
// A release that the desktop takes but never delivers to the window.
Event LostRelease(int x, int y, MouseButton button = MouseButton::Left);
// A move to the point, a press and a release there.
std::vector<Event> Click(int x, int y, MouseButton button = MouseButton::Left);
Event CloseRequest();
Event Expose();
// Assistive technology asks for the default action of accessible object
// `index`; the loop performs it as a real backend does, outside the request.
Event AccessibleAction(int index);

// The desktop takes the mouse from the window while buttons are held: the
// grab ends, and the releases that follow go wherever the pointer is.
Event CaptureLost();

// How the next message box is answered; events in WhileOpen are delivered
// while the box is open (a real desktop would not deliver them to a disabled
// owner; here they reach the framework, which must ignore them).
struct BoxAnswer {
    int Result = Box::ResultNo;
    std::vector<Event> WhileOpen;
};

struct Script {
    ScreenSize Screen{1920, 1080};
    std::string ExecutableName = "Avendrel.exe";
    std::vector<Event> Events;
    std::vector<BoxAnswer> Answers;  // a box with no answer left fails
    bool InitFails = false;
    // How many presentations, from the first, the desktop refuses.
    int PresentFailures = 0;
};

// Replaces the desktop's state with a fresh one that follows `script`.
void Load(Script script);
// Appends events to the queue of the loaded script.
void Queue(const std::vector<Event>& events);

// The record of every platform call so far, one line each, e.g.
//   Beep(1200,5)
//   MessageBox(window1,"text","Confirm",0x24)=6
//   ShellExecute(null,"OPEN","http://…","","",1)
//   FinishHandOvers(10000) with 1 in progress
const std::vector<std::string>& Calls();

// Adds a line of the test's own to the record, to show where something
// happened relative to the platform calls.
void Note(const std::string& line);

// The pixels of the last presented frame.
const std::vector<std::uint32_t>& PresentedPixels();
// What the current window reports its events to, for driving it directly
// (benchmarks); nullptr without a window.
WindowEvents* EventsOfWindow();
// What the current window tells assistive technology; nullptr without one.
AccessibleTree* AccessibleTreeOfWindow();
bool WindowExists();
bool WindowShown();

// Called by ExitProcess after it is recorded; it must not return. Without a
// hook the process ends with std::_Exit.
void SetExitHook(std::function<void(int status)> hook);
// Called when the loop has delivered every scripted event and would now wait
// for the user. Without a hook the loop records "Idle" and returns.
void SetIdleHook(std::function<void()> hook);

// The table to Connect.
Table Connect();

}  // namespace Platform::Headless
