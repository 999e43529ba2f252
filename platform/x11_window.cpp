// X11 backend: the main window.
// Implemented features:
//  [X] Undecorated, fixed-size top-level window with caption, WM_CLASS and _NET_WM_ICON
//  [X] Placed once on the primary monitor (its origin added to the given position)
//  [X] Contents as the window's background pixmap: the server repaints every
//      exposure itself, also while the program is busy or a box is open
//  [X] Bounding and input shapes from the surface's alpha: transparent pixels are
//      not drawn and let the mouse through, with or without a compositor
//  [X] A 32-bit ARGB visual where the server has one, so a compositor blends edges
//  [X] Any other TrueColor or DirectColor visual (15, 16, 24, 30 bits ...): the
//      surface converted through the visual's channel masks; DirectColor with
//      linear colour ramps of its own
//  [X] An indexed default visual (PseudoColor, StaticColor, GrayScale, StaticGray):
//      the nearest of the colours it can show, dithered, and one line that says so
//  [X] Theme cursors (hand and arrow) through Xlib, which falls back to the core cursors
//  [X] Presses, releases and moves; double-clicks recognised at the second press
//  [X] No input while a message box is open (releases still arrive, so a press
//      made before the box ends); the arrow is shown meanwhile
//  [X] A pointer grab by another client reported as the capture lost
//  [X] A surface the server refuses is reported, and presented again at the
//      next exposure
// Missing features or Issues:
//  [ ] Without a compositor, half-transparent edge pixels show blended over black
//  [ ] Indexed visuals show the picture in a few colours only

#include "platform/x11_internal.h"

#include "platform/EmbeddedResources.h"
#include "platform/PngDecoder.h"
#include "platform/linux_accessible.h"
#include "platform/x11_icon.h"
#include "platform/x11_pixels.h"
#include "platform/x11_shape.h"

#include <X11/Xatom.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/shape.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

// NOTE: X.h names the exposure event type Expose with a macro, which would
// rename WindowEvents::Expose; the event type is kept under another name.
constexpr int ExposeEventType = Expose;
#undef Expose

