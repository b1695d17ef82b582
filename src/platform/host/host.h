// The window-system host: one driver-neutral interface over the drivers that talk to a real
// window system (SDL2) or run without one (headless, in memory).
//
// A driver is a qzHostDriver record of operations. The host picks one at platform start-up
// (QUARNELIX_DRIVER=sdl|headless; without it sdl when DISPLAY or WAYLAND_DISPLAY is set, else
// headless) and every caller goes through the Host* functions below, never through a driver
// directly. A driver lives in its own folder under platform/host/ and adds one row to the driver
// table in host.cpp.
//
// Drivers report input as qzHostEvent records. The rules that turn them into engine events (key
// tables, qualifiers, quit keys, deferred toggles and resizes) live above the drivers, in
// event_loop.cpp and window_events.cpp, and are the same for every driver.
//
// The Mac prefix. The player was designed with a platform layer for Mac OS (window records,
// events, drawing into windows, pointers, menus, requesters, clipboard, sound output), and the
// rest of the player is written against that layer's interface. Its functions and records keep
// the names the design gives them, Mac prefix included (MacOpenDisplay, MacHandleEvents,
// MacBltBitMap, MacOpenSampleBus, qzMacWindow, ...): a Mac name promises that interface's
// behaviour, never a Mac OS call. What they are built on is this project's own Linux back end,
// whose names carry no Mac prefix: the Host* interface below and its drivers, the backend_*.h
// files, their records (qzBackendDisplayFrame, qzBackendMonitor, ...) and helpers (SetHostHooks,
// HostWindow, ...).
//
// Everything here runs on the main thread, except HostPushWake, which any thread may call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/host/engine_keys.h"
#include "platform/host/frame.h"
#include "platform/host/host_dialogs.h"
#include "platform/os_time.h"

struct qzDisplay;  // the display a window shows; opaque to the platform
struct qzHostWindow;
struct qzHostCursor;
struct qzMenuBar;
struct qzMenuItem;

// Display flag bits that the window side reads.
enum : uint32_t {
    QZ_DISPLAYFLAG_BORDERLESS = 0x1,
    QZ_DISPLAYFLAG_SIZEABLE = 0x2,
    QZ_DISPLAYFLAG_FIXED = 0x4,               // no dragging, no clicks in drag regions
    QZ_DISPLAYFLAG_NOMODESWITCH = 0x8,        // no Command+Return full-screen toggle
    QZ_DISPLAYFLAG_NOHIDE = 0x20,             // no minimise box
    QZ_DISPLAYFLAG_HIDDEN = 0x800,            // created hidden
    QZ_DISPLAYFLAG_USEQUARTZ = 0x2000,        // draws through a compositing view
    QZ_DISPLAYFLAG_NOCLOSE = 0x4000,          // no close box
    QZ_DISPLAYFLAG_FAKEFULLSCREEN = 0x20000,  // a borderless window over the whole monitor
    QZ_DISPLAYFLAG_KEEPAWAKE = 0x01000000,    // keeps the screen saver off while open
};

// Kinds of host events.
enum qzHostEventKind : int32_t {
    QZ_HEV_NONE = 0,      // something the engine does not use (still one event of a pass)
    QZ_HEV_WAKE,          // the wake-up pushed by HostPushWake; carries nothing
    QZ_HEV_QUIT,          // the session or the user asks the program to quit
    QZ_HEV_KEY,           // pressed 1 (down or repeat) / 0 (up), key, keyChar, scancode, modifiers
    QZ_HEV_TEXT,          // text typed, UTF-8 in `text`
    QZ_HEV_MOUSE_BUTTON,  // sub = button (1 left, 2 right, 3 middle), pressed, x, y
    QZ_HEV_MOUSE_MOVE,    // x, y
    QZ_HEV_WHEEL,         // wheel: positive away from the user (up)
    QZ_HEV_WINDOW,        // sub = qzHostWindowEventKind; x, y or width, height where it applies
    QZ_HEV_DROP,          // files dropped at x, y: `paths` in the file system's encoding
    QZ_HEV_CLIPBOARD,     // the clipboard's content changed
    QZ_HEV_MENU,          // a menu entry was chosen: `menuItem`, or the entry `text` names
};

enum qzHostWindowEventKind : int32_t {
    QZ_HWIN_CLOSE = 1,  // the user asks to close the window
    QZ_HWIN_MOVED,      // the user moved the window: x, y of its content
    QZ_HWIN_RESIZED,    // the user resized the window: width, height of its content
    QZ_HWIN_FOCUS_GAINED,
    QZ_HWIN_FOCUS_LOST,
    QZ_HWIN_MINIMIZED,
    QZ_HWIN_RESTORED,  // shown again after being minimised (or un-maximised)
    QZ_HWIN_EXPOSED,   // part of the content must be drawn again
};

