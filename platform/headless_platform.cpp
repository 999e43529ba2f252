// Headless backend: the desktop kept in memory, for tests.
// Implemented features:
//  [X] Every call recorded with its arguments, in order
//  [X] Scripted mouse events and close requests, delivered by RunLoop
//  [X] Input only where the presented alpha is above 0; the grab from press to release
//  [X] Scripted message box answers, failures, and events while a box is open
//  [X] Scripted refusals of presentations and losses of the mouse capture
//  [X] Resources from the embedded table, PNG decoding with libpng (WIC in Windows builds)
//  [X] Observable process end through a hook
// Missing features or Issues:
//  [ ] Only one window at a time (the program has one)

#include "platform/headless_platform.h"

#include "platform/EmbeddedResources.h"
#include "platform/PngDecoder.h"

#include "platform/lower_case.h"

#include <cstdio>
#include <cstdlib>
#include <deque>

namespace Platform {

// The backend's window: its description and what was last presented.
struct Window {
    WindowDesc Desc;
    WindowEvents* Events = nullptr;
    std::vector<std::uint32_t> Pixels;
    int Width = 0;
    int Height = 0;
    bool Shown = false;
};

namespace Headless {

namespace {

struct State {
    Script Setup;
    std::deque<Event> Queue;
    std::deque<BoxAnswer> Answers;
    std::vector<std::string> Calls;
    Window* TheWindow = nullptr;
    std::vector<std::uint32_t> LastPixels;
    int PresentFailuresLeft = 0;
    // Addresses handed over and not yet known to have reached their handler.
    int HandOversInProgress = 0;
    bool Quit = false;
    // Buttons held down, one bit each, and which side holds the grab while
    // any is down: like a real desktop, the window that took the first
    // press gets every mouse event until the last button is up.
    unsigned ButtonsDown = 0;
    bool GrabbedByWindow = false;
    std::function<void(int)> ExitHook;
    std::function<void()> IdleHook;
};

State& S()
{
    static State state;
    return state;
}

void Record(std::string line)
{
    S().Calls.push_back(std::move(line));
}

std::string Quoted(const std::string& text)
{
    return "\"" + text + "\"";
}

std::string WindowName(const Window* window)
{
    return window ? "window1" : "null";
}

const char* ButtonName(MouseButton button)
{
    switch (button) {
    case MouseButton::Left: return "Left";
    case MouseButton::Middle: return "Middle";
    case MouseButton::Right: return "Right";
    case MouseButton::Other: return "Other";
    }
    return "?";
}

// True when the window would receive the mouse at window point (x, y).
bool TakesMouseAt(const Window& window, int x, int y)
{
    if (!window.Shown || x < 0 || y < 0 || x >= window.Width || y >= window.Height)
        return false;
    const std::uint32_t pixel = window.Pixels[static_cast<std::size_t>(y) * window.Width + x];
    return (pixel >> 24) != 0;
}

void Deliver(const Event& event)
{
    State& s = S();
    Window* window = s.TheWindow;
    if (event.What == Event::Kind::AccessibleAction) {
        if (!window || !window->Desc.Accessible) return;
        Record("<AccessibleAction(" + std::to_string(event.X) + ")");
        if (!window->Desc.Accessible->DoAccessibleAction(event.X)) Record("AccessibleActionRefused");
        return;
    }
    if (event.What == Event::Kind::CaptureLost) {
        const bool grabbed = s.ButtonsDown != 0 && s.GrabbedByWindow && window;
        s.ButtonsDown = 0;
        s.GrabbedByWindow = false;
        if (!grabbed) return;
        Record("<CaptureLost");
        window->Events->CaptureLost();
        return;
    }
    if (event.What == Event::Kind::Close || event.What == Event::Kind::Expose) {
        if (!window) return;
        if (event.What == Event::Kind::Close) {
            Record("<CloseRequest");
            window->Events->CloseRequest();
        } else {
            Record("<Expose");
            window->Events->Expose();
        }
        return;
    }
    const unsigned bit = 1u << static_cast<unsigned>(event.Button);
    if (event.What == Event::Kind::LostRelease) {
        s.ButtonsDown &= ~bit;
        Record("<Lost:Release(" + std::to_string(event.X) + "," + std::to_string(event.Y) + "," +
               ButtonName(event.Button) + ")");
        return;
    }
    bool reaches = false;
    if (s.ButtonsDown != 0) {
        reaches = s.GrabbedByWindow && window;
    } else {
        reaches = window && TakesMouseAt(*window, event.X, event.Y);
        if (event.What == Event::Kind::Press) s.GrabbedByWindow = reaches;
    }
    if (event.What == Event::Kind::Press) s.ButtonsDown |= bit;
    if (event.What == Event::Kind::Release) s.ButtonsDown &= ~bit;
    const char* kind = event.What == Event::Kind::Move    ? "Move"
                       : event.What == Event::Kind::Press ? "Press"
                                                          : "Release";
    std::string line = std::string(kind) + "(" + std::to_string(event.X) + "," +
                       std::to_string(event.Y);
    if (event.What != Event::Kind::Move) line += std::string(",") + ButtonName(event.Button);
    if (event.DoubleClick) line += ",double";
    line += ")";
    if (!reaches) {
        // The point is transparent or outside: the input goes to what lies beneath.
        Record("<PassedThrough:" + line);
        return;
    }
    Record("<" + line);
    switch (event.What) {
    case Event::Kind::Move: window->Events->MouseMove(event.X, event.Y); break;
    case Event::Kind::Press:
        window->Events->MouseDown(event.Button, event.X, event.Y, event.DoubleClick);
        break;
    case Event::Kind::Release:
        window->Events->MouseUp(event.Button, event.X, event.Y);
        break;
    default: break;
    }
}

bool Init(std::string& error)
{
    Record("Init");
    if (S().Setup.InitFails) {
        error = "cannot open the headless desktop";
        return false;
    }
    return true;
}

void Terminate()
{
    Record("Terminate");
}

std::span<const std::uint8_t> FindResource(const char* name)
{
    Record(std::string("FindResource(") + name + ")");
    return FindEmbeddedResource(name);
}

bool DecodePng(std::span<const std::uint8_t> data, DecodedImage& out)
{
    const bool ok = DecodePngForHeadless(data, out);
    Record("DecodePng(" + std::to_string(data.size()) + ")=" + (ok ? "ok" : "failed"));
    return ok;
}

std::string ExecutableName()
{
    Record("ExecutableName");
    return S().Setup.ExecutableName;
}

ScreenSize GetScreenSize()
{
    Record("GetScreenSize");
    return S().Setup.Screen;
}

Window* CreateWindow(const WindowDesc& desc, WindowEvents* events)
{
    Record("CreateWindow(" + Quoted(desc.Caption) + "," + Quoted(desc.TaskName) + "," +
           std::to_string(desc.Left) + "," + std::to_string(desc.Top) + "," +
           std::to_string(desc.Width) + "," + std::to_string(desc.Height) + ")");
    auto* window = new Window;
    window->Desc = desc;
    window->Events = events;
    S().TheWindow = window;
    return window;
}

void DestroyWindow(Window* window)
{
    Record("DestroyWindow(" + WindowName(window) + ")");
    if (S().TheWindow == window) S().TheWindow = nullptr;
    delete window;
}

bool PresentWindow(Window* window, const SurfaceView& surface, int left, int top)
{
    std::string line = "PresentWindow(" + WindowName(window) + "," + std::to_string(surface.Width) + "x" +
                       std::to_string(surface.Height) + "," + std::to_string(left) + "," +
                       std::to_string(top) + ")";
    if (S().PresentFailuresLeft > 0) {
        --S().PresentFailuresLeft;
        Record(line + "=failed");
        return false;
    }
    Record(std::move(line));
    window->Pixels.assign(surface.Pixels,
                          surface.Pixels + static_cast<std::size_t>(surface.Width) * surface.Height);
    window->Width = surface.Width;
    window->Height = surface.Height;
    window->Desc.Left = left;
    window->Desc.Top = top;
    S().LastPixels = window->Pixels;
    return true;
}

void ShowWindow(Window* window)
{
    Record("ShowWindow(" + WindowName(window) + ")");
    window->Shown = true;
}

void SetCursor(Window* window, CursorShape shape)
{
    Record("SetCursor(" + WindowName(window) + "," +
           (shape == CursorShape::Hand ? "Hand" : "Arrow") + ")");
}

Window* GetActiveWindow()
{
    Record("GetActiveWindow");
    Window* window = S().TheWindow;
    return window && window->Shown ? window : nullptr;
}

void RunLoop()
{
    State& s = S();
    Record("RunLoop");
    s.Quit = false;
    while (!s.Quit) {
        if (s.Queue.empty()) {
            if (s.IdleHook) {
                s.IdleHook();
                if (!s.Queue.empty()) continue;
            }
            Record("Idle");
            return;
        }
        const Event event = s.Queue.front();
        s.Queue.pop_front();
        Deliver(event);
    }
    Record("RunLoop returned");
}

void QuitLoop()
{
    Record("QuitLoop");
    S().Quit = true;
}

int MessageBox(Window* owner, const std::string& text, const std::string& caption, unsigned style)
{
    State& s = S();
    char styleText[16];
    std::snprintf(styleText, sizeof styleText, "0x%02X", style);
    std::string line = "MessageBox(" + WindowName(owner) + "," + Quoted(text) + "," +
                       Quoted(caption) + "," + styleText + ")";
    if (s.Answers.empty()) {
        Record(line + "=0");
        return Box::Failed;
    }
    const BoxAnswer answer = s.Answers.front();
    s.Answers.pop_front();
    Record(line);
    // The box is open: a real desktop runs a nested loop here.
    for (const Event& event : answer.WhileOpen) Deliver(event);
    Record("MessageBox returned " + std::to_string(answer.Result));
    return answer.Result;
}

bool Beep(unsigned frequency, unsigned durationMs)
{
    Record("Beep(" + std::to_string(frequency) + "," + std::to_string(durationMs) + ")");
    return true;
}

std::intptr_t ShellExecute(Window* owner, const std::string& verb, const std::string& file,
                           const std::string& parameters, const std::string& directory,
                           int showCommand)
{
    Record("ShellExecute(" + WindowName(owner) + "," + Quoted(verb) + "," + Quoted(file) + "," +
           Quoted(parameters) + "," + Quoted(directory) + "," + std::to_string(showCommand) +
           ")");
    ++S().HandOversInProgress;
    return 42;  // above 32: the shell's value for success
}

void FinishHandOvers(unsigned timeoutMs)
{
    Record("FinishHandOvers(" + std::to_string(timeoutMs) + ") with " +
           std::to_string(S().HandOversInProgress) + " in progress");
    S().HandOversInProgress = 0;
}

void ExitProcess(int status)
{
    Record("ExitProcess(" + std::to_string(status) + ")");
    if (S().ExitHook) S().ExitHook(status);
    std::_Exit(status);
}

}  // namespace

Event MoveTo(int x, int y)
{
    return {Event::Kind::Move, MouseButton::Left, x, y, false};
}

Event Press(int x, int y, MouseButton button, bool doubleClick)
{
    return {Event::Kind::Press, button, x, y, doubleClick};
}

Event Release(int x, int y, MouseButton button)
{
    return {Event::Kind::Release, button, x, y, false};
}

Event LostRelease(int x, int y, MouseButton button)
{
    return {Event::Kind::LostRelease, button, x, y, false};
}

std::vector<Event> Click(int x, int y, MouseButton button)
{
    return {MoveTo(x, y), Press(x, y, button), Release(x, y, button)};
}

Event CloseRequest()
{
    return {Event::Kind::Close, MouseButton::Left, 0, 0, false};
}

Event Expose()
{
    return {Event::Kind::Expose, MouseButton::Left, 0, 0, false};
}

Event AccessibleAction(int index)
{
    return {Event::Kind::AccessibleAction, MouseButton::Left, index, 0, false};
}

Event CaptureLost()
{
    return {Event::Kind::CaptureLost, MouseButton::Left, 0, 0, false};
}

void Load(Script script)
{
    State& s = S();
    delete s.TheWindow;
    s = State{};
    s.Queue.assign(script.Events.begin(), script.Events.end());
    s.Answers.assign(script.Answers.begin(), script.Answers.end());
    s.PresentFailuresLeft = script.PresentFailures;
    s.Setup = std::move(script);
}

void Queue(const std::vector<Event>& events)
{
    S().Queue.insert(S().Queue.end(), events.begin(), events.end());
}

void Note(const std::string& line)
{
    Record(line);
}

const std::vector<std::string>& Calls()
{
    return S().Calls;
}

const std::vector<std::uint32_t>& PresentedPixels()
{
    return S().LastPixels;
}

AccessibleTree* AccessibleTreeOfWindow()
{
    return S().TheWindow ? S().TheWindow->Desc.Accessible : nullptr;
}

WindowEvents* EventsOfWindow()
{
    return S().TheWindow ? S().TheWindow->Events : nullptr;
}

bool WindowExists()
{
    return S().TheWindow != nullptr;
}

bool WindowShown()
{
    return S().TheWindow && S().TheWindow->Shown;
}

void SetExitHook(std::function<void(int)> hook)
{
    S().ExitHook = std::move(hook);
}

void SetIdleHook(std::function<void()> hook)
{
    S().IdleHook = std::move(hook);
}

Table Connect()
{
    Table table;
    table.Name = "headless";
    table.Init = Init;
    table.Terminate = Terminate;
    table.FindResource = FindResource;
    table.DecodePng = DecodePng;
    table.ExecutableName = ExecutableName;
    table.LowerCase = LowerCaseUtf8;
    table.GetScreenSize = GetScreenSize;
    table.CreateWindow = CreateWindow;
    table.DestroyWindow = DestroyWindow;
    table.PresentWindow = PresentWindow;
    table.ShowWindow = ShowWindow;
    table.SetCursor = SetCursor;
    table.GetActiveWindow = GetActiveWindow;
    table.RunLoop = RunLoop;
    table.QuitLoop = QuitLoop;
    table.MessageBox = MessageBox;
    table.Beep = Beep;
    table.ShellExecute = ShellExecute;
    table.FinishHandOvers = FinishHandOvers;
    table.ExitProcess = ExitProcess;
    return table;
}

}  // namespace Headless
}  // namespace Platform
