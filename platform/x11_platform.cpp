// X11 backend: start, the event loop, the shell operations and the table.
// Implemented features:
//  [X] One X connection; a display that cannot be opened, or whose default screen
//      it does not have, fails Init with one line
//  [X] A lost X server ends the program with status 1 and one line, also after the
//      toolkit of the box has been loaded (its handlers are routed back here)
//  [X] The primary monitor from RandR (the whole screen without it)
//  [X] Event loop that sleeps in poll() until the display or a signal wakes it:
//      no timers and no polling
//  [X] SIGTERM, SIGINT and SIGHUP end the program like a close request; while a
//      message box is open they end it at once (status 0), since the box's
//      question cannot be answered any more; a close request from the desktop
//      waits until the box is answered
//  [X] Message boxes (GTK), the tone (ALSA), opening addresses (GIO), each loaded
//      on first use so that start-up costs what raw Xlib costs
//  [X] While an address is on its way to its handler, the loop also turns
//      GLib's main context; at the end the hand-overs are finished, bounded
//  [X] Resources from the embedded table, PNG decoding with libpng
// Missing features or Issues:
//  [ ] ShellExecute knows the verb "open" only

#include "platform/x11_platform.h"

#include "platform/EmbeddedResources.h"
#include "platform/PngDecoder.h"
#include "platform/linux_accessible.h"
#include "platform/linux_executable_name.h"
#include "platform/linux_message_box.h"
#include "platform/linux_open_address.h"
#include "platform/linux_tone.h"
#include "platform/lower_case.h"
#include "platform/x11_internal.h"

#include <X11/Xatom.h>
#include <X11/extensions/Xrandr.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <strings.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace Platform::X11 {

Backend& State()
{
    static Backend backend;
    return backend;
}

namespace {

constexpr int SignalsEndingTheProgram[] = {SIGTERM, SIGINT, SIGHUP};

void OnEndingSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = write(State().SignalPipe[1], &byte, 1);
    errno = saved;
}