struct qzHostEvent {
    int32_t kind = QZ_HEV_NONE;
    uint32_t window = 0;  // the driver's id of the window; 0 = the window with the focus
    int32_t sub = 0;
    int32_t pressed = 0;
    int32_t repeat = 0;
    int32_t key = QZ_HKEY_NONE;
    int32_t keyChar = 0;    // the key's own character without shift (letters lower case), or 0
    uint32_t scancode = 0;  // the physical key: pairs a key's up with its down
    uint32_t modifiers = 0;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t wheel = 0;
    std::string text;
    std::vector<std::string> paths;
    const qzMenuItem* menuItem = nullptr;  // QZ_HEV_MENU from the window's own menu bar
};

// A rectangle {x, y, width, height} in content coordinates; a point is inside when
// x <= px < x + width and y <= py < y + height.
struct qzHostRect {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// What the display code tells the window side about a display. The host reads it while it turns
// input into events; the display code changes it through HostSetWindowSettings.
struct qzHostWindowSettings {
    uint32_t flags = 0;                 // QZ_DISPLAYFLAG_*
    int32_t fullScreen = 0;             // 0 windowed, else full screen
    int32_t toggleLock = 0;             // non-zero: no full-screen toggle now
    int32_t inputBlocked = 0;           // mouse-down events are swallowed while set
    int32_t closeHandlerInstalled = 0;  // the script handles close requests itself
    int32_t dropHandlerInstalled = 0;   // the window accepts dropped files
    int32_t clipboardHandlerInstalled = 0;
    std::vector<qzHostRect> dragRegions;  // borderless windows: where a click moves the window
    std::vector<qzHostRect> sizeRegions;  // borderless sizeable windows: where a click resizes it
};

// How to open a window.
struct qzHostWindowSpec {
    qzDisplay* display = nullptr;  // posted with the window's events
    int32_t scriptId = 0;          // the display's identifier in the script
    std::string title;             // ISO 8859-1
    int32_t x = 0;                 // desktop position of the content
    int32_t y = 0;
    bool centered = true;  // ignore x, y and centre the window
    int32_t width = 640;
    int32_t height = 480;
    // Full screen (settings.fullScreen): the window covers this monitor in its current mode and
    // x, y, width and height are not used.
    int32_t monitor = 0;
    bool activate = true;  // takes the keyboard focus when it opens
    // The window's shape, one alpha byte a pixel over width x height; empty for a rectangle.
    std::vector<uint8_t> shape;
    qzHostWindowSettings settings;
    // The window's menu bar (menu_bar.h), or null; not used for a full-screen window. The caller
    // keeps it while the window is open.
    qzMenuBar* menuBar = nullptr;
};

// One open window. Created by HostOpenWindow, freed by HostCloseWindow.
struct qzHostWindow {
    qzHostWindow* next = nullptr;  // the host's window list, in opening order
    qzDisplay* display = nullptr;
    int32_t scriptId = 0;
    uint32_t id = 0;  // the driver's id, non-zero
    void* driverData = nullptr;
    qzHostWindowSettings settings;

    // Geometry as the window system reports it: content position on the desktop, content size,
    // and the left and top border.
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
    int32_t borderLeft = 0;
    int32_t borderTop = 0;
    int32_t monitor = 0;  // full screen: the monitor the window covers

    // What the window shows, and its title (ISO 8859-1).
    qzHostFrame frame;
    std::string title;
    // The menu bar over the content (null for none): drivers that show windows on a screen draw
    // it inside the window, above the content, and count it as part of the top border.
    qzMenuBar* menuBar = nullptr;

    // Input state.
    uint8_t keyState[QZ_KEYSTATE_SIZE] = {};  // 1 while the key of that engine code is down
    int32_t leftButton = 0;
    int32_t rightButton = 0;
    int32_t middleButton = 0;
    int32_t mouseX = 0;  // last pointer position in content coordinates
    int32_t mouseY = 0;
    int32_t mouseMoved = 0;       // set on movement; the event code clears it
    qzTimeVal moveTime = {0, 0};  // monotonic time of the last movement
    int32_t active = 0;           // has the keyboard focus
    int32_t windowState = 1;      // 1 normal, 2 minimised

    // Requests that the next event pass serves.
    int32_t closeRequest = 0;
    int32_t sizeChanged = 0;
    int32_t ctrlC = 0;
    int32_t escape = 0;
    int32_t pendingToggle = -1;  // -1 none, else the requested full-screen state

    // Pointer.
    int32_t pointerHidden = 0;
    qzHostCursor* cursor = nullptr;  // null: the system arrow

