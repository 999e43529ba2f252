#include "platform/Platform.h"

#include <cstdlib>

namespace Platform {

namespace {
Table g_current;
bool g_connected = false;
}  // namespace

const Table& Current()
{
    if (!g_connected)
        std::abort();  // a backend must be chosen before the framework starts
    return g_current;
}

void Connect(const Table& table)
{
    g_current = table;
    g_connected = true;
}

}  // namespace Platform
