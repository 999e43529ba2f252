// The floor for the start-up benchmark: the least a program can do to show
// the same picture in the same shaped window with raw Xlib. It decodes the
// PNG given as its argument with libpng, builds the shapes from its alpha,
// sets the pixels as the background of an 800 x 677 window (ARGB visual where
// there is one), maps it centred on the screen and sleeps until it is ended.
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/shape.h>
#include <png.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <vector>

int main(int argc, char** argv)
{
    if (argc != 2) return 2;
    png_image png{};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, argv[1])) return 2;
    png.format = PNG_FORMAT_BGRA;
    const int pw = static_cast<int>(png.width), ph = static_cast<int>(png.height);
    std::vector<std::uint32_t> picture(static_cast<std::size_t>(pw) * ph);
    if (!png_image_finish_read(&png, nullptr, picture.data(), 0, nullptr)) return 2;

    const int width = 800, height = 677, top = (height - ph) / 2;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(width) * height, 0);
    std::vector<XRectangle> rects;
    for (int y = 0; y < ph && y + top < height; ++y) {
        for (int x = 0; x < pw && x < width;) {
            while (x < pw && x < width && (picture[y * pw + x] >> 24) == 0) ++x;
            const int start = x;
            for (; x < pw && x < width && (picture[y * pw + x] >> 24) != 0; ++x) {
                const std::uint32_t p = picture[y * pw + x], a = p >> 24;
                auto c = [&](int s) { return ((p >> s & 0xFF) * a + 127) / 255 << s; };
                pixels[(y + top) * width + x] = a << 24 | c(16) | c(8) | c(0);
            }
            if (x > start)
                rects.push_back({static_cast<short>(start), static_cast<short>(y + top),
                                 static_cast<unsigned short>(x - start), 1});
        }
    }

    Display* dpy = XOpenDisplay(nullptr);
    if (!dpy) return 1;
    const int screen = DefaultScreen(dpy);
    const Window root = RootWindow(dpy, screen);
    XVisualInfo info;
    Visual* visual = DefaultVisual(dpy, screen);
    int depth = DefaultDepth(dpy, screen);
    XSetWindowAttributes attributes{};
    unsigned long mask = CWBackPixmap | CWBorderPixel;
    if (XMatchVisualInfo(dpy, screen, 32, TrueColor, &info)) {
        visual = info.visual;
        depth = 32;
        attributes.colormap = XCreateColormap(dpy, root, visual, AllocNone);
        mask |= CWColormap;
    }
    const int left = (DisplayWidth(dpy, screen) - width) / 2;
    const int y0 = (DisplayHeight(dpy, screen) - height) / 2;
    const Window window = XCreateWindow(dpy, root, left, y0, width, height, 0, depth, InputOutput,
                                        visual, mask, &attributes);
    XStoreName(dpy, window, "floor");
    for (int kind : {ShapeBounding, ShapeInput})
        XShapeCombineRectangles(dpy, window, kind, 0, 0, rects.data(),
                                static_cast<int>(rects.size()), ShapeSet, YXSorted);
    const Pixmap pixmap = XCreatePixmap(dpy, window, width, height, static_cast<unsigned>(depth));
    const GC gc = XCreateGC(dpy, pixmap, 0, nullptr);
    XImage* image = XCreateImage(dpy, visual, static_cast<unsigned>(depth), ZPixmap, 0,
                                 reinterpret_cast<char*>(pixels.data()), width, height, 32, 0);
    XPutImage(dpy, pixmap, gc, image, 0, 0, 0, 0, width, height);
    image->data = nullptr;
    XDestroyImage(image);
    XSetWindowBackgroundPixmap(dpy, window, pixmap);
    XMapWindow(dpy, window);
    XFlush(dpy);
    pause();
    return 0;
}
