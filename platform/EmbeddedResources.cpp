#include "platform/EmbeddedResources.h"

#include <cstring>

namespace Platform {

std::span<const std::uint8_t> FindEmbeddedResource(const char* name)
{
    for (const EmbeddedResource& resource : EmbeddedResources()) {
        if (std::strcmp(resource.Name, name) == 0)
            return {resource.Data, resource.Size};
    }
    return {};
}

}  // namespace Platform
