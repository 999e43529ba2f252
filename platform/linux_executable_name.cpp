#include "platform/linux_executable_name.h"

#include <unistd.h>

namespace Platform::Linux {

std::string ExecutableFileName(const char* link)
{
    char path[4096];
    const ssize_t length = readlink(link, path, sizeof path - 1);
    if (length <= 0) return kFallbackExecutableName;
    const std::string full(path, static_cast<std::size_t>(length));
    const std::size_t slash = full.rfind('/');
    const std::string name = slash == std::string::npos ? full : full.substr(slash + 1);
    return name.empty() ? kFallbackExecutableName : name;
}

}  // namespace Platform::Linux
