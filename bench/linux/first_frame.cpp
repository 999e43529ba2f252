// Runs a program on the display in DISPLAY and reports, on one line, the
// milliseconds from exec to its first frame on the screen and its peak
// resident memory in kilobytes:  first_frame PROGRAM [ARGS...]
// The first frame is the moment the screen shows the program's pixels: once
// its 800 x 677 window is mapped, a row of the screen inside it is read until
// it differs from what was there before (the server may compose the window a
// little after mapping it). The program is then ended with SIGTERM.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <vector>
#include <ctime>
#include <poll.h>

static double Now()
{
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return 2;
    const Window root = DefaultRootWindow(dpy);
    XSelectInput(dpy, root, SubstructureNotifyMask);
    XSync(dpy, False);

    // Where the window will be: centred on the screen; a row across its middle.
    const int screenWidth = DisplayWidth(dpy, DefaultScreen(dpy));
    const int screenHeight = DisplayHeight(dpy, DefaultScreen(dpy));
    const int probeX = (screenWidth - 800) / 2 + 100, probeY = (screenHeight - 677) / 2 + 300;
    auto probe = [&] {
        XImage* row = XGetImage(dpy, root, probeX, probeY, 600, 1, AllPlanes, ZPixmap);
        std::vector<unsigned long> pixels;
        for (int x = 0; row && x < 600; ++x) pixels.push_back(XGetPixel(row, x, 0));
        if (row) XDestroyImage(row);
        return pixels;
    };
    const std::vector<unsigned long> before = probe();
    const double start = Now();
    const pid_t child = fork();
    if (child == 0) {
        execv(argv[1], argv + 1);
        _exit(127);
    }
    bool mapped = false;
    double frame = -1;
    while (frame < 0) {
        if (!mapped) {
            if (!XPending(dpy)) {
                pollfd fd{ConnectionNumber(dpy), POLLIN, 0};
                if (poll(&fd, 1, 20000) <= 0) break;
                continue;
            }
            XEvent e;
            XNextEvent(dpy, &e);
            XWindowAttributes a;
            mapped = e.type == MapNotify && XGetWindowAttributes(dpy, e.xmap.window, &a) &&
                     a.width == 800 && a.height == 677;
            continue;
        }
        if (probe() != before) frame = Now();
        else if (Now() - start > 20000) break;
        else usleep(200);
    }
    kill(child, SIGTERM);
    int status = 0;
    rusage usage{};
    wait4(child, &status, 0, &usage);
    if (frame < 0) {
        std::fprintf(stderr, "first_frame: no frame seen\n");
        return 1;
    }
    std::printf("%.2f %ld\n", frame - start, usage.ru_maxrss);
    return 0;
}
