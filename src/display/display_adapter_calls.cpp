#include "display/display_adapter_calls.h"

#include <algorithm>
#include <memory>
#include <new>
#include <string>

#include "base/error_codes.h"
#include "display/display.h"
#include "display/display_links.h"
#include "display/event_labels.h"
#include "display/menus.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_lock.h"
#include "gfx/bitmap_pixels.h"
#include "platform/display_adapter.h"
#include "platform/host/backend_draw.h"
#include "platform/host/backend_window.h"
#include "platform/host/event_loop.h"
#include "platform/host/host.h"
#include "platform/host/pointer.h"
#include "platform/os_bitmap.h"
#include "platform/plugin_api.h"
#include "platform/plugin_display_adapter.h"

const qzPluginInfo* DisplayAdapterPlugin() {
    const qzDisplayAdapter* adapter = GetDisplayAdapter();
    return adapter ? adapter->plugin : nullptr;
}

namespace {

// The handler slot of "closewindow" (the order of the per-display handler names).
constexpr int kCloseWindowHandler = 3;

qzBackendDisplayFrame FrameOf(const qzDisplay* d) {
    qzBackendDisplayFrame frame;
    frame.scriptId = d->header.id.pointer ? 0 : d->header.id.number;
    frame.title = d->title;
    frame.x = d->x;
    frame.y = d->y;
    frame.width = d->width;
    frame.height = d->height;
    frame.borders = {d->borderLeft, d->borderTop, d->borderHorizontal, d->borderVertical};
    frame.flags = d->flags;
    frame.fullScreen = d->fullScreen;
    frame.monitor = d->monitor;
    frame.menu = DisplayMenuTree(d);
    return frame;
}

std::vector<qzHostRect> HostRegions(const qzRegion* regions, int32_t count) {
    std::vector<qzHostRect> out;
    for (int32_t i = 0; i < count; i++)
        out.push_back({regions[i].x, regions[i].y, regions[i].width, regions[i].height});
    return out;
}

qzHostWindowSettings SettingsOf(const qzDisplay* d) {
    qzHostWindowSettings s = d->window ? d->window->settings : qzHostWindowSettings();
    s.flags = d->flags & ~uint32_t(QZ_DISPF_HIDDEN);
    s.fullScreen = d->fullScreen;
    s.closeHandlerInstalled = d->handlers[kCloseWindowHandler].function != -1 || CloseWindowLabelActive();
    s.dropHandlerInstalled = d->handlers[QZ_HANDLER_DROPFILE].function != -1;
    s.clipboardHandlerInstalled = d->handlers[QZ_HANDLER_CLIPBOARD].function != -1;
    s.dragRegions = HostRegions(d->dragRegions, d->dragRegionCount);
    s.sizeRegions = HostRegions(d->sizeRegions, d->sizeRegionCount);
    return s;
}

qzHostWindow* HostWindowOf(const qzDisplay* d) { return HostWindow(d->window); }

// A list the adapter's GetMonitorInfo handed out, handed back through FreeMonitorInfo when it
// goes: also when copying it runs out of memory and unwinds through the reader.
struct AdapterMonitorInfo {
    const qzPluginInfo* adapter;
    const int32_t* entries;
    ~AdapterMonitorInfo() {
        if (adapter->FreeMonitorInfo) adapter->FreeMonitorInfo(const_cast<int32_t*>(entries));
    }
};

// A colour as the adapter wants it: with its alpha inverted when it asks for that.
uint32_t AdapterColour(uint32_t colour) {
    return (DisplayAdapterFlags() & QZ_ADAPTER_INVERTALPHA) ? colour ^ 0xFF000000u : colour;
}

}  // namespace

int IsDisplayAdapterActive() { return DisplayAdapterPlugin() != nullptr; }

uint32_t DisplayAdapterFlags() {
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    return adapter ? adapter->displayFlags | GetPluginDisplayAdapterFlags() : 0;
}

int ForceAdapterEventLoopIteration() {
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (!adapter) return 0;
    if (adapter->ForceEventLoopIteration) adapter->ForceEventLoopIteration();
    return 1;
}