namespace Platform {

struct Window {
    ::Window Handle = 0;
    WindowEvents* Events = nullptr;
    Visual* TheVisual = nullptr;
    int Depth = 0;
    Colormap OwnColormap = 0;
    // How the surface becomes the visual's pixels: as it is (8-bit channels in
    // the low 24 bits, alpha above), through channel masks, or through a palette.
    bool SurfaceLayout = false;
    X11::ChannelMasks Masks;
    bool Indexed = false;
    bool Grey = false;
    std::vector<X11::PaletteColour> Palette;
    Colormap PaletteColormap = 0;
    std::vector<unsigned long> AllocatedPixels;  // colours to give back to PaletteColormap
    Pixmap Contents = 0;
    GC ContentsGc = nullptr;
    int Width = 0;
    int Height = 0;
    int Left = 0;  // root coordinates
    int Top = 0;
    bool Shown = false;
    bool PresentFailed = false;  // the server refused the last surface
    std::vector<X11::ShapeRect> VisibleShape;
    CursorShape CurrentCursor = CursorShape::Arrow;
    Cursor ArrowCursor = 0;
    Cursor HandCursor = 0;
};

namespace X11 {

namespace {

// The window hints that tell a window manager to draw no frame.
struct MotifHints {
    unsigned long Flags, Functions, Decorations;
    long InputMode;
    unsigned long State;
};
constexpr unsigned long MotifHintsFunctions = 1, MotifHintsDecorations = 2;
constexpr unsigned long MotifFunctionClose = 32;

bool ShowsColoursDirectly(int visualClass)
{
    return visualClass == TrueColor || visualClass == DirectColor;
}

bool HasSurfaceMasks(const XVisualInfo& info)
{
    return info.red_mask == 0xFF0000 && info.green_mask == 0xFF00 && info.blue_mask == 0xFF;
}

const char* ClassName(int visualClass)
{
    switch (visualClass) {
    case StaticGray: return "StaticGray";
    case GrayScale: return "GrayScale";
    case StaticColor: return "StaticColor";
    case PseudoColor: return "PseudoColor";
    case TrueColor: return "TrueColor";
    default: return "DirectColor";
    }
}

// A DirectColor visual looks every channel up in the colormap: ramps that give
// each channel value its own intensity make it show colours as TrueColor does.
void StoreLinearRamps(Backend& b, Platform::Window& w, const XVisualInfo& info)
{
    w.OwnColormap = XCreateColormap(b.Dpy, b.Root, info.visual, AllocAll);
    auto field = [](unsigned long mask, int i, unsigned long& pixel) {
        const int shift = std::countr_zero(mask);
        const unsigned long top = mask >> shift;
        const unsigned long value = std::min<unsigned long>(static_cast<unsigned long>(i), top);
        pixel |= value << shift;
        return static_cast<unsigned short>(value * 65535 / top);
    };
    std::vector<XColor> ramp(static_cast<std::size_t>(std::max(info.colormap_size, 0)));
    for (int i = 0; i < static_cast<int>(ramp.size()); ++i) {
        XColor& c = ramp[static_cast<std::size_t>(i)];
        c.pixel = 0;
        c.red = field(info.red_mask, i, c.pixel);
        c.green = field(info.green_mask, i, c.pixel);
        c.blue = field(info.blue_mask, i, c.pixel);
        c.flags = DoRed | DoGreen | DoBlue;
    }
    if (!ramp.empty())
        XStoreColors(b.Dpy, w.OwnColormap, ramp.data(), static_cast<int>(ramp.size()));
}

X11::PaletteColour PaletteColourOf(const XColor& c)
{
    return {static_cast<std::uint32_t>(c.pixel), static_cast<std::uint8_t>(c.red >> 8),
            static_cast<std::uint8_t>(c.green >> 8), static_cast<std::uint8_t>(c.blue >> 8)};
}

// Every colour of a colormap that cannot be changed (or is full), as it is now.
std::vector<X11::PaletteColour> ColoursOf(Backend& b, Colormap colormap, int entries)
{
    std::vector<XColor> cells(static_cast<std::size_t>(std::clamp(entries, 0, 4096)));
    for (std::size_t i = 0; i < cells.size(); ++i) cells[i].pixel = i;
    if (!cells.empty())
        XQueryColors(b.Dpy, colormap, cells.data(), static_cast<int>(cells.size()));
    std::vector<X11::PaletteColour> colours;
    for (const XColor& c : cells) colours.push_back(PaletteColourOf(c));
    return colours;
}

// The colours an indexed visual shows the picture with: a colour cube (or a
// grey ramp) shared in the colormap where cells can be allocated, else the
// colormap's colours as they are.
void ChoosePalette(Backend& b, Platform::Window& w, const XVisualInfo& info, Colormap colormap)
{
    w.Indexed = true;
    w.Grey = info.c_class == StaticGray || info.c_class == GrayScale;
    w.PaletteColormap = colormap;
    if (info.c_class == PseudoColor || info.c_class == GrayScale) {
        int levels = 2;
        if (w.Grey) levels = std::clamp(info.colormap_size / 2, 2, 32);
        else
            while ((levels + 1) * (levels + 1) * (levels + 1) <= info.colormap_size * 7 / 8 &&
                   levels < 6)
                ++levels;
        const std::vector<X11::PaletteColour> wanted =
            w.Grey ? X11::GreyRamp(levels) : X11::ColourCube(levels);
        for (const X11::PaletteColour& want : wanted) {
            XColor c{};
            c.red = static_cast<unsigned short>(want.Red * 257);
            c.green = static_cast<unsigned short>(want.Green * 257);
            c.blue = static_cast<unsigned short>(want.Blue * 257);
            if (!XAllocColor(b.Dpy, colormap, &c)) continue;
            w.AllocatedPixels.push_back(c.pixel);
            w.Palette.push_back(PaletteColourOf(c));
        }
    }
    if (w.Palette.size() < 2) w.Palette = ColoursOf(b, colormap, info.colormap_size);
    std::fprintf(stderr,
                 "%s: the X display's visual (%d-bit %s) cannot show the picture's colours; "
                 "it is shown dithered in %zu %s\n",
                 program_invocation_short_name, info.depth, ClassName(info.c_class),
                 w.Palette.size(), w.Grey ? "greys" : "colours");
}

// Picks a 32-bit visual whose top byte is alpha, or the screen's default.
void ChooseVisual(Backend& b, Platform::Window& w)
{
    XVisualInfo info;
    if (XMatchVisualInfo(b.Dpy, b.Screen, 32, TrueColor, &info) && HasSurfaceMasks(info)) {
        w.TheVisual = info.visual;
        w.Depth = 32;
        w.OwnColormap = XCreateColormap(b.Dpy, b.Root, info.visual, AllocNone);
        w.SurfaceLayout = true;
        return;
    }
    XVisualInfo wanted{};
    wanted.visualid = XVisualIDFromVisual(DefaultVisual(b.Dpy, b.Screen));
    int count = 0;
    XVisualInfo* found = XGetVisualInfo(b.Dpy, VisualIDMask, &wanted, &count);
    if (!found || count < 1) {
        if (found) XFree(found);
        w.TheVisual = DefaultVisual(b.Dpy, b.Screen);
        w.Depth = DefaultDepth(b.Dpy, b.Screen);
        w.SurfaceLayout = true;
        return;
    }
    info = found[0];
    XFree(found);
    // NOTE: an indexed default visual is kept even where the screen offers a
    // TrueColor one beside it: such screens share one hardware colour table,
    // and a window whose colormap is not the installed one shows wrong colours.
    w.TheVisual = info.visual;
    w.Depth = info.depth;
    if (info.c_class == DirectColor) StoreLinearRamps(b, w, info);
    if (!ShowsColoursDirectly(info.c_class)) {
        ChoosePalette(b, w, info, DefaultColormap(b.Dpy, b.Screen));
        return;
    }
    w.SurfaceLayout = info.c_class == TrueColor && HasSurfaceMasks(info);
    w.Masks = {static_cast<std::uint32_t>(info.red_mask),
               static_cast<std::uint32_t>(info.green_mask),
               static_cast<std::uint32_t>(info.blue_mask), 0};
}

// Writes the surface into the window's contents pixmap in the visual's format;
// false when no image for it could be made.
bool PutSurface(Backend& b, Platform::Window& w, const SurfaceView& surface)
{
    const auto width = static_cast<unsigned>(surface.Width);
    const auto height = static_cast<unsigned>(surface.Height);
    if (w.SurfaceLayout) {
        // The surface's own layout, described to Xlib without copying it.
        XImage image{};
        image.width = surface.Width;
        image.height = surface.Height;
        image.format = ZPixmap;
        image.data = reinterpret_cast<char*>(const_cast<std::uint32_t*>(surface.Pixels));
        image.byte_order = std::endian::native == std::endian::little ? LSBFirst : MSBFirst;
        image.bitmap_unit = 32;
        image.bitmap_bit_order = image.byte_order;
        image.bitmap_pad = 32;
        image.depth = w.Depth;
        image.bytes_per_line = surface.Width * 4;
        image.bits_per_pixel = 32;
        image.red_mask = 0xFF0000;
        image.green_mask = 0xFF00;
        image.blue_mask = 0xFF;
        XInitImage(&image);
        XPutImage(b.Dpy, w.Contents, w.ContentsGc, &image, 0, 0, 0, 0, width, height);
        return true;
    }
    const std::vector<std::uint32_t> values =
        w.Indexed ? PalettePixels(surface, w.Palette, w.Grey) : MaskedPixels(surface, w.Masks);
    // Xlib packs the values at the bits per pixel and byte order the server uses for the depth.
    XImage* image = XCreateImage(b.Dpy, w.TheVisual, static_cast<unsigned>(w.Depth), ZPixmap, 0,
                                 nullptr, width, height, BitmapPad(b.Dpy), 0);
    if (!image) return false;
    std::vector<char> data(static_cast<std::size_t>(image->bytes_per_line) * height);
    image->data = data.data();
    std::size_t i = 0;
    for (int y = 0; y < surface.Height; ++y)
        for (int x = 0; x < surface.Width; ++x) XPutPixel(image, x, y, values[i++]);
    XPutImage(b.Dpy, w.Contents, w.ContentsGc, image, 0, 0, 0, 0, width, height);
    image->data = nullptr;  // the vector's
    XDestroyImage(image);
    return true;
}

void SetIcon(Backend& b, const Platform::Window& w)
{
    constexpr std::size_t PieceValues = 8192;
    int mode = PropModeReplace;
    NetWmIconData(ReadIconImages(FindEmbeddedResource("MAINICON"), DecodePngWithLibpng),
                  PieceValues, [&](std::span<const unsigned long> piece) {
                      XChangeProperty(b.Dpy, w.Handle, b.Atom.NetWmIcon, XA_CARDINAL, 32, mode,
                                      reinterpret_cast<const unsigned char*>(piece.data()),
                                      static_cast<int>(piece.size()));
                      mode = PropModeAppend;
                  });
}

void SetProperties(Backend& b, const Platform::Window& w, const WindowDesc& desc)
{
    // Title, in both the legacy and the UTF-8 property.
    XChangeProperty(b.Dpy, w.Handle, XA_WM_NAME, XA_STRING, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(desc.Caption.c_str()),
                    static_cast<int>(desc.Caption.size()));
    XChangeProperty(b.Dpy, w.Handle, b.Atom.NetWmName, b.Atom.Utf8String, 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(desc.Caption.c_str()),
                    static_cast<int>(desc.Caption.size()));

    // The name the task list shows and groups by.
    std::vector<char> name(desc.TaskName.begin(), desc.TaskName.end());
    name.push_back('\0');
    XClassHint classHint{name.data(), name.data()};
    XSetClassHint(b.Dpy, w.Handle, &classHint);

    // Placed where asked, at a fixed size.
    XSizeHints size{};
    size.flags = USPosition | PPosition | PSize | PMinSize | PMaxSize;
    size.x = w.Left;
    size.y = w.Top;
    size.width = size.min_width = size.max_width = w.Width;
    size.height = size.min_height = size.max_height = w.Height;
    XSetWMNormalHints(b.Dpy, w.Handle, &size);

    XWMHints hints{};
    hints.flags = InputHint | StateHint;
    hints.input = True;
    hints.initial_state = NormalState;
    XSetWMHints(b.Dpy, w.Handle, &hints);

    Atom protocols[] = {b.Atom.WmDeleteWindow};
    XSetWMProtocols(b.Dpy, w.Handle, protocols, 1);

    // No frame; of the window manager's functions only closing (the window
    // is not moved, resized, minimised or maximised).
    MotifHints motif{MotifHintsFunctions | MotifHintsDecorations, MotifFunctionClose, 0, 0, 0};
    XChangeProperty(b.Dpy, w.Handle, b.Atom.MotifWmHints, b.Atom.MotifWmHints, 32,
                    PropModeReplace, reinterpret_cast<const unsigned char*>(&motif), 5);

    XChangeProperty(b.Dpy, w.Handle, b.Atom.NetWmWindowType, XA_ATOM, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&b.Atom.NetWmWindowTypeNormal), 1);

