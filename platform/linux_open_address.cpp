// Linux: opening an address with the desktop's handler for it.
// Implemented features:
//  [X] The handler that the desktop's MIME settings name (mimeapps.list), started without waiting
//  [X] When those settings know no handler for the address: xdg-open, the
//      desktop-neutral opener (it also honours BROWSER), started detached
//      without a shell, its output discarded
//  [X] GIO loaded on first use only; no GTK needed
// Missing features or Issues:
//  [ ] No start-up notification (no launch context)

#include "platform/linux_open_address.h"

#include "platform/linux_library.h"

#include <gio/gio.h>

namespace Platform::Linux {

namespace {

struct GioApi {
    AVENDREL_LIBRARY_FUNCTION(g_app_info_launch_default_for_uri);
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
        return library.Open() && AVENDREL_FIND(library, api, g_app_info_launch_default_for_uri) &&
               AVENDREL_FIND(library, api, g_app_info_get_default_for_uri_scheme) &&
               AVENDREL_FIND(library, api, g_uri_parse_scheme) &&
               AVENDREL_FIND(library, api, g_spawn_async) &&
               AVENDREL_FIND(library, api, g_object_unref) && AVENDREL_FIND(library, api, g_free) &&
               AVENDREL_FIND(library, api, g_error_free);
    }();
    return loaded ? &api : nullptr;
}

// True when the desktop's MIME settings name a handler for the address's scheme.
bool SchemeHasHandler(const GioApi& gio, const std::string& address)
{
    char* scheme = gio.g_uri_parse_scheme(address.c_str());
    if (!scheme) return false;
    GAppInfo* handler = gio.g_app_info_get_default_for_uri_scheme(scheme);
    gio.g_free(scheme);
    if (!handler) return false;
    gio.g_object_unref(handler);
    return true;
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

} // namespace

bool OpenAddress(const std::string& address)
{
    const GioApi* gio = Gio();
    if (!gio) return false;
    GError* error = nullptr;
    const bool ok = gio->g_app_info_launch_default_for_uri(address.c_str(), nullptr, &error);
    if (error) gio->g_error_free(error);
    if (ok) return true;
    // A handler that is named but failed to start is not replaced by another.
    if (SchemeHasHandler(*gio, address)) return false;
    return StartXdgOpen(*gio, address);
}

} // namespace Platform::Linux