int GetDisplayForHardwareBitmap(const qzObjectId& id, qzDisplay** out) {
    *out = nullptr;
    if (!OsQueryVideoBitMapCaps(32)) return 0;
    qzDisplay* display = CurrentDisplay();
    if (id.number != 0 || id.pointer) {
        int error = FindDisplayById(id, &display);
        if (error) return error;
    }
    if (!display || !display->nativeHandle) return ERR_HWBMCLOSEDISP;
    *out = display;
    return 0;
}

int InitDisplaySystem() { return MacInitDisplaySystem(); }

int32_t GetMenuBarHeight(const qzDisplay* display) {
    if (display->fullScreen || DisplayAdapterPlugin()) return 0;
    return int32_t(MacGetDisplayAttr(display->window, BACKENDATTR_MENUBARHEIGHT, nullptr));
}

int AllocDisplayWindowRecord(VmState* state, qzDisplay* display) {
    if (IsDisplayAdapterActive()) return 0;
    return MacAllocWindowRecord(state, display, &display->window);
}

void FreeDisplayWindowRecord(qzDisplay* display) {
    MacFreeWindowRecord(display->window);
    display->window = nullptr;
}

int DetermineBorderSizes(qzDisplay* display) {
    qzBackendBorders borders = {0, 0, 0, 0};
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        // The adapter answers left, right, top, bottom.
        int32_t sizes[4] = {0, 0, 0, 0};
        int error = adapter->DetermineBorderSizes ? adapter->DetermineBorderSizes(display->nativeHandle, sizes) : 0;
        if (error) return error;
        borders = {sizes[0], sizes[2], sizes[0] + sizes[1], sizes[2] + sizes[3]};
    } else {
        int error = MacDetermineBorderSizes(display->flags, &borders);
        if (error) return error;
    }
    display->borderLeft = borders.left;
    display->borderTop = borders.top;
    display->borderHorizontal = borders.horizontal;
    display->borderVertical = borders.vertical;
    display->bordersKnown = 1;
    return 0;
}

int OpenDisplayWindow(VmState* state, qzDisplay* display, int activate, const qzBitMap* shapeMask,
                      const qzBitMap* shapeAlpha) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        int32_t wholeFrames = 0, second = 0;
        std::vector<qzTagItem> tags = {
            {QZ_OPENDISPLAYTAG_PICTUREWIDTH, display->bgpic ? display->bgpic->width : display->width},
            {QZ_OPENDISPLAYTAG_PICTUREHEIGHT, display->bgpic ? display->bgpic->height : display->height},
            {QZ_OPENDISPLAYTAG_WHOLEFRAMES, intptr_t(&wholeFrames)},
            {QZ_OPENDISPLAYTAG_SECONDWORD, intptr_t(&second)},
            {QZ_OPENDISPLAYTAG_STATE, intptr_t(state)},
            {QZ_OPENDISPLAYTAG_MONITOR, display->monitor},
        };
        if (display->fullScreen) {
            tags.push_back({QZ_OPENDISPLAYTAG_SCREENWIDTH, display->modeOptions.screenWidth});
            tags.push_back({QZ_OPENDISPLAYTAG_SCREENHEIGHT, display->modeOptions.screenHeight});
            tags.push_back({QZ_OPENDISPLAYTAG_SCREENDEPTH, display->modeOptions.screenDepth});
        }
        if (display->scaledWidth) tags.push_back({QZ_OPENDISPLAYTAG_SCALEDWIDTH, display->scaledWidth});
        if (display->scaledHeight) tags.push_back({QZ_OPENDISPLAYTAG_SCALEDHEIGHT, display->scaledHeight});
        tags.push_back({QZ_OPENDISPLAYTAG_SMOOTH, display->smoothScale});
        tags.push_back({0, 0});
        void* handle = adapter->OpenDisplay ? adapter->OpenDisplay(state, display->title, display->x, display->y,
                                                                   display->width, display->height, tags.data())
                                            : nullptr;
        if (!handle) return ERR_WINDOW;
        display->nativeHandle = handle;
        if (wholeFrames) display->flags |= QZ_DISPF_WHOLEFRAMES;
        if (second) display->flags |= QZ_DISPF_ADAPTERWORD;
        DisplayLinks().resumeVideosOfDisplay(display);
        return 0;
    }
    if (!display->window) return ERR_WINDOW;
    SetWindowSettings(display->window, SettingsOf(display));
    qzLockInfo lock{};
    qzBackendShape shape{};
    const qzBackendShape* shapeArg = nullptr;
    const qzBitMap* shapeBitmap = shapeAlpha ? shapeAlpha : shapeMask;
    bool locked = false;
    if (shapeBitmap && LockBitMapPixels(shapeBitmap, LOCKF_READONLY, &lock)) {
        locked = true;
        shape.kind = shapeAlpha ? QZ_SHAPE_ALPHA : QZ_SHAPE_MASK;
        shape.pixels = static_cast<const uint8_t*>(lock.pixels);
        shape.bytesPerRow = lock.rowLength;
        shape.width = shapeBitmap->width;
        shape.height = shapeBitmap->height;
        shapeArg = &shape;
    }
    int error = MacOpenDisplay(display->window, FrameOf(display), activate, shapeArg);
    if (locked) UnlockBitMapPixels(&lock);
    if (error) return error;
    SetDisplayDrawOffset(display, display->letterboxLeft, display->letterboxTop);
    // The videos that lost the window when it closed draw into the new one.
    DisplayLinks().resumeVideosOfDisplay(display);
    return 0;
}