    // The process id, with the host it belongs to.
    const long pid = getpid();
    XChangeProperty(b.Dpy, w.Handle, b.Atom.NetWmPid, XA_CARDINAL, 32, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(&pid), 1);
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) == 0)
        XChangeProperty(b.Dpy, w.Handle, XA_WM_CLIENT_MACHINE, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(host),
                        static_cast<int>(std::strlen(host)));
    SetIcon(b, w);
}

::Cursor LoadCursor(Backend& b, Platform::Window& w, CursorShape shape)
{
    // Xlib loads these from the cursor theme when one is set up, else from the cursor font.
    ::Cursor& slot = shape == CursorShape::Hand ? w.HandCursor : w.ArrowCursor;
    if (!slot) slot = XCreateFontCursor(b.Dpy, shape == CursorShape::Hand ? XC_hand2 : XC_left_ptr);
    return slot;
}

void ApplyCursor(Backend& b, Platform::Window& w, CursorShape shape)
{
    XDefineCursor(b.Dpy, w.Handle, LoadCursor(b, w, shape));
}

MouseButton ButtonOf(unsigned int button)
{
    switch (button) {
    case Button1: return MouseButton::Left;
    case Button2: return MouseButton::Middle;
    case Button3: return MouseButton::Right;
    default: return MouseButton::Other;
    }
}