    // Keys reported down, by physical key, so that a key-up clears the code its down set; and
    // a key whose down arrived while its text has not yet.
    struct KeyDown {
        uint32_t scancode;
        int32_t code;
    };
    std::vector<KeyDown> keysDown;
    bool keyPending = false;
    qzHostEvent pendingKey;
    // A key press that chose a menu entry: the text it types is not the program's.
    bool dropText = false;
};

// A monitor: its rectangle on the desktop, whose size is the monitor's current screen mode.
struct qzHostMonitor {
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
};

// A screen mode; depth in bits a pixel, rate in Hz (0 unknown).
struct qzHostMode {
    int32_t width;
    int32_t height;
    int32_t depth;
    int32_t rate;
};

// The audio device pulls sound through this: room for `frames` frames of interleaved 32-bit float
// stereo at the device's rate. It runs on the device's own thread and must not block.
typedef void (*qzHostAudioFill)(void* user, float* out, int32_t frames);

// Cursor kinds of the drivers' system cursors.
enum : int32_t { QZ_HOSTCURSOR_ARROW = 0, QZ_HOSTCURSOR_BUSY = 1 };

// A driver: the operations the host needs of a window system. Every member is set.
struct qzHostDriver {
    const char* name;
    // Starts the driver: 0, or an error code with a message in *message.
    int (*init)(std::string* message);
    void (*shutdown)();

    // Events. pendingEvents counts the events already queued without asking the window system
    // (cheap); pollEvent asks it for new input and takes the oldest event (1), or returns 0;
    // waitEvents blocks until an event is queued or timeoutMs passed (-1: no limit), leaving the
    // event queued; pushWake queues a QZ_HEV_WAKE event and may be called from any thread.
    int (*pendingEvents)();
    int (*pollEvent)(qzHostEvent* event);
    void (*waitEvents)(int32_t timeoutMs);
    void (*pushWake)();
    // The modifier keys held now (QZ_HMOD_*).
    uint32_t (*modifiers)();

    // Windows. openWindow fills the window's id, driverData and geometry: 0, or an error code.
    int (*openWindow)(qzHostWindow* window, const qzHostWindowSpec* spec);
    void (*closeWindow)(qzHostWindow* window);
    // Reads the window's content position and size and its left and top border back into the
    // record (drivers that keep the record current themselves leave it as it is).
    void (*readBounds)(qzHostWindow* window);
    // The window's settings changed (flags, regions, handlers).
    void (*settingsChanged)(qzHostWindow* window);
    // A click asks the window system to start moving (resize 0) or resizing (resize 1) the
    // window; drivers that let the window system decide this on their own do nothing here.
    void (*beginMoveResize)(qzHostWindow* window, int resize);

    // Pointers. createCursor returns the driver's cursor or null with *error set (ERR_MEM,
    // ERR_POINTERIMG); a driver that cannot show pointers returns a null cursor and error 0.
    void* (*createCursor)(const uint32_t* argb, int32_t width, int32_t height, int32_t hotX, int32_t hotY, int* error);
    void* (*createSystemCursor)(int32_t kind);
    void (*freeCursor)(void* cursor);
    // Makes the cursor current; null shows the system arrow.
    void (*setCursor)(void* cursor);
    // Moves the pointer to content coordinates of the window.
    void (*warpPointer)(qzHostWindow* window, int32_t x, int32_t y);

    // Screen saver: allowed or held off.
    void (*allowScreenSaver)(int allowed);

    // Window services. setTitle shows window->title; setBounds moves the content to x, y on the
    // desktop and makes it width x height (nothing for a full-screen window); minimize 1
    // minimises the window, 0 shows it again; activate raises it and gives it the keyboard focus.
    // The window system reports what changed as window events.
    void (*setTitle)(qzHostWindow* window);
    void (*setBounds)(qzHostWindow* window, int32_t x, int32_t y, int32_t width, int32_t height);
    void (*minimize)(qzHostWindow* window, int minimize);
    void (*activate)(qzHostWindow* window);
    // Shows the rectangle `dirty` of the window's framebuffer on the screen (the whole window is
    // shown again where the window system lost it).
    void (*present)(qzHostWindow* window, const qzFrameRect& dirty);
    // Where the mouse is now, in content coordinates of the window.
    void (*mousePosition)(qzHostWindow* window, int32_t* x, int32_t* y);
    // The border of a window with these display flags: left, top, right, bottom.
    void (*borderSizes)(uint32_t flags, int32_t borders[4]);