int CloseDisplayWindow(qzDisplay* display) {
    // Videos draw into the window from threads of their own: they let go of it first.
    DisplayLinks().suspendVideosOfDisplay(display);
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (display->nativeHandle && adapter->CloseDisplay) adapter->CloseDisplay(display->nativeHandle);
        display->nativeHandle = nullptr;
        return 0;
    }
    if (display->window) MacCloseDisplay(display->window);
    return 0;
}

int DisplayHasWindow(const qzDisplay* display) {
    return DisplayAdapterPlugin() ? display->nativeHandle != nullptr : HostWindowOf(display) != nullptr;
}

void SizeMoveDisplayWindow(qzDisplay* display) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (display->nativeHandle && adapter->SizeMoveDisplay)
            adapter->SizeMoveDisplay(display->nativeHandle, display->x, display->y, display->width, display->height);
        return;
    }
    if (!display->window) return;
    MacSizeMoveDisplay(display->window, FrameOf(display));
    SetDisplayDrawOffset(display, display->letterboxLeft, display->letterboxTop);
}

void MoveDisplayWindow(qzDisplay* display) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (display->nativeHandle && adapter->SizeMoveDisplay)
            adapter->SizeMoveDisplay(display->nativeHandle, display->x, display->y, 0, 0);
        return;
    }
    if (display->window) MacMoveDisplay(display->window, FrameOf(display));
}

void UpdateDisplayTitle(qzDisplay* display) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (display->nativeHandle && adapter->SetDisplayTitle)
            adapter->SetDisplayTitle(display->nativeHandle, display->title);
        return;
    }
    if (display->window) MacSetDisplayTitle(display->window, display->title);
}

int ShowHideDisplayWindow(qzDisplay* display, int show) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (!display->nativeHandle || !adapter->ShowHideDisplay) return 0;
        return adapter->ShowHideDisplay(display->nativeHandle, show);
    }
    if (!display->window) return 0;
    return MacShowHideDisplay(display->window, show ? 0 : 1);
}

void ActivateDisplayWindow(qzDisplay* display, int flag) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (display->nativeHandle && adapter->ActivateDisplay) adapter->ActivateDisplay(display->nativeHandle, flag);
        return;
    }
    if (display->window && flag) MacActivateDisplay(display->window);
}

void UpdateDisplayWindowSettings(qzDisplay* display) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (!display->nativeHandle || !adapter->SetDisplayAttributes) return;
        const qzTagItem tags[] = {
            {1, display->handlers[kCloseWindowHandler].function != -1 || CloseWindowLabelActive()}, {0, 0}};
        adapter->SetDisplayAttributes(display->nativeHandle, tags);
        return;
    }
    if (display->window) SetWindowSettings(display->window, SettingsOf(display));
}

void SetDisplayDrawOffset(qzDisplay* display, int32_t x, int32_t y) {
    if (!display->window) return;
    // A full screen larger than the display shows it centred.
    if (const qzHostWindow* window = HostWindowOf(display)) {
        if (display->fullScreen && window->frame.width > display->width)
            x += (window->frame.width - display->width) / 2;
        if (display->fullScreen && window->frame.height > display->height)
            y += (window->frame.height - display->height) / 2;
    }
    display->window->offsetX = x;
    display->window->offsetY = y;
}

