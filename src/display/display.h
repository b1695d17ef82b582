// Display objects: the display record, the display list with its lookups, and the display code's
// global state (current display, current background picture, the library mutex). A display is the
// script object (type 21) that stands for one window or full screen; it shows one background
// picture and keeps a back buffer at the picture's display size that everything is drawn into.
#pragma once

#include <cstdint>

#include "base/object_id.h"
#include "base/screen_position.h"
#include "display/handler_slot.h"
#include "display/picture.h"
#include "display/rect_list.h"
#include "platform/os_lock.h"
#include "platform/os_time.h"
#include "runtime/applet_records.h"
#include "runtime/object_registry.h"

struct VmState;
struct qzBitMap;
struct qzMacWindow;
struct qzDisplayHook;
struct qzPendingRepaint;

// Object types the display code names.
constexpr int32_t QZ_TYPE_DISPLAY = 21;
constexpr int32_t QZ_TYPE_BRUSH = 3;
constexpr int32_t QZ_TYPE_ANIM = 4;
constexpr int32_t QZ_TYPE_MASK = 28;
constexpr int32_t QZ_TYPE_ALPHACHANNEL = 30;

// Display states.
enum { QZ_DISPSTATE_CLOSED = 0, QZ_DISPSTATE_OPEN = 1, QZ_DISPSTATE_HIDDEN = 2 };

// Display modes of the display-mode options.
enum {
    QZ_DISPMODE_WINDOWED = 1,
    QZ_DISPMODE_FULLSCREEN = 2,
    QZ_DISPMODE_ASK = 3,
    QZ_DISPMODE_MODEREQUESTER = 4,
    QZ_DISPMODE_FAKEFULLSCREEN = 6,
};

// Display flag bits beyond the option bits of applet_records.h.
constexpr uint32_t QZ_DISPF_FAKEFULLSCREEN = 0x20000;
constexpr uint32_t QZ_DISPF_WHOLEFRAMES = 0x400000;    // the adapter presents in whole frames
constexpr uint32_t QZ_DISPF_ADAPTERWORD = 0x800000;    // the adapter's second OpenDisplay answer
constexpr uint32_t QZ_DISPF_NOBACKDROP = 0x2000000;    // start-up option: no default backdrop in full screen
constexpr uint32_t QZ_DISPF_KEEPTITLEBAR = 0x4000000;  // start-up option: keep borders and title in full screen

// Flags that make a window re-open when they change (ApplyDisplayAttributes).
constexpr uint32_t QZ_DISPF_REOPEN_MASK = uint32_t(QZ_DISPF_SIZEABLE) | QZ_DISPF_FIXED | QZ_DISPF_NOHIDE |
                                          QZ_DISPF_USEQUARTZ | QZ_DISPF_NOCLOSE | QZ_DISPF_KEEPPROPORTIONS |
                                          QZ_DISPF_FITSCALE | QZ_DISPF_KEEPSCREENON | QZ_DISPF_HIDEFROMTASKBAR |
                                          QZ_DISPF_HIDEOPTIONSMENU | QZ_DISPF_NOHARDWARESCALE;

constexpr int QZ_DISPLAY_HANDLERS = 30;
constexpr int QZ_DISPLAY_KEYSTATES = 300;
constexpr int QZ_DISPLAY_TITLE_SIZE = 256;  // at most 255 characters
constexpr int32_t QZ_KEEPPOSITION = 100000;
constexpr int32_t QZ_KEEPPOSITION_DEFAULT = 99999;  // "keep when the size stays, else centre"

// Handler slots of the drop and clipboard handlers (the order of the per-display handler names).
enum { QZ_HANDLER_DROPFILE = 17, QZ_HANDLER_CLIPBOARD = 18 };

// The most text tab stops a display holds.
constexpr int QZ_MAX_TAB_STOPS = 32;

