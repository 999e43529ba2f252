#include "ProgramRun.h"

#include "app/Avendrel.h"
#include "framework/Startup.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace {

// The status a child exits with when the program reached idle instead of ending.
constexpr int kStillRunning = 77;

void SendCalls(int fd)
{
    std::string text;
    for (const std::string& line : Platform::Headless::Calls()) text += line + "\n";
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, data, left);
        if (written <= 0) break;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    ::close(fd);
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

namespace {

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
    ::close(fd);
    return text;
}

}  // namespace

ProgramRun RunProgram(const Platform::Headless::Script& script, void (*entry)())
{
    int pipeFds[2], errorFds[2];
    if (::pipe(pipeFds) != 0 || ::pipe(errorFds) != 0) std::abort();
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        ::close(errorFds[0]);
        ::dup2(errorFds[1], 2);
        ::close(errorFds[1]);
        const int out = pipeFds[1];
        Platform::Headless::Load(script);
        Platform::Headless::SetExitHook([out](int status) {
            SendCalls(out);
            ::_exit(status);
        });
        Platform::Headless::SetIdleHook([out] {
            SendCalls(out);
            ::_exit(kStillRunning);
        });
        const int status = StartProgram(Platform::Headless::Connect(), entry ? entry : Avendrel);
        // Start-up failed before the program could run.
        SendCalls(out);
        ::_exit(status);
    }
    ::close(pipeFds[1]);
    ::close(errorFds[1]);
    // The child writes little on standard error, so reading the calls first
    // cannot leave it blocked on a full error pipe.
    const std::string text = ReadAll(pipeFds[0]);
    ProgramRun run;
    run.Errors = ReadAll(errorFds[0]);
    int waitStatus = 0;
    ::waitpid(child, &waitStatus, 0);
    if (WIFEXITED(waitStatus)) {
        run.Status = WEXITSTATUS(waitStatus);
        run.Ended = run.Status != kStillRunning;
    }
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        run.Calls.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return run;
}
