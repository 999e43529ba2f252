#pragma once
// The three standard descriptors of a Linux process, made safe to rely on.

namespace Platform::Linux {

// Opens /dev/null on each of descriptors 0, 1 and 2 that is closed, so that no
// connection or pipe opened later can take a standard descriptor's number and
// receive what a library writes to "standard error". Returns false when a
// closed one could not be filled (no /dev/null).
bool OpenMissingStandardFiles();

} // namespace Platform::Linux