// Buttons 4 to 7 are the wheel's steps, not presses of a button.
bool IsWheel(unsigned int button)
{
    return button >= 4 && button <= 7;
}

Platform::Window* WindowOf(::Window handle)
{
    Platform::Window* w = State().Main;
    return w && w->Handle == handle ? w : nullptr;
}

// Errors of the requests sent while a trap is set, found when the trap is
// checked. Xlib's error handler is the process's, not the connection's, so
// the trap puts back whatever handler was there before (a toolkit's own).
int g_trappedErrors = 0;
unsigned long g_firstTrappedRequest = 0;

int CountXError(Display*, XErrorEvent* error)
{
    if (error->serial >= g_firstTrappedRequest) ++g_trappedErrors;
    return 0;
}

class ErrorTrap {
public:
    explicit ErrorTrap(Display* dpy) : dpy_(dpy), previous_(XSetErrorHandler(CountXError))
    {
        g_trappedErrors = 0;
        g_firstTrappedRequest = NextRequest(dpy);
    }
    ~ErrorTrap() { XSetErrorHandler(previous_); }
    // Waits until the server has handled every request; true when one failed.
    bool Failed()
    {
        XSync(dpy_, False);
        return g_trappedErrors > 0;
    }

private:
    Display* dpy_;
    int (*previous_)(Display*, XErrorEvent*);
};

