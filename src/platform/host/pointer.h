// Mouse pointers of windows: pointers made from ARGB images with a hot spot, the system arrow,
// the busy pointer and the invisible pointer that stands for a hidden one, and moving the mouse.
//
// Each window keeps its own pointer and a hidden flag; the window with the keyboard focus shows
// its pointer (the invisible one while hidden). The window system has one current pointer, made
// current through the host driver.
#pragma once

#include <cstdint>

struct qzHostWindow;

// A pointer made by MacCreatePointer, or one of the two built-in ones.
struct qzHostCursor {
    void* handle;  // the driver's cursor; null when the driver cannot show pointers
    int32_t width;
    int32_t height;
    int32_t hotX;
    int32_t hotY;
};

// Pointer kinds of MacSetPointer.
enum { QZ_POINTER_SYSTEM = 0, QZ_POINTER_BUSY = 1, QZ_POINTER_IMAGE = 2 };

// Makes the busy and the invisible pointer (once). Both stay null-handled where the driver
// cannot show pointers. 0, or ERR_MEM when a pointer could not be made (a later call tries
// again).
int InitPointers();
// Shows the system arrow and releases the built-in pointers.
void FreePointers();

// Makes a pointer from width x height ARGB pixels (0xAARRGGBB, rows top to bottom) with the hot
// spot at hotX, hotY (moved inside the image when it lies outside). 0, ERR_MEM, or
// ERR_POINTERIMG for a missing image, a size of 0 or less, or an image the window system
// refuses.
int MacCreatePointer(const uint32_t* argb, int32_t hotX, int32_t hotY, qzHostCursor** out, int32_t width,
                     int32_t height);
// Releases a pointer from MacCreatePointer; a window that still uses it falls back to the
// system arrow.
void ReleaseBackendPointer(qzHostCursor* pointer);

// Makes the pointer current (null: the system arrow) and remembers that the program changed it.
void MacSetCurrentCursor(qzHostCursor* pointer);
// Kind QZ_POINTER_SYSTEM the system arrow, QZ_POINTER_BUSY the busy pointer, else `pointer`:
// becomes the window's pointer, shown (hidden flag cleared), current when the window has the
// keyboard focus.
void MacSetPointer(qzHostWindow* window, qzHostCursor* pointer, int kind);
void MacShowPointer(qzHostWindow* window);
void MacHidePointer(qzHostWindow* window);
// Makes the window's pointer current (the invisible one while hidden); called when the window
// gets the focus.
void ApplyWindowPointer(qzHostWindow* window);
// Moves the mouse to content position x, y of the window; the window system reports the move
// as an ordinary mouse movement.
void MacMovePointer(qzHostWindow* window, int32_t x, int32_t y);
// When the program changed the pointer, makes the system arrow current again.
void MacResetPointer();

// The built-in pointers (for tests and the display code): the busy and the invisible one.
qzHostCursor* BusyPointer();
qzHostCursor* InvisiblePointer();
