#pragma once
// Start-up of the framework: connects the chosen backend, opens the desktop,
// creates the application object, runs the program's entry and, should the
// entry return, ends the process through Halt.

#include "platform/Platform.h"

// Returns only when the desktop cannot be reached: then one line has been
// written to stderr and the result is the process status to exit with (1).
int StartProgram(const Platform::Table& backend, void (*entry)());

#include <string>

// The first half of StartProgram, for tests that drive the framework in
// their own process: connects and opens the backend and creates the
// application object. System::RunFinalizers undoes it.
bool OpenFramework(const Platform::Table& backend, std::string& error);
