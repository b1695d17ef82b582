// The window side of the built-in display back end: one window record per display, the window it
// opens and closes, its borders, position, size, title, minimising and activation; monitors,
// their screen modes and mode switches, fades to and from black, the full-screen interface mode,
// reading the desktop's pixels and the display attributes the back end answers. Drawing into the
// windows is in backend_draw.h.
//
// Each operation is the built-in twin of a display-adapter entry point (plugin_api.h): the
// display code calls the plugin's entry point when a display-adapter plugin serves it, else the
// operation here. A display is opaque to the platform: the display code hands over what an
// operation needs of the display record (qzBackendDisplayFrame) and keeps what comes back (borders,
// monitor lists, modes). The window record keeps what must outlive one window: the drawing
// offset, the window settings, the shape and the mode to go back to after full screen.
//
// Everything here runs on the main thread.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/host.h"
#include "platform/os_bitmap.h"

struct VmState;
struct qzDisplay;

// The four border values of a display record: left, top, left + right, top + bottom.
struct qzBackendBorders {
    int32_t left;
    int32_t top;
    int32_t horizontal;
    int32_t vertical;
};

// What the window side needs of the display record to place its window.
struct qzBackendDisplayFrame {
    int32_t scriptId = 0;  // the display's number in the script (names snapshots and input)
    std::string title;     // ISO 8859-1
    int32_t x = 0;         // position of the window (its outer frame) on the desktop
    int32_t y = 0;
    int32_t width = 0;  // size of the content
    int32_t height = 0;
    qzBackendBorders borders = {0, 0, 0, 0};  // as MacDetermineBorderSizes gave them
    uint32_t flags = 0;                       // display flags (QZ_DISPLAYFLAG_*)
    int32_t fullScreen = 0;                   // the display's mode word: 0 windowed, else full screen
    int32_t monitor = 0;                      // 0-based
    const qzMenuItem* menu = nullptr;         // the display's menu tree: a windowed display's menu bar
};

// A window shape: the display's mask (1 bit a pixel, most significant bit first, set = inside)
// or alpha channel (1 byte a pixel), as locked pixel memory.
enum { QZ_SHAPE_MASK = 2, QZ_SHAPE_ALPHA = 1 };
struct qzBackendShape {
    int32_t kind;  // QZ_SHAPE_ALPHA or QZ_SHAPE_MASK
    const uint8_t* pixels;
    int32_t bytesPerRow;
    int32_t width;
    int32_t height;
};

// The window record of one display.
struct qzMacWindow {
    // The open window; null while the display is closed. Reach it through HostWindow, which
    // also knows when the platform closed it (when it stopped).
    qzHostWindow* window = nullptr;
    uint32_t windowId = 0;
    qzMenuBar* menuBar = nullptr;  // the open window's menu bar (backend_menus.h), or null
    qzDisplay* display = nullptr;  // the display the record belongs to
    VmState* owner = nullptr;      // the VM state that made it
    int32_t compositing = 0;       // opened with flag 0x2000 or a shape
    int32_t shaped = 0;            // opened with a shape
    // Where the display's pixels start inside the window (letterbox strips, a display smaller
    // than its full screen). The display code sets it; every drawing operation adds it.
    int32_t offsetX = 0;
    int32_t offsetY = 0;
    // The window settings (flags, handlers, drag and size regions) given to every window the
    // record opens; SetWindowSettings changes them.
    qzHostWindowSettings settings;
    // The screen mode before the first full-screen switch, to go back to.
    int32_t savedModeValid = 0;
    int32_t savedModeMonitor = 0;
    qzHostMode savedMode = {0, 0, 0, 0};
};

// Puts the fade reservation, the full-screen interface mode and the option word back to their
// start values (platform shutdown).
void ResetWindowSide();

// Prepares the window side when the display library starts (MacInitApplication). 0 or ERR_MEM.
int MacInitDisplaySystem();

// A new window record for the display: 0 with *out set, or ERR_MEM.
int MacAllocWindowRecord(VmState* state, qzDisplay* display, qzMacWindow** out);
// Frees the record, closing its window first when one is open. Null is ignored.
void MacFreeWindowRecord(qzMacWindow* record);

// Opens the display's window: shown, and given the keyboard focus when `activate` is set; full
// screen covering frame.monitor in its current mode when frame.fullScreen is set, else at the
// frame's position with its border and, with a menu tree, its menu bar. A shape (borderless
// windows; null for none) is cut to the content size. 0, ERR_CREATEMENU when the menu bar cannot
// be made, ERR_ALLOCALPHA when the shape cannot be kept, or ERR_WINDOW when the window cannot be
// made.
int MacOpenDisplay(qzMacWindow* record, const qzBackendDisplayFrame& frame, int activate, const qzBackendShape* shape);
// Closes the window and what belongs to it; the record stays for the next MacOpenDisplay.
void MacCloseDisplay(qzMacWindow* record);
// The open window of a record, or null (also once the platform closed it).
qzHostWindow* HostWindow(const qzMacWindow* record);

