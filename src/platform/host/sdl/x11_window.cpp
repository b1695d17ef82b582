#include "platform/host/sdl/x11_window.h"

#include <SDL.h>
#include <SDL_syswm.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <atomic>

#include "platform/host/host.h"

namespace {

// X errors end the process unless a handler takes them; a grab only notes that one came.
std::atomic<bool> gXError{false};

int NoteXError(Display*, XErrorEvent*) {
    gXError.store(true);
    return 0;
}

// The position of a channel mask's lowest bit and its width in bits.
void MaskShape(unsigned long mask, int* shift, int* bits) {
    *shift = 0;
    *bits = 0;
    if (!mask) return;
    while (!(mask & 1)) {
        mask >>= 1;
        (*shift)++;
    }
    while (mask & 1) {
        mask >>= 1;
        (*bits)++;
    }
}

uint32_t Channel(unsigned long pixel, int shift, int bits) {
    if (!bits) return 0;
    uint32_t v = uint32_t((pixel >> shift) & ((1ul << bits) - 1));
    return bits >= 8 ? v >> (bits - 8) : (v << (8 - bits)) | (v >> (2 * bits - 8 > 0 ? 2 * bits - 8 : 0));
}

}  // namespace

bool X11GrabScreen(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* out) {
    std::fill(out, out + size_t(width) * size_t(height), 0xFF000000u);
    Display* display = XOpenDisplay(nullptr);
    if (!display) return false;
    Window root = DefaultRootWindow(display);
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, root, &attributes)) {
        XCloseDisplay(display);
        return false;
    }
    int64_t left = std::max<int64_t>(x, 0), top = std::max<int64_t>(y, 0);
    int64_t right = std::min<int64_t>(int64_t(x) + width, attributes.width);
    int64_t bottom = std::min<int64_t>(int64_t(y) + height, attributes.height);
    if (left >= right || top >= bottom) {
        XCloseDisplay(display);
        return true;
    }
    XSync(display, False);
    gXError.store(false);
    XErrorHandler previous = XSetErrorHandler(NoteXError);
    XImage* image = XGetImage(display, root, int(left), int(top), unsigned(right - left), unsigned(bottom - top),
                              AllPlanes, ZPixmap);
    XSync(display, False);
    XSetErrorHandler(previous);
    bool ok = image && !gXError.load();
    if (ok) {
        int rs, rb, gs, gb, bs, bb;
        MaskShape(image->red_mask, &rs, &rb);
        MaskShape(image->green_mask, &gs, &gb);
        MaskShape(image->blue_mask, &bs, &bb);
        for (int64_t row = 0; row < bottom - top; row++) {
            uint32_t* to = out + size_t((top - y + row) * width + (left - x));
            for (int64_t column = 0; column < right - left; column++) {
                unsigned long p = XGetPixel(image, int(column), int(row));
                to[column] = 0xFF000000u | Channel(p, rs, rb) << 16 | Channel(p, gs, gb) << 8 | Channel(p, bs, bb);
            }
        }
    }
    if (image) XDestroyImage(image);
    XCloseDisplay(display);
    return ok;
}

void X11SetWindowFunctions(SDL_Window* window, uint32_t displayFlags) {
    SDL_SysWMinfo info;
    SDL_VERSION(&info.version);
    if (!window || !SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
    // The Motif hints record: flags, functions, decorations, input mode, status.
    enum { HINT_FUNCTIONS = 1, HINT_DECORATIONS = 2 };
    enum { FUNC_RESIZE = 2, FUNC_MOVE = 4, FUNC_MINIMIZE = 8, FUNC_MAXIMIZE = 16, FUNC_CLOSE = 32 };
    long hints[5] = {HINT_FUNCTIONS | HINT_DECORATIONS, 0, 0, 0, 0};
    if (!(displayFlags & QZ_DISPLAYFLAG_FIXED)) hints[1] |= FUNC_MOVE;
    if (displayFlags & QZ_DISPLAYFLAG_SIZEABLE) hints[1] |= FUNC_RESIZE | FUNC_MAXIMIZE;
    if (!(displayFlags & QZ_DISPLAYFLAG_NOHIDE)) hints[1] |= FUNC_MINIMIZE;
    if (!(displayFlags & QZ_DISPLAYFLAG_NOCLOSE)) hints[1] |= FUNC_CLOSE;
    hints[2] = (displayFlags & QZ_DISPLAYFLAG_BORDERLESS) ? 0 : 1;
    Display* display = info.info.x11.display;
    Atom motif = XInternAtom(display, "_MOTIF_WM_HINTS", False);
    XChangeProperty(display, info.info.x11.window, motif, motif, 32, PropModeReplace,
                    reinterpret_cast<unsigned char*>(hints), 5);
    XFlush(display);
}
