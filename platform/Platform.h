#pragma once
// The one table of desktop operations that the framework calls. Every backend
// (headless, X11, Win32) fills the whole table in one Connect function; the
// framework reaches the desktop through nothing else. Events travel back up
// through the WindowEvents interface that the framework hands to CreateWindow.
// No platform header is included here: windows cross as opaque pointers.

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace Platform {

class AccessibleTree;

// A backend's window; only the backend knows what is inside.
struct Window;

enum class MouseButton { Left, Middle, Right, Other };
enum class CursorShape { Arrow, Hand };

struct ScreenSize {
    int Width = 0;
    int Height = 0;
};

// Premultiplied 32-bit ARGB pixels, one std::uint32_t per pixel (0xAARRGGBB,
// native endian, so B G R A in memory on little-endian machines), rows top to
// bottom without padding. This is the layout that a 32-bit DIB section and
// cairo's ARGB32 share.
struct SurfaceView {
    const std::uint32_t* Pixels = nullptr;
    int Width = 0;
    int Height = 0;
};

// A decoded picture in the same premultiplied ARGB layout.
struct DecodedImage {
    int Width = 0;
    int Height = 0;
    std::vector<std::uint32_t> Pixels;
};

struct WindowDesc {
    std::string Caption;   // the window's title text (UTF-8)
    std::string TaskName;  // the name the desktop lists the program under (UTF-8)
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
    // What the window tells assistive technology; nullptr: nothing.
    AccessibleTree* Accessible = nullptr;
};

// Message box styles and results, with the values the desktop uses.
namespace Box {
inline constexpr unsigned Ok = 0x0;
inline constexpr unsigned YesNo = 0x4;
inline constexpr unsigned IconError = 0x10;
inline constexpr unsigned IconQuestion = 0x20;
inline constexpr int Failed = 0;
inline constexpr int ResultOk = 1;
inline constexpr int ResultYes = 6;
inline constexpr int ResultNo = 7;
}  // namespace Box

inline constexpr int ShowNormal = 1;

// What a backend reports about a window. The framework implements it; every
// entry is noexcept, so no C++ exception ever unwinds into a backend callback.
// Coordinates are window pixels; a backend captures the mouse from a press
// until all buttons are up, so a release outside the window still arrives.
class WindowEvents {
public:
    virtual void MouseDown(MouseButton button, int x, int y, bool doubleClick) noexcept = 0;
    virtual void MouseUp(MouseButton button, int x, int y) noexcept = 0;
    virtual void MouseMove(int x, int y) noexcept = 0;
    virtual void CloseRequest() noexcept = 0;
    // The desktop lost the window's contents, or may now be able to show
    // contents it could not show before; the framework presents again.
    virtual void Expose() noexcept = 0;
    // The mouse is no longer captured by the window although not every
    // release has arrived (another window or the desktop took it): no button
    // counts as held any longer and no press is waiting for its release.
    virtual void CaptureLost() noexcept = 0;

protected:
    ~WindowEvents() = default;
};

struct Table {
    const char* Name = nullptr;

    // init: Init fills `error` with one line and returns false when the
    // desktop cannot be reached; Terminate undoes Init.
    bool (*Init)(std::string& error) = nullptr;
    void (*Terminate)() = nullptr;

    // resources built into the executable; empty span when absent
    std::span<const std::uint8_t> (*FindResource)(const char* name) = nullptr;
    bool (*DecodePng)(std::span<const std::uint8_t> data, DecodedImage& out) = nullptr;
    // the executable's file name without its folder, e.g. "Avendrel.exe"
    std::string (*ExecutableName)() = nullptr;
    // UTF-8 text with every letter in lower case, as the desktop lowers text
    std::string (*LowerCase)(const std::string& text) = nullptr;

    // screen: the size of the primary screen
    ScreenSize (*GetScreenSize)() = nullptr;

    // window: created hidden; Present sets the contents (only pixels with
    // alpha above 0 are seen and take the mouse) and the position, and returns
    // false when the desktop did not take them; Show maps it.
    Window* (*CreateWindow)(const WindowDesc& desc, WindowEvents* events) = nullptr;
    void (*DestroyWindow)(Window* window) = nullptr;
    bool (*PresentWindow)(Window* window, const SurfaceView& surface, int left, int top) = nullptr;
    void (*ShowWindow)(Window* window) = nullptr;
    void (*SetCursor)(Window* window, CursorShape shape) = nullptr;
    Window* (*GetActiveWindow)() = nullptr;

    // loop: RunLoop dispatches events until QuitLoop is called
    void (*RunLoop)() = nullptr;
    void (*QuitLoop)() = nullptr;

    // shell. MessageBox is modal to its owner (nullptr: no owner) and returns
    // the result of the button chosen, or Box::Failed (or whatever else the
    // system returned) when it could not be shown.
    int (*MessageBox)(Window* owner, const std::string& text, const std::string& caption,
                      unsigned style) = nullptr;
    bool (*Beep)(unsigned frequency, unsigned durationMs) = nullptr;
    std::intptr_t (*ShellExecute)(Window* owner, const std::string& verb, const std::string& file,
                                  const std::string& parameters, const std::string& directory,
                                  int showCommand) = nullptr;
    // Waits until every address handed over by ShellExecute has been taken
    // by its handler, or until `timeoutMs` have passed. Handing over does not
    // wait, so that the window keeps answering; a process that ends while a
    // hand-over is on its way loses the address. Called once the windows are
    // gone, just before the process ends; shows and prints nothing.
    void (*FinishHandOvers)(unsigned timeoutMs) = nullptr;
    // Ends the process with `status`; never returns.
    void (*ExitProcess)(int status) = nullptr;
};

// The backend in use. Connect is called once, by the start-up code that the
// executable or a test chooses; nothing picks a backend by default.
const Table& Current();
void Connect(const Table& table);

}  // namespace Platform
