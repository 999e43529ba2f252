// Linux: the main window for assistive technology, as ATK objects that the
// AT-SPI 2 bridge puts on the desktop's accessibility bus.
// Implemented features:
//  [X] An application object (the program's name) holding the window as a frame,
//      and the window's announced objects as its children: image, push button,
//      link, with names, descriptions, states and screen extents
//  [X] Hit tests (ref_accessible_at_point) and one action per push button or
//      link, performed by the loop after the request has been answered (the
//      action may open a modal box) and refused like a click while it is open
//  [X] The desktop's switch asked on the session bus (org.a11y.Status on
//      org.a11y.Bus, never started for the program) and followed while the
//      program runs (PropertiesChanged, a new owner of org.a11y.Bus): the
//      window goes on the bus org.a11y.Bus.GetAddress names, on X11 and in
//      Wayland sessions alike; the AT_SPI_BUS root property only without a
//      session bus. libdbus alone is loaded for this, and its connection is
//      watched by the program's own loop: no thread, no timer
//  [X] ATK, its bridge and GLib loaded only once accessibility is on; the loop
//      then sleeps in GLib's without a timeout of its own, woken by the
//      display and the signal pipe
//  [X] Window events (create when shown, activate and deactivate as the
//      keyboard focus comes and goes, the frame ACTIVE while focused; both
//      again for a screen reader that starts listening later) and
//      state changes (enabled, sensitive) of every object as a modal box
//      disables the window and as it closes
// Missing features or Issues:
//  [ ] The toolkit's message box is not among the application's children
//  [ ] Switched on while the box is open, the window goes on the bus when the
//      box has been answered
//  [ ] Switched off, the window stays on the bus (as the toolkits' windows do)

#include "platform/linux_accessible.h"

#include "platform/linux_accessibility_switch.h"
#include "platform/linux_library.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <atk-bridge.h>
#include <atk/atk.h>
#include <dbus/dbus.h>
#include <glib-unix.h>
#include <sys/stat.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace Platform::Linux {

namespace {

struct AccessibilityApi {
    // GLib, GObject
    AVENDREL_LIBRARY_FUNCTION(g_object_new);
    AVENDREL_LIBRARY_FUNCTION(g_type_register_static_simple);
    AVENDREL_LIBRARY_FUNCTION(g_type_add_interface_static);
    AVENDREL_LIBRARY_FUNCTION(g_type_class_ref);
    AVENDREL_LIBRARY_FUNCTION(g_object_ref);
    AVENDREL_LIBRARY_FUNCTION(g_signal_emit_by_name);
    AVENDREL_LIBRARY_FUNCTION(g_idle_add);
    AVENDREL_LIBRARY_FUNCTION(g_unix_fd_add);
    AVENDREL_LIBRARY_FUNCTION(g_main_context_iteration);
    // ATK and the bridge
    AVENDREL_LIBRARY_FUNCTION(atk_object_get_type);
    AVENDREL_LIBRARY_FUNCTION(atk_component_get_type);
    AVENDREL_LIBRARY_FUNCTION(atk_action_get_type);
    AVENDREL_LIBRARY_FUNCTION(atk_window_get_type);
    AVENDREL_LIBRARY_FUNCTION(atk_util_get_type);
    AVENDREL_LIBRARY_FUNCTION(atk_object_set_parent);
    AVENDREL_LIBRARY_FUNCTION(atk_object_notify_state_change);
    AVENDREL_LIBRARY_FUNCTION(atk_state_set_new);
    AVENDREL_LIBRARY_FUNCTION(atk_state_set_add_state);
    AVENDREL_LIBRARY_FUNCTION(atk_bridge_adaptor_init);
};

// The session bus client that follows the switch.
struct BusApi {
    AVENDREL_LIBRARY_FUNCTION(dbus_error_init);
    AVENDREL_LIBRARY_FUNCTION(dbus_error_free);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_open_private);
    AVENDREL_LIBRARY_FUNCTION(dbus_bus_register);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_set_exit_on_disconnect);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_close);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_unref);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_add_filter);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_get_unix_fd);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_get_is_connected);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_read_write);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_dispatch);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_send);
    AVENDREL_LIBRARY_FUNCTION(dbus_connection_flush);
    AVENDREL_LIBRARY_FUNCTION(dbus_bus_add_match);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_new_method_call);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_set_auto_start);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_append_args);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_get_serial);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_get_reply_serial);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_get_type);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_is_signal);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_get_path);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_unref);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_iter_init);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_iter_get_arg_type);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_iter_recurse);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_iter_next);
    AVENDREL_LIBRARY_FUNCTION(dbus_message_iter_get_basic);
};

