/* An anim-loader plugin for "frames:WxHxN[:alpha][:pen]" names: N frames of W x H, frame k
 * filled with the k-th colour of red, lime, blue, yellow (round and round) and a delay of
 * (k + 1) x 10 ms. ":alpha" reports frames with alpha (half transparent pixels), ":pen" a
 * transparent pen in every frame. A name beginning "noauto" asks not to be activated for anims.
 * The open request's adapter list and load-transparency word, and the last frame request's
 * load-alpha word, are written to a "<plugin path>.log" file; the number of frames handed out and
 * not yet freed, plus 1000 per open anim, is kept in the information block's user data. */
#include <stdio.h>
#include <stdlib.h>

#include "platform/plugin_anim.h"
#include "test_plugin.h"

typedef struct Frames {
    int width, height, count, alpha, pen;
} Frames;

static const uint32_t kColours[4] = {0xFF0000u, 0x00FF00u, 0x0000FFu, 0xFFFF00u};

static char logText[8192];

/* Appends the line to the log and writes the whole log out again. */
static void Log(const char* line) {
    if (strlen(logText) + strlen(line) >= sizeof logText) return;
    strcat(logText, line);
    char path[1100];
    strcpy(path, pluginPath);
    strcat(path, ".log");
    host->dos->WriteBufferToFile(path, logText, strlen(logText), 1);
}

QZ_PLUGIN_EXPORT int InitPlugin(qzPluginInfo* info, qzHostApi* api, const char* path) {
    StartInit(info, api, path);
    info->author = "Quarnelix tests";
    info->description = "Coloured frames";
    info->copyright = "none";
    info->url = "";
    info->date = "01.01.24";
    info->capabilities = QZ_PLUGINCAPS_ANIM | QZ_PLUGINCAPS_EXTENSIONS;
    return 1;
}

QZ_PLUGIN_EXPORT void ClosePlugin(void) { MarkClosed(); }

QZ_PLUGIN_EXPORT uint32_t GetExtensions(uint32_t capability, intptr_t reserved) {
    (void)reserved;
    return capability == QZ_PLUGINCAPS_ANIM && NameStartsWith("noauto") ? QZ_PLUGINEXT_NOAUTOACTIVATE : 0;
}

QZ_PLUGIN_EXPORT void* OpenAnim(const char* file, void* info) {
    qzAnimOpenRequest* request = (qzAnimOpenRequest*)info;
    Frames f;
    memset(&f, 0, sizeof f);
    if (strncmp(file, "frames:", 7) != 0 || sscanf(file + 7, "%dx%dx%d", &f.width, &f.height, &f.count) != 3 ||
        f.width < 1 || f.height < 1 || f.count < 1 || f.width > 1024 || f.height > 1024)
        return NULL;
    f.alpha = strstr(file, ":alpha") != NULL;
    f.pen = strstr(file, ":pen") != NULL;
    Frames* handle = (Frames*)host->clib->Malloc(sizeof(Frames));
    *handle = f;
    request->width = (uint32_t)f.width;
    request->height = (uint32_t)f.height;
    request->frames = (uint32_t)f.count;
    request->hasAlpha = (uint32_t)f.alpha;
    char line[600];
    snprintf(line, sizeof line, "open adapter=%.500s transparency=%u\n", request->adapter,
             (unsigned)request->loadTransparency);
    Log(line);
    self->userData += 1000;
    return handle;
}

QZ_PLUGIN_EXPORT int LoadFrame(void* handle, int frame, void* out) {
    Frames* f = (Frames*)handle;
    qzAnimFrameRequest* request = (qzAnimFrameRequest*)out;
    if (frame < 0 || frame >= f->count) return 0;
    uint32_t* pixels = (uint32_t*)host->clib->Malloc((size_t)f->width * (size_t)f->height * 4);
    if (!pixels) return 0;
    const uint32_t pixel = (f->alpha ? 0x80000000u : 0xFF000000u) | kColours[frame % 4];
    for (int i = 0; i < f->width * f->height; ++i) pixels[i] = pixel;
    request->hasTransparentPen = (uint32_t)f->pen;
    char line[64];
    snprintf(line, sizeof line, "frame %d loadalpha=%u\n", frame, (unsigned)request->loadAlpha);
    Log(line);
    self->userData += 1;
    request->pixels = pixels;
    return 1;
}

QZ_PLUGIN_EXPORT void FreeFrame(void* handle, void* frame) {
    (void)handle;
    host->clib->Free(frame);
    self->userData -= 1;
}

QZ_PLUGIN_EXPORT int GetFrameDelay(void* handle, int frame) {
    (void)handle;
    return (frame + 1) * 10;
}

QZ_PLUGIN_EXPORT void CloseAnim(void* handle) {
    host->clib->Free(handle);
    self->userData -= 1000;
}
