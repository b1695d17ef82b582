/* A vector-engine plugin: paths of moves and lines are walked as polygons. Extents are the box of
 * the points (moved by the offset, mapped by the matrix, grown by half the line width when
 * stroked), drawing fills that box with 255 in the target plane at the offset fields, translation
 * moves absolute points, and the current point is the last point, advanced along x by the text
 * size for every character of a text record whose vector font is one this plugin made. Vector
 * fonts are counted in the information block's user data (made minus freed). Names beginning with
 * "stub" make a plugin whose entry points cannot be called; "extents" asks for the inbuilt
 * engine's image sizing (vector extension word 1). */
#include <stdlib.h>

#include "test_plugin.h"

typedef struct Font {
    uint32_t magic;
    FT_Face face;
} Font;

#define FONT_MAGIC 0x56464E54u

static uint32_t ReadU32(const uint8_t* p) {
    uint32_t v;
    memcpy(&v, p, 4);
    return v;
}
static double ReadDouble(const uint8_t* p) {
    double v;
    memcpy(&v, p, 8);
    return v;
}
static void WriteDouble(uint8_t* p, double v) { memcpy(p, &v, 8); }

/* The size of a record this engine knows; 0 ends the walk. */
static size_t RecordSize(const uint8_t* p) {
    switch (ReadU32(p)) {
    case QZ_PATHOP_MOVE:
    case QZ_PATHOP_LINE: return 24;
    case QZ_PATHOP_CURVE: return 56;
    case QZ_PATHOP_SUBPATH:
    case QZ_PATHOP_CLOSE: return 4;
    case QZ_PATHOP_ARC: return 56;
    case QZ_PATHOP_BOX: return 52;
    case QZ_PATHOP_TEXT: return 12 + 4 * ((strlen((const char*)p + 12) + 1) / 4) + 4;
    default: return 0;
    }
}

typedef struct Walk {
    double x, y;           /* current point */
    double x1, y1, x2, y2; /* box of the points */
    int points;
    int badFont;
} Walk;

static void AddPoint(Walk* w, double x, double y) {
    if (!w->points || x < w->x1) w->x1 = x;
    if (!w->points || y < w->y1) w->y1 = y;
    if (!w->points || x > w->x2) w->x2 = x;
    if (!w->points || y > w->y2) w->y2 = y;
    w->points++;
}

static void WalkBuffer(const uint8_t* buffer, double dx, double dy, const double* m, Walk* w) {
    memset(w, 0, sizeof *w);
    for (const uint8_t* p = buffer; p && RecordSize(p); p += RecordSize(p)) {
        uint32_t op = ReadU32(p);
        if (op == QZ_PATHOP_MOVE || op == QZ_PATHOP_LINE) {
            int relative = ReadU32(p + 4) != 0;
            w->x = ReadDouble(p + 8) + (relative ? w->x : dx);
            w->y = ReadDouble(p + 16) + (relative ? w->y : dy);
            AddPoint(w, m ? m[0] * w->x + m[2] * w->y : w->x, m ? m[1] * w->x + m[3] * w->y : w->y);
        } else if (op == QZ_PATHOP_TEXT) {
            Font* font = (Font*)host->font->GetVectorFontHandle(ReadU32(p + 4));
            if (!font || font->magic != FONT_MAGIC) w->badFont = 1;
            w->x += (double)ReadU32(p + 8) * (double)strlen((const char*)p + 12);
        }
    }
}

QZ_PLUGIN_EXPORT int InitPlugin(qzPluginInfo* info, qzHostApi* api, const char* path) {
    StartInit(info, api, path);
    info->capabilities = QZ_PLUGINCAPS_VECTOR | QZ_PLUGINCAPS_EXTENSIONS;
    if (NameStartsWith("stub")) info->callMode = QZ_PLUGIN_CALLMODE_STUB;
    return 1;
}

QZ_PLUGIN_EXPORT void ClosePlugin(void) { MarkClosed(); }

QZ_PLUGIN_EXPORT uint32_t GetExtensions(uint32_t capability, intptr_t reserved) {
    (void)reserved;
    return capability == QZ_PLUGINCAPS_VECTOR && NameStartsWith("extents") ? 1 : 0;
}

QZ_PLUGIN_EXPORT int GetPathExtents(qzPathExtentsBlock* block) {
    Walk w;
    WalkBuffer(block->buffer, block->offsetX, block->offsetY, block->matrix, &w);
    if (!w.points || w.badFont) return 0;
    double grow = block->fill ? 0 : block->lineWidth / 2.0;
    block->x1 = w.x1 - grow;
    block->y1 = w.y1 - grow;
    block->x2 = w.x2 + grow;
    block->y2 = w.y2 + grow;
    return 1;
}

QZ_PLUGIN_EXPORT int DrawPath(qzPathDrawBlock* block) {
    Walk w;
    WalkBuffer(block->buffer, block->offsetX, block->offsetY, block->matrix, &w);
    if (!w.points || w.badFont || block->reserved != 0) return 0;
    for (int y = 0; y < block->height; y++)
        for (int x = 0; x < block->width; x++)
            if (x >= w.x1 && x < w.x2 && y >= w.y1 && y < w.y2)
                block->pixels[(size_t)y * (size_t)block->rowLength + (size_t)x] = 255;
    return 1;
}

QZ_PLUGIN_EXPORT int TranslatePath(qzPathTranslateBlock* block, void* path) {
    if (!path) return 0;
    for (uint8_t* p = block->buffer; RecordSize(p); p += RecordSize(p)) {
        uint32_t op = ReadU32(p);
        if ((op == QZ_PATHOP_MOVE || op == QZ_PATHOP_LINE) && ReadU32(p + 4) == 0) {
            WriteDouble(p + 8, ReadDouble(p + 8) + block->dx);
            WriteDouble(p + 16, ReadDouble(p + 16) + block->dy);
        }
    }
    return 1;
}

QZ_PLUGIN_EXPORT int GetCurrentPoint(const void* buffer, const qzVectorStyle* style, double* x, double* y) {
    (void)style;
    Walk w;
    WalkBuffer(buffer, 0, 0, NULL, &w);
    if (w.badFont) return 0;
    *x = w.x;
    *y = w.y;
    return 1;
}

QZ_PLUGIN_EXPORT void* CreateVectorFont(FT_Face face) {
    if (!face) return NULL;
    Font* font = (Font*)malloc(sizeof *font);
    if (!font) return NULL;
    font->magic = FONT_MAGIC;
    font->face = face;
    self->userData++;
    return font;
}

QZ_PLUGIN_EXPORT void FreeVectorFont(void* handle) {
    Font* font = (Font*)handle;
    if (!font || font->magic != FONT_MAGIC) return;
    font->magic = 0;
    free(font);
    self->userData--;
}

QZ_PLUGIN_EXPORT FT_Face OpenFont(const void* data, size_t size) {
    (void)data, (void)size;
    return NULL;
}

QZ_PLUGIN_EXPORT void CloseFont(FT_Face face) { (void)face; }
