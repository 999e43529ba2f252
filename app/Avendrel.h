#pragma once
// The program entry and the way it ends.

// Starts the application, creates the main window, runs the event loop and
// ends the program. Reads no command line.
void Avendrel();

// Ends the program at once, from wherever it is called: the framework's
// finalisation runs (destroying the application object and the main window),
// then the process exits with status 0. Never returns.
[[noreturn]] void EndProgram();
