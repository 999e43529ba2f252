// The Linux program entry: the X11 backend under the portable program.
// The command line is not read, and no toolkit ever sees it.

#include "app/Avendrel.h"
#include "framework/Startup.h"
#include "platform/x11_platform.h"

int main(int, char**)
{
    return StartProgram(Platform::X11::Connect(), Avendrel);
}
