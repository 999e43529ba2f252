// Calls single operations of the Linux backend without the program around
// them, for the end-to-end tests of what the program cannot be made to do
// on its own (an error box, a tone without a sound device, an address with
// no handler). Prints the operation's result and how long it took:
//   backend_probe box STYLE TEXT CAPTION | beep FREQUENCY MS | open ADDRESS
#include "platform/x11_platform.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    const Platform::Table table = Platform::X11::Connect();
    const std::string what = argv[1];
    const auto start = std::chrono::steady_clock::now();
    long long result = 0;
    if (what == "box" && argc == 5) {
        std::string error;
        if (!table.Init(error)) {
            std::fprintf(stderr, "backend_probe: %s\n", error.c_str());
            return 2;
        }
        result = table.MessageBox(nullptr, argv[3], argv[4],
                                  static_cast<unsigned>(std::strtoul(argv[2], nullptr, 0)));
        table.Terminate();
    } else if (what == "beep" && argc == 4) {
        result = table.Beep(static_cast<unsigned>(std::atoi(argv[2])),
                            static_cast<unsigned>(std::atoi(argv[3])));
    } else if (what == "open" && argc == 3) {
        result = table.ShellExecute(nullptr, "OPEN", argv[2], "", "", 1);
    } else {
        return 2;
    }
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    std::printf("%lld %.1f\n", result, ms);
    std::fflush(stdout);
    // As the program does before it ends: the address reaches its handler.
    table.FinishHandOvers(10000);
    // Ends as the program ends, through the backend (the toolkits' own
    // allocations are not freed before a process exits).
    table.ExitProcess(0);
}
