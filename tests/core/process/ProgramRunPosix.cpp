// The child of RunProgram on POSIX systems: a fork of the test process. Its
// record comes back through a pipe, its standard error through a file. The
// child dies with the test process, and one that takes longer than
// kChildSeconds is killed and fails the test.

#include "ProgramRun.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <chrono>
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

// Reads the pipe until the child closes it; false when `deadline` came first.
bool ReadUntil(int fd, std::chrono::steady_clock::time_point deadline, std::string& text)
{
    char buffer[4096];
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno != EINTR) return false;
        if (polled <= 0) continue;
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got == 0) return true;
        if (got < 0 && errno != EINTR) return true;
        if (got > 0) text.append(buffer, static_cast<std::size_t>(got));
    }
}

// Waits for the child to end; false when `deadline` came first.
bool WaitUntil(pid_t child, std::chrono::steady_clock::time_point deadline, int& waitStatus)
{
    for (;;) {
        const pid_t ended = ::waitpid(child, &waitStatus, WNOHANG);
        if (ended == child) return true;
        if (ended < 0 && errno != EINTR) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        ::usleep(10000);
    }
}

}  // namespace

ProgramRun RunProgram(const Platform::Headless::Script& script)
{
    int pipeFds[2];
    std::FILE* errors = std::tmpfile();
    if (!errors || ::pipe(pipeFds) != 0) std::abort();
    std::fflush(nullptr);
    const pid_t parent = ::getpid();
    const pid_t child = ::fork();
    if (child == 0) {
#if defined(__linux__)
        // Dies with the test process, also when that is killed.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) ::_exit(1);
#endif
        ::close(pipeFds[0]);
        ::dup2(::fileno(errors), 2);
        g_callsOut = pipeFds[1];
        RunProgramHere(script, WriteAll);
    }
    ::close(pipeFds[1]);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(kChildSeconds);
    std::string calls;
    int waitStatus = 0;
    const bool finished = ReadUntil(pipeFds[0], deadline, calls) && WaitUntil(child, deadline, waitStatus);
    ::close(pipeFds[0]);
    if (!finished) {
        ::kill(child, SIGKILL);
        ::waitpid(child, &waitStatus, 0);
        ADD_FAILURE() << "the program's child process did not finish within " << kChildSeconds
                      << " s and was killed";
    }
    ::lseek(::fileno(errors), 0, SEEK_SET);
    std::string errorText = ReadAll(::fileno(errors));
    std::fclose(errors);
    ProgramRun run;
    // A child killed by a signal ended too, with no status of its own.
    ReadChild(run, WIFEXITED(waitStatus) ? WEXITSTATUS(waitStatus) : -1, calls, std::move(errorText));
    return run;
}
