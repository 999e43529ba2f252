// Linux: opening an address through GIO's default handler for its scheme.
// Implemented features:
//  [X] The handler that the desktop's MIME settings name (mimeapps.list), started without waiting
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
    AVENDREL_LIBRARY_FUNCTION(g_error_free);
};

const GioApi* Gio()
{
    static GioApi api;
    static const bool loaded = [] {
        static SharedLibrary library("libgio-2.0.so.0");
        return library.Open() && AVENDREL_FIND(library, api, g_app_info_launch_default_for_uri) &&
               AVENDREL_FIND(library, api, g_error_free);
    }();
    return loaded ? &api : nullptr;
}

}  // namespace

bool OpenAddress(const std::string& address)
{
    const GioApi* gio = Gio();
    if (!gio) return false;
    GError* error = nullptr;
    const bool ok = gio->g_app_info_launch_default_for_uri(address.c_str(), nullptr, &error);
    if (error) gio->g_error_free(error);
    return ok;
}

}  // namespace Platform::Linux
