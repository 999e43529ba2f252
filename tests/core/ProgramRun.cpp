#include "ProgramRun.h"

#include "app/Avendrel.h"
#include "framework/Startup.h"

#include <cstdlib>

namespace {

void (*g_send)(const std::string&) = nullptr;

[[noreturn]] void SendCallsAndExit(int status)
{
    std::string text;
    for (const std::string& line : Platform::Headless::Calls()) text += line + "\n";
    g_send(text);
    std::_Exit(status);
}

}  // namespace

std::vector<std::string> ProgramRun::Only(std::initializer_list<const char*> prefixes) const
{
    std::vector<std::string> selected;
    for (const std::string& call : Calls) {
        for (const char* prefix : prefixes) {
            if (call.rfind(prefix, 0) == 0) {
                selected.push_back(call);
                break;
            }
        }
    }
    return selected;
}

std::vector<std::string> ProgramRun::Actions() const
{
    return Only({"Beep", "MessageBox(", "ShellExecute", "ExitProcess"});
}

void RunProgramHere(const Platform::Headless::Script& script, void (*send)(const std::string&))
{
    g_send = send;
    Platform::Headless::Load(script);
    Platform::Headless::SetExitHook([](int status) { SendCallsAndExit(status); });
    Platform::Headless::SetIdleHook([] { SendCallsAndExit(kStillRunning); });
    // Returns only when start-up failed before the program could run.
    SendCallsAndExit(StartProgram(Platform::Headless::Connect(), Avendrel));
}

void ReadChild(ProgramRun& run, int status, const std::string& calls, std::string errors)
{
    run.Status = status;
    run.Ended = status != kStillRunning;  // also a crash (-1): the program is gone
    run.Errors = std::move(errors);
    std::size_t start = 0;
    while (start < calls.size()) {
        std::size_t end = calls.find('\n', start);
        if (end == std::string::npos) end = calls.size();
        run.Calls.push_back(calls.substr(start, end - start));
        start = end + 1;
    }
}
