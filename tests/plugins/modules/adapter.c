/* A display-adapter plugin that offers video bitmaps: it keeps a copy of the pixels it is given
 * and hands them back. It installs itself in InitPlugin and keeps the installer's answer in its
 * user data. Built a second time without Cls, which makes it unloadable. */
#include <stdlib.h>

#include "test_plugin.h"

typedef struct Video {
    int width, height;
    uint32_t* pixels;
} Video;

QZ_PLUGIN_EXPORT int InitPlugin(qzPluginInfo* info, qzHostApi* api, const char* path) {
    StartInit(info, api, path);
    info->capabilities = QZ_PLUGINCAPS_DISPLAYADAPTER;
    info->displayFlags = 16;
    info->displayFeatures = 1 | 4;
    info->userData = host->gfx->InstallDisplayAdapter(info, 0, NULL);
    return 1;
}

QZ_PLUGIN_EXPORT void ClosePlugin(void) { MarkClosed(); }

QZ_PLUGIN_EXPORT void* AllocVideoBitMap(int width, int height, uint32_t flags, int32_t* prepared,
                                        const qzTagItem* tags) {
    (void)flags;
    const uint32_t* source = NULL;
    for (const qzTagItem* t = tags; t && t->tag; ++t)
        if (t->tag == QZ_VIDEOBMTAG_PIXELS) source = (const uint32_t*)t->value;
    Video* v = (Video*)malloc(sizeof(Video));
    v->width = width;
    v->height = height;
    v->pixels = (uint32_t*)calloc((size_t)width * (size_t)height, 4);
    if (source) memcpy(v->pixels, source, (size_t)width * (size_t)height * 4);
    if (prepared) *prepared = 0;
    return v;
}

QZ_PLUGIN_EXPORT void FreeVideoBitMap(void* handle) {
    Video* v = (Video*)handle;
    free(v->pixels);
    free(v);
}

QZ_PLUGIN_EXPORT uint32_t* ReadVideoPixels(void* handle, int* width, int* height, int* rowLength) {
    Video* v = (Video*)handle;
    uint32_t* copy = (uint32_t*)malloc((size_t)v->width * (size_t)v->height * 4);
    memcpy(copy, v->pixels, (size_t)v->width * (size_t)v->height * 4);
    *width = v->width;
    *height = v->height;
    *rowLength = v->width;
    return copy;
}

QZ_PLUGIN_EXPORT void FreeVideoPixels(void* handle, uint32_t* pixels) {
    (void)handle;
    free(pixels);
}

QZ_PLUGIN_EXPORT intptr_t DoVideoBitMapMethod(void* handle, int method, intptr_t argument) {
    (void)handle, (void)method, (void)argument;
    return 1;
}