void NotifyAdapterBufferSize(qzDisplay* display, int32_t width, int32_t height) {
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (adapter && display->nativeHandle && adapter->ChangeBufferSize)
        adapter->ChangeBufferSize(display->nativeHandle, width, height);
}

int AdapterSleep(int32_t milliseconds) {
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (adapter && adapter->Sleep) adapter->Sleep(milliseconds);
    return 0;
}

int AdapterVWait(qzDisplay* display) {
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (!adapter || !adapter->VWait) return 0;
    return adapter->VWait(display->nativeHandle);
}

int32_t FadeDisplaysOut() { return MacFadeOut(1); }
void FadeDisplaysIn(int32_t token) { MacFadeIn(token, 1); }

int SwitchDisplayScreenMode(qzDisplay* display, int32_t width, int32_t height, int32_t) {
    if (!display->window) return ERR_SCREEN;
    return MacSwitchDisplayMode(display->window, display->monitor, width, height, display->fullScreen);
}

int RestoreDisplayScreenMode(qzDisplay* display, int32_t) {
    if (!display->window) return 0;
    return MacRestoreDisplayMode(display->window);
}

void SetFullScreenUIMode(int mode) { MacSetFullScreenUIMode(mode); }

void BlitToDisplayWindow(const qzBitMap* source, int32_t sx, int32_t sy, qzDisplay* display, int32_t dx, int32_t dy,
                         int32_t width, int32_t height, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags,
                         const qzBitMap* mask, const qzBitMap* alpha) {
    if (!source) return;
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (adapter && !(flags & 16)) {
        if (!display->nativeHandle || !adapter->BltBitMap) return;
        const bool scaledHere = (flags & 0x100) != 0;
        const qzTagItem tags[] = {
            {QZ_BLTTAG_SCALEDWIDTH, scaledHere ? 0 : scaledWidth},
            {QZ_BLTTAG_SCALEDHEIGHT, scaledHere ? 0 : scaledHeight},
            {QZ_BLTTAG_SMOOTH, display->smoothScale},
            {QZ_BLTTAG_MASK, intptr_t(mask ? GetBitMapHandle(mask) : nullptr)},
            {QZ_BLTTAG_ALPHA, intptr_t(alpha ? GetBitMapHandle(alpha) : nullptr)},
            {QZ_BLTTAG_FLAGS, (scaledHere ? 32 : 0) | (source->video ? 1 : 0)},
            {0, 0},
        };
        adapter->BltBitMap(GetBitMapHandle(source), sx, sy, display->nativeHandle, dx, dy, width, height, tags);
        return;
    }
    if (!display->window) return;
    BitMapLock lock(source, LOCKF_READONLY);
    if (!lock.ok) return;
    MacBltBitMap(&lock.info, sx, sy, display->window, dx, dy, width, height, scaledWidth, scaledHeight, flags);
}

void BlitScaledPartToDisplayWindow(const qzBitMap* source, int32_t x, int32_t y, int32_t width, int32_t height,
                                   qzDisplay* display, int32_t scaledWidth, int32_t scaledHeight, uint32_t flags) {
    if (!display->window || !source) return;
    BitMapLock lock(source, LOCKF_READONLY);
    if (!lock.ok) return;
    BltScaledPart(&lock.info, source->width, source->height, x, y, width, height, display->window, scaledWidth,
                  scaledHeight, flags);
}

void RectFillDisplayWindow(qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        // The adapter takes the rectangle by its corners.
        if (display->nativeHandle && adapter->RectFill && width > 0 && height > 0)
            adapter->RectFill(display->nativeHandle, x, y, x + width - 1, y + height - 1, AdapterColour(colour),
                              nullptr);
        return;
    }
    if (display->window) MacRectFill(display->window, x, y, width, height, colour);
}

