/* The plugin interface: a native 64-bit C ABI between the player and plugins (shared libraries
 * with the extension ".qzp"). A plugin exports its entry points by name; the player hands every
 * plugin one host API block of service tables. The information block, the host API block and
 * every table keep their fields and slots in this order for good: a slot is never moved, new
 * services are only appended.
 *
 * Pointers are native, numbers are in host byte order. Plugin code that the virtual machine calls
 * (library commands, command hooks) is unwound through when a script error is raised inside a
 * host service, as with a non-local jump: it must be built with unwind tables (the default on
 * x86-64) and must not hold resources across host calls that can raise.
 *
 * This header is plain C and C++. */
#ifndef QZ_PLATFORM_PLUGIN_API_H
#define QZ_PLATFORM_PLUGIN_API_H

#include <stdarg.h>
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>
#include <time.h>

#include <ft2build.h>
#include <jpeglib.h>
#include <zlib.h>
#include FT_FREETYPE_H
#include FT_ADVANCES_H
#include FT_GLYPH_H
#include FT_OUTLINE_H
#include FT_STROKER_H
#include FT_TRUETYPE_TABLES_H
#include FT_FONT_FORMATS_H

#ifdef __cplusplus
#define QZ_ABI_ASSERT(condition, text) static_assert(condition, text)
extern "C" {
#else
#define QZ_ABI_ASSERT(condition, text) _Static_assert(condition, text)
#endif

/* A slot that points straight at a library function has that function's own type. */
#define QZ_SLOT(function, name) __typeof__(function)* name

/* Opaque records of the player that plugins only pass back. */
struct VmState;
struct qzVfsFile;
struct qzVfsLock;
struct qzMutex;
struct qzTimeVal;
struct qzCommandHook;
typedef struct VmState VmState;

/* A command handler: returns 0..999 results pushed, or an error code (1000 and up). */
typedef int (*qzPluginCFunction)(VmState* state);

/* One item of a tag list; a list ends with tag 0. Tags a service does not know are ignored. */
typedef struct qzTagItem {
    uint32_t tag;
    intptr_t value;
} qzTagItem;

/* ---- Capability bits ------------------------------------------------------------------------ */

enum {
    QZ_PLUGINCAPS_CONVERT = 0x1,
    QZ_PLUGINCAPS_LIBRARY = 0x2,
    QZ_PLUGINCAPS_IMAGE = 0x4,
    QZ_PLUGINCAPS_ANIM = 0x8,
    QZ_PLUGINCAPS_SOUND = 0x10,
    QZ_PLUGINCAPS_VECTOR = 0x20,
    QZ_PLUGINCAPS_VIDEO = 0x40,
    QZ_PLUGINCAPS_SAVEIMAGE = 0x80,
    QZ_PLUGINCAPS_SAVEANIM = 0x100,
    QZ_PLUGINCAPS_SAVESAMPLE = 0x200,
    QZ_PLUGINCAPS_REQUIRE = 0x400,
    QZ_PLUGINCAPS_DISPLAYADAPTER = 0x800,
    QZ_PLUGINCAPS_TIMERADAPTER = 0x1000,
    QZ_PLUGINCAPS_REQUESTERADAPTER = 0x2000,
    QZ_PLUGINCAPS_FILEADAPTER = 0x4000,
    QZ_PLUGINCAPS_DIRADAPTER = 0x8000,
    QZ_PLUGINCAPS_AUDIOADAPTER = 0x10000,
    QZ_PLUGINCAPS_EXTENSIONS = 0x20000
};

/* The call mode whose entry points cannot be called on this platform: every entry point but
 * InitPlugin then answers 0 without being called. */
enum { QZ_PLUGIN_CALLMODE_STUB = 2 };

/* Extension word bit 0 of a loader capability: do not activate the plugin for that kind. */
enum { QZ_PLUGINEXT_NOAUTOACTIVATE = 1 };

/* File-adapter flags: the adapter also accepts ":::chunk" names. */
enum { QZ_FILEADAPTERF_CHUNKNAMES = 1 };

/* File types a plugin registers, and their flags. */
enum { QZ_FILETYPE_IMAGE = 0, QZ_FILETYPE_ANIM = 1, QZ_FILETYPE_SOUND = 2, QZ_FILETYPE_VIDEO = 3 };
enum { QZ_FILETYPEFLAGS_SAVE = 1, QZ_FILETYPEFLAGS_ALPHA = 2, QZ_FILETYPEFLAGS_QUALITY = 4, QZ_FILETYPEFLAGS_FPS = 8 };

/* ---- Records exchanged with entry points ---------------------------------------------------- */

/* A file type of a plugin; the strings are stored in the same allocation, behind the record. */
typedef struct qzPluginFileType {
    struct qzPluginFileType* next;
    int32_t type;
    const char* name;
    const char* extensions;
    const char* mimeType; /* null when none */
    int32_t formatId;     /* kept only with QZ_FILETYPEFLAGS_SAVE */
    uint32_t flags;
} qzPluginFileType;

/* One format of a saver plugin: filled by the saver's register entry, one call per format. */
enum {
    QZ_SAVERF_MORE_SAMPLES = 1, /* continuation bit of sample savers */
    QZ_SAVERF_MORE_IMAGES = 8,  /* continuation bit of image savers */
    QZ_SAVERF_MORE_ANIMS = 16   /* continuation bit of anim savers */
};
typedef struct qzSaverFormat {
    uint32_t flags;
    int32_t formatId;
    const char* name;
} qzSaverFormat;

/* The image record that IsImage, LoadImage and GetImage fill (thirteen 32-bit words). */
enum { QZ_IMAGEINFOF_ALPHA = 2 };
typedef struct qzImageInfo {
    int32_t width;
    int32_t height;
    int32_t reserved2;
    int32_t depth;
    int32_t reserved4;
    int32_t type;           /* 1: a vector image */
    uint32_t flags;         /* QZ_IMAGEINFOF_ALPHA */
    int32_t requestedWidth; /* LoadImage: the size wanted, 0 for the image's own */
    int32_t requestedHeight;
    uint32_t scaleFlags; /* bit 0: smooth scaling */
    int32_t reserved10;
    int32_t reserved11;
    uint32_t callerFlags; /* the caller's flags, set before the call */
} qzImageInfo;
QZ_ABI_ASSERT(sizeof(qzImageInfo) == 52, "qzImageInfo is thirteen 32-bit words");

/* The pixels that GetImage hands out: 32-bit 0xAARRGGBB, rowLength pixels a row. */
typedef struct qzPluginPixels {
    const uint32_t* pixels;
    int32_t width;
    int32_t height;
    int32_t rowLength;
} qzPluginPixels;

/* A locked engine bitmap (HostLockBitMap): pixel format numbers 0..13 of the engine (10 is
 * 0xAARRGGBB), 14 alpha channel bytes, 15 mask bits; rowLength in pixels (bytes for alpha channels
 * and masks). */
typedef struct qzPluginLock {
    void* pixels;
    int32_t pixelFormat;
    int32_t bytesPerPixel;
    int32_t rowLength;
    int32_t width;
    int32_t height;
} qzPluginLock;

/* AllocVideoBitMap tags that CreateVideoBitMapFromPixels adds: the 32-bit 0xAARRGGBB pixels to
 * copy (width pixels a row), valid during the call only. */
enum { QZ_VIDEOBMTAG_PIXELS = 0x1000 };

/* A command of a library plugin; a table ends with a null name. */
typedef struct qzPluginCommand {
    const char* name;
    qzPluginCFunction handler;
} qzPluginCommand;

/* A constant of a library plugin: a null string marks a number; a table ends with a null name. */
typedef struct qzPluginConstant {
    const char* name;
    const char* string;
    double number;
} qzPluginConstant;

/* A tag that an applet or LoadPlugin hands to a plugin's RequirePlugin (RequirePlugin tag 2:
 * an array of these ended by a null key). */
typedef struct qzRequireTagItem {
    const char* key;
    int32_t isString;
    double number;
    const char* text;
} qzRequireTagItem;
/* RequirePlugin tags: 1 = uint32_t* flags word (bit 0: open displays hidden), 2 = the
 * qzRequireTagItem array. */
enum { QZ_REQUIRETAG_FLAGS = 1, QZ_REQUIRETAG_TAGS = 2 };
enum { QZ_REQUIREF_HIDDENDISPLAYS = 1 };

/* What a file or directory adapter reports about a name or an open file. */
enum { QZ_ADAPTERSTAT_DIRECTORY = 1 };
typedef struct qzAdapterStat {
    uint32_t flags; /* QZ_ADAPTERSTAT_DIRECTORY */
    int64_t size;
    uint32_t protection; /* protection bits as the dos commands show them */
    int64_t accessTime;  /* seconds since the epoch */
    int64_t modifyTime;
    int64_t changeTime;
    char name[1024]; /* full name; empty: the name that was asked for */
    char comment[256];
} qzAdapterStat;

/* FOpen tags: 1 int* where the adapter stores the file's flags; for ":::chunk" names 2 the
 * window's offset, 3 and 4 its size, 5 non-zero for data in memory, 6 the container path. */
enum {
    QZ_FOPENTAG_FLAGS = 1,
    QZ_FOPENTAG_OFFSET = 2,
    QZ_FOPENTAG_SIZE = 3,
    QZ_FOPENTAG_LENGTH = 4,
    QZ_FOPENTAG_MEMORY = 5,
    QZ_FOPENTAG_CONTAINER = 6
};
/* Mode numbers FOpen receives, and the flags it may report. */
enum { QZ_FOPEN_WRITE = 1, QZ_FOPEN_READWRITE = 2, QZ_FOPEN_READ = 4 };
enum { QZ_FOPENF_STREAM = 1, QZ_FOPENF_NOSEEK = 2 };

/* ---- Entry points --------------------------------------------------------------------------- */

struct qzPluginInfo;
struct qzHostApi;

typedef int (*qzInitPluginFn)(struct qzPluginInfo* info, struct qzHostApi* host, const char* path);
typedef void (*qzClosePluginFn)(void);
typedef uint32_t (*qzGetExtensionsFn)(uint32_t capability, intptr_t reserved);

/* Images: handles are the plugin's. */
typedef int (*qzIsImageFn)(const char* file, qzImageInfo* info);
typedef void* (*qzLoadImageFn)(const char* file, qzImageInfo* info);
typedef int (*qzGetImageFn)(void* handle, qzImageInfo* info, qzPluginPixels* pixels);
typedef void (*qzFreeImageFn)(void* handle);
typedef int (*qzTransformImageFn)(void* handle, const double matrix[4], int width, int height);

/* Anims, sound streams, vector engine, video: records of their engines, passed through. */
typedef void* (*qzOpenAnimFn)(const char* file, void* info);
typedef int (*qzLoadFrameFn)(void* handle, int frame, void* out);
typedef void (*qzFreeFrameFn)(void* handle, void* frame);
typedef int (*qzGetFrameDelayFn)(void* handle, int frame);
typedef void (*qzCloseAnimFn)(void* handle);
typedef void* (*qzOpenStreamFn)(const char* file, void* info);
typedef void (*qzCloseStreamFn)(void* handle);
typedef int (*qzSeekStreamFn)(void* handle, int64_t position);
typedef int (*qzStreamSamplesFn)(void* handle, void* request, intptr_t reserved, int* end);
typedef const char* (*qzGetFormatNameFn)(void* handle);

/* Vector engine. A path is a command buffer: records in host byte order, each a uint32_t opcode
 * and its arguments packed without padding (doubles may sit on any 4-byte boundary: read them
 * with memcpy), ended by a uint32_t 0. Opcodes and arguments:
 *   1 move, 2 line: relative flag (u32), x, y (doubles); relative points are offsets from the
 *     current point
 *   3 cubic curve: relative flag, x1, y1, x2, y2, x3, y3 (all three relative to the point before)
 *   5 sub-path marker (no arguments), 6 close (no arguments)
 *   7 elliptic arc: centre x, centre y, radius x, radius y, start and end angle in degrees
 *     (doubles), clockwise flag (u32)
 *   8 box: x, y, width, height (doubles), corner rounding a..d in percent (u32 each; a top-left,
 *     b bottom-left, c bottom-right, d top-right)
 *   9 text: vector-font id (u32, see qzFontBase.GetVectorFontHandle), size in pixels (u32), UTF-8
 *     text with its terminator, padded to 4 * floor((length + 1) / 4) + 4 bytes
 * Coordinates are pixels, y grows downward. A matrix is four doubles m0, m1, m2, m3 (identity 1, 0,
 * 0, 1) mapping (x, y) to (m0 x + m2 y, m1 x + m3 y). */
enum {
    QZ_PATHOP_END = 0,
    QZ_PATHOP_MOVE = 1,
    QZ_PATHOP_LINE = 2,
    QZ_PATHOP_CURVE = 3,
    QZ_PATHOP_SUBPATH = 5,
    QZ_PATHOP_CLOSE = 6,
    QZ_PATHOP_ARC = 7,
    QZ_PATHOP_BOX = 8,
    QZ_PATHOP_TEXT = 9
};

/* The stroke and fill style of every engine call. Joins: 0 miter, 1 round, 2 bevel; caps: 0 butt,
 * 1 round, 2 square; fill rule: 0 non-zero winding, 1 even-odd. */
typedef struct qzVectorStyle {
    int32_t lineJoin;
    int32_t lineCap;
    int32_t fillRule;
    uint32_t antialias; /* 1: 256-level coverage; 0: coverage 0 or 255 only */
    double dashOffset;
    const double* dashLengths;
    uint32_t dashCount; /* 0: solid */
} qzVectorStyle;

/* GetPathExtents: the bounding box of the path filled (fill 1) or stroked with lineWidth pixels
 * (fill 0), moved by the offset and then mapped by the matrix (null: identity). */
typedef struct qzPathExtentsBlock {
    const void* buffer;
    const qzVectorStyle* style;
    int32_t fill;
    int32_t lineWidth;
    double offsetX;
    double offsetY;
    double x1; /* out */
    double y1;
    double x2;
    double y2;
    const double* matrix;
} qzPathExtentsBlock;

/* DrawPath: the path's coverage (0..255) into an 8-bit plane of width x height bytes, rowLength
 * bytes a row. Engines whose vector extension word has bit 0 set get the drawing position in the
 * origin fields (offset 0, 0) and place the transformed shape's bounding box at the plane's
 * top-left corner; other engines get it in the offset fields. Non-zero on success. */
typedef struct qzPathDrawBlock {
    const void* buffer;
    const qzVectorStyle* style;
    int32_t fill;
    int32_t lineWidth;
    int32_t reserved; /* 0 */
    uint8_t* pixels;
    int32_t rowLength;
    int32_t width;
    int32_t height;
    double offsetX;
    double offsetY;
    double originX;
    double originY;
    const double* matrix;
} qzPathDrawBlock;

/* TranslatePath: adds dx, dy to every absolute coordinate of the buffer in place. */
typedef struct qzPathTranslateBlock {
    void* buffer;
    double dx;
    double dy;
} qzPathTranslateBlock;

typedef int (*qzGetPathExtentsFn)(qzPathExtentsBlock* block);
typedef int (*qzDrawPathFn)(qzPathDrawBlock* block);
/* path: the player's path record, for the engine's own bookkeeping only. */
typedef int (*qzTranslatePathFn)(qzPathTranslateBlock* block, void* path);
/* The current point after the whole buffer. Non-zero on success. */
typedef int (*qzGetCurrentPointFn)(const void* buffer, const qzVectorStyle* style, double* x, double* y);
/* A vector font for a FreeType face of the player: the engine's handle, null on failure. */
typedef void* (*qzCreateVectorFontFn)(FT_Face face);
typedef void (*qzFreeVectorFontFn)(void* handle);
/* Face 0 of a font file in memory (the bytes stay valid while the face is open), or null. */
typedef FT_Face (*qzOpenFontFn)(const void* data, size_t size);
typedef void (*qzCloseFontFn)(FT_Face face);
/* Video decoders: the blocks and the calls are described in plugin_video.h. */
typedef void* (*qzOpenVideoFn)(const char* file, void* format);
typedef void (*qzCloseVideoFn)(void* handle);
typedef int (*qzNextPacketFn)(void* handle, void* packet);
typedef void (*qzFreePacketFn)(void* packet);
typedef int (*qzDecodeFrameFn)(void* handle, void* packet, void* frame);
typedef int (*qzSeekVideoFn)(void* handle, int64_t position, int seekMode);
typedef void (*qzFlushAudioFn)(void* handle);
typedef void (*qzFlushVideoFn)(void* handle, intptr_t unused);
typedef int64_t (*qzGetVideoFramesFn)(void* handle, intptr_t unused);
typedef const char* (*qzGetVideoFormatFn)(void* handle, intptr_t unused);

/* Command libraries. */
typedef const char* (*qzGetBaseTableFn)(void);
typedef const qzPluginCommand* (*qzGetCommandsFn)(void);
typedef const qzPluginConstant* (*qzGetConstantsFn)(void);
typedef int (*qzInitLibraryFn)(VmState* state);
typedef void (*qzFreeLibraryFn)(VmState* state);
typedef int (*qzGetLibraryCountFn)(void);
typedef void (*qzSetCurrentLibraryFn)(int index);

/* Script converters. */
typedef char* (*qzGetScriptFn)(const char* file, size_t* length);
typedef void (*qzFreeScriptFn)(char* script);

/* Savers: pixels are 32-bit 0xAARRGGBB, rowLength pixels a row. An image saver whose format does
 * not take ARGB data (format flag 1) gets one palette index a pixel instead, rowLength bytes a row,
 * with the palette (256 0x00RRGGBB entries) in the tags. SaveImage tags: the palette, flags (1 the
 * data carries alpha, 2 a transparent palette index is given), the transparent index and the
 * quality (0..100). */
enum {
    QZ_SAVERFMT_ARGB = 1, /* format flag: takes 32-bit ARGB data */
    QZ_SAVERFMT_ALPHA = 4 /* format flag: takes alpha */
};
enum {
    QZ_SAVEIMAGETAG_PALETTE = 1,
    QZ_SAVEIMAGETAG_FLAGS = 2,
    QZ_SAVEIMAGETAG_TRANSPARENT = 3,
    QZ_SAVEIMAGETAG_QUALITY = 4
};
typedef int (*qzRegisterSaverFn)(qzSaverFormat* format);
typedef int (*qzSaveImageFn)(const char* file, const uint32_t* pixels, int width, int height, int rowLength,
                             int formatId, const qzTagItem* tags);
typedef void* (*qzBeginAnimStreamFn)(const char* file, int width, int height, int formatId, const qzTagItem* tags);
typedef int (*qzWriteAnimFrameFn)(void* stream, const uint32_t* pixels, int width, int height, int rowLength, int delay,
                                  const qzTagItem* tags);
typedef int (*qzFinishAnimStreamFn)(void* stream);
typedef int (*qzSaveSampleFn)(const char* file, void* sound, int formatId, const qzTagItem* tags);

/* Requirement: tags QZ_REQUIRETAG_*. */
typedef int (*qzRequirePluginFn)(VmState* state, int version, int revision, intptr_t reserved, const qzTagItem* tags);

/* Display adapter: displays, pointers and monitors are the adapter's handles. */

/* OpenDisplay tags: the picture's display size, two int32_t* words the adapter may set (1: the
 * display is presented in whole frames; the second is kept), the VM state, the 0-based monitor,
 * for a full screen the screen size and depth, the scaled size when there is one, smooth scaling. */
enum {
    QZ_OPENDISPLAYTAG_PICTUREWIDTH = 1,
    QZ_OPENDISPLAYTAG_PICTUREHEIGHT = 2,
    QZ_OPENDISPLAYTAG_WHOLEFRAMES = 3,
    QZ_OPENDISPLAYTAG_SECONDWORD = 4,
    QZ_OPENDISPLAYTAG_STATE = 5,
    QZ_OPENDISPLAYTAG_MONITOR = 6,
    QZ_OPENDISPLAYTAG_SCREENWIDTH = 7,
    QZ_OPENDISPLAYTAG_SCREENHEIGHT = 8,
    QZ_OPENDISPLAYTAG_SCREENDEPTH = 9,
    QZ_OPENDISPLAYTAG_SCALEDWIDTH = 10,
    QZ_OPENDISPLAYTAG_SCALEDHEIGHT = 11,
    QZ_OPENDISPLAYTAG_SMOOTH = 12
};
/* BltBitMap tags: the size to scale the rectangle to (0 when the player scaled it already), smooth
 * scaling, the handles of the source's mask and alpha channel (or 0), and flags: 1 the source is a
 * video bitmap, 32 the player scaled the source. */
enum {
    QZ_BLTTAG_SCALEDWIDTH = 1,
    QZ_BLTTAG_SCALEDHEIGHT = 2,
    QZ_BLTTAG_SMOOTH = 3,
    QZ_BLTTAG_MASK = 4,
    QZ_BLTTAG_ALPHA = 5,
    QZ_BLTTAG_FLAGS = 6
};
/* GetMonitorInfo tags: kind 0 gives the monitors as int32_t quadruples {x, y, width, height}, kind
 * 1 the screen modes of a monitor as triples {width, height, depth}; either list ends with an entry
 * of width or height 0 and goes back through FreeMonitorInfo. */
enum { QZ_MONITORTAG_KIND = 1, QZ_MONITORTAG_MONITOR = 2 };
typedef int (*qzHandleEventsFn)(VmState* state, uint32_t flags);
typedef int (*qzWaitEventsFn)(VmState* state, const qzTagItem* tags);
typedef int (*qzForceEventLoopIterationFn)(void);
typedef void (*qzSleepFn)(int32_t milliseconds);
typedef int (*qzVWaitFn)(void* display);
typedef int (*qzDetermineBorderSizesFn)(void* display, int32_t borders[4]);
typedef void* (*qzOpenDisplayFn)(VmState* state, const char* title, int x, int y, int width, int height,
                                 const qzTagItem* tags);
typedef void (*qzCloseDisplayFn)(void* display);
typedef int (*qzChangeBufferSizeFn)(void* display, int width, int height);
typedef int (*qzShowHideDisplayFn)(void* display, int show);
typedef int (*qzSizeMoveDisplayFn)(void* display, int x, int y, int width, int height);
typedef int (*qzSetDisplayTitleFn)(void* display, const char* title);
typedef int (*qzActivateDisplayFn)(void* display, int flags);
typedef int (*qzSetDisplayAttributesFn)(void* display, const qzTagItem* tags);
typedef void* (*qzCreatePointerFn)(const uint32_t* pixels, int width, int height, int hotX, int hotY);
typedef void (*qzFreePointerFn)(void* pointer);
typedef int (*qzSetPointerFn)(void* display, void* pointer);
typedef int (*qzShowHidePointerFn)(void* display, int show);
typedef int (*qzMovePointerFn)(void* display, int x, int y);
typedef int (*qzGetMousePosFn)(void* display, int* x, int* y);
typedef uint32_t (*qzGetQualifiersFn)(void* display);
typedef int (*qzBltBitMapFn)(void* source, int sx, int sy, void* display, int dx, int dy, int width, int height,
                             const qzTagItem* tags);
typedef int (*qzRectFillFn)(void* display, int x1, int y1, int x2, int y2, uint32_t colour, const qzTagItem* tags);
typedef int (*qzWritePixelFn)(void* display, int x, int y, uint32_t colour, const qzTagItem* tags);
typedef int (*qzLineFn)(void* display, int x1, int y1, int x2, int y2, uint32_t colour, const qzTagItem* tags);
typedef void* (*qzGetMonitorInfoFn)(const qzTagItem* tags);
typedef void (*qzFreeMonitorInfoFn)(void* monitors);
typedef uint32_t* (*qzGrabScreenPixelsFn)(void* display, int x, int y, int width, int height);
typedef void (*qzFreeGrabScreenPixelsFn)(uint32_t* pixels);
typedef int (*qzBeginDoubleBufferFn)(void* display, const qzTagItem* tags);
typedef int (*qzEndDoubleBufferFn)(void* display);
typedef int (*qzFlipFn)(void* display, const int32_t block[3]);
typedef int (*qzClsFn)(void* display, uint32_t colour);
/* Video bitmaps and bitmaps: the same entry points that the graphics core calls (see
 * display_adapter.h). kind 0 colour, 1 alpha channel, 2 mask. */
typedef void* (*qzAllocVideoBitMapFn)(int width, int height, uint32_t flags, int32_t* prepared, const qzTagItem* tags);
typedef void (*qzFreeVideoBitMapFn)(void* handle);
/* Reads the pixels of a video bitmap as 32-bit 0xAARRGGBB (rowLength pixels a row); null on
 * failure. FreeVideoPixels gives them back. */
typedef uint32_t* (*qzReadVideoPixelsFn)(void* handle, int* width, int* height, int* rowLength);
typedef void (*qzFreeVideoPixelsFn)(void* handle, uint32_t* pixels);
typedef intptr_t (*qzDoVideoBitMapMethodFn)(void* handle, int method, intptr_t argument);
typedef void* (*qzAllocBitMapFn)(int kind, int width, int height, int clear, const qzTagItem* tags);
typedef void (*qzFreeBitMapFn)(void* handle);
typedef intptr_t (*qzLockBitMapFn)(void* handle, int readOnly, intptr_t* out, const qzTagItem* tags);
typedef void (*qzUnLockBitMapFn)(intptr_t lock);
typedef intptr_t (*qzGetBitMapAttrFn)(void* handle, int attr, const qzTagItem* tags);

/* Timer adapter: kind 0 repeating, 1 once; a handle or 0. */
typedef void* (*qzRegisterTimerFn)(VmState* state, int32_t milliseconds, int kind);
typedef void (*qzFreeTimerFn)(void* handle);

/* Requester adapter. Every entry gets the parent display's native handle (or null) and a tag list
 * whose tag 1 carries the caller's word. A result the adapter hands out (a path, a run of paths, a
 * text, a font result "name|size|further") goes back to FreeRequest with its kind: 0 file, 1 path,
 * 2 string, 3 font. No result means cancelled.
 * SystemRequest flags: the button set 1 "OK", 2 "OK|Cancel", 4 "Yes|No", 8 "Yes|No|Cancel" or 16
 * (the buttons in tag 2), plus the icon 32, 64, 128, 0x100, 0x200. FileRequest mode: 1 several,
 * 2 save; tags 2 pattern, 3 directory, 4 file; several files come as NUL-ended paths closed by
 * an empty one. PathRequest: tag 2 the default path. StringRequest flags: the input type 1, 2, 4,
 * 8, and 16 for a password; tags 2 default text, 3 maximum length. ListRequest: the choices
 * NUL-ended, closed by an empty one; tag 2 the preselected index. FontRequest: tags 2 name,
 * 3 size; the style bits give weight, slant and four style words. ColorRequest: tag 2 the default
 * colour. */
typedef int (*qzSystemRequestFn)(void* display, const char* title, const char* body, uint32_t flags, int* button,
                                 const qzTagItem* tags);
typedef int (*qzFileRequestFn)(void* display, const char* title, uint32_t mode, const qzTagItem* tags, char** result);
typedef int (*qzPathRequestFn)(void* display, const char* title, uint32_t saveMode, char** path, const qzTagItem* tags);
typedef int (*qzStringRequestFn)(void* display, const char* title, const char* body, uint32_t flags,
                                 const qzTagItem* tags, char** text);
typedef int (*qzListRequestFn)(void* display, const char* title, const char* body, const char* choices, int reserved,
                               int* choice, const qzTagItem* tags);
typedef int (*qzFontRequestFn)(void* display, const char* title, int reserved, char** result, const qzTagItem* tags,
                               uint32_t* style);
typedef int (*qzColorRequestFn)(void* display, const char* title, uint32_t* colour, const qzTagItem* tags);
typedef void (*qzFreeRequestFn)(int kind, void* result);

/* File adapter: tags QZ_FOPENTAG_*; modes QZ_FOPEN_*. Seek modes 0 current, 1 beginning, 2 end;
 * FSeek returns the previous position or -1. Stat asks about a name: 1 when the adapter serves it. */
typedef void* (*qzFOpenFn)(const char* name, int mode, const qzTagItem* tags);
typedef int (*qzFCloseFn)(void* handle);
typedef size_t (*qzFReadFn)(void* handle, void* buffer, size_t count);
typedef int (*qzFGetCFn)(void* handle);
typedef size_t (*qzFWriteFn)(void* handle, const void* buffer, size_t count);
typedef int (*qzFPutCFn)(void* handle, int byte);
typedef int64_t (*qzFSeekFn)(void* handle, int64_t offset, int mode);
typedef int (*qzFFlushFn)(void* handle);
typedef int (*qzFEofFn)(void* handle);
typedef int (*qzFStatFn)(void* handle, qzAdapterStat* stat, const qzTagItem* tags);
typedef int (*qzStatFn)(const char* name, intptr_t reserved, qzAdapterStat* stat, const qzTagItem* tags);

/* Directory adapter: OpenDir gives a handle for a directory it serves, else null; NextDirEntry
 * fills the entry and returns 1, or 0 at the end. */
typedef void* (*qzOpenDirFn)(const char* name, intptr_t reserved, const qzTagItem* tags);
typedef void (*qzCloseDirFn)(void* handle);
typedef int (*qzNextDirEntryFn)(void* handle, qzAdapterStat* entry, const qzTagItem* tags);

/* Audio adapter. */
typedef void* (*qzOpenAudioFn)(intptr_t reserved, const qzTagItem* tags);
typedef void (*qzCloseAudioFn)(void* handle);
typedef void* (*qzAllocAudioChannelFn)(void* handle, int rate, void* feed, intptr_t reserved, void* channel,
                                       intptr_t reserved2, int volume, int format);
typedef void (*qzFreeAudioChannelFn)(void* handle, void* channel);
typedef int (*qzSetChannelAttributesFn)(void* handle, void* channel, const qzTagItem* tags);

/* ---- The information block ------------------------------------------------------------------- */

/* Filled by the plugin's InitPlugin (the head) and by the loader (extension words and entry
 * points). The loader allocates it cleared. */
typedef struct qzPluginInfo {
    uint32_t capabilities;
    int32_t version;
    int32_t revision;
    int32_t requiredVersion;  /* the loader presets 6; the plugin may raise it */
    int32_t requiredRevision; /* the loader presets 0 */
    const char* name;         /* must match the file name */
    const char* moduleName;   /* shown as the loader's name */
    const char* author;
    const char* description;
    const char* copyright;
    const char* url;
    const char* date;
    const char* settings;
    const char* helpFile;
    uint32_t callMode; /* QZ_PLUGIN_CALLMODE_STUB */
    qzPluginFileType* fileTypes;
    uint32_t displayFeatures; /* display adapter feature bits 1, 2, 4, 8 */
    uint32_t reserved1;
    uint32_t disabled; /* non-zero: excluded from every adapter and loader search */
    intptr_t userData;
    uint32_t drawCaps; /* display adapter drawing: 1 blit, 2 masked, 4 alpha, 8 fill, 16 pixel, 32 line */
    uint32_t reserved2[3];
    uint32_t displayFlags; /* display adapter flags: 16 video bitmaps, 32 owns bitmaps, 128 inverted alpha,
                              0x100 own Sleep, 0x800 screen grab */
    uint32_t reserved3[3];
    uint32_t fileAdapterFlags; /* QZ_FILEADAPTERF_CHUNKNAMES */
    uint32_t extensions[32];   /* one word per capability bit number */
    uint32_t activatedByList;  /* 1 once a loader list named the plugin */

    /* Entry points, resolved by the loader in the order of its capability table and stored in
     * this order. */
    qzInitPluginFn InitPlugin;
    qzClosePluginFn ClosePlugin;
    qzIsImageFn IsImage;
    qzLoadImageFn LoadImage;
    qzGetImageFn GetImage;
    qzFreeImageFn FreeImage;
    qzTransformImageFn TransformImage;
    qzOpenAnimFn OpenAnim;
    qzLoadFrameFn LoadFrame;
    qzFreeFrameFn FreeFrame;
    qzGetFrameDelayFn GetFrameDelay;
    qzCloseAnimFn CloseAnim;
    qzOpenStreamFn OpenStream;
    qzCloseStreamFn CloseStream;
    qzSeekStreamFn SeekStream;
    qzStreamSamplesFn StreamSamples;
    qzGetFormatNameFn GetFormatName;
    qzGetPathExtentsFn GetPathExtents;
    qzDrawPathFn DrawPath;
    qzTranslatePathFn TranslatePath;
    qzGetCurrentPointFn GetCurrentPoint;
    qzCreateVectorFontFn CreateVectorFont;
    qzFreeVectorFontFn FreeVectorFont;
    qzOpenFontFn OpenFont;
    qzCloseFontFn CloseFont;
    qzOpenVideoFn OpenVideo;
    qzCloseVideoFn CloseVideo;
    qzNextPacketFn NextPacket;
    qzFreePacketFn FreePacket;
    qzDecodeFrameFn DecodeVideoFrame;
    qzDecodeFrameFn DecodeAudioFrame;
    qzSeekVideoFn SeekVideo;
    qzFlushAudioFn FlushAudio;
    qzFlushVideoFn FlushVideo;
    qzGetVideoFramesFn GetVideoFrames;
    qzGetVideoFormatFn GetVideoFormat;
    qzGetBaseTableFn GetBaseTable;
    qzGetCommandsFn GetCommands;
    qzGetConstantsFn GetConstants;
    qzInitLibraryFn InitLibrary;
    qzFreeLibraryFn FreeLibrary;
    qzGetLibraryCountFn GetLibraryCount;
    qzSetCurrentLibraryFn SetCurrentLibrary;
    qzGetScriptFn GetScript;
    qzFreeScriptFn FreeScript;
    qzRegisterSaverFn RegisterImageSaver;
    qzSaveImageFn SaveImage;
    qzSaverFormat* imageSaverFormats; /* ended by an all-zero entry */
    qzRegisterSaverFn RegisterAnimSaver;
    qzBeginAnimStreamFn BeginAnimStream;
    qzWriteAnimFrameFn WriteAnimFrame;
    qzFinishAnimStreamFn FinishAnimStream;
    qzSaverFormat* animSaverFormats;
    qzRegisterSaverFn RegisterSampleSaver;
    qzSaveSampleFn SaveSample;
    qzSaverFormat* sampleSaverFormats;
    qzRequirePluginFn RequirePlugin;
    qzHandleEventsFn HandleEvents;
    qzWaitEventsFn WaitEvents;
    qzForceEventLoopIterationFn ForceEventLoopIteration;
    qzSleepFn Sleep;
    qzVWaitFn VWait;
    qzDetermineBorderSizesFn DetermineBorderSizes;
    qzOpenDisplayFn OpenDisplay;
    qzCloseDisplayFn CloseDisplay;
    qzChangeBufferSizeFn ChangeBufferSize;
    qzShowHideDisplayFn ShowHideDisplay;
    qzSizeMoveDisplayFn SizeMoveDisplay;
    qzSetDisplayTitleFn SetDisplayTitle;
    qzActivateDisplayFn ActivateDisplay;
    qzSetDisplayAttributesFn SetDisplayAttributes;
    qzCreatePointerFn CreatePointer;
    qzFreePointerFn FreePointer;
    qzSetPointerFn SetPointer;
    qzShowHidePointerFn ShowHidePointer;
    qzMovePointerFn MovePointer;
    qzGetMousePosFn GetMousePos;
    qzGetQualifiersFn GetQualifiers;
    qzBltBitMapFn BltBitMap;
    qzRectFillFn RectFill;
    qzWritePixelFn WritePixel;
    qzLineFn Line;
    qzGetMonitorInfoFn GetMonitorInfo;
    qzFreeMonitorInfoFn FreeMonitorInfo;
    qzGrabScreenPixelsFn GrabScreenPixels;
    qzFreeGrabScreenPixelsFn FreeGrabScreenPixels;
    qzBeginDoubleBufferFn BeginDoubleBuffer;
    qzEndDoubleBufferFn EndDoubleBuffer;
    qzFlipFn Flip;
    qzClsFn Cls;
    qzAllocVideoBitMapFn AllocVideoBitMap;
    qzFreeVideoBitMapFn FreeVideoBitMap;
    qzReadVideoPixelsFn ReadVideoPixels;
    qzFreeVideoPixelsFn FreeVideoPixels;
    qzDoVideoBitMapMethodFn DoVideoBitMapMethod;
    qzAllocBitMapFn AllocBitMap;
    qzFreeBitMapFn FreeBitMap;
    qzLockBitMapFn LockBitMap;
    qzUnLockBitMapFn UnLockBitMap;
    qzGetBitMapAttrFn GetBitMapAttr;
    qzRegisterTimerFn RegisterTimer;
    qzFreeTimerFn FreeTimer;
    qzSystemRequestFn SystemRequest;
    qzFileRequestFn FileRequest;
    qzPathRequestFn PathRequest;
    qzStringRequestFn StringRequest;
    qzListRequestFn ListRequest;
    qzFontRequestFn FontRequest;
    qzColorRequestFn ColorRequest;
    qzFreeRequestFn FreeRequest;
    qzFOpenFn FOpen;
    qzFCloseFn FClose;
    qzFReadFn FRead;
    qzFGetCFn FGetC;
    qzFWriteFn FWrite;
    qzFPutCFn FPutC;
    qzFSeekFn FSeek;
    qzFFlushFn FFlush;
    qzFEofFn FEof;
    qzFStatFn FStat;
    qzStatFn Stat;
    qzOpenDirFn OpenDir;
    qzCloseDirFn CloseDir;
    qzNextDirEntryFn NextDirEntry;
    qzOpenAudioFn OpenAudio;
    qzCloseAudioFn CloseAudio;
    qzAllocAudioChannelFn AllocAudioChannel;
    qzFreeAudioChannelFn FreeAudioChannel;
    qzSetChannelAttributesFn SetChannelAttributes;
    qzGetExtensionsFn GetExtensions;
} qzPluginInfo;

QZ_ABI_ASSERT((offsetof(qzPluginInfo, GetExtensions) - offsetof(qzPluginInfo, InitPlugin)) / sizeof(void*) + 1 == 130,
              "the information block holds 130 entry-point words");
QZ_ABI_ASSERT(offsetof(qzPluginInfo, activatedByList) == offsetof(qzPluginInfo, extensions) + 32 * 4,
              "the activated-by-list word follows the 32 extension words");

/* ---- Host services -------------------------------------------------------------------------- */

/* The plugin's stat record (HostStat, HostFStat). */
enum {
    QZ_PSTAT_DIRECTORY = 0x20000,
    QZ_PSTAT_OWNER_READ = 0x1,
    QZ_PSTAT_OWNER_WRITE = 0x2,
    QZ_PSTAT_OWNER_EXECUTE = 0x8,
    QZ_PSTAT_GROUP_READ = 0x200,
    QZ_PSTAT_GROUP_WRITE = 0x400,
    QZ_PSTAT_GROUP_EXECUTE = 0x800,
    QZ_PSTAT_OTHER_READ = 0x1000,
    QZ_PSTAT_OTHER_WRITE = 0x2000,
    QZ_PSTAT_OTHER_EXECUTE = 0x4000
};
typedef struct qzPluginStat {
    uint32_t reserved;
    uint32_t flags;
    uint32_t sizeHigh;
    uint32_t sizeLow;
    int64_t accessTime;
    int64_t modifyTime;
    int64_t changeTime;
} qzPluginStat;

/* The plugin's broken-down time: size first, then the C library's fields in their order. */
typedef struct qzPluginTime {
    int32_t size; /* sizeof(qzPluginTime) */
    int32_t sec, min, hour, mday, mon, year, wday, yday, isdst;
    long gmtoff;
    const char* zone;
} qzPluginTime;

/* What HostExamineLock, HostExamineName, HostExamineFile and HostNextDirEntry report. */
typedef struct qzPluginExamine {
    int32_t isDirectory;
    int64_t size;
    int64_t modifyTime;
    char name[1024]; /* HostNextDirEntry: the entry's name; otherwise the full name */
} qzPluginExamine;

/* The parts of a ":::chunk" name (HostGetChunkInfo). */
typedef struct qzPluginChunkInfo {
    int64_t offset; /* -1 for data in memory */
    int64_t size;
    const void* memory;   /* data in memory, else null */
    char name[256];       /* the embedded name */
    char container[1024]; /* the container's path, empty for data in memory */
} qzPluginChunkInfo;

/* A string builder in the plugin's memory, for the string-builder slots of qzVmBase. */
typedef struct qzPluginStringBuffer {
    size_t position;
    int pieces;
    VmState* state;
    char area[1024];
} qzPluginStringBuffer;

/* An object identifier: a number, or a handle (light user data) when pointer is not null. */
typedef struct qzPluginObjectId {
    int32_t number;
    void* pointer;
} qzPluginObjectId;

/* The clock record of the time slots of qzSysBase. */
typedef struct qzPluginTimeVal {
    uint32_t seconds;
    uint32_t microseconds;
} qzPluginTimeVal;

/* Command hooks (AddCommandHook). The handler runs instead of a hooked command and returns its
 * handler result; an error raised while it runs goes to the error handler, when there is one,
 * and the command then yields no results. */
typedef int (*qzCommandHookFn)(struct qzCommandHook* hook, VmState* state, qzPluginCFunction function, void* userData);
typedef void (*qzCommandHookErrorFn)(struct qzCommandHook* hook, VmState* state, int code, void* userData);

/* Plugin hooks of the event pump: kind 0 (userData) -> -1 when done; kind 1 (state, userData). */
typedef void (*qzPluginHookFn)(void);

/* An object type's handler: (state, argument, out) -> result. */
typedef int (*qzObjectTypeHandlerFn)(VmState* state, void* argument, void* out);

/* One node of GetLoadedPluginList. */
typedef struct qzLoadedPlugin {
    struct qzLoadedPlugin* next;
    qzPluginInfo* info;
} qzLoadedPlugin;

typedef struct qzCLibBase {
    QZ_SLOT(malloc, Malloc);
    QZ_SLOT(calloc, Calloc);
    QZ_SLOT(realloc, Realloc);
    QZ_SLOT(free, Free);
    char* (*StrDup)(const char* text);
    QZ_SLOT(fopen, FOpen);
    QZ_SLOT(fclose, FClose);
    QZ_SLOT(fseek, FSeek);
    QZ_SLOT(ftell, FTell);
    QZ_SLOT(fread, FRead);
    QZ_SLOT(fwrite, FWrite);
    QZ_SLOT(fgetc, FGetC);
    QZ_SLOT(fputc, FPutC);
    QZ_SLOT(ferror, FError);
    QZ_SLOT(feof, FEof);
    QZ_SLOT(vfprintf, VFPrintF);
    QZ_SLOT(vsnprintf, VSNPrintF);
    QZ_SLOT(vprintf, VPrintF);
    QZ_SLOT(qsort, QSort);
    QZ_SLOT(vsscanf, VSScanF);
    QZ_SLOT(strtod, StrToD);
    QZ_SLOT(strtol, StrToL);
    QZ_SLOT(strtoul, StrToUL);
    int (*StrCaseCmp)(const char* a, const char* b);
    int (*StrNCaseCmp)(const char* a, const char* b, size_t n);
    int (*ToLower)(int c);
    int (*ToUpper)(int c);
    char* (*StrLower)(char* text);
    char* (*StrUpper)(char* text);
    QZ_SLOT(gettimeofday, GetTimeOfDay);
    QZ_SLOT(time, Time);
    long (*LRint)(double x);
    qzPluginTime* (*LocalTime)(const time_t* moment);
    qzPluginTime* (*GmTime)(const time_t* moment);
    char* (*AscTime)(const qzPluginTime* time);
    QZ_SLOT(ctime, CTime);
    time_t (*MkTime)(qzPluginTime* time);
    size_t (*StrFTime)(char* buffer, size_t size, const char* format, const qzPluginTime* time);
    QZ_SLOT(clock, Clock);
    void (*DiffTime)(time_t end, time_t start, double* out);
    QZ_SLOT(clearerr, ClearErr);
    int (*FileNo)(FILE* file);
    QZ_SLOT(fflush, FFlush);
    int (*FStat)(int fd, qzPluginStat* stat);
    int (*Stat)(const char* name, qzPluginStat* stat);
    QZ_SLOT(vfscanf, VFScanF);
    QZ_SLOT(ungetc, UngetC);
    QZ_SLOT(rename, Rename);
    QZ_SLOT(remove, Remove);
    int (*GetErrno)(void);
    int* (*SetErrno)(int value);
    /* Data words: when a plugin stores a file name here, HostOpenFile and HostLock use it in
     * place of the name they are given. */
    const char* volatile openNameOverride;
    intptr_t reserved52;
    intptr_t reserved53;
} qzCLibBase;

/* Plugin event types. RegisterEventType(name, fill) registers a type whose handler table the
 * player builds, `fill` (a qzEventFillFn, or 0) adding the type's own fields. RegisterEventTypeEx
 * takes these tags; both return the type number (28 and up), 0 on refusal. */
enum {
    QZ_EVENTTYPETAG_MODE = 1,     /* 0: the player builds the table; 1: PUSH pushes the arguments */
    QZ_EVENTTYPETAG_FILL = 2,     /* qzEventFillFn: adds fields to the handler's table (mode 0) */
    QZ_EVENTTYPETAG_PUSH = 3,     /* qzEventPushFn: pushes the arguments and returns their count; -1
                                     skips the call, -n fails the dispatch with error n (mode 1) */
    QZ_EVENTTYPETAG_AFTER = 4,    /* qzEventAfterFn: after the call (mode 1) */
    QZ_EVENTTYPETAG_FREEDATA = 5, /* qzEventFreeFn: frees an event's data (mode 1) */
    QZ_EVENTTYPETAG_STUB = 6,     /* non-zero: the callbacks are never called */
};
typedef void (*qzEventFillFn)(VmState* state, int32_t type, void* data);
typedef int (*qzEventPushFn)(VmState* state, int32_t type, void* data);
typedef void (*qzEventAfterFn)(VmState* state, int32_t type, void* data);
typedef void (*qzEventFreeFn)(VmState* state, int32_t type, void* data);

typedef struct qzSysBase {
    int (*QueryAttrs)(const qzTagItem* tags);
    int (*AddUserErrorText)(const char* text);
    void (*SetErrorArgString)(const char* text);
    void (*SetErrorArgIndex)(int32_t index);
    size_t (*FormatErrorText)(int code, char* buffer, size_t size);
    int (*GetSysTime)(struct qzTimeVal* tv);
    void (*SubTime)(struct qzTimeVal* a, const struct qzTimeVal* b);
    void (*AddTime)(struct qzTimeVal* a, const struct qzTimeVal* b);
    int (*CmpTime)(const struct qzTimeVal* a, const struct qzTimeVal* b);
    void (*Delay)(int32_t milliseconds);
    int (*FormatCurrentDate)(char* buffer, size_t size);
    void* (*Alloc)(size_t size, uint32_t flags);
    void (*Free)(void* block);
    void* (*AddPluginHook)(int kind, qzPluginHookFn callback, void* userData, int foreign);
    int (*RegisterEventType)(const char* name, intptr_t parameter);
    int (*PostEvent)(int type, void* data);
    void (*DisplayHookReply)(void* hook, int kind, void* data);
    int32_t (*RegisterObjectType)(void** listHead, const char* name, qzObjectTypeHandlerFn handler, int foreign);
    void (*FreeObjectData)(VmState* state, void* object);
    int (*RegisterFileType)(qzPluginInfo* info, int type, const char* name, const char* mimeType,
                            const char* extensions, int formatId, uint32_t flags);
    int (*RunEventLoop)(VmState* state, int wait);
    struct qzCommandHook* (*AddCommandHook)(intptr_t unused1, intptr_t unused2, qzCommandHookFn handler,
                                            qzCommandHookErrorFn errorHandler, void* userData);
    void (*RemoveCommandHook)(struct qzCommandHook* hook);
    int (*HookCommand)(struct qzCommandHook* hook, qzPluginCFunction function);
    void (*SetHookErrorHandler)(struct qzCommandHook* hook, qzCommandHookErrorFn errorHandler);
    qzCommandHookErrorFn (*GetHookErrorHandler)(struct qzCommandHook* hook);
    void (*SetHookDisabled)(struct qzCommandHook* hook, int disabled);
    int (*TranslateAdapterEvent)(VmState* state, int type, void* data);
    int (*PumpEvents)(VmState* state, int flags);
    int (*WaitEvents)(VmState* state, int32_t timeout);
    struct qzMutex* (*AllocMutex)(void);
    void (*FreeMutex)(struct qzMutex* mutex);
    void (*LockMutex)(struct qzMutex* mutex);
    void (*UnlockMutex)(struct qzMutex* mutex);
    void (*SetPluginHookEnabled)(void* hook, int enabled);
    void (*RemovePluginHook)(void* hook);
    int (*RegisterEventTypeEx)(const char* name, const qzTagItem* tags);
    int (*VPrintF)(const char* format, va_list args);
    int (*RunTimer)(VmState* state, void* id);
    int (*InstallTimerAdapter)(qzPluginInfo* info, uint32_t flags);
    void (*RecordStartDate)(void);
    char* (*ConvertCharset)(const char* text, int from, int to);
    void (*FreeConverted)(void* block);
    int (*RegisterPluginForCapability)(const qzPluginInfo* info, uint32_t capability);
    void (*UnregisterPluginForCapability)(const qzPluginInfo* info, uint32_t capability);
    int (*SetRecordTagValue)(qzPluginInfo* record, uint32_t tag, intptr_t value);
} qzSysBase;

typedef struct qzDosBase {
    struct qzVfsFile* (*OpenFile)(const char* name, int mode);
    int (*Close)(struct qzVfsFile* file);
    int64_t (*Seek)(struct qzVfsFile* file, int64_t offset, int mode);
    size_t (*Read)(struct qzVfsFile* file, void* buffer, size_t count);
    size_t (*Write)(struct qzVfsFile* file, const void* buffer, size_t count);
    int (*GetC)(struct qzVfsFile* file);
    int (*PutC)(struct qzVfsFile* file, int byte);
    int (*Eof)(struct qzVfsFile* file);
    int (*DeleteFile)(const char* name);
    struct qzVfsLock* (*Lock)(const char* name, int mode);
    void (*Unlock)(struct qzVfsLock* lock);
    void (*NameFromLock)(struct qzVfsLock* lock, char* buffer, size_t size);
    int (*ExamineLock)(struct qzVfsLock* lock, qzPluginExamine* out);
    int (*CheckDirLock)(struct qzVfsLock* lock, int* isDirectory);
    void (*EndDirScan)(void* scan);
    int (*NextDirEntry)(struct qzVfsLock* lock, qzPluginExamine* out);
    int (*MakeDir)(const char* name);
    int (*Rename)(const char* from, const char* to);
    int (*GetCurrentDirName)(char* buffer, size_t size);
    int (*GetTempFileName)(char* buffer, size_t size);
    int (*AddPathPart)(char* buffer, size_t size, const char* part);
    size_t (*GetPathPartEnd)(const char* path);
    int (*GetDisplayFileName)(const char* name, char* buffer, size_t size);
    int (*SplitChunkName)(const char* name, int64_t* offset, int64_t* size, char* path, size_t pathSize);
    int (*ExamineName)(const char* name, qzPluginExamine* out);
    int64_t (*VfsSeek)(struct qzVfsFile* file, int64_t offset, int mode);
    int (*GetFileFlags)(struct qzVfsFile* file);
    int (*ExamineFile)(struct qzVfsFile* file, qzPluginExamine* out);
    int (*WriteBufferToFile)(const char* name, const void* buffer, size_t length, uint32_t flags);
    int (*GetChunkInfo)(const char* name, qzPluginChunkInfo* out);
    int (*Flush)(struct qzVfsFile* file);
    int (*GetTempFileName2)(char* buffer, size_t size);
    struct qzVfsFile* (*OpenFileTags)(const char* name, int mode, const qzTagItem* tags);
} qzDosBase;

/* The system table's DisplayHookReply (slot 16) is a display adapter's input report (kinds 0 mouse
 * moved, 1 to 3 left, right and middle button with the int32_t data {x, y, state}, 4 wheel with
 * {x, y, down}, 5 key with {code, state, qualifiers}); the requester table's slot 3 installs a
 * requester adapter. */

/* A monitor of GetMonitors: its rectangle on the desktop, in the window system's order. */
typedef struct qzPluginMonitor {
    struct qzPluginMonitor* next;
    int32_t x;
    int32_t y;
    int32_t width;
    int32_t height;
} qzPluginMonitor;

/* A display hook's callback: message code 0 presented rectangle (14 words), 1 fill, 2 line, 3
 * pixel, 4 resize, 5 vertical blank wait. */
typedef void (*qzDisplayHookFn)(void* hook, int code, const intptr_t* message, void* userData);

/* Slots 0 to 28 keep the order of the host API block: 13 installs a display adapter (information
 * block, install flags, tags), 14 and 15 are the monitor list and its release, 18 finds a display
 * by its native handle and 19 refreshes that display. The display services that have no slot in
 * that order follow it: 29 the application icons, 30 their release, 31 a native handle's display
 * attributes. */
typedef struct qzGfxBase {
    int (*IsImage)(const char* file, int* width, int* height, int* alpha);
    uint32_t* (*LoadImage)(const char* file, const qzTagItem* tags, int* width, int* height, int* alpha);
    void (*FreeImage)(uint32_t* pixels);
    void (*FreeImageHandle)(void* handle);
    /* A raster brush's colour bitmap locked for reading and writing (layers that show the brush
     * keep their own copy); null for a missing, locked, vector or hardware brush. The lock goes
     * back through slot 5. */
    void* (*LockBrushBitMap)(VmState* state, const qzPluginObjectId* id, qzPluginLock* out);
    void (*UnLockBrushBitMap)(void* lock);
    /* A raster brush's pixels as 0xAARRGGBB, rows packed (AA from its alpha channel, else 255 or 0
     * by its mask, else 255), freed through slot 7; null for a missing, vector or hardware brush. */
    uint32_t* (*GetBrushPixels)(VmState* state, const qzPluginObjectId* id, int* width, int* height);
    void (*Free)(void* block);
    void* (*AddDisplayHook)(const qzPluginObjectId* display, qzDisplayHookFn callback, void* userData,
                            const qzTagItem* tags);
    void (*RemoveDisplayHook)(void* hook);
    void (*RefreshHookDisplay)(void* hook);
    int (*ResizeHookDisplay)(void* hook, int width, int height);
    /* A new brush from 0xAARRGGBB pixels (rowLength pixels a row) under a number, replacing a
     * brush of that number, or under the automatic id, whose handle is then written to *id. Tag
     * QZ_BRUSHPIXTAG_ALPHA non-zero gives it an alpha channel from AA. 0 or an error code. */
    int (*CreateBrushFromPixels)(VmState* state, qzPluginObjectId* id, const uint32_t* pixels, int width, int height,
                                 int rowLength, const qzTagItem* tags);
    int (*InstallDisplayAdapter)(qzPluginInfo* info, uint32_t flags, const qzTagItem* tags);
    void* (*GetMonitors)(void);
    void (*FreeMonitors)(void* monitors);
    /* bitmap: an engine bitmap the player handed out; the result is the lock to give back. */
    void* (*LockBitMap)(void* bitmap, int readOnly, qzPluginLock* out);
    void (*UnLockBitMap)(void* lock);
    void* (*FindDisplayByHandle)(void* nativeHandle);
    int (*RefreshDisplayByHandle)(void* nativeHandle);
    void* (*GetDisplayHandle)(VmState* state, const qzPluginObjectId* display);
    int (*CopyPixels)(void* source, int sx, int sy, void* target, int dx, int dy, int width, int height);
    int (*FillRect)(void* bitmap, int x, int y, int width, int height, uint32_t colour);
    int (*FillRectRaw)(void* bitmap, int x, int y, int width, int height, uint32_t pixel);
    int (*DrawLine)(void* bitmap, int x1, int y1, int x2, int y2, uint32_t colour);
    uint32_t* (*ReadBitMapPixels)(void* bitmap, int x, int y, int width, int height);
    intptr_t (*QueryRawBitMapAttr)(void* handle, int attr);
    uint32_t (*ConvertARGBToPixel)(uint32_t colour, int format, int withAlpha);
    uint32_t (*ConvertPixelToARGB)(uint32_t pixel, int format, int withAlpha);
    /* The back end's icons joined by the applet's: a list of {next, pixels (width x height
     * 0xAARRGGBB), width, height, flags: 1 the icon row's flag, 2 a selected variant}, or null. */
    void* (*GetApplicationIcons)(void);
    void (*FreeApplicationIcons)(void* icons);
    /* For each tag {1 width, 2 height, 3 picture width, 4 picture height, 5 display flags, 6 scaled
     * width, 7 scaled height, 8 smooth scaling} writes the value to the int32_t the tag's value
     * points at; returns the number served, -1 for a handle that names no display. */
    int (*GetAdapterDisplayAttrs)(void* nativeHandle, const qzTagItem* tags);
} qzGfxBase;

/* Tags of CreateBrushFromPixels. */
enum { QZ_BRUSHPIXTAG_ALPHA = 1 };

/* A sample's PCM data as GetSampleData hands it out: frames x channels interleaved values of bits
 * 8 or 16 (flags: 1 16-bit values in host order, 2 signed values), its pitch in frames per second.
 * Shared data is the sample's own and stays valid while the sample keeps it; copied data is the
 * plugin's until FreeSampleData, which writes it back into the sample when it was changed. */
typedef struct qzPluginSampleData {
    void* data;
    uint32_t frames;
    uint32_t channels;
    uint32_t bits;
    uint32_t flags;
    int32_t pitch;
    int32_t copied;
} qzPluginSampleData;

typedef struct qzAudioBase {
    /* A qzPluginSampleData of the sample (copy 1: a copy of its data), or null for a missing sample;
     * given back through FreeSampleData. The tags are not read. */
    void* (*GetSampleData)(VmState* state, const qzPluginObjectId* id, int copy, const qzTagItem* tags);
    void (*FreeSampleData)(void* data);
    int (*InstallAudioAdapter)(qzPluginInfo* info, uint32_t flags);
} qzAudioBase;

typedef struct qzRequesterBase {
    int (*SystemRequest)(const char* title, const char* body, const char* buttons);
    int (*FileRequest)(const char* title, char* buffer); /* buffer: 1024 bytes */
    int (*PathRequest)(const char* title, char* buffer);
    int (*InstallRequesterAdapter)(qzPluginInfo* info, uint32_t flags);
} qzRequesterBase;

typedef struct qzFontBase {
    /* Makes a font file (also one inside a container) available under a path: 1 with the path in
     * buffer, 0 when it cannot be. A temporary copy is deleted when the player ends. */
    int (*OpenFontFile)(const char* name, char* buffer, size_t size);
    /* The handle that the vector engine's CreateVectorFont returned for the vector-font id of a
     * text record (opcode 9) in a path buffer; null for an id the player does not know. */
    void* (*GetVectorFontHandle)(uint32_t id);
} qzFontBase;

/* FreeType's functions; the host's FreeType library answers them. */
typedef struct qzFtBase {
    QZ_SLOT(FT_Init_FreeType, FT_Init_FreeType);
    QZ_SLOT(FT_Done_FreeType, FT_Done_FreeType);
    QZ_SLOT(FT_New_Face, FT_New_Face);
    QZ_SLOT(FT_New_Memory_Face, FT_New_Memory_Face);
    QZ_SLOT(FT_Load_Glyph, FT_Load_Glyph);
    QZ_SLOT(FT_Render_Glyph, FT_Render_Glyph);
    QZ_SLOT(FT_Get_Glyph, FT_Get_Glyph);
    QZ_SLOT(FT_Done_Glyph, FT_Done_Glyph);
    QZ_SLOT(FT_Outline_Transform, FT_Outline_Transform);
    QZ_SLOT(FT_Outline_Translate, FT_Outline_Translate);
    QZ_SLOT(FT_Outline_Get_Bitmap, FT_Outline_Get_Bitmap);
    QZ_SLOT(FT_Outline_Get_CBox, FT_Outline_Get_CBox);
    QZ_SLOT(FT_Outline_Decompose, FT_Outline_Decompose);
    QZ_SLOT(FT_Done_Face, FT_Done_Face);
    QZ_SLOT(FT_Get_Char_Index, FT_Get_Char_Index);
    QZ_SLOT(FT_Get_First_Char, FT_Get_First_Char);
    QZ_SLOT(FT_Get_Next_Char, FT_Get_Next_Char);
    QZ_SLOT(FT_Set_Transform, FT_Set_Transform);
    QZ_SLOT(FT_Set_Charmap, FT_Set_Charmap);
    QZ_SLOT(FT_Set_Pixel_Sizes, FT_Set_Pixel_Sizes);
    QZ_SLOT(FT_Set_Char_Size, FT_Set_Char_Size);
    QZ_SLOT(FT_MulFix, FT_MulFix);
    QZ_SLOT(FT_Vector_Transform, FT_Vector_Transform);
    QZ_SLOT(FT_Get_Kerning, FT_Get_Kerning);
    QZ_SLOT(FT_Get_Sfnt_Table, FT_Get_Sfnt_Table);
    QZ_SLOT(FT_Load_Sfnt_Table, FT_Load_Sfnt_Table);
    QZ_SLOT(FT_Get_X11_Font_Format, FT_Get_X11_Font_Format);
    QZ_SLOT(FT_Get_Name_Index, FT_Get_Name_Index);
    QZ_SLOT(FT_Get_Glyph_Name, FT_Get_Glyph_Name);
    QZ_SLOT(FT_Select_Charmap, FT_Select_Charmap);
    QZ_SLOT(FT_Get_Advance, FT_Get_Advance);
    QZ_SLOT(FT_Library_Version, FT_Library_Version);
    QZ_SLOT(FT_Outline_Embolden, FT_Outline_Embolden);
    QZ_SLOT(FT_Stroker_New, FT_Stroker_New);
    QZ_SLOT(FT_Stroker_Set, FT_Stroker_Set);
    QZ_SLOT(FT_Stroker_Done, FT_Stroker_Done);
    QZ_SLOT(FT_Glyph_Stroke, FT_Glyph_Stroke);
    QZ_SLOT(FT_Glyph_To_Bitmap, FT_Glyph_To_Bitmap);
} qzFtBase;

typedef struct qzVmBase {
    int (*GetTop)(VmState* state);
    void (*SetTop)(VmState* state, int index);
    void (*PushValue)(VmState* state, int index);
    void (*Remove)(VmState* state, int index);
    void (*Insert)(VmState* state, int index);
    void (*Replace)(VmState* state, int index);
    int (*IsCFunction)(VmState* state, int index);
    int (*IsNumber)(VmState* state, int index);
    int (*IsString)(VmState* state, int index);
    int (*IsUserdata)(VmState* state, int index);
    int (*Type)(VmState* state, int index);
    int (*Equal)(VmState* state, int index1, int index2);
    int (*RawEqual)(VmState* state, int index1, int index2);
    int (*LessThan)(VmState* state, int index1, int index2, int caseSensitive);
    double (*ToNumber)(VmState* state, int index);
    const char* (*ToString)(VmState* state, int index);
    size_t (*StrLen)(VmState* state, int index);
    qzPluginCFunction (*ToCFunction)(VmState* state, int index);
    void* (*ToUserdata)(VmState* state, int index);
    const void* (*ToPointer)(VmState* state, int index);
    void (*PushNil)(VmState* state);
    void (*PushNumber)(VmState* state, double n);
    void (*PushLString)(VmState* state, const char* s, size_t length);
    void (*PushString)(VmState* state, const char* s);
    void (*PushLightUserdata)(VmState* state, void* p);
    void (*PushCClosure)(VmState* state, qzPluginCFunction fn, int n);
    void (*GetTable)(VmState* state, int index);
    void (*RawGet)(VmState* state, int index);
    void (*RawGetI)(VmState* state, int index, int n);
    void (*NewTable)(VmState* state);
    void (*GetFunctionGlobals)(VmState* state, int index);
    void (*SetTable)(VmState* state, int index);
    void (*RawSet)(VmState* state, int index);
    void (*RawSetI)(VmState* state, int index, int n);
    int (*SetFunctionGlobals)(VmState* state, int index);
    int (*ProtectedCall)(VmState* state, int nargs, int nresults, int errfunc);
    int (*Next)(VmState* state, int index);
    void (*Concat)(VmState* state, int n);
    int (*PushUpvalues)(VmState* state);
    const char* (*GetUpvalue)(VmState* state, int funcIndex, int n);
    const char* (*SetUpvalue)(VmState* state, int funcIndex, int n);
    void* (*NewUserdata)(VmState* state, size_t size);
    int (*SetMetatable)(VmState* state, int index);
    int (*GetMetatable)(VmState* state, int index);
    void (*RaiseError)(VmState* state, int code);
    const char* (*CheckString)(VmState* state, int index, size_t* length);
    const char* (*OptString)(VmState* state, int index, const char* def, size_t* length);
    double (*CheckNumber)(VmState* state, int index);
    double (*OptNumber)(VmState* state, int index, double def);
    int32_t (*CheckInteger)(VmState* state, int index);
    int32_t (*OptInteger)(VmState* state, int index, int32_t def);
    void (*CheckTable)(VmState* state, int index);
    void (*CheckFunction)(VmState* state, int index);
    void (*CheckType)(VmState* state, int index, int tag);
    int (*Ref)(VmState* state, int tableIndex);
    void (*Unref)(VmState* state, int tableIndex, int ref);
    void (*GetObjectIdArg)(VmState* state, int index, qzPluginObjectId* id);
    int (*NewNamedMetatable)(VmState* state, const char* typeName);
    void (*GetNamedMetatable)(VmState* state, const char* typeName);
    void* (*TestUserdataType)(VmState* state, int index, const char* typeName);
    void (*BufInit)(VmState* state, qzPluginStringBuffer* buffer);
    char* (*BufPrepare)(qzPluginStringBuffer* buffer);
    void (*BufAddLString)(qzPluginStringBuffer* buffer, const char* s, size_t length);
    void (*BufAddString)(qzPluginStringBuffer* buffer, const char* s);
    void (*BufAddValue)(qzPluginStringBuffer* buffer);
    void (*BufPushResult)(qzPluginStringBuffer* buffer);
    int (*FindStringInList)(const char* name, const char* const* list);
    int (*CheckStack)(VmState* state, int n);
    const char* (*ResolveLinkedFileArg)(VmState* state, int index, int kind, int* isFont);
    /* A creating command's identifier: Nil or no argument asks for an automatic one (result 1). */
    int (*GetOptionalIdArg)(VmState* state, int index, qzPluginObjectId* id);
    void (*PushBoolean)(VmState* state, int b);
    int (*ToBoolean)(VmState* state, int index);
    void (*CreateTable)(VmState* state, int narray, int log2Nodes);
    const char* (*TypeName)(VmState* state, int tag);
    void (*Call)(VmState* state, int nargs, int nresults);
    int (*GetGcThreshold)(VmState* state);
    int (*GetGcCount)(VmState* state);
    void (*SetGcThreshold)(VmState* state, int kb);
} qzVmBase;

/* The three embedded TrueType faces (sans, serif, mono) and their sizes in bytes. */
typedef struct qzInbuiltFonts {
    const void* faces[3];
    size_t sizes[3];
} qzInbuiltFonts;

/* zlib's and libjpeg's functions; the host's libraries answer them. */
typedef struct qzZBase {
    QZ_SLOT(inflateInit_, inflateInit_);
    QZ_SLOT(inflate, inflate);
    QZ_SLOT(inflateEnd, inflateEnd);
    QZ_SLOT(deflateInit_, deflateInit_);
    QZ_SLOT(deflate, deflate);
    QZ_SLOT(deflateEnd, deflateEnd);
    QZ_SLOT(deflateReset, deflateReset);
    QZ_SLOT(deflateParams, deflateParams);
    QZ_SLOT(inflateReset, inflateReset);
    QZ_SLOT(inflateSync, inflateSync);
    QZ_SLOT(inflateInit2_, inflateInit2_);
    QZ_SLOT(deflateInit2_, deflateInit2_);
    QZ_SLOT(crc32, crc32);
} qzZBase;
typedef struct qzJpegBase {
    QZ_SLOT(jpeg_CreateDecompress, jpeg_CreateDecompress);
    QZ_SLOT(jpeg_finish_decompress, jpeg_finish_decompress);
    QZ_SLOT(jpeg_destroy_decompress, jpeg_destroy_decompress);
    QZ_SLOT(jpeg_std_error, jpeg_std_error);
    QZ_SLOT(jpeg_read_header, jpeg_read_header);
    QZ_SLOT(jpeg_read_scanlines, jpeg_read_scanlines);
    QZ_SLOT(jpeg_start_decompress, jpeg_start_decompress);
    QZ_SLOT(jpeg_resync_to_restart, jpeg_resync_to_restart);
    QZ_SLOT(jpeg_CreateCompress, jpeg_CreateCompress);
    QZ_SLOT(jpeg_finish_compress, jpeg_finish_compress);
    QZ_SLOT(jpeg_destroy_compress, jpeg_destroy_compress);
    QZ_SLOT(jpeg_start_compress, jpeg_start_compress);
    QZ_SLOT(jpeg_set_defaults, jpeg_set_defaults);
    QZ_SLOT(jpeg_write_scanlines, jpeg_write_scanlines);
    QZ_SLOT(jpeg_set_quality, jpeg_set_quality);
    QZ_SLOT(jpeg_set_colorspace, jpeg_set_colorspace);
    QZ_SLOT(jpeg_default_colorspace, jpeg_default_colorspace);
    QZ_SLOT(jpeg_destroy, jpeg_destroy);
    QZ_SLOT(jpeg_abort, jpeg_abort);
    QZ_SLOT(jpeg_suppress_tables, jpeg_suppress_tables);
    QZ_SLOT(jpeg_write_raw_data, jpeg_write_raw_data);
    QZ_SLOT(jpeg_write_tables, jpeg_write_tables);
    QZ_SLOT(jpeg_read_raw_data, jpeg_read_raw_data);
    QZ_SLOT(jpeg_save_markers, jpeg_save_markers);
    QZ_SLOT(jpeg_calc_output_dimensions, jpeg_calc_output_dimensions);
} qzJpegBase;

typedef struct qzPluginBase {
    qzLoadedPlugin* (*GetLoadedPluginList)(void);
    void (*Free)(void* block);
    void (*SetPluginDisabled)(qzPluginInfo* info, int disabled);
    void (*SetPluginUserData)(qzPluginInfo* info, intptr_t value);
    intptr_t (*GetPluginUserData)(const qzPluginInfo* info);
} qzPluginBase;

typedef struct qzEncodeBase {
    /* A new NUL-terminated Base64 text (free with qzPluginBase.Free), null when out of memory. */
    char* (*EncodeBase64)(const void* bytes, size_t length);
    /* Decodes into a new block (*length bytes, free with qzPluginBase.Free): 1, or 0 for bad text. */
    int (*DecodeBase64)(const char* text, size_t textLength, void** bytes, size_t* length);
    uint32_t (*Crc32)(const void* bytes, intptr_t length);
    void (*Md5Hex)(const void* bytes, size_t length, char out[33]);
} qzEncodeBase;

/* The block every plugin receives. */
typedef struct qzHostApi {
    int32_t version;  /* 6 */
    int32_t revision; /* 0 */
    qzCLibBase* clib;
    qzSysBase* sys;
    qzDosBase* dos;
    qzGfxBase* gfx;
    qzAudioBase* audio;
    qzRequesterBase* requester;
    qzFontBase* font;
    qzFtBase* ft;
    qzVmBase* vm;
    qzInbuiltFonts* inbuiltFonts;
    qzZBase* z;
    qzJpegBase* jpeg;
    qzPluginBase* plugin;
    qzEncodeBase* encode;
} qzHostApi;

#define QZ_SLOTS(table) (sizeof(table) / sizeof(void*))
QZ_ABI_ASSERT(QZ_SLOTS(qzCLibBase) == 54, "qzCLibBase has 54 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzSysBase) == 46, "qzSysBase has 46 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzDosBase) == 33, "qzDosBase has 33 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzGfxBase) == 32, "qzGfxBase has 32 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzAudioBase) == 3, "qzAudioBase has 3 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzRequesterBase) == 4, "qzRequesterBase has 4 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzFontBase) == 2, "qzFontBase has 2 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzFtBase) == 38, "qzFtBase has 38 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzVmBase) == 78, "qzVmBase has 78 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzInbuiltFonts) == 6, "qzInbuiltFonts has 6 words");
QZ_ABI_ASSERT(QZ_SLOTS(qzZBase) == 13, "qzZBase has 13 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzJpegBase) == 25, "qzJpegBase has 25 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzPluginBase) == 5, "qzPluginBase has 5 slots");
QZ_ABI_ASSERT(QZ_SLOTS(qzEncodeBase) == 4, "qzEncodeBase has 4 slots");
QZ_ABI_ASSERT(offsetof(qzHostApi, clib) == 8 && sizeof(qzHostApi) == 8 + 14 * sizeof(void*),
              "the host API block is version, revision and fourteen table pointers");

/* The entry points a plugin exports. */
#define QZ_PLUGIN_EXPORT __attribute__((visibility("default")))

#ifdef __cplusplus
}
#endif

#endif
