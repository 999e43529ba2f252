#pragma once
// Runs the whole program on the headless desktop in a child process, so that
// the program's own end (ExitProcess) ends only the child. The child sends
// back the record of platform calls and what it wrote to standard error; the
// parent sees the exit status.

#include "platform/headless_platform.h"

#include <string>
#include <vector>

struct ProgramRun {
    // True when the program ended itself (or crashed: Status -1); false when
    // it reached idle with its window open (the desktop would now wait for
    // the user).
    bool Ended = false;
    int Status = -1;
    std::vector<std::string> Calls;
    std::string Errors;  // what the program wrote to standard error

    // The calls whose line starts with one of `prefixes`, in order.
    std::vector<std::string> Only(std::initializer_list<const char*> prefixes) const;
    // The calls a user would notice: tones, boxes, addresses, the end.
    std::vector<std::string> Actions() const;
};

// Runs the program entry Avendrel on a desktop that follows `script`.
ProgramRun RunProgram(const Platform::Headless::Script& script);

// --- shared by the two ways of starting the child (process/*.cpp) ------

// The status a child exits with when the program reached idle instead of ending.
inline constexpr int kStillRunning = 77;

// How long a child may take; one that takes longer is killed and the test
// fails. Far more than a run takes, and less than the test's own time-out.
inline constexpr int kChildSeconds = 30;

// Runs the program in this process, the child, on the desktop of `script`:
// when it ends or reaches idle, `send` gets the record of calls as text (one
// line each) and the process exits with the program's status or
// kStillRunning. Never returns.
[[noreturn]] void RunProgramHere(const Platform::Headless::Script& script,
                                 void (*send)(const std::string& calls));

// Fills `run` from the child's status, record and standard error.
void ReadChild(ProgramRun& run, int status, const std::string& calls, std::string errors);