// One accessible object: the application (Index -1), the window (0) or one
// of the tree's children (1 .. n).
struct TAccessibleObject {
    AtkObject Parent;
    int Index;
};

struct TAccessibleObjectClass {
    AtkObjectClass Parent;
};

class TNotifier final : public AccessibleEvents {
public:
    void AccessibleEnabledChanged(int index, bool enabled) noexcept override;
};

struct TState {
    AccessibilityApi Api;
    BusApi Bus;
    AccessibleWindow Window;
    Display* Dpy = nullptr;
    bool Running = false;
    bool Shown = false;
    bool Focused = false;
    bool AnnounceQueued = false;  // the window is announced once the loop is free
    GType Type = 0;
    AtkObject* Application = nullptr;
    std::vector<AtkObject*> Objects;  // by tree index, made when first asked for
    TNotifier Notifier;
    // Following the switch on the session bus, while accessibility is off.
    AccessibilitySwitch Switch;
    DBusConnection* Session = nullptr;
    dbus_uint32_t StatusCall = 0;   // serial of the status question waiting for its answer
    dbus_uint32_t AddressCall = 0;  // serial of the address question waiting for its answer
    bool StartWaiting = false;      // decided while dispatching; done after
};

TState& S()
{
    static TState state;
    return state;
}

bool LoadApi(AccessibilityApi& api)
{
    // GLib and GObject come with the bridge; their functions are found through it.
    static SharedLibrary bridge("libatk-bridge-2.0.so.0");
    return bridge.Open() && AVENDREL_FIND(bridge, api, g_object_new) &&
           AVENDREL_FIND(bridge, api, g_type_register_static_simple) &&
           AVENDREL_FIND(bridge, api, g_type_add_interface_static) &&
           AVENDREL_FIND(bridge, api, g_type_class_ref) && AVENDREL_FIND(bridge, api, g_object_ref) &&
           AVENDREL_FIND(bridge, api, g_signal_emit_by_name) &&
           AVENDREL_FIND(bridge, api, g_idle_add) && AVENDREL_FIND(bridge, api, g_unix_fd_add) &&
           AVENDREL_FIND(bridge, api, g_main_context_iteration) &&
           AVENDREL_FIND(bridge, api, atk_object_get_type) &&
           AVENDREL_FIND(bridge, api, atk_component_get_type) &&
           AVENDREL_FIND(bridge, api, atk_action_get_type) &&
           AVENDREL_FIND(bridge, api, atk_window_get_type) &&
           AVENDREL_FIND(bridge, api, atk_util_get_type) &&
           AVENDREL_FIND(bridge, api, atk_object_set_parent) &&
           AVENDREL_FIND(bridge, api, atk_object_notify_state_change) &&
           AVENDREL_FIND(bridge, api, atk_state_set_new) &&
           AVENDREL_FIND(bridge, api, atk_state_set_add_state) &&
           AVENDREL_FIND(bridge, api, atk_bridge_adaptor_init);
}

bool LoadBus(BusApi& api)
{
    static SharedLibrary library("libdbus-1.so.3");
    return library.Open() && AVENDREL_FIND(library, api, dbus_error_init) &&
           AVENDREL_FIND(library, api, dbus_error_free) &&
           AVENDREL_FIND(library, api, dbus_connection_open_private) &&
           AVENDREL_FIND(library, api, dbus_bus_register) &&
           AVENDREL_FIND(library, api, dbus_connection_set_exit_on_disconnect) &&
           AVENDREL_FIND(library, api, dbus_connection_close) &&
           AVENDREL_FIND(library, api, dbus_connection_unref) &&
           AVENDREL_FIND(library, api, dbus_connection_add_filter) &&
           AVENDREL_FIND(library, api, dbus_connection_get_unix_fd) &&
           AVENDREL_FIND(library, api, dbus_connection_get_is_connected) &&
           AVENDREL_FIND(library, api, dbus_connection_read_write) &&
           AVENDREL_FIND(library, api, dbus_connection_dispatch) &&
           AVENDREL_FIND(library, api, dbus_connection_send) &&
           AVENDREL_FIND(library, api, dbus_connection_flush) &&
           AVENDREL_FIND(library, api, dbus_bus_add_match) &&
           AVENDREL_FIND(library, api, dbus_message_new_method_call) &&
           AVENDREL_FIND(library, api, dbus_message_set_auto_start) &&
           AVENDREL_FIND(library, api, dbus_message_append_args) &&
           AVENDREL_FIND(library, api, dbus_message_get_serial) &&
           AVENDREL_FIND(library, api, dbus_message_get_reply_serial) &&
           AVENDREL_FIND(library, api, dbus_message_get_type) &&
           AVENDREL_FIND(library, api, dbus_message_is_signal) &&
           AVENDREL_FIND(library, api, dbus_message_get_path) &&
           AVENDREL_FIND(library, api, dbus_message_unref) &&
           AVENDREL_FIND(library, api, dbus_message_iter_init) &&
           AVENDREL_FIND(library, api, dbus_message_iter_get_arg_type) &&
           AVENDREL_FIND(library, api, dbus_message_iter_recurse) &&
           AVENDREL_FIND(library, api, dbus_message_iter_next) &&
           AVENDREL_FIND(library, api, dbus_message_iter_get_basic);
}

