// Linux: message boxes as GTK 3 message dialogs.
// Implemented features:
//  [X] Icon and buttons from the style: OK, OK/Cancel, Yes/No; error, question, warning, information
//  [X] An icon that cannot be loaded (no icon theme, no MIME database) is left out
//  [X] The program's X error handlers stay in place when GTK starts
//  [X] GTK's own translated buttons; the first button is the default and has the focus
//  [X] Modal and transient for the owner's X window, centred on it
//  [X] A Yes/No box closes only through Yes or No (Escape and close requests do not answer it)
//  [X] The owner's events are served while the box is open, so it keeps being drawn
//  [X] GTK loaded and initialised on first use only, on X11, without the command line
//  [X] Between boxes the event loop serves GTK's connection (selections, settings)
// Missing features or Issues:
//  [ ] Yes/No/Cancel, Abort/Retry/Ignore and Retry/Cancel button sets: fail with 0

#include "platform/linux_message_box.h"

#include "platform/linux_accessible.h"
#include "platform/linux_library.h"

#include <gdk/gdkx.h>
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <cstdlib>
#include <optional>
#include <string>

namespace Platform::Linux {

namespace {

struct GtkApi {
    AVENDREL_LIBRARY_FUNCTION(gdk_set_allowed_backends);
    AVENDREL_LIBRARY_FUNCTION(gtk_init_check);
    AVENDREL_LIBRARY_FUNCTION(gtk_message_dialog_new);
    AVENDREL_LIBRARY_FUNCTION(gtk_image_new_from_icon_name);
    AVENDREL_LIBRARY_FUNCTION(gtk_icon_theme_get_default);
    AVENDREL_LIBRARY_FUNCTION(gtk_icon_theme_lookup_icon);
    AVENDREL_LIBRARY_FUNCTION(gtk_icon_info_get_filename);
    AVENDREL_LIBRARY_FUNCTION(gtk_icon_size_lookup);
    AVENDREL_LIBRARY_FUNCTION(gdk_pixbuf_new_from_file_at_size);
    AVENDREL_LIBRARY_FUNCTION(gdk_pixbuf_new_from_resource_at_scale);
    AVENDREL_LIBRARY_FUNCTION(g_error_free);
    AVENDREL_LIBRARY_FUNCTION(gtk_widget_show);
    AVENDREL_LIBRARY_FUNCTION(gtk_window_set_title);
    AVENDREL_LIBRARY_FUNCTION(gtk_window_move);
    AVENDREL_LIBRARY_FUNCTION(gtk_widget_get_preferred_size);
    AVENDREL_LIBRARY_FUNCTION(gtk_dialog_set_default_response);
    AVENDREL_LIBRARY_FUNCTION(gtk_dialog_get_widget_for_response);
    AVENDREL_LIBRARY_FUNCTION(gtk_widget_grab_focus);
    AVENDREL_LIBRARY_FUNCTION(gtk_widget_realize);
    AVENDREL_LIBRARY_FUNCTION(gtk_widget_get_window);
    AVENDREL_LIBRARY_FUNCTION(gtk_dialog_run);
    AVENDREL_LIBRARY_FUNCTION(gtk_widget_destroy);
    AVENDREL_LIBRARY_FUNCTION(gdk_display_get_default);
    AVENDREL_LIBRARY_FUNCTION(gdk_display_flush);
    AVENDREL_LIBRARY_FUNCTION(gdk_x11_window_foreign_new_for_display);
    AVENDREL_LIBRARY_FUNCTION(gdk_window_set_transient_for);
    AVENDREL_LIBRARY_FUNCTION(gdk_window_focus);
    AVENDREL_LIBRARY_FUNCTION(g_object_unref);
    AVENDREL_LIBRARY_FUNCTION(g_unix_fd_add);
    AVENDREL_LIBRARY_FUNCTION(g_source_remove);
    AVENDREL_LIBRARY_FUNCTION(g_signal_connect_data);
    AVENDREL_LIBRARY_FUNCTION(g_main_context_iteration);
    AVENDREL_LIBRARY_FUNCTION(gdk_x11_display_get_xdisplay);
    // Deprecated in GTK 3 but the only way to give a message dialog its icon.
    void (*gtk_message_dialog_set_image)(GtkMessageDialog*, GtkWidget*) = nullptr;
};

bool LoadGtk(GtkApi& api)
{
    static SharedLibrary library("libgtk-3.so.0");
    return library.Open() && AVENDREL_FIND(library, api, gdk_set_allowed_backends) &&
           AVENDREL_FIND(library, api, gtk_init_check) &&
           AVENDREL_FIND(library, api, gtk_message_dialog_new) &&
           AVENDREL_FIND(library, api, gtk_image_new_from_icon_name) &&
           AVENDREL_FIND(library, api, gtk_icon_theme_get_default) &&
           AVENDREL_FIND(library, api, gtk_icon_theme_lookup_icon) &&
           AVENDREL_FIND(library, api, gtk_icon_info_get_filename) &&
           AVENDREL_FIND(library, api, gtk_icon_size_lookup) &&
           AVENDREL_FIND(library, api, gdk_pixbuf_new_from_file_at_size) &&
           AVENDREL_FIND(library, api, gdk_pixbuf_new_from_resource_at_scale) &&
           AVENDREL_FIND(library, api, g_error_free) &&
           AVENDREL_FIND(library, api, gtk_widget_show) &&
           AVENDREL_FIND(library, api, gtk_window_set_title) &&
           AVENDREL_FIND(library, api, gtk_window_move) &&
           AVENDREL_FIND(library, api, gtk_widget_get_preferred_size) &&
           AVENDREL_FIND(library, api, gtk_dialog_set_default_response) &&
           AVENDREL_FIND(library, api, gtk_dialog_get_widget_for_response) &&
           AVENDREL_FIND(library, api, gtk_widget_grab_focus) &&
           AVENDREL_FIND(library, api, gtk_widget_realize) &&
           AVENDREL_FIND(library, api, gtk_widget_get_window) &&
           AVENDREL_FIND(library, api, gtk_dialog_run) &&
           AVENDREL_FIND(library, api, gtk_widget_destroy) &&
           AVENDREL_FIND(library, api, gdk_display_get_default) &&
           AVENDREL_FIND(library, api, gdk_display_flush) &&
           AVENDREL_FIND(library, api, gdk_x11_window_foreign_new_for_display) &&
           AVENDREL_FIND(library, api, gdk_window_set_transient_for) &&
           AVENDREL_FIND(library, api, gdk_window_focus) &&
           AVENDREL_FIND(library, api, g_object_unref) &&
           AVENDREL_FIND(library, api, g_unix_fd_add) &&
           AVENDREL_FIND(library, api, g_source_remove) &&
           AVENDREL_FIND(library, api, g_signal_connect_data) &&
           AVENDREL_FIND(library, api, g_main_context_iteration) &&
           AVENDREL_FIND(library, api, gdk_x11_display_get_xdisplay) &&
           AVENDREL_FIND(library, api, gtk_message_dialog_set_image);
}

bool g_gtkReady = false;  // set once GTK has been initialised

// The program's own X error handlers, kept when GDK installs its own (Xlib
// has one of each per process): errors on GDK's display go to GDK, all
// others to the program's handler, and a lost server, whichever connection
// notices it first, to the program's handler alone.
XErrorHandler g_programErrorHandler = nullptr;
XErrorHandler g_toolkitErrorHandler = nullptr;
Display* g_toolkitDisplay = nullptr;

int RouteXError(Display* display, XErrorEvent* error)
{
    XErrorHandler handler =
        display == g_toolkitDisplay ? g_toolkitErrorHandler : g_programErrorHandler;
    return handler ? handler(display, error) : 0;
}

// Initialises GTK on its X11 backend the first time; GTK never sees the
// command line. GL probing is switched off while GDK opens the display (a
// message box draws no GL, and the probe costs a hundred milliseconds and
// tens of megabytes); the environment is restored at once, so programs
// started later do not inherit the switch.
const GtkApi* Gtk()
{
    static GtkApi api;
    static const bool ready = [] {
        if (!LoadGtk(api)) return false;
        const char* previous = std::getenv("GDK_GL");
        const std::optional<std::string> saved =
            previous ? std::optional<std::string>(previous) : std::nullopt;
        setenv("GDK_GL", "disable", 1);
        // GTK puts its windows on the accessibility bus when it starts, asking
        // the session bus for it in a way that starts it. While this program's
        // window is not on the bus, GTK is kept off it, so that no bus is
        // started for the program and the program's own objects can go on it
        // when the desktop switches accessibility on.
        const bool keepOffBus = !AccessibilityRunning() && !std::getenv("NO_AT_BRIDGE");
        if (keepOffBus) setenv("NO_AT_BRIDGE", "1", 1);
        api.gdk_set_allowed_backends("x11");
        // XSet*ErrorHandler return the handler they replace.
        g_programErrorHandler = XSetErrorHandler(nullptr);
        XSetErrorHandler(g_programErrorHandler);
        const XIOErrorHandler programIoHandler = XSetIOErrorHandler(nullptr);
        XSetIOErrorHandler(programIoHandler);
        const bool ok = api.gtk_init_check(nullptr, nullptr);
        if (keepOffBus) unsetenv("NO_AT_BRIDGE");
        if (saved) setenv("GDK_GL", saved->c_str(), 1);
        else unsetenv("GDK_GL");
        if (GdkDisplay* display = ok ? api.gdk_display_get_default() : nullptr)
            g_toolkitDisplay = api.gdk_x11_display_get_xdisplay(display);
        g_toolkitErrorHandler = XSetErrorHandler(RouteXError);
        XSetIOErrorHandler(programIoHandler);
        g_gtkReady = ok;
        return ok;
    }();
    return ready ? &api : nullptr;
}

enum class Buttons { Ok, OkCancel, YesNo };

struct BoxKind {
    Buttons Set;
    GtkButtonsType GtkButtons;
    GtkMessageType Type;
    const char* IconName;  // nullptr: none
};

std::optional<BoxKind> KindOf(unsigned style)
{
    BoxKind kind{};
    switch (style & 0xF) {
    case 0x0: kind.Set = Buttons::Ok, kind.GtkButtons = GTK_BUTTONS_OK; break;
    case 0x1: kind.Set = Buttons::OkCancel, kind.GtkButtons = GTK_BUTTONS_OK_CANCEL; break;
    case 0x4: kind.Set = Buttons::YesNo, kind.GtkButtons = GTK_BUTTONS_YES_NO; break;
    default: return std::nullopt;
    }
    switch (style & 0xF0) {
    case 0x10: kind.Type = GTK_MESSAGE_ERROR, kind.IconName = "dialog-error"; break;
    case 0x20: kind.Type = GTK_MESSAGE_QUESTION, kind.IconName = "dialog-question"; break;
    case 0x30: kind.Type = GTK_MESSAGE_WARNING, kind.IconName = "dialog-warning"; break;
    case 0x40: kind.Type = GTK_MESSAGE_INFO, kind.IconName = "dialog-information"; break;
    default: kind.Type = GTK_MESSAGE_OTHER, kind.IconName = nullptr; break;
    }
    return kind;
}

// The box's result for a response, or nothing when the response does not answer
// it. Closing a box answers it as its way out would: OK alone, or Cancel;
// a Yes/No box has no way out but its buttons. A box that was only taken off
// the screen (GTK_RESPONSE_NONE) has not been answered.
std::optional<int> ResultOf(Buttons set, int response)
{
    switch (response) {
    case GTK_RESPONSE_NONE: return std::nullopt;
    case GTK_RESPONSE_OK: return 1;
    case GTK_RESPONSE_CANCEL: return 2;
    case GTK_RESPONSE_YES: return 6;
    case GTK_RESPONSE_NO: return 7;
    default: break;
    }
    if (set == Buttons::Ok) return 1;
    if (set == Buttons::OkCancel) return 2;
    return std::nullopt;
}

// True when the icon theme has the icon and its picture can be read.
// NOTE: an image whose icon cannot be loaded falls back to the toolkit's
// "missing image" picture, and when that cannot be loaded either (no icon
// theme, no MIME database to tell the picture's format) the toolkit aborts
// the process; loading an icon through the theme warns on standard error. So
// the icon's file (or the toolkit's built-in resource) is read here directly,
// where a failure is only an error to drop.
bool IconLoads(const GtkApi& gtk, const char* name)
{
    GtkIconTheme* theme = gtk.gtk_icon_theme_get_default();
    if (!theme) return false;
    int width = 48, height = 48;
    gtk.gtk_icon_size_lookup(GTK_ICON_SIZE_DIALOG, &width, &height);
    GtkIconInfo* info = gtk.gtk_icon_theme_lookup_icon(theme, name, width, GtkIconLookupFlags{});
    if (!info) return false;
    GdkPixbuf* picture = nullptr;
    if (const char* file = gtk.gtk_icon_info_get_filename(info)) {
        GError* error = nullptr;
        picture = gtk.gdk_pixbuf_new_from_file_at_size(file, width, height, &error);
        if (error) gtk.g_error_free(error);
        error = nullptr;
        if (!picture)
            picture = gtk.gdk_pixbuf_new_from_resource_at_scale(file, width, height, TRUE, &error);
        if (error) gtk.g_error_free(error);
    }
    gtk.g_object_unref(info);
    if (!picture) return false;
    gtk.g_object_unref(picture);
    return true;
}

// NOTE: without a window manager nobody gives a new window the keyboard; the
// box takes it itself once it is on the screen (with one, this asks it to).
gboolean FocusWhenMapped(GtkWidget* dialog, GdkEvent*, gpointer)
{
    const GtkApi* gtk = Gtk();
    if (gtk) gtk->gdk_window_focus(gtk->gtk_widget_get_window(dialog), GDK_CURRENT_TIME);
    return FALSE;
}

void NoteDestroyed(GtkWidget*, gpointer data)
{
    *static_cast<bool*>(data) = true;
}

gboolean ServeOwner(gint, GIOCondition, gpointer data)
{
    const auto* owner = static_cast<const BoxOwner*>(data);
    if (owner->Serve) owner->Serve();
    return G_SOURCE_CONTINUE;
}

void CentreOnOwner(const GtkApi& gtk, GtkWidget* dialog, const BoxOwner& owner)
{
    if (owner.Width <= 0 || owner.Height <= 0) return;
    GtkRequisition size{};
    gtk.gtk_widget_get_preferred_size(dialog, nullptr, &size);
    gtk.gtk_window_move(reinterpret_cast<GtkWindow*>(dialog),
                        owner.X + (owner.Width - size.width) / 2,
                        owner.Y + (owner.Height - size.height) / 2);
}

void MakeTransient(const GtkApi& gtk, GtkWidget* dialog, const BoxOwner& owner)
{
    if (!owner.Window) return;
    gtk.gtk_widget_realize(dialog);
    GdkWindow* parent =
        gtk.gdk_x11_window_foreign_new_for_display(gtk.gdk_display_get_default(), owner.Window);
    if (!parent) return;
    gtk.gdk_window_set_transient_for(gtk.gtk_widget_get_window(dialog), parent);
    gtk.g_object_unref(parent);
}

}  // namespace

int ShowMessageBox(const BoxOwner& owner, const std::string& text, const std::string& caption,
                   unsigned style)
{
    const std::optional<BoxKind> kind = KindOf(style);
    if (!kind) return 0;
    const GtkApi* gtk = Gtk();
    if (!gtk) return 0;

    GtkWidget* dialog = gtk->gtk_message_dialog_new(nullptr, GTK_DIALOG_MODAL, kind->Type,
                                                    kind->GtkButtons, "%s", text.c_str());
    if (!dialog) return 0;
    auto* window = reinterpret_cast<GtkWindow*>(dialog);
    auto* box = reinterpret_cast<GtkDialog*>(dialog);
    gtk->gtk_window_set_title(window, caption.c_str());
    if (kind->IconName && IconLoads(*gtk, kind->IconName)) {
        GtkWidget* image = gtk->gtk_image_new_from_icon_name(kind->IconName, GTK_ICON_SIZE_DIALOG);
        gtk->gtk_message_dialog_set_image(reinterpret_cast<GtkMessageDialog*>(dialog), image);
        gtk->gtk_widget_show(image);
    }
    const int first = kind->Set == Buttons::YesNo ? GTK_RESPONSE_YES : GTK_RESPONSE_OK;
    gtk->gtk_dialog_set_default_response(box, first);
    if (GtkWidget* button = gtk->gtk_dialog_get_widget_for_response(box, first))
        gtk->gtk_widget_grab_focus(button);
    MakeTransient(*gtk, dialog, owner);
    CentreOnOwner(*gtk, dialog, owner);

    guint sources[2] = {0, 0};
    for (int i = 0; i < 2; ++i)
        if (owner.WatchFds[i] >= 0)
            sources[i] = gtk->g_unix_fd_add(owner.WatchFds[i], G_IO_IN, ServeOwner,
                                            const_cast<BoxOwner*>(&owner));
    if (owner.Serve) owner.Serve();  // what arrived before the box opened

    bool destroyed = false;
    gtk->g_signal_connect_data(dialog, "destroy", G_CALLBACK(NoteDestroyed), &destroyed, nullptr,
                               GConnectFlags{});
    gtk->g_signal_connect_data(dialog, "map-event", G_CALLBACK(FocusWhenMapped), nullptr, nullptr,
                               GConnectFlags{});
    int result = 0;
    for (;;) {
        // Runs until a response, or until the box is unmapped (then it is shown again).
        const int response = gtk->gtk_dialog_run(box);
        if (destroyed) break;  // destroyed under us: no answer
        if (const std::optional<int> answer = ResultOf(kind->Set, response)) {
            result = *answer;
            break;
        }
    }
    for (guint source : sources)
        if (source) gtk->g_source_remove(source);
    if (!destroyed) gtk->gtk_widget_destroy(dialog);
    gtk->gdk_display_flush(gtk->gdk_display_get_default());
    return result;
}

int ToolkitConnection()
{
    if (!g_gtkReady) return -1;
    GdkDisplay* display = Gtk()->gdk_display_get_default();
    return display ? ConnectionNumber(Gtk()->gdk_x11_display_get_xdisplay(display)) : -1;
}

void ServeToolkit()
{
    if (!g_gtkReady) return;
    while (Gtk()->g_main_context_iteration(nullptr, FALSE)) {
    }
}

}  // namespace Platform::Linux