// The border sizes of a window with the display flags `flags`: all 0 for a borderless one. 0.
int MacDetermineBorderSizes(uint32_t flags, qzBackendBorders* out);
// Moves and sizes the window: the frame at frame.x, frame.y, the content frame.width x
// frame.height. The framebuffer follows the size. Nothing while the display is closed.
void MacSizeMoveDisplay(qzMacWindow* record, const qzBackendDisplayFrame& frame);
// Moves the window only.
void MacMoveDisplay(qzMacWindow* record, const qzBackendDisplayFrame& frame);
// The window's title (ISO 8859-1).
void MacSetDisplayTitle(qzMacWindow* record, const std::string& title);
// minimize 1 minimises the window, 0 shows it again; nothing for a full-screen window. A window
// without a minimise box (QZ_DISPLAYFLAG_NOHIDE) is minimised all the same. 0.
int MacShowHideDisplay(qzMacWindow* record, int minimize);
// Raises the window and gives it the keyboard focus.
void MacActivateDisplay(qzMacWindow* record);
// New window settings: kept in the record and handed to the open window (drop targets, close
// and clipboard handlers, drag and size regions, input blocking).
void SetWindowSettings(qzMacWindow* record, const qzHostWindowSettings& settings);
// Follows the display's drop handler (installed or not). 0.
int MacUpdateDropTarget(qzMacWindow* record, int installed);

// Monitors. A list node, in the window system's order; the caller frees the list with
// FreeBackendMonitors.
struct qzBackendMonitor {
    qzBackendMonitor* next;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};
// Null when there is no monitor or no memory.
qzBackendMonitor* MacGetMonitorInfo();
void FreeBackendMonitors(qzBackendMonitor* list);
// The number of monitors.
int32_t CountBackendMonitors();
// The index of monitor n: n itself, or 0 (the main monitor) when there is no monitor n.
int32_t MacGetDisplayID(int32_t n);

// A screen mode row: the caller's record whose width and height are filled.
struct qzBackendModeRow {
    int32_t width;
    int32_t height;
};
// Without rows: the number of modes the monitor reports (a size may come at several depths or
// rates). With rows (room for that number): each distinct width x height once, in the monitor's
// order; returns how many.
int32_t MacGetDisplayModes(int32_t monitor, qzBackendModeRow* rows);
// Switches the monitor to the mode that fits width x height best (the exact size, else the
// smallest that holds it, else the largest); the mode before is remembered in the record while
// the display is still windowed (fullScreen 0). 0, or ERR_SCREEN.
int MacSwitchDisplayMode(qzMacWindow* record, int32_t monitor, int32_t width, int32_t height, int32_t fullScreen);
// Switches the monitor back to the remembered mode. 0.
int MacRestoreDisplayMode(qzMacWindow* record);

// Fades every window to black in 0.5 s and returns a token (0 when no fade was possible: another
// fade holds the reservation, or the driver cannot fade). The reservation lapses after 10 s.
int32_t MacFadeOut(int wait);
// Fades back from black in 1.0 s and releases the token; token 0 does nothing. Without `wait`
// the fade ends at once.
void MacFadeIn(int32_t token, int wait);
// The system interface in full screen: 0 normal, 1 all hidden, 2 content hidden. This platform
// has no system interface to hide; the mode is kept (FullScreenUIMode).
void MacSetFullScreenUIMode(int mode);
int FullScreenUIMode();

// Reads width x height pixels of the desktop at x, y (desktop coordinates; the part that lies
// outside `monitor` is black) as 0xFFRRGGBB into `out`. 0, or ERR_GRABSCREEN.
int MacGrabScreenPixels(int32_t monitor, int32_t x, int32_t y, int32_t width, int32_t height,
                        std::vector<uint32_t>* out);

// Display attributes the back end answers.
enum {
    BACKENDATTR_DEPTH = 5,
    BACKENDATTR_MOUSEX = 6,
    BACKENDATTR_MOUSEY = 7,
    BACKENDATTR_QUITCTRLC = 8,
    BACKENDATTR_QUITLEFTMOUSE = 9,
    BACKENDATTR_QUITESCAPE = 10,
    BACKENDATTR_11 = 11,
    BACKENDATTR_12 = 12,
    BACKENDATTR_OPTIONS = 16,
    BACKENDATTR_MENUBARHEIGHT = 17,
};
// 5 depth (32); 6, 7 the mouse in content coordinates (0 while closed); 8, 9,
// 10 the quit options; 11 and 12 16; 16 the option word; 17 the menu-bar height (0: no menu
// bars). Anything else is the attribute of the display's back buffer (OsGetBitMapAttr).
intptr_t MacGetDisplayAttr(const qzMacWindow* record, int attr, const qzRawBitMap* backBuffer);
// The option word of attribute 16 (1 at start).
void SetDisplayOptionWord(intptr_t value);