// The accessibility bus a running launcher has announced on the root window; empty: none.
std::string RootAnnouncement(Display* display)
{
    if (!display) return {};
    const Atom property = XInternAtom(display, "AT_SPI_BUS", True);
    if (property == None) return {};
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), property, 0, 1024,
                                          False, AnyPropertyType, &type, &format, &count, &after,
                                          &data);
    std::string address;
    if (status == Success && data && format == 8 && count > 0)
        address.assign(reinterpret_cast<const char*>(data), strnlen(reinterpret_cast<const char*>(data), count));
    if (data) XFree(data);
    return address;
}

int IndexOf(gpointer object)
{
    return reinterpret_cast<TAccessibleObject*>(object)->Index;
}

bool Describe(int index, AccessibleNode& node)
{
    const TState& s = S();
    if (!s.Running || !s.Window.Tree || index < 0) return false;
    if (!s.Window.Tree->DescribeAccessible(index, node)) return false;
    node.Left += s.Window.OffsetX;
    node.Top += s.Window.OffsetY;
    return true;
}

AtkObject* ObjectAt(int index);

// --- AtkObject ----------------------------------------------------------

const gchar* GetName(AtkObject* object)
{
    const int index = IndexOf(object);
    if (index < 0) return S().Window.ApplicationName.c_str();
    thread_local std::string name;  // ATK keeps no copy; valid until the next call
    AccessibleNode node;
    name = Describe(index, node) ? node.Name : std::string();
    return name.c_str();
}

const gchar* GetDescription(AtkObject* object)
{
    thread_local std::string description;
    AccessibleNode node;
    description = Describe(IndexOf(object), node) ? node.Description : std::string();
    return description.c_str();
}

AtkRole GetRole(AtkObject* object)
{
    const int index = IndexOf(object);
    if (index < 0) return ATK_ROLE_APPLICATION;
    AccessibleNode node;
    if (!Describe(index, node)) return ATK_ROLE_INVALID;
    switch (node.Role) {
    case AccessibleRole::Window: return ATK_ROLE_FRAME;
    case AccessibleRole::Graphic: return ATK_ROLE_IMAGE;
    case AccessibleRole::PushButton: return ATK_ROLE_PUSH_BUTTON;
    case AccessibleRole::Link: return ATK_ROLE_LINK;
    }
    return ATK_ROLE_UNKNOWN;
}

gint GetChildCount(AtkObject* object)
{
    const TState& s = S();
    if (!s.Running || !s.Window.Tree) return 0;
    const int index = IndexOf(object);
    if (index < 0) return 1;
    return index == 0 ? s.Window.Tree->AccessibleChildCount() : 0;
}

AtkObject* RefChild(AtkObject* object, gint child)
{
    const int index = IndexOf(object);
    if (child < 0 || child >= GetChildCount(object)) return nullptr;
    AtkObject* found = ObjectAt(index < 0 ? 0 : child + 1);
    return found ? static_cast<AtkObject*>((S().Api.g_object_ref)(found)) : nullptr;
}

gint GetIndexInParent(AtkObject* object)
{
    const int index = IndexOf(object);
    if (index < 0) return -1;
    return index == 0 ? 0 : index - 1;
}

AtkStateSet* RefStateSet(AtkObject* object)
{
    const AccessibilityApi& api = S().Api;
    AtkStateSet* states = api.atk_state_set_new();
    const int index = IndexOf(object);
    AccessibleNode node;
    if (index < 0 || !Describe(index, node)) return states;
    if (node.Enabled) {
        api.atk_state_set_add_state(states, ATK_STATE_ENABLED);
        api.atk_state_set_add_state(states, ATK_STATE_SENSITIVE);
    }
    if (node.Showing) {
        api.atk_state_set_add_state(states, ATK_STATE_VISIBLE);
        api.atk_state_set_add_state(states, ATK_STATE_SHOWING);
    }
    // Screen readers find the window the user is in by this state.
    if (index == 0 && S().Focused) api.atk_state_set_add_state(states, ATK_STATE_ACTIVE);
    return states;
}

