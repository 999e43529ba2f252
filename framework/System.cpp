#include "framework/System.h"

#include "platform/Platform.h"

#include <cstdlib>
#include <vector>

namespace System {

int ExitCode = 0;

namespace {
std::vector<void (*)()>& Finalizers()
{
    static std::vector<void (*)()> steps;
    return steps;
}
}  // namespace

void AddFinalizer(void (*step)())
{
    Finalizers().push_back(step);
}

void RunFinalizers() noexcept
{
    auto& steps = Finalizers();
    while (!steps.empty()) {
        void (*step)() = steps.back();
        steps.pop_back();
        try {
            step();
        } catch (...) {
            // A failing clean-up step must not stop the ones before it.
        }
    }
}

void Halt()
{
    RunFinalizers();
    Platform::Current().ExitProcess(ExitCode);
    std::abort();  // ExitProcess does not return
}

}  // namespace System