bool InstallSignals(Backend& b)
{
    if (pipe2(b.SignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    struct sigaction action {};
    action.sa_handler = OnEndingSignal;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    for (int signal : SignalsEndingTheProgram) sigaction(signal, &action, nullptr);
    return true;
}

void RemoveSignals(Backend& b)
{
    for (int signal : SignalsEndingTheProgram) ::signal(signal, SIG_DFL);
    for (int& fd : b.SignalPipe) {
        if (fd >= 0) close(fd);
        fd = -1;
    }
}

// True when a signal asked the program to end since the last call.
bool TakeSignals(Backend& b)
{
    char bytes[16];
    bool any = false;
    while (read(b.SignalPipe[0], bytes, sizeof bytes) > 0) any = true;
    return any;
}

// A protocol error must not end the program (the default handler exits);
// requests here fail harmlessly, e.g. on a settings window that just went away.
int IgnoreXError(Display*, XErrorEvent*)
{
    return 0;
}

// The connection to the X server broke (the server ended, or the connection
// was cut): nothing can be shown or answered any more, so the program ends
// with status 1 and one line that says why. Xlib would end the process after
// this handler returns; it does not return.
int OnConnectionLost(Display* dpy)
{
    const char* name = dpy ? DisplayString(dpy) : "";
    std::fprintf(stderr, "%s: lost the connection to the X display \"%s\"\n",
                 program_invocation_short_name, name ? name : "");
    std::fflush(stderr);
    _exit(1);
}

void InternAtoms(Backend& b)
{
    char selection[32];
    std::snprintf(selection, sizeof selection, "_XSETTINGS_S%d", b.Screen);
    const char* names[] = {"WM_PROTOCOLS",
                           "WM_DELETE_WINDOW",
                           "_NET_WM_NAME",
                           "_NET_WM_ICON",
                           "_NET_WM_PID",
                           "_NET_WM_WINDOW_TYPE",
                           "_NET_WM_WINDOW_TYPE_NORMAL",
                           "_MOTIF_WM_HINTS",
                           "UTF8_STRING",
                           "_XSETTINGS_SETTINGS",
                           selection,
                           "MANAGER"};
    constexpr int count = sizeof names / sizeof names[0];
    Atom atoms[count];
    XInternAtoms(b.Dpy, const_cast<char**>(names), count, False, atoms);
    Atom* out[] = {&b.Atom.WmProtocols,           &b.Atom.WmDeleteWindow,    &b.Atom.NetWmName,
                   &b.Atom.NetWmIcon,             &b.Atom.NetWmPid,          &b.Atom.NetWmWindowType,
                   &b.Atom.NetWmWindowTypeNormal, &b.Atom.MotifWmHints,      &b.Atom.Utf8String,
                   &b.Atom.XSettingsSettings,     &b.Atom.XSettingsSelection,
                   &b.Atom.Manager};
    static_assert(sizeof out / sizeof out[0] == count);
    for (int i = 0; i < count; ++i) *out[i] = atoms[i];
}

// The primary monitor; the first one when none is marked; the screen without RandR.
void FindPrimaryMonitor(Backend& b)
{
    b.MonitorX = 0;
    b.MonitorY = 0;
    b.MonitorWidth = DisplayWidth(b.Dpy, b.Screen);
    b.MonitorHeight = DisplayHeight(b.Dpy, b.Screen);
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XRRQueryExtension(b.Dpy, &eventBase, &errorBase) ||
        !XRRQueryVersion(b.Dpy, &major, &minor) || (major == 1 && minor < 5))
        return;
    int count = 0;
    XRRMonitorInfo* monitors = XRRGetMonitors(b.Dpy, b.Root, True, &count);
    if (!monitors) return;
    int chosen = -1;
    for (int i = 0; i < count && chosen < 0; ++i)
        if (monitors[i].primary) chosen = i;
    if (chosen < 0 && count > 0) chosen = 0;
    if (chosen >= 0 && monitors[chosen].width > 0 && monitors[chosen].height > 0) {
        b.MonitorX = monitors[chosen].x;
        b.MonitorY = monitors[chosen].y;
        b.MonitorWidth = monitors[chosen].width;
        b.MonitorHeight = monitors[chosen].height;
    }
    XRRFreeMonitors(monitors);
}

bool Init(std::string& error)
{
    Backend& b = State();
    b.Dpy = XOpenDisplay(nullptr);
    if (!b.Dpy) {
        const char* name = XDisplayName(nullptr);
        error = name && *name ? std::string("cannot open the X display \"") + name + "\""
                              : "cannot open an X display: DISPLAY is not set";
        return false;
    }
    // NOTE: Xlib accepts a negative screen number in the display name and
    // keeps it as the default screen; every per-screen macro would then read
    // outside the display's screen array.
    if (DefaultScreen(b.Dpy) < 0 || DefaultScreen(b.Dpy) >= ScreenCount(b.Dpy)) {
        error = std::string("cannot open the X display \"") + DisplayString(b.Dpy) +
                "\": it has no screen " + std::to_string(DefaultScreen(b.Dpy));
        XCloseDisplay(b.Dpy);
        b.Dpy = nullptr;
        return false;
    }
    if (!InstallSignals(b)) {
        XCloseDisplay(b.Dpy);
        b.Dpy = nullptr;
        error = "cannot set up signal handling";
        return false;
    }
    XSetErrorHandler(IgnoreXError);
    XSetIOErrorHandler(OnConnectionLost);
    b.Screen = DefaultScreen(b.Dpy);
    b.Root = RootWindow(b.Dpy, b.Screen);
    b.Quit = false;
    InternAtoms(b);
    FindPrimaryMonitor(b);
    WatchDesktopSettings();
    return true;
}

void Terminate()
{
    Backend& b = State();
    if (b.Dpy) XCloseDisplay(b.Dpy);
    b.Dpy = nullptr;
    RemoveSignals(b);
}

std::span<const std::uint8_t> FindResource(const char* name)
{
    return FindEmbeddedResource(name);
}

std::string ExecutableName()
{
    return Linux::ExecutableFileName("/proc/self/exe");
}

ScreenSize GetScreenSize()
{
    return {State().MonitorWidth, State().MonitorHeight};
}

void RunLoop()
{
    Backend& b = State();
    b.Quit = false;
    const int displayFd = ConnectionNumber(b.Dpy);
    while (!b.Quit) {
        DispatchWaiting();
        if (b.Quit) break;
        Linux::ServeToolkit();
        if (Linux::AccessibilityRunning()) {
            // GLib's loop serves the accessibility bus and watches the display and signals.
            Linux::WaitWithAccessibility();
            continue;
        }
        // XPending in DispatchWaiting flushed every request; sleep until something arrives.
        // A broken connection wakes it too; the next XPending then reports it.
        // Descriptors below 0 are left out by poll.
        pollfd fds[4] = {{displayFd, POLLIN, 0},
                         {b.SignalPipe[0], POLLIN, 0},
                         {Linux::ToolkitConnection(), POLLIN, 0},
                         {Linux::AccessibilitySwitchConnection(), POLLIN, 0}};
        // An address on its way to its handler needs GLib's loop turned until
        // it arrives; otherwise nothing of GLib's runs while the window waits.
        if (Linux::HandOversInProgress()) {
            if (!Linux::WaitServingHandOvers(fds, 4)) break;
        } else if (poll(fds, 4, -1) < 0 && errno != EINTR) {
            break;
        }
        // The desktop's accessibility switch, followed on the session bus.
        if (fds[3].fd >= 0 && fds[3].revents != 0) Linux::ServeAccessibilitySwitch();
    }
}

void QuitLoop()
{
    State().Quit = true;
}

// Called while a box is open, when the display or the signal pipe is readable.
void ServeWhileModal()
{
    DispatchWaiting();
}

int MessageBox(Platform::Window* owner, const std::string& text, const std::string& caption,
               unsigned style)
{
    Backend& b = State();
    if (!b.Dpy) return Box::Failed;
    Linux::BoxOwner box;
    if (owner) {
        box.Window = NativeWindow(owner);
        WindowFrame(owner, box.X, box.Y, box.Width, box.Height);
    } else {
        box.X = b.MonitorX;
        box.Y = b.MonitorY;
        box.Width = b.MonitorWidth;
        box.Height = b.MonitorHeight;
    }
    box.WatchFds[0] = ConnectionNumber(b.Dpy);
    box.WatchFds[1] = b.SignalPipe[0];
    box.Serve = ServeWhileModal;
    EnterModal();
    const int result = Linux::ShowMessageBox(box, text, caption, style);
    LeaveModal();
    return result;
}

bool Beep(unsigned frequency, unsigned durationMs)
{
    return Linux::PlayTone(frequency, durationMs);
}

std::intptr_t ShellExecute(Platform::Window*, const std::string& verb, const std::string& file,
                           const std::string&, const std::string&, int)
{
    constexpr std::intptr_t Started = 42;       // above 32: the shell's value for success
    constexpr std::intptr_t NotFound = 2;       // no handler or it could not start
    constexpr std::intptr_t NoAssociation = 31; // a verb other than "open"
    if (!verb.empty() && strcasecmp(verb.c_str(), "open") != 0) return NoAssociation;
    return Linux::OpenAddress(file) ? Started : NotFound;
}

void FinishHandOvers(unsigned timeoutMs)
{
    Linux::FinishHandOvers(timeoutMs);
}

[[noreturn]] void ExitProcess(int status)
{
    std::fflush(nullptr);
    _exit(status);
}

}  // namespace

void DispatchWaiting()
{
    Backend& b = State();
    if (TakeSignals(b)) {
        // A signal while a box waits for its answer cannot wait for it, and the
        // handler that asked cannot go on without one: the program ends here,
        // with the status a close request gives.
        if (b.ModalDepth > 0) ExitProcess(0);
        RequestClose();
    }
    while (b.Dpy && XPending(b.Dpy) > 0) {
        XEvent event;
        XNextEvent(b.Dpy, &event);
        HandleEvent(event);
        if (b.Quit && b.ModalDepth == 0) return;
    }
}

Table Connect()
{
    Table table;
    table.Name = "x11";
    table.Init = Init;
    table.Terminate = Terminate;
    table.FindResource = FindResource;
    table.DecodePng = DecodePngWithLibpng;
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

}  // namespace Platform::X11