    // Monitors, in the window system's order (index 0 is the main one), and their screen modes
    // (every mode reported, also the same size at several depths or rates).
    int32_t (*monitorCount)();
    // 0, or ERR_GETMONITORINFO for an index that names no monitor.
    int (*monitorBounds)(int32_t index, qzHostMonitor* out);
    void (*monitorModes)(int32_t index, std::vector<qzHostMode>* out);
    // Makes `mode` (one of monitorModes) the monitor's screen mode: 0, or ERR_SCREEN. The mode
    // that was current when the driver started is given back at the latest when it stops.
    int (*setMonitorMode)(int32_t index, const qzHostMode& mode);
    // Darkens what every window shows to `level` (0 as drawn, 1 black): 1, or 0 when this driver
    // cannot fade.
    int (*setFade)(double level);
    // Reads the width x height pixels of the desktop at x, y (0xFFRRGGBB, black where no monitor
    // shows anything) into `out`: 0, or ERR_GRABSCREEN when the desktop cannot be read.
    int (*grabScreen)(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t* out);

    // Audio output, one device at a time. openAudio opens the output for 32-bit float stereo at
    // the device's own rate (into *rate) and starts calling fill from the device's thread: 0, or
    // ERR_OPENAUDIO with a message. closeAudio stops the calls (none runs once it returns) and
    // closes the device. Main thread.
    int (*openAudio)(qzHostAudioFill fill, void* user, int32_t* rate, std::string* message);
    void (*closeAudio)();

    // The window's menu bar was replaced or removed (window->menuBar): drivers that draw it make
    // room for it and show it, keeping the content where it is.
    void (*menuBarChanged)(qzHostWindow* window);

    // Shows a modal dialog (host_dialogs.h) and waits for the user: 0 with the answer, or
    // ERR_WINDOW when the dialog cannot be shown (*message then says why, for the user).
    int (*dialog)(const qzHostDialog& dialog, qzHostDialogAnswer* answer, std::string* message);
    // The clipboard. clipboardRead tells what it holds, with the text or the PNG data when
    // withData is set: 0, ERR_CLIPOPEN or ERR_CLIPREAD. clipboardWrite replaces it (kind
    // QZ_HCLIP_EMPTY empties it): 0 or ERR_CLIPWRITE.
    int (*clipboardRead)(int withData, qzHostClipboard* out);
    int (*clipboardWrite)(const qzHostClipboard& contents);
};

// The driver in use, or null before HostStartDriver / after HostStopDriver.
const qzHostDriver* HostDriver();

// Picks and starts the driver: QUARNELIX_DRIVER when set, else sdl with a window system and
// headless without. 0, or an error code with a message in *message. When the window system was
// only presumed (no QUARNELIX_DRIVER) and cannot be reached, the headless driver runs instead
// and *message says why (for the console).
int HostStartDriver(std::string* message);
void HostStopDriver();
// Finds a driver by name (sdl, headless), or null.
const qzHostDriver* HostFindDriver(const char* name);

// The audio device of the running driver (see qzHostDriver::openAudio): ERR_OPENAUDIO without a
// driver. HostCloseAudio does nothing when no device is open.
int HostOpenAudio(qzHostAudioFill fill, void* user, int32_t* rate, std::string* message);
void HostCloseAudio();

// Windows.
int HostOpenWindow(const qzHostWindowSpec* spec, qzHostWindow** out);
void HostCloseWindow(qzHostWindow* window);
void HostSetWindowSettings(qzHostWindow* window, const qzHostWindowSettings& settings);
// Gives the window a new menu bar, or none (null); a full-screen window keeps none.
void HostSetWindowMenuBar(qzHostWindow* window, qzMenuBar* bar);
qzHostWindow* HostFirstWindow();
// Shows what every window drew since the last call (the driver's present), once per event pass.
void HostPresentWindows();
// The same for one window.
void HostPresentWindow(qzHostWindow* window);
qzHostWindow* HostFindWindow(uint32_t id);
// The window with the keyboard focus, else the most recently opened one, or null.
qzHostWindow* HostFocusWindow();
// How a button press at content position x, y is handled (button 1 left, 2 right, 3 middle):
// QZ_CLICK_MOVE moves the window (a left click in a drag region of a borderless window that is
// not fixed), QZ_CLICK_RESIZE resizes it (a left click in a size region of a borderless sizeable
// window, or any other press within 20 pixels of the right and bottom edges of a sizeable
// window), QZ_CLICK_NORMAL is an ordinary click. Drivers whose window system asks before it
// delivers a press (a hit test) answer it with this.
enum { QZ_CLICK_NORMAL = 0, QZ_CLICK_MOVE = 1, QZ_CLICK_RESIZE = 2 };
int HostClassifyClick(const qzHostWindow* window, int32_t x, int32_t y, int32_t button);