// --- AtkComponent -------------------------------------------------------

void GetExtents(AtkComponent* component, gint* x, gint* y, gint* width, gint* height,
                AtkCoordType coordinates)
{
    AccessibleNode node, window;
    if (!Describe(IndexOf(component), node) || !Describe(0, window)) {
        node = {};
        node.Left = node.Top = -1;
        node.Width = node.Height = -1;
    } else if (coordinates == ATK_XY_WINDOW || coordinates == ATK_XY_PARENT) {
        // The window is the parent of every object in it.
        const bool self = IndexOf(component) == 0;
        node.Left -= self && coordinates == ATK_XY_PARENT ? 0 : window.Left;
        node.Top -= self && coordinates == ATK_XY_PARENT ? 0 : window.Top;
        if (self && coordinates == ATK_XY_WINDOW) node.Left = node.Top = 0;
    }
    if (x) *x = node.Left;
    if (y) *y = node.Top;
    if (width) *width = node.Width;
    if (height) *height = node.Height;
}

AtkObject* RefAccessibleAtPoint(AtkComponent* component, gint x, gint y, AtkCoordType coordinates)
{
    const TState& s = S();
    if (IndexOf(component) != 0 || !s.Running || !s.Window.Tree) return nullptr;
    AccessibleNode window;
    if (!Describe(0, window)) return nullptr;
    if (coordinates != ATK_XY_SCREEN) {
        x += window.Left;
        y += window.Top;
    }
    const int index = s.Window.Tree->AccessibleAt(x - s.Window.OffsetX, y - s.Window.OffsetY);
    if (index <= 0) return nullptr;
    AtkObject* found = ObjectAt(index);
    return found ? static_cast<AtkObject*>((S().Api.g_object_ref)(found)) : nullptr;
}

// --- AtkAction ----------------------------------------------------------

gint GetActionCount(AtkAction* action)
{
    AccessibleNode node;
    return Describe(IndexOf(action), node) && !node.DefaultAction.empty() ? 1 : 0;
}

// The action's name for assistive technology, in the toolkits' usual words.
const gchar* GetActionName(AtkAction* action, gint i)
{
    AccessibleNode node;
    if (i != 0 || !Describe(IndexOf(action), node) || node.DefaultAction.empty()) return nullptr;
    return node.Role == AccessibleRole::Link ? "jump" : "click";
}

const gchar* GetLocalizedActionName(AtkAction* action, gint i)
{
    thread_local std::string name;
    AccessibleNode node;
    if (i != 0 || !Describe(IndexOf(action), node) || node.DefaultAction.empty()) return nullptr;
    name = node.DefaultAction;
    return name.c_str();
}

gboolean PerformLater(gpointer data)
{
    const TState& s = S();
    if (s.Running && s.Window.Tree)
        s.Window.Tree->DoAccessibleAction(static_cast<int>(reinterpret_cast<gintptr>(data)));
    return G_SOURCE_REMOVE;
}

gboolean DoAction(AtkAction* action, gint i)
{
    const int index = IndexOf(action);
    AccessibleNode node;
    if (i != 0 || !Describe(index, node) || node.DefaultAction.empty() || !node.Enabled)
        return FALSE;
    // Answered now, performed by the loop: the action may open a modal box.
    S().Api.g_idle_add(PerformLater, reinterpret_cast<gpointer>(static_cast<gintptr>(index)));
    return TRUE;
}

// --- the type and the toolkit's root ----------------------------------

void InitObjectClass(gpointer klass, gpointer)
{
    auto* object = static_cast<AtkObjectClass*>(klass);
    object->get_name = GetName;
    object->get_description = GetDescription;
    object->get_role = GetRole;
    object->get_n_children = GetChildCount;
    object->ref_child = RefChild;
    object->get_index_in_parent = GetIndexInParent;
    object->ref_state_set = RefStateSet;
}

void InitComponent(gpointer iface, gpointer)
{
    auto* component = static_cast<AtkComponentIface*>(iface);
    component->get_extents = GetExtents;
    component->ref_accessible_at_point = RefAccessibleAtPoint;
}

void InitAction(gpointer iface, gpointer)
{
    auto* action = static_cast<AtkActionIface*>(iface);
    action->get_n_actions = GetActionCount;
    action->get_name = GetActionName;
    action->get_localized_name = GetLocalizedActionName;
    action->do_action = DoAction;
}