void LineDisplayWindow(qzDisplay* display, int32_t x1, int32_t y1, int32_t x2, int32_t y2, uint32_t colour) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (display->nativeHandle && adapter->Line)
            adapter->Line(display->nativeHandle, x1, y1, x2, y2, AdapterColour(colour), nullptr);
        return;
    }
    if (display->window) MacLine(display->window, x1, y1, x2, y2, colour);
}

void WritePixelDisplayWindow(qzDisplay* display, int32_t x, int32_t y, uint32_t colour) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (display->nativeHandle && adapter->WritePixel)
            adapter->WritePixel(display->nativeHandle, x, y, AdapterColour(colour), nullptr);
        return;
    }
    if (display->window) MacWritePixel(display->window, x, y, colour);
}

void AdapterClearDisplay(qzDisplay* display, uint32_t colour) {
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (adapter && adapter->Cls && display->nativeHandle) adapter->Cls(display->nativeHandle, colour);
}

bool GetMonitorRects(std::vector<qzMonitorRect>* out) {
    out->clear();
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (adapter && (DisplayAdapterFlags() & QZ_ADAPTER_MONITORS) && adapter->GetMonitorInfo) {
        const qzTagItem tags[] = {{QZ_MONITORTAG_KIND, 0}, {0, 0}};
        const int32_t* entries = static_cast<const int32_t*>(adapter->GetMonitorInfo(tags));
        if (!entries) return false;
        const AdapterMonitorInfo owner{adapter, entries};
        for (const int32_t* e = entries; e[2] != 0 && e[3] != 0; e += 4) out->push_back({e[0], e[1], e[2], e[3]});
        return true;
    }
    qzBackendMonitor* list = MacGetMonitorInfo();
    // With monitors there, no list means its nodes could not be allocated: running out of
    // memory, as the vector below would.
    if (!list && CountBackendMonitors() > 0) throw std::bad_alloc();
    if (!list) return false;
    std::unique_ptr<qzBackendMonitor, void (*)(qzBackendMonitor*)> owner(list, FreeBackendMonitors);
    for (qzBackendMonitor* m = list; m; m = m->next) out->push_back({m->x, m->y, m->width, m->height});
    return true;
}

bool GetMonitorModes(int32_t monitor, std::vector<qzModeSize>* out) {
    out->clear();
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (adapter && (DisplayAdapterFlags() & QZ_ADAPTER_MONITORS) && adapter->GetMonitorInfo) {
        const qzTagItem tags[] = {{QZ_MONITORTAG_KIND, 1}, {QZ_MONITORTAG_MONITOR, monitor}, {0, 0}};
        const int32_t* entries = static_cast<const int32_t*>(adapter->GetMonitorInfo(tags));
        if (!entries) return false;
        const AdapterMonitorInfo owner{adapter, entries};
        for (const int32_t* e = entries; e[0] != 0 && e[1] != 0; e += 3) out->push_back({e[0], e[1]});
        return true;
    }
    int32_t count = MacGetDisplayModes(monitor, nullptr);
    if (count < 1) return true;
    std::vector<qzBackendModeRow> rows(static_cast<size_t>(count));
    count = MacGetDisplayModes(monitor, rows.data());
    for (int32_t i = 0; i < count; i++) out->push_back({rows[size_t(i)].width, rows[size_t(i)].height});
    return true;
}

void ShowHideDisplayPointer(qzDisplay* display, int show) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (display->nativeHandle && adapter->ShowHidePointer) adapter->ShowHidePointer(display->nativeHandle, show);
        return;
    }
    qzHostWindow* window = HostWindowOf(display);
    if (!window) return;
    if (show)
        MacShowPointer(window);
    else
        MacHidePointer(window);
}

void MoveDisplayPointer(qzDisplay* display, int32_t x, int32_t y) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (display->nativeHandle && adapter->MovePointer) adapter->MovePointer(display->nativeHandle, x, y);
        return;
    }
    if (qzHostWindow* window = HostWindowOf(display)) MacMovePointer(window, x, y);
}

int CreateDisplayPointer(const uint32_t* argb, int32_t width, int32_t height, int32_t hotX, int32_t hotY, void** out) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        *out = adapter->CreatePointer ? adapter->CreatePointer(argb, width, height, hotX, hotY) : nullptr;
        return *out ? 0 : ERR_POINTERIMG;
    }
    qzHostCursor* cursor = nullptr;
    int error = MacCreatePointer(argb, hotX, hotY, &cursor, width, height);
    *out = error ? nullptr : cursor;
    if (!error && !cursor) return ERR_POINTERIMG;
    return error;
}

