#pragma once
// Process-wide state of the framework: the exit status, the finalisation list
// that start-up fills, and Halt, which ends the process after running it.

namespace System {

// The status the process ends with; 0 unless something sets it.
extern int ExitCode;

// Registers a finalisation step. Steps run in reverse order of registration.
void AddFinalizer(void (*step)());

// Runs every registered finalisation step, last registered first, once.
void RunFinalizers() noexcept;

// Runs the finalisation and ends the process with ExitCode. Never returns.
[[noreturn]] void Halt();

}  // namespace System