AtkObject* NewObject(int index, AtkObject* parent)
{
    TState& s = S();
    auto* object = static_cast<AtkObject*>(s.Api.g_object_new(s.Type, nullptr));
    reinterpret_cast<TAccessibleObject*>(object)->Index = index;
    if (parent) s.Api.atk_object_set_parent(object, parent);
    return object;
}

AtkObject* ObjectAt(int index)
{
    TState& s = S();
    if (index < 0 || !s.Application) return nullptr;
    if (s.Objects.size() <= static_cast<std::size_t>(index)) s.Objects.resize(index + 1, nullptr);
    if (!s.Objects[index])
        s.Objects[index] = NewObject(index, index == 0 ? s.Application : ObjectAt(0));
    return s.Objects[index];
}

AtkObject* GetRoot()
{
    return S().Application;
}

const gchar* GetToolkitName()
{
    return "Avendrel";
}

const gchar* GetToolkitVersion()
{
    return "1";
}

// Makes this program's objects the toolkit's root again: the message box's
// toolkit, started before, puts its own there.
void EmitWindowSignal(const char* name);

// Tells the bridge's new clients of the window as it is: shown, and focused.
gboolean AnnounceWindow(gpointer)
{
    TState& s = S();
    s.AnnounceQueued = false;
    if (s.Shown) EmitWindowSignal("create");
    if (s.Focused) EmitWindowSignal("activate");
    return G_SOURCE_REMOVE;
}

using AddListener = guint (*)(GSignalEmissionHook, const gchar*);
AddListener g_toolkitAddListener = nullptr;

// NOTE: the bridge starts listening for the window's events only once a
// client (a screen reader) wants events, which it learns from the bus after
// the window has been shown; what it hears before is dropped. So when it
// starts listening, the window is announced again, from the loop, once the
// bridge has taken in every event its clients want.
guint AddGlobalListener(GSignalEmissionHook listener, const gchar* type)
{
    const guint id = g_toolkitAddListener ? g_toolkitAddListener(listener, type) : 0;
    TState& s = S();
    const bool windowEvents = type && (std::strcmp(type, "window:activate") == 0 ||
                                       std::strcmp(type, "Atk:AtkWindow:activate") == 0);
    if (windowEvents && id != 0 && !s.AnnounceQueued) {
        s.AnnounceQueued = true;
        s.Api.g_idle_add(AnnounceWindow, nullptr);
    }
    return id;
}

void ClaimToolkitRoot(const AccessibilityApi& api)
{
    auto* util = static_cast<AtkUtilClass*>(api.g_type_class_ref(api.atk_util_get_type()));
    util->get_root = GetRoot;
    util->get_toolkit_name = GetToolkitName;
    util->get_toolkit_version = GetToolkitVersion;
    if (util->add_global_event_listener != AddGlobalListener) {
        g_toolkitAddListener = util->add_global_event_listener;
        util->add_global_event_listener = AddGlobalListener;
    }
}

bool RegisterType(TState& s)
{
    const AccessibilityApi& api = s.Api;
    s.Type = api.g_type_register_static_simple(api.atk_object_get_type(), "AvendrelAccessible",
                                               sizeof(TAccessibleObjectClass), InitObjectClass,
                                               sizeof(TAccessibleObject), nullptr, GTypeFlags{});
    if (!s.Type) return false;
    const GInterfaceInfo component{InitComponent, nullptr, nullptr};
    const GInterfaceInfo action{InitAction, nullptr, nullptr};
    // The window's signals (create, activate, deactivate) are the interface's own.
    const GInterfaceInfo window{nullptr, nullptr, nullptr};
    api.g_type_add_interface_static(s.Type, api.atk_component_get_type(), &component);
    api.g_type_add_interface_static(s.Type, api.atk_action_get_type(), &action);
    api.g_type_add_interface_static(s.Type, api.atk_window_get_type(), &window);
    return true;
}

gboolean ServeWatched(gint, GIOCondition, gpointer)
{
    if (S().Window.Serve) S().Window.Serve();
    return G_SOURCE_CONTINUE;
}

// Emits one of the window's signals, when the window is on the bus.
void EmitWindowSignal(const char* name)
{
    TState& s = S();
    if (!s.Running || !s.Window.Tree) return;
    if (AtkObject* frame = ObjectAt(0)) s.Api.g_signal_emit_by_name(frame, name);
}