/* The rest of a display adapter: nothing to do in a test. */
QZ_PLUGIN_EXPORT int HandleEvents(VmState* s, uint32_t f) {
    (void)s, (void)f;
    return 0;
}
QZ_PLUGIN_EXPORT int WaitEvents(VmState* s, const qzTagItem* t) {
    (void)s, (void)t;
    return 0;
}
QZ_PLUGIN_EXPORT int ForceEventLoopIteration(void) { return 0; }
QZ_PLUGIN_EXPORT int DetermineBorderSizes(void* d, int32_t b[4]) {
    (void)d, (void)b;
    return 0;
}
QZ_PLUGIN_EXPORT void* OpenDisplay(VmState* s, const char* t, int x, int y, int w, int h, const qzTagItem* g) {
    (void)s, (void)t, (void)x, (void)y, (void)w, (void)h, (void)g;
    return NULL;
}
QZ_PLUGIN_EXPORT void CloseDisplay(void* d) { (void)d; }
QZ_PLUGIN_EXPORT int ChangeBufferSize(void* d, int w, int h) {
    (void)d, (void)w, (void)h;
    return 0;
}
QZ_PLUGIN_EXPORT int ShowHideDisplay(void* d, int s) {
    (void)d, (void)s;
    return 0;
}
QZ_PLUGIN_EXPORT int SizeMoveDisplay(void* d, int x, int y, int w, int h) {
    (void)d, (void)x, (void)y, (void)w, (void)h;
    return 0;
}
QZ_PLUGIN_EXPORT int SetDisplayTitle(void* d, const char* t) {
    (void)d, (void)t;
    return 0;
}
QZ_PLUGIN_EXPORT int ActivateDisplay(void* d, int f) {
    (void)d, (void)f;
    return 0;
}
QZ_PLUGIN_EXPORT int SetDisplayAttributes(void* d, const qzTagItem* t) {
    (void)d, (void)t;
    return 0;
}
QZ_PLUGIN_EXPORT void* CreatePointer(const uint32_t* p, int w, int h, int x, int y) {
    (void)p, (void)w, (void)h, (void)x, (void)y;
    return NULL;
}
QZ_PLUGIN_EXPORT void FreePointer(void* p) { (void)p; }
QZ_PLUGIN_EXPORT int SetPointer(void* d, void* p) {
    (void)d, (void)p;
    return 0;
}
QZ_PLUGIN_EXPORT int ShowHidePointer(void* d, int s) {
    (void)d, (void)s;
    return 0;
}
QZ_PLUGIN_EXPORT int MovePointer(void* d, int x, int y) {
    (void)d, (void)x, (void)y;
    return 0;
}
QZ_PLUGIN_EXPORT int GetMousePos(void* d, int* x, int* y) {
    (void)d, (void)x, (void)y;
    return 0;
}
QZ_PLUGIN_EXPORT uint32_t GetQualifiers(void* d) {
    (void)d;
    return 0;
}
QZ_PLUGIN_EXPORT int BltBitMap(void* s, int sx, int sy, void* d, int dx, int dy, int w, int h, const qzTagItem* t) {
    (void)s, (void)sx, (void)sy, (void)d, (void)dx, (void)dy, (void)w, (void)h, (void)t;
    return 0;
}
QZ_PLUGIN_EXPORT int RectFill(void* d, int a, int b, int c, int e, uint32_t k, const qzTagItem* t) {
    (void)d, (void)a, (void)b, (void)c, (void)e, (void)k, (void)t;
    return 0;
}
QZ_PLUGIN_EXPORT int WritePixel(void* d, int x, int y, uint32_t c, const qzTagItem* t) {
    (void)d, (void)x, (void)y, (void)c, (void)t;
    return 0;
}
QZ_PLUGIN_EXPORT int Line(void* d, int a, int b, int c, int e, uint32_t k, const qzTagItem* t) {
    (void)d, (void)a, (void)b, (void)c, (void)e, (void)k, (void)t;
    return 0;
}
QZ_PLUGIN_EXPORT void Sleep(int32_t ms) { (void)ms; }
QZ_PLUGIN_EXPORT int VWait(void* d) {
    (void)d;
    return 0;
}
QZ_PLUGIN_EXPORT void* GetMonitorInfo(const qzTagItem* t) {
    (void)t;
    return NULL;
}
QZ_PLUGIN_EXPORT void FreeMonitorInfo(void* m) { (void)m; }
QZ_PLUGIN_EXPORT uint32_t* GrabScreenPixels(void* d, int x, int y, int w, int h) {
    (void)d, (void)x, (void)y, (void)w, (void)h;
    return NULL;
}
QZ_PLUGIN_EXPORT void FreeGrabScreenPixels(uint32_t* p) { (void)p; }
QZ_PLUGIN_EXPORT int BeginDoubleBuffer(void* d, const qzTagItem* t) {
    (void)d, (void)t;
    return 0;
}
QZ_PLUGIN_EXPORT int EndDoubleBuffer(void* d) {
    (void)d;
    return 0;
}
QZ_PLUGIN_EXPORT int Flip(void* d, const int32_t b[3]) {
    (void)d, (void)b;
    return 0;
}
#ifndef QZ_OMIT_CLS
QZ_PLUGIN_EXPORT int Cls(void* d, uint32_t c) {
    (void)d, (void)c;
    return 0;
}
#endif
QZ_PLUGIN_EXPORT void* AllocBitMap(int k, int w, int h, int c, const qzTagItem* t) {
    (void)k, (void)w, (void)h, (void)c, (void)t;
    return NULL;
}
QZ_PLUGIN_EXPORT void FreeBitMap(void* h) { (void)h; }
QZ_PLUGIN_EXPORT intptr_t LockBitMap(void* h, int r, intptr_t* o, const qzTagItem* t) {
    (void)h, (void)r, (void)o, (void)t;
    return 0;
}
QZ_PLUGIN_EXPORT void UnLockBitMap(intptr_t l) { (void)l; }
QZ_PLUGIN_EXPORT intptr_t GetBitMapAttr(void* h, int a, const qzTagItem* t) {
    (void)h, (void)a, (void)t;
    return 0;
}
