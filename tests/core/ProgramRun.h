#pragma once
// Runs the whole program on the headless desktop in a child process, so that
// the program's own end (ExitProcess) ends only the child. The child sends
// back the record of platform calls; the parent sees the exit status.

#include "platform/headless_platform.h"

#include <string>
#include <vector>

struct ProgramRun {
    // True when the program ended itself; false when it reached idle with
    // its window open (the desktop would now wait for the user).
    bool Ended = false;
    int Status = -1;
    std::vector<std::string> Calls;
    // What the program wrote on standard error.
    std::string Errors;

    // The calls whose line starts with one of `prefixes`, in order.
    std::vector<std::string> Only(std::initializer_list<const char*> prefixes) const;
    // The calls a user would notice: tones, boxes, addresses, the end.
    std::vector<std::string> Actions() const;
};

// Runs `entry` (the program entry Avendrel by default) on a desktop that follows `script`.
ProgramRun RunProgram(const Platform::Headless::Script& script, void (*entry)() = nullptr);