// Puts the window on the accessibility bus at `address` (empty: wherever the
// bridge finds it); true when it is there.
bool StartBridge(const std::string& address)
{
    TState& s = S();
    if (s.Running || !s.Window.Tree) return s.Running;
    static const bool loaded = LoadApi(s.Api);
    if (!loaded) return false;
    static const bool registered = RegisterType(s);
    if (!registered) return false;
    ClaimToolkitRoot(s.Api);
    s.Running = true;
    if (!s.Application) s.Application = NewObject(-1, nullptr);
    // The bridge connects to the bus named in the environment first; the
    // variable is set for that moment only, unless the session set its own.
    const bool setAddress = !address.empty() && !std::getenv("AT_SPI_BUS_ADDRESS");
    if (setAddress) setenv("AT_SPI_BUS_ADDRESS", address.c_str(), 1);
    const int failed = s.Api.atk_bridge_adaptor_init(nullptr, nullptr);
    if (setAddress) unsetenv("AT_SPI_BUS_ADDRESS");
    if (failed != 0) {
        s.Running = false;
        return false;
    }
    // A broken display connection wakes the loop too; serving it then reports it.
    const auto wake = static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR);
    for (int fd : s.Window.WatchFds)
        if (fd >= 0) s.Api.g_unix_fd_add(fd, wake, ServeWatched, nullptr);
    return true;
}

// --- the switch, on the session bus --------------------------------------

constexpr const char* kBusName = "org.a11y.Bus";
constexpr const char* kBusPath = "/org/a11y/bus";
constexpr const char* kStatusInterface = "org.a11y.Status";
constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

bool SocketExists(const std::string& path)
{
    struct stat info {};
    return stat(path.c_str(), &info) == 0 && S_ISSOCK(info.st_mode);
}

void CloseSession()
{
    TState& s = S();
    if (!s.Session) return;
    s.Bus.dbus_connection_close(s.Session);
    s.Bus.dbus_connection_unref(s.Session);
    s.Session = nullptr;
    s.StatusCall = s.AddressCall = 0;
}

// Sends a question to org.a11y.Bus that never starts it; its serial, 0 when not sent.
dbus_uint32_t Ask(const char* interface, const char* member, const char* argument)
{
    TState& s = S();
    const BusApi& bus = s.Bus;
    DBusMessage* message = bus.dbus_message_new_method_call(kBusName, kBusPath, interface, member);
    if (!message) return 0;
    bus.dbus_message_set_auto_start(message, FALSE);
    if (argument) bus.dbus_message_append_args(message, DBUS_TYPE_STRING, &argument, DBUS_TYPE_INVALID);
    dbus_uint32_t serial = 0;
    if (!bus.dbus_connection_send(s.Session, message, &serial)) serial = 0;
    bus.dbus_message_unref(message);
    return serial;
}

void Act(SwitchStep step)
{
    TState& s = S();
    switch (step) {
    case SwitchStep::Nothing: return;
    case SwitchStep::AskStatus:
        s.StatusCall = Ask(kPropertiesInterface, "GetAll", kStatusInterface);
        if (!s.StatusCall) Act(s.Switch.StatusFailed());
        return;
    case SwitchStep::AskAddress:
        s.AddressCall = Ask(kBusName, "GetAddress", nullptr);
        if (!s.AddressCall) Act(s.Switch.AddressFailed());
        return;
    case SwitchStep::Start: s.StartWaiting = true; return;
    }
}

// The two switches in a dictionary of properties (a{sv}), where present.
void ReadSwitches(const BusApi& bus, DBusMessageIter* dictionary, std::optional<bool>& isEnabled,
                  std::optional<bool>& screenReader)
{
    if (bus.dbus_message_iter_get_arg_type(dictionary) != DBUS_TYPE_ARRAY) return;
    DBusMessageIter entries;
    bus.dbus_message_iter_recurse(dictionary, &entries);
    for (; bus.dbus_message_iter_get_arg_type(&entries) == DBUS_TYPE_DICT_ENTRY;
         bus.dbus_message_iter_next(&entries)) {
        DBusMessageIter entry, value;
        bus.dbus_message_iter_recurse(&entries, &entry);
        if (bus.dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_STRING) continue;
        const char* name = nullptr;
        bus.dbus_message_iter_get_basic(&entry, &name);
        bus.dbus_message_iter_next(&entry);
        if (bus.dbus_message_iter_get_arg_type(&entry) != DBUS_TYPE_VARIANT) continue;
        bus.dbus_message_iter_recurse(&entry, &value);
        if (bus.dbus_message_iter_get_arg_type(&value) != DBUS_TYPE_BOOLEAN) continue;
        dbus_bool_t on = FALSE;
        bus.dbus_message_iter_get_basic(&value, &on);
        if (std::strcmp(name, "IsEnabled") == 0) isEnabled = on != FALSE;
        if (std::strcmp(name, "ScreenReaderEnabled") == 0) screenReader = on != FALSE;
    }
}