void DropContents(Backend& b, Platform::Window& w)
{
    if (w.ContentsGc) XFreeGC(b.Dpy, w.ContentsGc);
    if (w.Contents) XFreePixmap(b.Dpy, w.Contents);
    w.ContentsGc = nullptr;
    w.Contents = 0;
    w.VisibleShape.clear();
}

}  // namespace

Window* CreateWindow(const WindowDesc& desc, WindowEvents* events)
{
    Backend& b = State();
    auto* w = new Platform::Window;
    w->Events = events;
    w->Width = desc.Width > 0 ? desc.Width : 1;
    w->Height = desc.Height > 0 ? desc.Height : 1;
    w->Left = b.MonitorX + desc.Left;
    w->Top = b.MonitorY + desc.Top;
    ChooseVisual(b, *w);

    XSetWindowAttributes attributes{};
    unsigned long mask = CWBackPixmap | CWBorderPixel | CWEventMask;
    attributes.background_pixmap = None;
    attributes.border_pixel = 0;
    attributes.event_mask = ButtonPressMask | ButtonReleaseMask | PointerMotionMask |
                            EnterWindowMask | LeaveWindowMask | ExposureMask | StructureNotifyMask |
                            FocusChangeMask;
    if (w->OwnColormap) {
        attributes.colormap = w->OwnColormap;
        mask |= CWColormap;
    }
    w->Handle = XCreateWindow(b.Dpy, b.Root, w->Left, w->Top, static_cast<unsigned>(w->Width),
                              static_cast<unsigned>(w->Height), 0, w->Depth, InputOutput,
                              w->TheVisual, mask, &attributes);
    // Nothing is seen or takes the mouse until the first surface arrives.
    XShapeCombineRectangles(b.Dpy, w->Handle, ShapeBounding, 0, 0, nullptr, 0, ShapeSet, YXBanded);
    XShapeCombineRectangles(b.Dpy, w->Handle, ShapeInput, 0, 0, nullptr, 0, ShapeSet, YXBanded);
    SetProperties(b, *w, desc);
    ApplyCursor(b, *w, CursorShape::Arrow);
    b.Main = w;
    Linux::FollowAccessibility(b.Dpy, {desc.Accessible, desc.TaskName, b.MonitorX, b.MonitorY,
                                      {ConnectionNumber(b.Dpy), b.SignalPipe[0]}, DispatchWaiting});
    return w;
}

