#include "platform/host/host.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "base/error_codes.h"
#include "platform/host/headless/headless.h"
#include "platform/host/sdl/sdl_driver.h"

namespace {

// The drivers, by name.
struct DriverRow {
    const char* name;
    const qzHostDriver* (*get)();
};
const DriverRow kDrivers[] = {
    {"sdl", SdlHostDriver},
    {"headless", HeadlessHostDriver},
};

std::atomic<const qzHostDriver*> gDriver{nullptr};
qzHostWindow* gWindows = nullptr;            // main thread only
const qzHostDriver* gAudioDriver = nullptr;  // the driver whose audio device is open

constexpr int32_t kGrowBoxSize = 20;

bool Inside(const qzHostRect& r, int32_t x, int32_t y) {
    return x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height;
}

bool InsideAny(const std::vector<qzHostRect>& rects, int32_t x, int32_t y) {
    for (const qzHostRect& r : rects) {
        if (Inside(r, x, y)) return true;
    }
    return false;
}

bool EnvSet(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

}  // namespace

const qzHostDriver* HostDriver() { return gDriver.load(); }

const qzHostDriver* HostFindDriver(const char* name) {
    if (!name) return nullptr;
    for (const DriverRow& row : kDrivers) {
        if (std::strcmp(row.name, name) == 0) return row.get();
    }
    return nullptr;
}

int HostStartDriver(std::string* message) {
    message->clear();
    if (gDriver.load()) return 0;
    const char* chosen = std::getenv("QUARNELIX_DRIVER");
    bool presumed = !(chosen && *chosen);
    if (presumed) chosen = EnvSet("DISPLAY") || EnvSet("WAYLAND_DISPLAY") ? "sdl" : "headless";
    const qzHostDriver* driver = HostFindDriver(chosen);
    if (!driver) {
        *message = std::string("QUARNELIX_DRIVER: unknown driver \"") + chosen + "\" (use sdl or headless)";
        return ERR_SCREEN;
    }
    std::string why;
    int error = driver->init(&why);
    if (error && presumed && driver != HostFindDriver("headless")) {
        // The window system was only presumed from the environment: run without it.
        *message = "The window system cannot be reached (" + why + "); running headless";
        driver = HostFindDriver("headless");
        why.clear();
        error = driver->init(&why);
    }
    if (error) {
        *message = "The window system cannot be reached (" + why + ")";
        if (driver == HostFindDriver("headless")) *message = why;
        return error;
    }
    gDriver.store(driver);
    return 0;
}

void HostStopDriver() {
    HostCloseAudio();
    while (gWindows) HostCloseWindow(gWindows);
    const qzHostDriver* driver = gDriver.exchange(nullptr);
    if (driver) driver->shutdown();
}

int HostOpenAudio(qzHostAudioFill fill, void* user, int32_t* rate, std::string* message) {
    message->clear();
    const qzHostDriver* driver = gDriver.load();
    if (!driver) {
        *message = "no host driver runs";
        return ERR_OPENAUDIO;
    }
    if (gAudioDriver) {
        *message = "the audio device is open already";
        return ERR_OPENAUDIO;
    }
    int error = driver->openAudio(fill, user, rate, message);
    if (!error) gAudioDriver = driver;
    return error;
}

void HostCloseAudio() {
    const qzHostDriver* driver = gAudioDriver;
    gAudioDriver = nullptr;
    if (driver) driver->closeAudio();
}

int HostOpenWindow(const qzHostWindowSpec* spec, qzHostWindow** out) {
    *out = nullptr;
    const qzHostDriver* driver = gDriver.load();
    if (!driver) return ERR_SCREEN;
    // Owned here until it is in the list: copying the settings, title and shape may run out of
    // memory.
    std::unique_ptr<qzHostWindow> window(new (std::nothrow) qzHostWindow());
    if (!window) return ERR_MEM;
    window->display = spec->display;
    window->scriptId = spec->scriptId;
    window->settings = spec->settings;
    window->title = spec->title;
    window->monitor = spec->monitor;
    window->menuBar = spec->settings.fullScreen ? nullptr : spec->menuBar;
    if (!spec->settings.fullScreen && !spec->shape.empty()) {
        // The shape has the asked size; the framebuffer then follows the size the window got.
        if (!FrameResize(&window->frame, spec->width, spec->height)) return ERR_MEM;
        if (spec->shape.size() == size_t(window->frame.width) * size_t(window->frame.height))
            window->frame.shape = spec->shape;
    }
    int error = driver->openWindow(window.get(), spec);
    if (!error && !FrameResize(&window->frame, window->width, window->height)) {
        driver->closeWindow(window.get());
        error = ERR_MEM;
    }
    if (error) return error;
    qzHostWindow** link = &gWindows;
    while (*link) link = &(*link)->next;
    *link = window.release();
    *out = *link;
    return 0;
}

void HostCloseWindow(qzHostWindow* window) {
    if (!window) return;
    for (qzHostWindow** link = &gWindows; *link; link = &(*link)->next) {
        if (*link == window) {
            *link = window->next;
            break;
        }
    }
    if (const qzHostDriver* driver = gDriver.load()) driver->closeWindow(window);
    delete window;
}

void HostSetWindowSettings(qzHostWindow* window, const qzHostWindowSettings& settings) {
    window->settings = settings;
    if (const qzHostDriver* driver = gDriver.load()) driver->settingsChanged(window);
}

void HostSetWindowMenuBar(qzHostWindow* window, qzMenuBar* bar) {
    if (window->settings.fullScreen) bar = nullptr;
    if (window->menuBar == bar) return;
    window->menuBar = bar;
    if (const qzHostDriver* driver = gDriver.load()) driver->menuBarChanged(window);
}

qzHostWindow* HostFirstWindow() { return gWindows; }

void HostPresentWindow(qzHostWindow* window) {
    const qzHostDriver* driver = gDriver.load();
    if (!driver || !window || !FrameHasDirty(window->frame)) return;
    qzFrameRect dirty = FrameTakeDirty(&window->frame);
    driver->present(window, dirty);
}

void HostPresentWindows() {
    for (qzHostWindow* w = gWindows; w; w = w->next) HostPresentWindow(w);
}

qzHostWindow* HostFindWindow(uint32_t id) {
    for (qzHostWindow* w = gWindows; w; w = w->next) {
        if (w->id == id) return w;
    }
    return nullptr;
}

qzHostWindow* HostFocusWindow() {
    qzHostWindow* last = nullptr;
    for (qzHostWindow* w = gWindows; w; w = w->next) {
        if (w->active) return w;
        last = w;
    }
    return last;
}

int HostClassifyClick(const qzHostWindow* window, int32_t x, int32_t y, int32_t button) {
    uint32_t flags = window->settings.flags;
    if (button == 1 && (flags & QZ_DISPLAYFLAG_BORDERLESS)) {
        if (!(flags & QZ_DISPLAYFLAG_FIXED) && InsideAny(window->settings.dragRegions, x, y)) return QZ_CLICK_MOVE;
        if ((flags & QZ_DISPLAYFLAG_SIZEABLE) && InsideAny(window->settings.sizeRegions, x, y)) return QZ_CLICK_RESIZE;
    }
    if ((flags & QZ_DISPLAYFLAG_SIZEABLE) && x >= window->width - kGrowBoxSize && y >= window->height - kGrowBoxSize &&
        x < window->width && y < window->height)
        return QZ_CLICK_RESIZE;
    return QZ_CLICK_NORMAL;
}
