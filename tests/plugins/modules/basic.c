/* A basic plugin: an image loader for "pattern:WxH[:alpha][:vector]" names and a requirement
 * entry. Its name is its file name; names beginning with these words change what it does:
 * "refuse" (InitPlugin refuses), "mismatch" (names itself "other"), "needs61" (needs player 6.1
 * and joins the image list itself first), "typeless" (no known capability), "noauto" (asks not to
 * be activated for images), "stub" (entry points that cannot be called here). The number of live
 * images is kept in the information block's user data. */
#include <stdio.h>
#include <stdlib.h>

#include "test_plugin.h"

typedef struct Pattern {
    int width, height, alpha, vector;
    uint32_t* pixels;
} Pattern;

static void Render(Pattern* p) {
    for (int y = 0; y < p->height; ++y)
        for (int x = 0; x < p->width; ++x)
            p->pixels[y * p->width + x] = (p->alpha ? 0x80000000u : 0xFF000000u) | ((uint32_t)(x & 0xFF) << 16) |
                                          ((uint32_t)(y & 0xFF) << 8) | 0x40;
}

static int Parse(const char* file, Pattern* p) {
    if (strncmp(file, "pattern:", 8) != 0) return 0;
    memset(p, 0, sizeof *p);
    if (sscanf(file + 8, "%dx%d", &p->width, &p->height) != 2 || p->width < 1 || p->height < 1 || p->width > 4096 ||
        p->height > 4096)
        return 0;
    p->alpha = strstr(file, ":alpha") != NULL;
    p->vector = strstr(file, ":vector") != NULL;
    return 1;
}

QZ_PLUGIN_EXPORT int InitPlugin(qzPluginInfo* info, qzHostApi* api, const char* path) {
    StartInit(info, api, path);
    if (NameStartsWith("refuse")) return 0;
    if (NameStartsWith("mismatch")) info->name = "other";
    info->revision = 2;
    info->author = "Quarnelix tests";
    info->description = "Pattern images";
    info->copyright = "none";
    info->url = "";
    info->date = "01.01.24";
    info->capabilities = QZ_PLUGINCAPS_IMAGE | QZ_PLUGINCAPS_REQUIRE | QZ_PLUGINCAPS_EXTENSIONS;
    if (NameStartsWith("typeless")) info->capabilities = 0x40000;
    if (NameStartsWith("stub")) info->callMode = QZ_PLUGIN_CALLMODE_STUB;
    if (NameStartsWith("needs61")) {
        info->requiredRevision = 1;
        host->sys->RegisterPluginForCapability(info, QZ_PLUGINCAPS_IMAGE);
    }
    host->sys->RegisterFileType(info, QZ_FILETYPE_IMAGE, "Pattern", NULL, "pattern", 0, 0);
    return 1;
}

QZ_PLUGIN_EXPORT void ClosePlugin(void) { MarkClosed(); }

QZ_PLUGIN_EXPORT uint32_t GetExtensions(uint32_t capability, intptr_t reserved) {
    (void)reserved;
    return capability == QZ_PLUGINCAPS_IMAGE && NameStartsWith("noauto") ? QZ_PLUGINEXT_NOAUTOACTIVATE : 0;
}

QZ_PLUGIN_EXPORT int RequirePlugin(VmState* state, int version, int revision, intptr_t reserved,
                                   const qzTagItem* tags) {
    (void)state, (void)version, (void)revision, (void)reserved;
    uint32_t* flags = NULL;
    const qzRequireTagItem* items = NULL;
    for (const qzTagItem* t = tags; t && t->tag; ++t) {
        if (t->tag == QZ_REQUIRETAG_FLAGS) flags = (uint32_t*)t->value;
        if (t->tag == QZ_REQUIRETAG_TAGS) items = (const qzRequireTagItem*)t->value;
    }
    for (const qzRequireTagItem* i = items; i && i->key; ++i) {
        if (strcmp(i->key, "hidden") == 0 && flags) *flags |= QZ_REQUIREF_HIDDENDISPLAYS;
        if (strcmp(i->key, "fail") == 0) return (int)i->number;
    }
    return 0;
}

QZ_PLUGIN_EXPORT int IsImage(const char* file, qzImageInfo* info) {
    Pattern p;
    if (!Parse(file, &p)) return 0;
    info->width = p.width;
    info->height = p.height;
    info->depth = 32;
    info->type = p.vector ? 1 : 0;
    info->flags = p.alpha ? QZ_IMAGEINFOF_ALPHA : 0;
    return 1;
}

QZ_PLUGIN_EXPORT void* LoadImage(const char* file, qzImageInfo* info) {
    Pattern p;
    if (!Parse(file, &p)) return NULL;
    Pattern* image = (Pattern*)host->clib->Malloc(sizeof(Pattern));
    *image = p;
    image->pixels = (uint32_t*)host->clib->Malloc((size_t)p.width * (size_t)p.height * 4);
    Render(image);
    info->type = p.vector ? 1 : 0;
    self->userData += 1;
    return image;
}

QZ_PLUGIN_EXPORT int GetImage(void* handle, qzImageInfo* info, qzPluginPixels* pixels) {
    Pattern* image = (Pattern*)handle;
    info->width = image->width;
    info->height = image->height;
    info->type = image->vector ? 1 : 0;
    info->flags = image->alpha ? QZ_IMAGEINFOF_ALPHA : 0;
    pixels->pixels = image->pixels;
    pixels->width = image->width;
    pixels->height = image->height;
    pixels->rowLength = image->width;
    return 1;
}

QZ_PLUGIN_EXPORT void FreeImage(void* handle) {
    Pattern* image = (Pattern*)handle;
    host->clib->Free(image->pixels);
    host->clib->Free(image);
    self->userData -= 1;
}

QZ_PLUGIN_EXPORT int TransformImage(void* handle, const double matrix[4], int width, int height) {
    Pattern* image = (Pattern*)handle;
    if (!image->vector || matrix[1] != 0 || matrix[2] != 0 || width < 1 || height < 1) return 0;
    uint32_t* pixels = (uint32_t*)host->clib->Malloc((size_t)width * (size_t)height * 4);
    if (!pixels) return 0;
    host->clib->Free(image->pixels);
    image->pixels = pixels;
    image->width = width;
    image->height = height;
    Render(image);
    return 1;
}
