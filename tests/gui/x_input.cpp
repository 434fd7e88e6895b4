#include "x_input.h"

#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace guitest {

namespace {

// The windows a test acts on may go away at any moment (the program ends, a box closes): a
// request to a window that no longer exists is no reason to end the test program, as Xlib's
// default handler would.
int IgnoreError(Display*, XErrorEvent*) {
    return 0;
}

}  // namespace

XInput::XInput() {
    XSetErrorHandler(IgnoreError);
    for (int attempt = 0; attempt < 10 && display == nullptr; ++attempt) {
        if (attempt > 0) {
            usleep(100 * 1000);
        }
        display = XOpenDisplay(nullptr);
    }
    if (display == nullptr) {
        throw std::runtime_error("cannot open the display");
    }
}

XInput::~XInput() {
    XCloseDisplay(display);
}

void XInput::MoveTo(int x, int y) {
    XTestFakeMotionEvent(display, -1, x, y, CurrentTime);
    XSync(display, False);
}

void XInput::Press(unsigned button) {
    XTestFakeButtonEvent(display, button, True, CurrentTime);
    XSync(display, False);
}

void XInput::Release(unsigned button) {
    XTestFakeButtonEvent(display, button, False, CurrentTime);
    XSync(display, False);
}

void XInput::Key(unsigned long window, const char* keysym) {
    if (window != 0) {
        XSetInputFocus(display, window, RevertToParent, CurrentTime);
    }
    std::vector<KeyCode> chord;
    std::string names = keysym;
    for (size_t start = 0; start <= names.size();) {
        size_t end = names.find('+', start);
        end = end == std::string::npos ? names.size() : end;
        chord.push_back(
            XKeysymToKeycode(display, XStringToKeysym(names.substr(start, end - start).c_str())));
        start = end + 1;
    }
    for (KeyCode code : chord) {
        XTestFakeKeyEvent(display, code, True, CurrentTime);
    }
    for (auto code = chord.rbegin(); code != chord.rend(); ++code) {
        XTestFakeKeyEvent(display, *code, False, CurrentTime);
    }
    XSync(display, False);
}

void XInput::Type(unsigned long window, const std::string& text) {
    XSetInputFocus(display, window, RevertToParent, CurrentTime);
    KeyCode shift = XKeysymToKeycode(display, XK_Shift_L);
    for (char c : text) {
        // Latin-1 characters are their own keysyms.
        KeySym symbol = static_cast<unsigned char>(c);
        KeyCode code = XKeysymToKeycode(display, symbol);
        bool shifted = XkbKeycodeToKeysym(display, code, 0, 0) != symbol;
        if (shifted) {
            XTestFakeKeyEvent(display, shift, True, CurrentTime);
        }
        XTestFakeKeyEvent(display, code, True, CurrentTime);
        XTestFakeKeyEvent(display, code, False, CurrentTime);
        if (shifted) {
            XTestFakeKeyEvent(display, shift, False, CurrentTime);
        }
    }
    XSync(display, False);
}

void XInput::RequestClose(unsigned long window) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
}

Image XInput::Grab(int x, int y, int width, int height) {
    Image image;
    XImage* shot =
        XGetImage(display, DefaultRootWindow(display), x, y, width, height, AllPlanes, ZPixmap);
    if (shot == nullptr) {
        return image;
    }
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            image.pixels[static_cast<size_t>(row) * width + column] =
                static_cast<uint32_t>(XGetPixel(shot, column, row) & 0xFFFFFF);
        }
    }
    XDestroyImage(shot);
    return image;
}

unsigned long XInput::FindWindow(const std::string& title) {
    Window root = DefaultRootWindow(display);
    Window parent = 0;
    Window* children = nullptr;
    unsigned count = 0;
    unsigned long found = 0;
    if (XQueryTree(display, root, &root, &parent, &children, &count) == 0) {
        return 0;
    }
    for (unsigned i = 0; i < count && found == 0; ++i) {
        XWindowAttributes attributes;
        char* name = nullptr;
        if (XGetWindowAttributes(display, children[i], &attributes) != 0 &&
            attributes.map_state == IsViewable && XFetchName(display, children[i], &name) != 0) {
            if (title == name) {
                found = children[i];
            }
            XFree(name);
        }
    }
    XFree(children);
    return found;
}

void XInput::Origin(unsigned long window, int* x, int* y) {
    Window child = 0;
    XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, x, y, &child);
}

Image LoadImageFile(const std::string& path) {
    Image image;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path.c_str(), nullptr);
    if (pixbuf == nullptr) {
        return image;
    }
    image.width = gdk_pixbuf_get_width(pixbuf);
    image.height = gdk_pixbuf_get_height(pixbuf);
    const guint8* data = gdk_pixbuf_read_pixels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    int channels = gdk_pixbuf_get_n_channels(pixbuf);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const guint8* p = data + static_cast<size_t>(y) * stride + x * channels;
            image.pixels.push_back(static_cast<uint32_t>(p[0]) << 16 | p[1] << 8 | p[2]);
        }
    }
    g_object_unref(pixbuf);
    return image;
}

int LargestChannelDifference(const Image& a, const Image& b) {
    if (a.width != b.width || a.height != b.height) {
        return 256;
    }
    int largest = 0;
    for (size_t i = 0; i < a.pixels.size(); ++i) {
        for (int shift : {0, 8, 16}) {
            int one = static_cast<int>((a.pixels[i] >> shift) & 0xFF);
            int other = static_cast<int>((b.pixels[i] >> shift) & 0xFF);
            largest = std::max(largest, std::abs(one - other));
        }
    }
    return largest;
}

std::string FirstDifference(const Image& got, const Image& expected) {
    if (got.width != expected.width || got.height != expected.height) {
        return "sizes differ";
    }
    for (int y = 0; y < got.height; ++y) {
        for (int x = 0; x < got.width; ++x) {
            if (got.At(x, y) != expected.At(x, y)) {
                char text[96];
                std::snprintf(text, sizeof text, "first difference at %d,%d: %06x, expected %06x",
                              x, y, got.At(x, y), expected.At(x, y));
                return text;
            }
        }
    }
    return "same";
}

bool SavePng(const Image& image, const std::string& path) {
    if (image.width == 0 || image.height == 0) {
        return false;
    }
    GdkPixbuf* pixbuf = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, image.width, image.height);
    guint8* pixels = gdk_pixbuf_get_pixels(pixbuf);
    int stride = gdk_pixbuf_get_rowstride(pixbuf);
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            uint32_t p = image.At(x, y);
            guint8* out = pixels + static_cast<size_t>(y) * stride + x * 3;
            out[0] = p >> 16 & 0xFF;
            out[1] = p >> 8 & 0xFF;
            out[2] = p & 0xFF;
        }
    }
    bool saved = gdk_pixbuf_save(pixbuf, path.c_str(), "png", nullptr, nullptr);
    g_object_unref(pixbuf);
    return saved;
}

}  // namespace guitest