// The first argument when it is a string; nullptr otherwise.
const char* FirstString(const BusApi& bus, DBusMessage* message, DBusMessageIter& arguments)
{
    if (!bus.dbus_message_iter_init(message, &arguments) ||
        bus.dbus_message_iter_get_arg_type(&arguments) != DBUS_TYPE_STRING)
        return nullptr;
    const char* text = nullptr;
    bus.dbus_message_iter_get_basic(&arguments, &text);
    return text;
}

DBusHandlerResult OnSessionMessage(DBusConnection*, DBusMessage* message, void*)
{
    TState& s = S();
    const BusApi& bus = s.Bus;
    const int type = bus.dbus_message_get_type(message);
    DBusMessageIter arguments;
    if (type == DBUS_MESSAGE_TYPE_METHOD_RETURN || type == DBUS_MESSAGE_TYPE_ERROR) {
        const dbus_uint32_t serial = bus.dbus_message_get_reply_serial(message);
        const bool answered = type == DBUS_MESSAGE_TYPE_METHOD_RETURN;
        if (serial != 0 && serial == s.StatusCall) {
            s.StatusCall = 0;
            std::optional<bool> isEnabled, screenReader;
            if (answered && bus.dbus_message_iter_init(message, &arguments))
                ReadSwitches(bus, &arguments, isEnabled, screenReader);
            Act(answered ? s.Switch.StatusAnswered(isEnabled.value_or(false), screenReader.value_or(false))
                         : s.Switch.StatusFailed());
            return DBUS_HANDLER_RESULT_HANDLED;
        }
        if (serial != 0 && serial == s.AddressCall) {
            s.AddressCall = 0;
            const char* address = answered ? FirstString(bus, message, arguments) : nullptr;
            Act(address ? s.Switch.AddressAnswered(address) : s.Switch.AddressFailed());
            return DBUS_HANDLER_RESULT_HANDLED;
        }
        return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
    }
    if (bus.dbus_message_is_signal(message, kPropertiesInterface, "PropertiesChanged")) {
        const char* path = bus.dbus_message_get_path(message);
        const char* interface = FirstString(bus, message, arguments);
        if (!path || std::strcmp(path, kBusPath) != 0 || !interface ||
            std::strcmp(interface, kStatusInterface) != 0)
            return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        std::optional<bool> isEnabled, screenReader;
        bus.dbus_message_iter_next(&arguments);
        ReadSwitches(bus, &arguments, isEnabled, screenReader);
        bus.dbus_message_iter_next(&arguments);
        bool invalidated = false;
        if (bus.dbus_message_iter_get_arg_type(&arguments) == DBUS_TYPE_ARRAY) {
            DBusMessageIter names;
            bus.dbus_message_iter_recurse(&arguments, &names);
            for (; bus.dbus_message_iter_get_arg_type(&names) == DBUS_TYPE_STRING;
                 bus.dbus_message_iter_next(&names)) {
                const char* name = nullptr;
                bus.dbus_message_iter_get_basic(&names, &name);
                if (std::strcmp(name, "IsEnabled") == 0 || std::strcmp(name, "ScreenReaderEnabled") == 0)
                    invalidated = true;
            }
        }
        Act(s.Switch.StatusChanged(isEnabled, screenReader, invalidated));
        return DBUS_HANDLER_RESULT_HANDLED;
    }
    if (bus.dbus_message_is_signal(message, DBUS_INTERFACE_DBUS, "NameOwnerChanged")) {
        const char* name = FirstString(bus, message, arguments);
        if (!name || std::strcmp(name, kBusName) != 0) return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
        const char* owner = nullptr;
        bus.dbus_message_iter_next(&arguments);
        bus.dbus_message_iter_next(&arguments);
        if (bus.dbus_message_iter_get_arg_type(&arguments) == DBUS_TYPE_STRING)
            bus.dbus_message_iter_get_basic(&arguments, &owner);
        Act(s.Switch.OwnerChanged(owner && *owner));
        return DBUS_HANDLER_RESULT_HANDLED;
    }
    return DBUS_HANDLER_RESULT_NOT_YET_HANDLED;
}