void FreeDisplayPointer(void* pointer) {
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (adapter->FreePointer) adapter->FreePointer(pointer);
        return;
    }
    ReleaseBackendPointer(static_cast<qzHostCursor*>(pointer));
}

void SetDisplayPointer(qzDisplay* display, void* pointer) {
    SetDisplayPointerOfKind(display, pointer, display->pointerBusy && !pointer ? QZ_POINTER_BUSY : -1);
}

void SetDisplayPointerOfKind(qzDisplay* display, void* pointer, int kind) {
    if (kind < 0) kind = pointer ? QZ_POINTER_IMAGE : QZ_POINTER_SYSTEM;
    if (const qzPluginInfo* adapter = DisplayAdapterPlugin()) {
        if (!display->nativeHandle) return;
        if (adapter->SetPointer) adapter->SetPointer(display->nativeHandle, pointer);
        if (adapter->ShowHidePointer) adapter->ShowHidePointer(display->nativeHandle, 1);
        return;
    }
    qzHostWindow* window = HostWindowOf(display);
    if (!window) return;
    MacSetPointer(window, static_cast<qzHostCursor*>(pointer), kind);
    MacShowPointer(window);
}

int IsDisplayWindowActive(const qzDisplay* display) {
    if (DisplayAdapterPlugin()) return display->state == QZ_DISPSTATE_OPEN && display->nativeHandle ? 1 : 0;
    const qzHostWindow* window = HostWindowOf(display);
    return window && window->active ? 1 : 0;
}

void GetDisplayMousePos(const qzDisplay* display, int32_t* x, int32_t* y) {
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (adapter && display->state == QZ_DISPSTATE_OPEN && display->nativeHandle && adapter->GetMousePos) {
        int mx = 0, my = 0;
        adapter->GetMousePos(display->nativeHandle, &mx, &my);
        *x = mx;
        *y = my;
        return;
    }
    if (!adapter && display->state == QZ_DISPSTATE_OPEN && display->window) {
        *x = int32_t(MacGetDisplayAttr(display->window, BACKENDATTR_MOUSEX, nullptr));
        *y = int32_t(MacGetDisplayAttr(display->window, BACKENDATTR_MOUSEY, nullptr));
        return;
    }
    *x = display->lastMouseX;
    *y = display->lastMouseY;
}

uint32_t GetDisplayQualifiers(const qzDisplay* display) {
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (adapter && display->state == QZ_DISPSTATE_OPEN && display->nativeHandle && adapter->GetQualifiers)
        return adapter->GetQualifiers(display->nativeHandle);
    if (!adapter && display->state == QZ_DISPSTATE_OPEN) return MacGetQualifiers();
    return display->lastQualifiers;
}

int GrabDisplayPixels(const qzDisplay* display, int32_t x, int32_t y, int32_t width, int32_t height, qzBitMap** out) {
    *out = nullptr;
    const qzPluginInfo* adapter = DisplayAdapterPlugin();
    if (adapter && (DisplayAdapterFlags() & QZ_ADAPTER_GRAB) && adapter->GrabScreenPixels) {
        uint32_t* grabbed = adapter->GrabScreenPixels(display->nativeHandle, x, y, width, height);
        if (!grabbed) return ERR_GRABSCREEN;
        int error =
            CreateBitMapFromARGB(grabbed, QZ_NO_KEY_COLOR, width, height, width, 0, 0, nullptr, out, nullptr, nullptr);
        if (adapter->FreeGrabScreenPixels) adapter->FreeGrabScreenPixels(grabbed);
        return error ? ERR_GRABSCREEN : 0;
    }
    std::vector<uint32_t> pixels;
    if (MacGrabScreenPixels(display->monitor, x, y, width, height, &pixels) != 0 || pixels.empty())
        return ERR_GRABSCREEN;
    if (CreateBitMapFromARGB(pixels.data(), QZ_NO_KEY_COLOR, width, height, width, 0, 0, nullptr, out, nullptr,
                             nullptr) != 0)
        return ERR_GRABSCREEN;
    return 0;
}
