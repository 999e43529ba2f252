#pragma once
// Resources compiled into the executable as byte arrays, for the backends
// that have no resource section of their own (Linux, headless). The table is
// generated at build time from the files under resources/ and ui/.

#include <cstddef>
#include <cstdint>
#include <span>

namespace Platform {

struct EmbeddedResource {
    const char* Name;
    const std::uint8_t* Data;
    std::size_t Size;
};

// Defined by the generated source.
std::span<const EmbeddedResource> EmbeddedResources();

// The bytes of the resource called `name`, or an empty span.
std::span<const std::uint8_t> FindEmbeddedResource(const char* name);

}  // namespace Platform
