// Preloaded into the sanitizer build by the robustness tests. The program
// ends through _exit (its clean-up has already run by then), which skips the
// exit handlers where LeakSanitizer looks for leaks; this runs that check
// when the process ends, in the program's own process only (not in children
// that a library forks and that leave through _exit). When the check finds
// nothing it returns, and the file named by AVENDREL_LEAK_CHECK_DONE is
// created, so a test can tell that the check really ran.

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>

extern "C" void __lsan_do_leak_check() __attribute__((weak));

namespace {
pid_t programPid = 0;
__attribute__((constructor)) void RememberProgram()
{
    programPid = getpid();
}
}  // namespace

extern "C" [[noreturn]] void _exit(int status)
{
    if (__lsan_do_leak_check && getpid() == programPid) {
        __lsan_do_leak_check();  // ends the process with LSAN's exit code on a leak
        if (const char* done = std::getenv("AVENDREL_LEAK_CHECK_DONE")) {
            const int fd = open(done, O_WRONLY | O_CREAT | O_CLOEXEC, 0600);
            if (fd >= 0) close(fd);
        }
    }
    syscall(SYS_exit_group, status);
    __builtin_unreachable();
}