void DestroyWindow(Window* w)
{
    if (!w) return;
    Backend& b = State();
    if (b.Main == w) Linux::StopAccessibility();
    if (b.Dpy) {
        XDestroyWindow(b.Dpy, w->Handle);
        DropContents(b, *w);
        if (w->ArrowCursor) XFreeCursor(b.Dpy, w->ArrowCursor);
        if (w->HandCursor) XFreeCursor(b.Dpy, w->HandCursor);
        if (w->OwnColormap) XFreeColormap(b.Dpy, w->OwnColormap);
        if (!w->AllocatedPixels.empty())
            XFreeColors(b.Dpy, w->PaletteColormap, w->AllocatedPixels.data(),
                        static_cast<int>(w->AllocatedPixels.size()), 0);
        XFlush(b.Dpy);
    }
    if (b.Main == w) b.Main = nullptr;
    delete w;
}

bool PresentWindow(Window* w, const SurfaceView& surface, int left, int top)
{
    Backend& b = State();
    if (!w || !b.Dpy || !surface.Pixels || surface.Width != w->Width || surface.Height != w->Height)
        return false;
    ErrorTrap trap(b.Dpy);
    if (!w->Contents) {
        w->Contents = XCreatePixmap(b.Dpy, w->Handle, static_cast<unsigned>(w->Width),
                                    static_cast<unsigned>(w->Height),
                                    static_cast<unsigned>(w->Depth));
        w->ContentsGc = XCreateGC(b.Dpy, w->Contents, 0, nullptr);
    }
    const bool put = PutSurface(b, *w, surface);
    XSetWindowBackgroundPixmap(b.Dpy, w->Handle, w->Contents);

    std::vector<ShapeRect> shape = VisibleRectangles(surface);
    if (shape != w->VisibleShape) {
        std::vector<XRectangle> rects;
        rects.reserve(shape.size());
        for (const ShapeRect& r : shape)
            rects.push_back({static_cast<short>(r.X), static_cast<short>(r.Y),
                             static_cast<unsigned short>(r.Width),
                             static_cast<unsigned short>(r.Height)});
        for (int kind : {ShapeBounding, ShapeInput})
            XShapeCombineRectangles(b.Dpy, w->Handle, kind, 0, 0, rects.data(),
                                    static_cast<int>(rects.size()), ShapeSet, YXBanded);
        w->VisibleShape = std::move(shape);
    }
    const int x = b.MonitorX + left, y = b.MonitorY + top;
    if (x != w->Left || y != w->Top) {
        w->Left = x;
        w->Top = y;
        XMoveWindow(b.Dpy, w->Handle, x, y);
    }
    if (w->Shown) XClearWindow(b.Dpy, w->Handle);
    // Waiting for the server here costs one round trip per presentation (the
    // server repaints exposures itself), and tells whether it took the picture.
    w->PresentFailed = trap.Failed() || !put;
    if (w->PresentFailed) DropContents(b, *w);
    return !w->PresentFailed;
}

void ShowWindow(Window* w)
{
    if (!w) return;
    Backend& b = State();
    XMapRaised(b.Dpy, w->Handle);
    XFlush(b.Dpy);
    w->Shown = true;
}

void SetCursor(Window* w, CursorShape shape)
{
    if (!w) return;
    w->CurrentCursor = shape;
    // While a box is open the window shows the arrow; the shape is restored after.
    if (State().ModalDepth > 0) return;
    ApplyCursor(State(), *w, shape);
    XFlush(State().Dpy);
}

Window* GetActiveWindow()
{
    Platform::Window* w = State().Main;
    return w && w->Shown ? w : nullptr;
}

void EnterModal()
{
    Backend& b = State();
    if (b.ModalDepth++ == 0 && b.Main) {
        ApplyCursor(b, *b.Main, CursorShape::Arrow);
        XFlush(b.Dpy);
    }
}