struct qzDisplay {
    qzObjectHeader header = {QZ_TYPE_DISPLAY, {0, nullptr}, nullptr, nullptr};
    int32_t layersEnabled = 0;
    // Redirected output (output selection); none while drawing goes to the display.
    qzBitMap* outputBitmap = nullptr;
    qzBitMap* outputMask = nullptr;
    qzBitMap* outputAlpha = nullptr;
    int32_t outputKind = QZ_TYPE_DISPLAY;
    int32_t outputHardware = 0;
    qzBGPic* bgpic = nullptr;
    int32_t ownsBGPic = 0;
    // Double buffering: active, hardware requested, hardware active, select parked, saved word.
    int32_t doubleBuffer = 0;
    int32_t doubleBufferHardwareAsked = 0;
    int32_t doubleBufferHardware = 0;
    int32_t doubleBufferSelectParked = 0;
    int32_t doubleBufferSaved = 0;
    int32_t backfillDisplay = 0;  // this display is another display's full-screen backdrop
    int32_t resourceMonitor = 0;
    int32_t x = QZ_POS_CENTER;
    int32_t y = QZ_POS_CENTER;
    int32_t width = 640;
    int32_t height = 480;
    int32_t state = QZ_DISPSTATE_CLOSED;
    qzPictureFill fill;  // how the display's own background picture is painted
    uint32_t flags = 0;
    char title[QZ_DISPLAY_TITLE_SIZE] = "Quarnelix";
    int32_t borderLeft = 0;
    int32_t borderTop = 0;
    int32_t borderHorizontal = 0;  // left + right
    int32_t borderVertical = 0;    // top + bottom
    qzRegion dragRegions[QZ_MAX_REGIONS] = {};
    qzRegion dragRegionsScript[QZ_MAX_REGIONS] = {};
    qzRegion sizeRegions[QZ_MAX_REGIONS] = {};
    qzRegion sizeRegionsScript[QZ_MAX_REGIONS] = {};
    int32_t dragRegionCount = 0;
    int32_t sizeRegionCount = 0;
    int32_t dragRegionsGiven = 0;
    int32_t sizeRegionsGiven = 0;
    qzBitMap* displayBuffer = nullptr;  // the back buffer: the picture at display size
    qzBitMap* secondBuffer = nullptr;   // the picture composed with its layers
    qzBitMap* doubleBufferBitmaps[2] = {nullptr, nullptr};
    int32_t autoScale = 0;
    int32_t layerScale = 0;
    int32_t letterboxLeft = 0;
    int32_t letterboxTop = 0;
    int32_t letterboxRight = 0;
    int32_t letterboxBottom = 0;
    int32_t scaledWidth = 0;  // 0 while scaling is off
    int32_t scaledHeight = 0;
    int32_t smoothScale = 0;
    double scaleX = 1.0;
    double scaleY = 1.0;
    qzRectList rectList;
    qzHandlerSlot handlers[QZ_DISPLAY_HANDLERS];
    int32_t leftButton = 0;
    int32_t rightButton = 0;
    int32_t middleButton = 0;
    int32_t mouseMoved = 0;
    qzTimeVal mouseMoveTime = {0, 0};  // monotonic
    qzTimeVal frameTime = {0, 0};      // monotonic time of the last presented frame
    uint8_t keyStates[QZ_DISPLAY_KEYSTATES] = {};
    qzBGPic* selectRecord = nullptr;
    qzBGPic* doubleBufferTarget = nullptr;
    // Text output position: cursor x, cursor y, left margin, right margin.
    int32_t textCursorX = 0;
    int32_t textCursorY = 0;
    int32_t textLeftMargin = 0;
    int32_t textRightMargin = 0;
    // Tab stops of Print: absolute x positions, ascending.
    int32_t textTabStops[QZ_MAX_TAB_STOPS] = {};
    int32_t textTabCount = 0;
    void* pointerImage = nullptr;   // the cursor of the pointer object shown over the display (not owned)
    void* pointerObject = nullptr;  // that pointer object (the graphics library's), null for the arrow
    int32_t pointerBusy = 0;        // with no pointer object: the busy pointer instead of the arrow
    int32_t pointerHidden = 0;
    int32_t refreshBlock = 0;  // between BeginRefresh and EndRefresh: nothing is presented
    int32_t activateOnOpen = 0;
    qzBitMap* shapeMask = nullptr;
    qzBitMap* shapeAlpha = nullptr;
    // Output state saved by the select commands: flag, layers flag, text position block.
    int32_t outputStateSaved = 0;
    int32_t savedLayersEnabled = 0;
    int32_t savedText[4] = {0, 0, 0, 0};
    int32_t orientation = 0;
    qzDisplayHook* hooks = nullptr;
    qzDisplayHook* hookBeingRefreshed = nullptr;
    // Mouse and qualifiers reported while the display is not open.
    int32_t lastMouseX = 0;
    int32_t lastMouseY = 0;
    uint32_t lastQualifiers = 0;
    qzMutex* repaintMutex = nullptr;
    qzPendingRepaint* pendingRepaints = nullptr;
    int32_t fullScreen = 0;
    int32_t monitor = 0;          // 0-based
    int32_t previousMonitor = 0;  // 1-based, 0 none
    // Window geometry saved while a window is a full screen.
    int32_t savedX = 0;
    int32_t savedY = 0;
    uint32_t savedFlags = 0;
    int32_t savedGeometry = 0;
    void* menu = nullptr;         // the attached menu object (display/menus.h), or null
    int32_t inRequester = 0;      // 1 while a requester of the display is open
    qzScreenOptions modeOptions;  // mode, screen size and depth, desktop, backfill
    int32_t centerOnMonitorX = 1;
    int32_t centerOnMonitorY = 1;
    int32_t shapedWithAlpha = 0;
    int32_t bordersKnown = 0;
    // Objects a full-screen display made for its backdrop.
    qzObjectId backdropDisplay = {0, nullptr};
    qzObjectId backdropBGPic = {0, nullptr};
    qzObjectId backdropBrush = {0, nullptr};
    qzDisplay* owner = nullptr;     // in a backdrop display: the display it belongs to
    qzMacWindow* window = nullptr;  // the built-in back end's window record
    void* nativeHandle = nullptr;   // the display adapter's handle of an open display
};

