// Linux: the main window for assistive technology, as ATK objects that the
// AT-SPI 2 bridge puts on the desktop's accessibility bus.
// Implemented features:
//  [X] An application object (the program's name) holding the window as a frame,
//      and the window's announced objects as its children: image, push button,
//      link, with names, descriptions, states and screen extents
//  [X] Hit tests (ref_accessible_at_point) and one action per push button or
//      link, performed by the loop after the request has been answered (the
//      action may open a modal box) and refused like a click while it is open
//  [X] Started only when the desktop runs an accessibility bus (the AT_SPI_BUS
//      property on the root window, read from the program's own connection) and
//      org.a11y.Status says accessibility is enabled; until then nothing is
//      loaded and no bus is asked
//  [X] ATK, its bridge and GIO loaded at run time; the loop sleeps in GLib's
//      without a timeout of its own, woken by the display and the signal pipe
// Missing features or Issues:
//  [ ] Accessibility switched on after the program started is not followed
//  [ ] No state-change events: clients read the states when they ask
//  [ ] The toolkit's message box is not among the application's children

#include "platform/linux_accessible.h"

#include "platform/linux_library.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <atk-bridge.h>
#include <atk/atk.h>
#include <gio/gio.h>
#include <glib-unix.h>

#include <vector>

namespace Platform::Linux {

namespace {

struct AccessibilityApi {
    // GLib, GObject, GIO
    AVENDREL_LIBRARY_FUNCTION(g_bus_get_sync);
    AVENDREL_LIBRARY_FUNCTION(g_dbus_connection_call_sync);
    AVENDREL_LIBRARY_FUNCTION(g_variant_new);
    AVENDREL_LIBRARY_FUNCTION(g_variant_get_child_value);
    AVENDREL_LIBRARY_FUNCTION(g_variant_lookup);
    AVENDREL_LIBRARY_FUNCTION(g_variant_unref);
    AVENDREL_LIBRARY_FUNCTION(g_error_free);
    AVENDREL_LIBRARY_FUNCTION(g_object_unref);
    AVENDREL_LIBRARY_FUNCTION(g_object_new);
    AVENDREL_LIBRARY_FUNCTION(g_type_register_static_simple);
    AVENDREL_LIBRARY_FUNCTION(g_type_add_interface_static);
    AVENDREL_LIBRARY_FUNCTION(g_type_class_ref);
    AVENDREL_LIBRARY_FUNCTION(g_object_ref);
    AVENDREL_LIBRARY_FUNCTION(g_idle_add);
    AVENDREL_LIBRARY_FUNCTION(g_unix_fd_add);
    AVENDREL_LIBRARY_FUNCTION(g_main_context_iteration);
    // ATK and the bridge
    AVENDREL_LIBRARY_FUNCTION(atk_object_get_type);
    AVENDREL_LIBRARY_FUNCTION(atk_component_get_type);
    AVENDREL_LIBRARY_FUNCTION(atk_action_get_type);
    AVENDREL_LIBRARY_FUNCTION(atk_util_get_type);
    AVENDREL_LIBRARY_FUNCTION(atk_object_set_parent);
    AVENDREL_LIBRARY_FUNCTION(atk_state_set_new);
    AVENDREL_LIBRARY_FUNCTION(atk_state_set_add_state);
    AVENDREL_LIBRARY_FUNCTION(atk_bridge_adaptor_init);
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

struct TState {
    AccessibilityApi Api;
    AccessibleWindow Window;
    bool Running = false;
    GType Type = 0;
    AtkObject* Application = nullptr;
    std::vector<AtkObject*> Objects;  // by tree index, made when first asked for
};

TState& S()
{
    static TState state;
    return state;
}

bool LoadApi(AccessibilityApi& api)
{
    static SharedLibrary gio("libgio-2.0.so.0");
    static SharedLibrary bridge("libatk-bridge-2.0.so.0");
    return gio.Open() && AVENDREL_FIND(gio, api, g_bus_get_sync) &&
           AVENDREL_FIND(gio, api, g_dbus_connection_call_sync) &&
           AVENDREL_FIND(gio, api, g_variant_new) &&
           AVENDREL_FIND(gio, api, g_variant_get_child_value) &&
           AVENDREL_FIND(gio, api, g_variant_lookup) && AVENDREL_FIND(gio, api, g_variant_unref) &&
           AVENDREL_FIND(gio, api, g_error_free) && AVENDREL_FIND(gio, api, g_object_unref) &&
           AVENDREL_FIND(gio, api, g_object_new) &&
           AVENDREL_FIND(gio, api, g_type_register_static_simple) &&
           AVENDREL_FIND(gio, api, g_type_add_interface_static) &&
           AVENDREL_FIND(gio, api, g_type_class_ref) &&
           AVENDREL_FIND(gio, api, g_object_ref) &&
           AVENDREL_FIND(gio, api, g_idle_add) && AVENDREL_FIND(gio, api, g_unix_fd_add) &&
           AVENDREL_FIND(gio, api, g_main_context_iteration) && bridge.Open() &&
           AVENDREL_FIND(bridge, api, atk_object_get_type) &&
           AVENDREL_FIND(bridge, api, atk_component_get_type) &&
           AVENDREL_FIND(bridge, api, atk_action_get_type) &&
           AVENDREL_FIND(bridge, api, atk_util_get_type) &&
           AVENDREL_FIND(bridge, api, atk_object_set_parent) &&
           AVENDREL_FIND(bridge, api, atk_state_set_new) &&
           AVENDREL_FIND(bridge, api, atk_state_set_add_state) &&
           AVENDREL_FIND(bridge, api, atk_bridge_adaptor_init);
}

// True when a running accessibility bus has announced itself on the root window.
bool BusAdvertised(Display* display)
{
    if (!display) return false;
    const Atom property = XInternAtom(display, "AT_SPI_BUS", True);
    if (property == None) return false;
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const int status = XGetWindowProperty(display, DefaultRootWindow(display), property, 0, 1024,
                                          False, AnyPropertyType, &type, &format, &count, &after,
                                          &data);
    if (data) XFree(data);
    return status == Success && type != None && count > 0;
}

// What org.a11y.Status on the session bus says; false when it cannot be asked.
bool AccessibilityEnabled(const AccessibilityApi& api)
{
    GError* error = nullptr;
    GDBusConnection* bus = api.g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        if (error) api.g_error_free(error);
        return false;
    }
    constexpr int kTimeoutMs = 5000;  // an answer that does not come means no
    GVariant* reply = api.g_dbus_connection_call_sync(
        bus, "org.a11y.Bus", "/org/a11y/bus", "org.freedesktop.DBus.Properties", "GetAll",
        api.g_variant_new("(s)", "org.a11y.Status"), reinterpret_cast<const GVariantType*>("(a{sv})"),
        G_DBUS_CALL_FLAGS_NO_AUTO_START, kTimeoutMs, nullptr, &error);
    api.g_object_unref(bus);
    if (!reply) {
        if (error) api.g_error_free(error);
        return false;
    }
    GVariant* properties = api.g_variant_get_child_value(reply, 0);
    gboolean enabled = FALSE, screenReader = FALSE;
    api.g_variant_lookup(properties, "IsEnabled", "b", &enabled);
    api.g_variant_lookup(properties, "ScreenReaderEnabled", "b", &screenReader);
    api.g_variant_unref(properties);
    api.g_variant_unref(reply);
    return enabled || screenReader;
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

bool RegisterType(TState& s)
{
    const AccessibilityApi& api = s.Api;
    s.Type = api.g_type_register_static_simple(api.atk_object_get_type(), "AvendrelAccessible",
                                               sizeof(TAccessibleObjectClass), InitObjectClass,
                                               sizeof(TAccessibleObject), nullptr, GTypeFlags{});
    if (!s.Type) return false;
    const GInterfaceInfo component{InitComponent, nullptr, nullptr};
    const GInterfaceInfo action{InitAction, nullptr, nullptr};
    api.g_type_add_interface_static(s.Type, api.atk_component_get_type(), &component);
    api.g_type_add_interface_static(s.Type, api.atk_action_get_type(), &action);
    auto* util = static_cast<AtkUtilClass*>(api.g_type_class_ref(api.atk_util_get_type()));
    util->get_root = GetRoot;
    util->get_toolkit_name = GetToolkitName;
    util->get_toolkit_version = GetToolkitVersion;
    return true;
}

gboolean ServeWatched(gint, GIOCondition, gpointer)
{
    if (S().Window.Serve) S().Window.Serve();
    return G_SOURCE_CONTINUE;
}

}  // namespace

bool StartAccessibility(Display* display, const AccessibleWindow& window)
{
    TState& s = S();
    if (s.Running || !window.Tree || !BusAdvertised(display)) return false;
    static const bool loaded = LoadApi(s.Api);
    if (!loaded || !AccessibilityEnabled(s.Api)) return false;
    static const bool registered = RegisterType(s);
    if (!registered) return false;
    s.Window = window;
    s.Running = true;
    s.Application = NewObject(-1, nullptr);
    if (s.Api.atk_bridge_adaptor_init(nullptr, nullptr) != 0) {
        s.Running = false;
        return false;
    }
    // A broken display connection wakes the loop too; serving it then reports it.
    const auto wake = static_cast<GIOCondition>(G_IO_IN | G_IO_HUP | G_IO_ERR);
    for (int fd : s.Window.WatchFds)
        if (fd >= 0) s.Api.g_unix_fd_add(fd, wake, ServeWatched, nullptr);
    return true;
}

void StopAccessibility()
{
    // The objects stay for clients that still hold them; they describe nothing now.
    S().Window.Tree = nullptr;
}

bool AccessibilityRunning()
{
    return S().Running;
}

void WaitWithAccessibility()
{
    S().Api.g_main_context_iteration(nullptr, TRUE);
}

}  // namespace Platform::Linux