// Handles everything the session bus has sent, then starts the bridge if
// that was decided; the session connection is let go once on the bus.
void DispatchSession()
{
    TState& s = S();
    if (!s.Session) return;
    while (s.Bus.dbus_connection_dispatch(s.Session) == DBUS_DISPATCH_DATA_REMAINS) {
    }
    s.Bus.dbus_connection_flush(s.Session);
    if (!s.Bus.dbus_connection_get_is_connected(s.Session)) CloseSession();
    if (!s.StartWaiting) return;
    s.StartWaiting = false;
    if (StartBridge(s.Switch.Address())) CloseSession();
    else s.Switch.StartFailed();
}

// Connects to the session bus and asks for the switch; false without a session bus.
bool ConnectSession()
{
    TState& s = S();
    const std::string address =
        SessionBusAddress(std::getenv("DBUS_SESSION_BUS_ADDRESS"), std::getenv("XDG_RUNTIME_DIR"), SocketExists);
    if (address.empty()) return false;
    static const bool loaded = LoadBus(s.Bus);
    if (!loaded) return false;
    const BusApi& bus = s.Bus;
    DBusError error;
    bus.dbus_error_init(&error);
    s.Session = bus.dbus_connection_open_private(address.c_str(), &error);
    if (s.Session && !bus.dbus_bus_register(s.Session, &error)) CloseSession();
    bus.dbus_error_free(&error);
    if (!s.Session) return false;
    bus.dbus_connection_set_exit_on_disconnect(s.Session, FALSE);
    bus.dbus_connection_add_filter(s.Session, OnSessionMessage, nullptr, nullptr);
    // Added without waiting for the bus's answer (no error asked for).
    bus.dbus_bus_add_match(s.Session,
                           "type='signal',sender='org.a11y.Bus',path='/org/a11y/bus',"
                           "interface='org.freedesktop.DBus.Properties',member='PropertiesChanged',"
                           "arg0='org.a11y.Status'",
                           nullptr);
    bus.dbus_bus_add_match(s.Session,
                           "type='signal',sender='org.freedesktop.DBus',"
                           "interface='org.freedesktop.DBus',member='NameOwnerChanged',"
                           "arg0='org.a11y.Bus'",
                           nullptr);
    Act(s.Switch.SessionBusConnected());
    DispatchSession();
    return true;
}

}  // namespace

void TNotifier::AccessibleEnabledChanged(int index, bool enabled) noexcept
{
    TState& s = S();
    if (!s.Running || !s.Window.Tree) return;
    AtkObject* object = ObjectAt(index);
    if (!object) return;
    s.Api.atk_object_notify_state_change(object, ATK_STATE_ENABLED, enabled);
    s.Api.atk_object_notify_state_change(object, ATK_STATE_SENSITIVE, enabled);
}

void FollowAccessibility(Display* display, const AccessibleWindow& window)
{
    TState& s = S();
    if (s.Window.Tree || !window.Tree) return;
    const char* noBridge = std::getenv("NO_AT_BRIDGE");
    if (noBridge && std::atoi(noBridge) == 1) return;
    s.Window = window;
    s.Dpy = display;
    s.Window.Tree->SetAccessibleEvents(&s.Notifier);
    if (s.Running || ConnectSession()) return;
    Act(s.Switch.NoSessionBus(RootAnnouncement(display)));
    if (s.StartWaiting) {
        s.StartWaiting = false;
        if (!StartBridge(s.Switch.Address())) s.Switch.StartFailed();
    }
}

void StopAccessibility()
{
    TState& s = S();
    if (s.Window.Tree) s.Window.Tree->SetAccessibleEvents(nullptr);
    // The objects stay for clients that still hold them; they describe nothing now.
    s.Window.Tree = nullptr;
    if (s.Session) CloseSession();
}

int AccessibilitySwitchConnection()
{
    TState& s = S();
    int fd = -1;
    if (s.Session && !s.Bus.dbus_connection_get_unix_fd(s.Session, &fd)) fd = -1;
    return fd;
}

void ServeAccessibilitySwitch()
{
    TState& s = S();
    if (!s.Session) return;
    s.Bus.dbus_connection_read_write(s.Session, 0);
    DispatchSession();
}

bool AccessibilityRunning()
{
    return S().Running;
}

void AccessibleWindowShown()
{
    TState& s = S();
    if (s.Shown) return;
    s.Shown = true;
    EmitWindowSignal("create");
}

void AccessibleWindowFocused(bool focused)
{
    TState& s = S();
    if (s.Focused == focused) return;
    s.Focused = focused;
    EmitWindowSignal(focused ? "activate" : "deactivate");
}

void WaitWithAccessibility()
{
    S().Api.g_main_context_iteration(nullptr, TRUE);
}

}  // namespace Platform::Linux
