#include "framework/Startup.h"

#include "framework/Application.h"
#include "framework/System.h"

#include <cstdio>
#include <string>

namespace {

void DestroyApplication()
{
    delete Application;
    Application = nullptr;
}

void TerminatePlatform()
{
    Platform::Current().Terminate();
}

// How long the end of the process waits for addresses still on their way to
// the browser: long enough for a desktop to start one, short enough that a
// handler that never answers cannot keep an invisible program alive.
constexpr unsigned HandOverWaitMs = 10000;

// Runs after the windows are destroyed and before the desktop is closed, so
// the window is gone at once while the last address (the sign-up page of an
// answered Yes) still reaches the browser.
void FinishHandOvers()
{
    if (const auto finish = Platform::Current().FinishHandOvers) finish(HandOverWaitMs);
}

}  // namespace

bool OpenFramework(const Platform::Table& backend, std::string& error)
{
    Platform::Connect(backend);
    if (!backend.Init(error)) return false;
    System::AddFinalizer(&TerminatePlatform);
    System::AddFinalizer(&FinishHandOvers);
    Application = new TApplication(nullptr);
    System::AddFinalizer(&DestroyApplication);
    return true;
}

int StartProgram(const Platform::Table& backend, void (*entry)())
{
    std::string error;
    if (!OpenFramework(backend, error)) {
        std::fprintf(stderr, "Avendrel: %s\n", error.c_str());
        return 1;
    }
    entry();
    System::Halt();
}
