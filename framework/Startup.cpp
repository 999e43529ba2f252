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

}  // namespace

bool OpenFramework(const Platform::Table& backend, std::string& error)
{
    Platform::Connect(backend);
    if (!backend.Init(error)) return false;
    System::AddFinalizer(&TerminatePlatform);
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
