// The child of RunProgram on POSIX systems: a fork of the test process. Its
// record comes back through a pipe, its standard error through a file.

#include "ProgramRun.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

namespace {

int g_callsOut = -1;  // the child's end of the pipe

void WriteAll(const std::string& text)
{
    const char* data = text.data();
    std::size_t left = text.size();
    while (left > 0) {
        const ssize_t written = ::write(g_callsOut, data, left);
        if (written <= 0) break;
        data += written;
        left -= static_cast<std::size_t>(written);
    }
    ::close(g_callsOut);
}

std::string ReadAll(int fd)
{
    std::string text;
    char buffer[4096];
    ssize_t got;
    while ((got = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(got));
    return text;
}

}  // namespace

ProgramRun RunProgram(const Platform::Headless::Script& script)
{
    int pipeFds[2];
    std::FILE* errors = std::tmpfile();
    if (!errors || ::pipe(pipeFds) != 0) std::abort();
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(pipeFds[0]);
        ::dup2(::fileno(errors), 2);
        g_callsOut = pipeFds[1];
        RunProgramHere(script, WriteAll);
    }
    ::close(pipeFds[1]);
    const std::string calls = ReadAll(pipeFds[0]);
    ::close(pipeFds[0]);
    int waitStatus = 0;
    ::waitpid(child, &waitStatus, 0);
    ::lseek(::fileno(errors), 0, SEEK_SET);
    std::string errorText = ReadAll(::fileno(errors));
    std::fclose(errors);
    ProgramRun run;
    // A child killed by a signal ended too, with no status of its own.
    ReadChild(run, WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1, calls, std::move(errorText));
    return run;
}
