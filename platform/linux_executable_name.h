#pragma once
// The executable's file name, without its folder, read from a link such as
// /proc/self/exe. When the link cannot be read the program still needs a
// name for the task list: the fixed product name, never the command line.

#include <string>

namespace Platform::Linux {

inline constexpr const char* kFallbackExecutableName = "Avendrel";

std::string ExecutableFileName(const char* link);

}  // namespace Platform::Linux
