// Linux: opening an address with the desktop's handler for it.
// Implemented features:
//  [X] The handler that the desktop's MIME settings name (mimeapps.list): one
//      that is run as a command is started at once and is done once started;
//      one that the session bus starts on demand (DBusActivatable) is asked
//      through GIO's asynchronous launch and is done once it has answered the
//      request to open the address
//  [X] The hand-over never blocks the event loop, which serves it while it is
//      in progress; before the process ends, FinishHandOvers completes it
//      (bounded), so an address is not lost with the process
//  [X] When those settings know no handler for the address: xdg-open, the
//      desktop-neutral opener (it also honours BROWSER), started detached
//      without a shell, its output discarded; done once started
//  [X] GIO loaded on first use only; no GTK needed
// Missing features or Issues:
//  [ ] No start-up notification (no launch context)

#include "platform/linux_open_address.h"

#include "platform/linux_library.h"

#include <gio/gdesktopappinfo.h>
#include <gio/gio.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <vector>

namespace Platform::Linux {

namespace {

struct GioApi {
    AVENDREL_LIBRARY_FUNCTION(g_app_info_launch_uris);
    AVENDREL_LIBRARY_FUNCTION(g_app_info_launch_uris_async);
    AVENDREL_LIBRARY_FUNCTION(g_app_info_launch_uris_finish);
    AVENDREL_LIBRARY_FUNCTION(g_desktop_app_info_get_type);
    AVENDREL_LIBRARY_FUNCTION(g_desktop_app_info_get_boolean);
    AVENDREL_LIBRARY_FUNCTION(g_type_check_instance_is_a);
    AVENDREL_LIBRARY_FUNCTION(g_main_context_default);
    AVENDREL_LIBRARY_FUNCTION(g_main_context_acquire);
    AVENDREL_LIBRARY_FUNCTION(g_main_context_release);
    AVENDREL_LIBRARY_FUNCTION(g_main_context_prepare);
    AVENDREL_LIBRARY_FUNCTION(g_main_context_query);
    AVENDREL_LIBRARY_FUNCTION(g_main_context_check);
    AVENDREL_LIBRARY_FUNCTION(g_main_context_dispatch);
    AVENDREL_LIBRARY_FUNCTION(g_app_info_get_default_for_uri_scheme);
    AVENDREL_LIBRARY_FUNCTION(g_uri_parse_scheme);
    AVENDREL_LIBRARY_FUNCTION(g_spawn_async);
    AVENDREL_LIBRARY_FUNCTION(g_object_unref);
    AVENDREL_LIBRARY_FUNCTION(g_free);
    AVENDREL_LIBRARY_FUNCTION(g_error_free);
};

const GioApi* Gio()
{
    static GioApi api;
    static const bool loaded = [] {
        static SharedLibrary library("libgio-2.0.so.0");
        return library.Open() &&
               AVENDREL_FIND(library, api, g_app_info_launch_uris) &&
               AVENDREL_FIND(library, api, g_app_info_launch_uris_async) &&
               AVENDREL_FIND(library, api, g_app_info_launch_uris_finish) &&
               AVENDREL_FIND(library, api, g_desktop_app_info_get_type) &&
               AVENDREL_FIND(library, api, g_desktop_app_info_get_boolean) &&
               AVENDREL_FIND(library, api, g_type_check_instance_is_a) &&
               AVENDREL_FIND(library, api, g_main_context_default) &&
               AVENDREL_FIND(library, api, g_main_context_acquire) &&
               AVENDREL_FIND(library, api, g_main_context_release) &&
               AVENDREL_FIND(library, api, g_main_context_prepare) &&
               AVENDREL_FIND(library, api, g_main_context_query) &&
               AVENDREL_FIND(library, api, g_main_context_check) &&
               AVENDREL_FIND(library, api, g_main_context_dispatch) &&
               AVENDREL_FIND(library, api, g_app_info_get_default_for_uri_scheme) &&
               AVENDREL_FIND(library, api, g_uri_parse_scheme) &&
               AVENDREL_FIND(library, api, g_spawn_async) &&
               AVENDREL_FIND(library, api, g_object_unref) && AVENDREL_FIND(library, api, g_free) &&
               AVENDREL_FIND(library, api, g_error_free);
    }();
    return loaded ? &api : nullptr;
}

// The handler that the desktop's MIME settings name for the address's
// scheme (a reference to release), or nullptr.
GAppInfo* DefaultHandler(const GioApi& gio, const std::string& address)
{
    char* scheme = gio.g_uri_parse_scheme(address.c_str());
    if (!scheme) return nullptr;
    GAppInfo* handler = gio.g_app_info_get_default_for_uri_scheme(scheme);
    gio.g_free(scheme);
    return handler;
}

// True when the handler's desktop entry asks to be started through the
// session bus (DBusActivatable): it has the address only once it has answered.
bool StartedThroughBus(const GioApi& gio, GAppInfo* handler)
{
    auto* instance = reinterpret_cast<GTypeInstance*>(handler);
    return gio.g_type_check_instance_is_a(instance, gio.g_desktop_app_info_get_type()) &&
           gio.g_desktop_app_info_get_boolean(reinterpret_cast<GDesktopAppInfo*>(handler),
                                              "DBusActivatable");
}

// Starts `xdg-open address` found on PATH, with no shell in between. GLib
// starts it through an intermediate child that it reaps at once, so the
// opener is nobody's child here and the call does not wait for it. Its
// standard input and output are /dev/null: its complaints are its own.
bool StartXdgOpen(const GioApi& gio, const std::string& address)
{
    char opener[] = "xdg-open";
    std::string argument = address;
    char* argv[] = {opener, argument.data(), nullptr};
    GError* error = nullptr;
    const auto flags = static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDOUT_TO_DEV_NULL |
                                                G_SPAWN_STDERR_TO_DEV_NULL);
    const bool started =
        gio.g_spawn_async(nullptr, argv, nullptr, flags, nullptr, nullptr, nullptr, &error);
    if (error) gio.g_error_free(error);
    return started;
}

// Hand-overs started and not yet finished; only the GUI thread touches it.
int g_inProgress = 0;

// GIO reports the end of a hand-over here, on the GUI thread, from the
// default main context. The result is not wanted: a handler that failed
// says so itself, and the program reports nothing.
void HandOverFinished(GObject* handler, GAsyncResult* result, gpointer)
{
    const GioApi& gio = *Gio();
    GError* error = nullptr;
    gio.g_app_info_launch_uris_finish(reinterpret_cast<GAppInfo*>(handler), result, &error);
    if (error) gio.g_error_free(error);
    --g_inProgress;
}

// One turn of GLib's default main context, with `fds` polled beside its own
// descriptors, waiting at most `timeoutMs` (-1: no limit) or until GLib's
// next timeout. Returns false when poll failed for a reason other than a signal.
bool ServeMainContext(const GioApi& gio, pollfd* fds, int count, int timeoutMs)
{
    GMainContext* context = gio.g_main_context_default();
    if (!gio.g_main_context_acquire(context)) {
        // Another thread owns the context (never the case here): just wait.
        return poll(fds, static_cast<nfds_t>(count), timeoutMs) >= 0 || errno == EINTR;
    }
    gint priority = 0;
    gio.g_main_context_prepare(context, &priority);
    std::vector<GPollFD> glibFds(8);
    gint glibTimeout = -1;
    gint needed = 0;
    while ((needed = gio.g_main_context_query(context, priority, &glibTimeout, glibFds.data(),
                                              static_cast<gint>(glibFds.size()))) >
           static_cast<gint>(glibFds.size()))
        glibFds.resize(static_cast<std::size_t>(needed));
    glibFds.resize(static_cast<std::size_t>(needed));
    std::vector<pollfd> all;
    for (const GPollFD& f : glibFds) all.push_back({f.fd, static_cast<short>(f.events), 0});
    for (int i = 0; i < count; ++i) all.push_back({fds[i].fd, fds[i].events, 0});
    int timeout = glibTimeout;
    if (timeoutMs >= 0) timeout = timeout < 0 ? timeoutMs : std::min(timeout, timeoutMs);
    const int ready = poll(all.data(), static_cast<nfds_t>(all.size()), timeout);
    const bool ok = ready >= 0 || errno == EINTR;
    for (std::size_t i = 0; i < glibFds.size(); ++i)
        glibFds[i].revents = static_cast<gushort>(ready > 0 ? all[i].revents : 0);
    for (int i = 0; i < count; ++i) fds[i].revents = ready > 0 ? all[glibFds.size() + i].revents : 0;
    if (gio.g_main_context_check(context, priority, glibFds.data(), needed))
        gio.g_main_context_dispatch(context);
    gio.g_main_context_release(context);
    return ok;
}

} // namespace

