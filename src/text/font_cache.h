// Fonts as the script sees them: the font cache that shares one qzFont per request (name, size,
// engine, cache flag), the default font names, the script's font handles, the font-path list of
// AddFontPath, the list of available fonts, and the start and end of the font system.
#pragma once

#include <cstdint>

#include "runtime/object_registry.h"
#include "text/font.h"

struct VmState;

// The object type of font handles.
constexpr int32_t QZ_OBJECT_FONT = 43;

// The default font names (string constants of the text library).
#define QZ_FONT_BITMAP_DEFAULT ":::default_bitmap"
#define QZ_FONT_TRUETYPE_DEFAULT ":::default_truetype"
#define QZ_FONT_SANS ":::default_sans"
#define QZ_FONT_SERIF ":::default_serif"
#define QZ_FONT_MONOSPACE ":::default_mono"

struct qzFontHandle {
    qzObjectHeader header;
    qzFont* font;  // owned by the font cache
};

// Starts the font engines; *topaz gets the inbuilt font, the font the text state starts with.
// Returns 0 or the engines' error.
int InitFontSystem(qzFont** topaz);

// Opens a font through the cache: default names are mapped, a folder path with an engine other
// than FreeType is refused with ERR_FONTPATH, ".font" is dropped from the name, an equal request
// shares the cached font (its scale set back to 1 x 1), and a failed FreeType open is tried again
// with engine 0. Returns 0 with *out set, or an error code.
int OpenFontWithDefaults(const char* name, int size, int engine, int cache, int linked, qzFont** out);
// Reads name (linked files resolved), size and the optional options table ("engine", default 0;
// "cache", default 1) from the arguments starting at `first`, starts the progress line "Opening
// font %s" and opens the font. Returns 0 or an error code; argument errors raise at once.
int OpenFontFromArgs(VmState* state, int first, qzFont** out);

// The list of font handles, for the object registry.
qzObjectHeader** GetFontHandleList();
// Appends a handle on the font with the identifier (automatic identifiers become the handle's
// address). Returns 0 or ERR_MEM.
int AddFontHandle(const qzObjectId& id, qzFont* font, qzFontHandle** out);
// Returns 0 with *out set, ERR_FINDARRAY for an unknown handle or ERR_FINDFONT2 with the number.
int FindFont(const qzObjectId& id, qzFontHandle** out);
// FindFont for a command: the handle, or the command fails (VmFailCommand) with FindFont's error.
// The index form reads the identifier argument first.
qzFontHandle* CheckFont(VmState* state, const qzObjectId& id);
qzFontHandle* CheckFont(VmState* state, int index);
// Unlinks and frees a handle and its object data; the font stays in the cache.
int DeleteFontHandle(VmState* state, const qzObjectId& id);

// Builds the glyph bitmap and mask of every cached colour font again from its 32-bit pixel copy,
// for the pixel format of the display that opened first. Returns 0 or the first error.
int RecreateFontBitmaps();

// Empties the glyph caches of every cached font.
void FlushAllGlyphCaches();
// Adds a folder to the font-path list (nothing when it is listed, compared without case) and
// drops the scanned font list. Returns 0 or ERR_LOCK2 with the path as the error argument.
int AddFontPath(const char* path);
// Rescans the font folders and pushes a table (indexed from 0) of tables with "name", "family",
// "bitmap", "weight", "slant" and "sizes" (indexed from 0). The scan list is freed afterwards.
// Returns 1 (one result).
int PushAvailableFonts(VmState* state);

// Frees every handle, every cached font, the font-path list, and ends the font engines.
void FreeFontSystem(VmState* state);
