// Prints the name of the cursor that the X server shows now (empty when the
// cursor has no name: a theme cursor keeps the name it was loaded by, e.g.
// "hand2") and, on a second line, its size and a checksum of its image, so
// that the end-to-end tests can tell unnamed core cursors apart.
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
    unsigned long sum = 0;
    for (int i = 0; i < image->width * image->height; ++i) sum = sum * 31 + image->pixels[i];
    std::printf("%s\n%dx%d %lx\n", image->name ? image->name : "", image->width, image->height,
                sum);
    XFree(image);
    XCloseDisplay(display);
    return 0;
}