bool OpenAddress(const std::string& address)
{
    const GioApi* gio = Gio();
    if (!gio) return false;
    GAppInfo* handler = DefaultHandler(*gio, address);
    // Without a handler in the MIME settings GIO has nobody to ask.
    if (!handler) return StartXdgOpen(*gio, address);
    std::string uri = address;
    GList uris{uri.data(), nullptr, nullptr};
    bool started = true;
    if (StartedThroughBus(*gio, handler)) {
        // GIO copies the list; the call holds the handler until it is done.
        ++g_inProgress;
        gio->g_app_info_launch_uris_async(handler, &uris, nullptr, nullptr, HandOverFinished,
                                          nullptr);
    } else {
        // A command: done once started, which this call does before it returns.
        // A handler that is named but failed to start is not replaced by another.
        GError* error = nullptr;
        started = gio->g_app_info_launch_uris(handler, &uris, nullptr, &error);
        if (error) gio->g_error_free(error);
    }
    gio->g_object_unref(handler);
    return started;
}

bool HandOversInProgress()
{
    return g_inProgress > 0;
}

bool WaitServingHandOvers(pollfd* fds, int count)
{
    const GioApi* gio = Gio();
    if (!gio) return poll(fds, static_cast<nfds_t>(count), -1) >= 0 || errno == EINTR;
    return ServeMainContext(*gio, fds, count, -1);
}

void FinishHandOvers(unsigned timeoutMs)
{
    if (g_inProgress <= 0) return;
    const GioApi* gio = Gio();
    if (!gio) return;
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (g_inProgress > 0) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0) break;
        if (!ServeMainContext(*gio, nullptr, 0, static_cast<int>(left))) break;
    }
}

} // namespace Platform::Linux
