// The Linux program entry: the X11 backend under the portable program.
// The command line is not read, and no toolkit ever sees it.

#include "app/Avendrel.h"
#include "framework/Startup.h"
#include "platform/linux_standard_files.h"
#include "platform/x11_platform.h"

#include <cstdio>

int main(int, char**)
{
    // First of all: a standard descriptor left closed by whoever started the
    // program would be taken by the X connection or the signal pipe.
    if (!Platform::Linux::OpenMissingStandardFiles()) {
        std::fputs("Avendrel: cannot open /dev/null for a closed standard file\n", stderr);
        return 1;
    }
    return StartProgram(Platform::X11::Connect(), Avendrel);
}