// The display list in creation order (registered with the object registry as type 21).
qzDisplay* FirstDisplay();
inline qzDisplay* NextDisplay(const qzDisplay* display) { return reinterpret_cast<qzDisplay*>(display->header.next); }
qzObjectHeader** DisplayListHead();

// The display that commands without a display argument use, and the background picture drawing
// addresses (the current display's, or its double-buffer target).
qzDisplay* CurrentDisplay();
void SetCurrentDisplay(qzDisplay* display);
qzBGPic* CurrentBGPic();
void SetCurrentBGPic(qzBGPic* pic);

// The display-library mutex over the list's links, hook removal and the clean-up at exit; null
// before the library starts.
qzMutex* DisplayLibraryMutex();
// Creates the mutex (once). 0 or ERR_SEMAPHORE.
int InitDisplayLibraryState();
// Frees the mutex and forgets the list and the current objects.
void ResetDisplayLibraryState();

// Set while the player records the script into a video.
int IsVideoRecording();
void SetVideoRecording(int on);

// Walks the list for a display whose identifier matches in both words. 0 with *out set; else
// *out is null and the result is ERR_FINDARRAY for a handle, ERR_FINDDISPLAY (number as error
// argument) for a number.
int FindDisplayById(const qzObjectId& id, qzDisplay** out);
// The display whose window record or adapter handle is `handle`; null for null or none.
qzDisplay* FindDisplayByWindow(const void* handle);
// The display whose hook list holds the hook, or null.
qzDisplay* FindDisplayOfHook(const qzDisplayHook* hook);
// 1 when some display in the list shows the picture.
int IsPictureOnAnyDisplay(const qzBGPic* pic);

// Links a new display at the list's tail under the library mutex, with its type and identifier
// (an automatic identifier becomes the record's address).
void LinkDisplay(qzDisplay* display, const qzObjectId& id);
// Unlinks it under the library mutex.
void UnlinkDisplay(qzDisplay* display);
// Takes the whole list (the library mutex held by the caller); the list is then empty.
qzDisplay* TakeDisplayList();

// Display flags in the form a display adapter receives them.
uint32_t GetDisplayAdapterFlags(const qzDisplay* display);

// Clears the key states and mouse buttons, resets the platform's input state without an adapter,
// and the pressed flags of the picture's buttons.
void ResetDisplayInputState(qzDisplay* display);
// Text position block: cursor 0, 0, left margin 0, right margin the picture's width - 1.
void ResetTextMargins(qzDisplay* display, const qzBGPic* pic);
// The select commands' save and restore of the layers flag and text block.
void SaveDisplayOutputState(qzDisplay* display, int mode, int32_t width);
void RestoreDisplayOutputState(qzDisplay* display);