void LeaveModal()
{
    Backend& b = State();
    if (--b.ModalDepth > 0) return;
    b.Clicks.Reset();
    if (b.Main) {
        ApplyCursor(b, *b.Main, b.Main->CurrentCursor);
        XFlush(b.Dpy);
    }
    if (b.CloseWaiting) {
        b.CloseWaiting = false;
        RequestClose();
    }
}

void RequestClose()
{
    Backend& b = State();
    if (b.ModalDepth > 0) {
        b.CloseWaiting = true;
        return;
    }
    if (b.Main) b.Main->Events->CloseRequest();
    else b.Quit = true;
}

::Window NativeWindow(const Platform::Window* w)
{
    return w ? w->Handle : 0;
}

void WindowFrame(const Platform::Window* w, int& x, int& y, int& width, int& height)
{
    x = w->Left;
    y = w->Top;
    width = w->Width;
    height = w->Height;
}

void HandleEvent(XEvent& event)
{
    Backend& b = State();
    if (HandleSettingsEvent(event)) return;
    if (event.type == ClientMessage) {
        if (WindowOf(event.xclient.window) && event.xclient.message_type == b.Atom.WmProtocols &&
            static_cast<Atom>(event.xclient.data.l[0]) == b.Atom.WmDeleteWindow)
            RequestClose();
        return;
    }
    Platform::Window* w = WindowOf(event.xany.window);
    if (!w) return;
    const bool enabled = b.ModalDepth == 0;
    switch (event.type) {
    case ButtonPress: {
        const XButtonEvent& e = event.xbutton;
        if (!enabled || IsWheel(e.button)) return;
        const bool second =
            b.Clicks.Press(static_cast<int>(e.button), e.x, e.y, static_cast<std::uint32_t>(e.time));
        w->Events->MouseDown(ButtonOf(e.button), e.x, e.y, second);
        return;
    }
    case ButtonRelease: {
        // Delivered also while a box is open: a button pressed before the
        // box opened is released then, and the framework must hear of it.
        const XButtonEvent& e = event.xbutton;
        if (IsWheel(e.button)) return;
        w->Events->MouseUp(ButtonOf(e.button), e.x, e.y);
        return;
    }
    case LeaveNotify:
        // Another client grabbed the pointer: the releases now go to it.
        if (event.xcrossing.mode == NotifyGrab) w->Events->CaptureLost();
        return;
    case ExposeEventType:
        // The server repaints from the background pixmap by itself; only a
        // surface it refused before needs to be presented again.
        if (event.xexpose.count == 0 && w->PresentFailed) w->Events->Expose();
        return;
    case MotionNotify: {
        // Only the latest position of a burst matters.
        XEvent next;
        while (XEventsQueued(b.Dpy, QueuedAlready) > 0) {
            XPeekEvent(b.Dpy, &next);
            if (next.type != MotionNotify || next.xmotion.window != w->Handle) break;
            XNextEvent(b.Dpy, &event);
        }
        if (enabled) w->Events->MouseMove(event.xmotion.x, event.xmotion.y);
        return;
    }
    case EnterNotify:
        if (enabled) w->Events->MouseMove(event.xcrossing.x, event.xcrossing.y);
        return;
    // For assistive technology, which announces a window as it appears and
    // as it takes the keyboard focus.
    case MapNotify:
        if (w == b.Main) Linux::AccessibleWindowShown();
        return;
    case FocusIn:
    case FocusOut:
        // The focus moving to the pointer's window, or passing through a
        // grab, is not the window's own.
        if (w != b.Main || event.xfocus.detail == NotifyPointer ||
            event.xfocus.detail == NotifyPointerRoot || event.xfocus.detail == NotifyDetailNone)
            return;
        if (event.xfocus.mode == NotifyGrab || event.xfocus.mode == NotifyUngrab) return;
        Linux::AccessibleWindowFocused(event.type == FocusIn);
        return;
    default: return;
    }
}

}  // namespace X11
}  // namespace Platform
