// Prints the name of the cursor that the X server shows now (empty when the
// cursor has no name), for the end-to-end tests: a theme cursor keeps the
// name it was loaded by, e.g. "hand2".
#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>

int main()
{
    Display* display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "cursor_name: cannot open the display\n");
        return 2;
    }
    int eventBase = 0, errorBase = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase)) return 2;
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (!image) return 2;
    std::printf("%s\n", image->name ? image->name : "");
    XFree(image);
    XCloseDisplay(display);
    return 0;
}
