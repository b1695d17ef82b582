/* A library plugin whose commands call the host's brush, sample and font services: a brush's
 * pixels read, its bitmap locked and filled, a brush made from pixels, a sample's data read and
 * changed (shared or copied), and the embedded faces. */
#include "test_plugin.h"

/* BrushPixels(id): width, height, the first and the last pixel; nothing for no pixels. */
static int BrushPixels(VmState* state) {
    qzPluginObjectId id;
    host->vm->GetObjectIdArg(state, 1, &id);
    int width = 0, height = 0;
    uint32_t* pixels = host->gfx->GetBrushPixels(state, &id, &width, &height);
    if (!pixels) return 0;
    host->vm->PushNumber(state, width);
    host->vm->PushNumber(state, height);
    host->vm->PushNumber(state, pixels[0]);
    host->vm->PushNumber(state, pixels[width * height - 1]);
    host->gfx->Free(pixels);
    return 4;
}

/* FillBrush(id, colour): every pixel of the locked bitmap set to the colour; the lock's width and
 * height, nothing when the lock is refused. */
static int FillBrush(VmState* state) {
    qzPluginObjectId id;
    host->vm->GetObjectIdArg(state, 1, &id);
    uint32_t colour = (uint32_t)host->vm->CheckNumber(state, 2);
    qzPluginLock lock;
    void* handle = host->gfx->LockBrushBitMap(state, &id, &lock);
    if (!handle) return 0;
    uint32_t pixel = host->gfx->ConvertARGBToPixel(colour, lock.pixelFormat, 0);
    for (int y = 0; y < lock.height; y++) {
        unsigned char* row = (unsigned char*)lock.pixels + (size_t)y * lock.rowLength * lock.bytesPerPixel;
        for (int x = 0; x < lock.width; x++) {
            if (lock.bytesPerPixel == 4)
                ((uint32_t*)row)[x] = pixel;
            else
                ((uint16_t*)row)[x] = (uint16_t)pixel;
        }
    }
    host->gfx->UnLockBrushBitMap(handle);
    host->vm->PushNumber(state, lock.width);
    host->vm->PushNumber(state, lock.height);
    return 2;
}

/* BrushFromPixels(id or Nil, width, height, alpha): pixel x, y is AA = 0x80 + x, RR = x, GG = y,
 * BB = 0x40, in rows of width + 3 pixels; the handle of an automatic id. */
static int BrushFromPixels(VmState* state) {
    qzPluginObjectId id;
    int automatic = host->vm->GetOptionalIdArg(state, 1, &id);
    int width = host->vm->CheckInteger(state, 2), height = host->vm->CheckInteger(state, 3);
    int alpha = (int)host->vm->OptNumber(state, 4, 0);
    int rowLength = width > 0 ? width + 3 : 0;
    uint32_t* pixels = host->clib->Calloc((size_t)(rowLength * (height > 0 ? height : 0)) + 1, 4);
    if (!pixels) return 1000;
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++)
            pixels[y * rowLength + x] = ((uint32_t)(0x80 + x) << 24) | ((uint32_t)x << 16) | ((uint32_t)y << 8) | 0x40;
    qzTagItem tags[] = {{QZ_BRUSHPIXTAG_ALPHA, alpha}, {0, 0}};
    int error = host->gfx->CreateBrushFromPixels(state, &id, pixels, width, height, rowLength, tags);
    host->clib->Free(pixels);
    if (error) return error;
    if (!automatic) return 0;
    host->vm->PushLightUserdata(state, id.pointer);
    return 1;
}

/* SampleData(id, copy, change): frames, channels, bits and the first value as the plugin sees it;
 * with change the first value is negated before the data goes back. Nothing for no data. */
static int SampleData(VmState* state) {
    qzPluginObjectId id;
    host->vm->GetObjectIdArg(state, 1, &id);
    int copy = (int)host->vm->CheckNumber(state, 2);
    int change = (int)host->vm->OptNumber(state, 3, 0);
    qzPluginSampleData* data = host->audio->GetSampleData(state, &id, copy, NULL);
    if (!data) return 0;
    int first;
    if (data->bits == 16)
        first = *(int16_t*)data->data;
    else if (data->flags & 2)
        first = *(int8_t*)data->data;
    else
        first = *(uint8_t*)data->data - 128;
    if (change) {
        if (data->bits == 16)
            *(int16_t*)data->data = (int16_t)-first;
        else if (data->flags & 2)
            *(int8_t*)data->data = (int8_t)-first;
        else
            *(uint8_t*)data->data = (uint8_t)(128 - first);
    }
    host->vm->PushNumber(state, data->frames);
    host->vm->PushNumber(state, data->channels);
    host->vm->PushNumber(state, data->bits);
    host->vm->PushNumber(state, first);
    host->vm->PushNumber(state, data->copied);
    host->audio->FreeSampleData(data);
    return 5;
}

/* InbuiltFonts(): the three sizes and how many faces begin as TrueType files do (00 01 00 00). */
static int InbuiltFonts(VmState* state) {
    int trueType = 0;
    for (int i = 0; i < 3; i++) {
        host->vm->PushNumber(state, (double)host->inbuiltFonts->sizes[i]);
        const unsigned char* face = host->inbuiltFonts->faces[i];
        if (face && host->inbuiltFonts->sizes[i] >= 4 && face[0] == 0 && face[1] == 1 && face[2] == 0 && face[3] == 0)
            trueType++;
    }
    host->vm->PushNumber(state, trueType);
    return 4;
}

static const qzPluginCommand commands[] = {
    {"BrushPixels", BrushPixels}, {"FillBrush", FillBrush},       {"BrushFromPixels", BrushFromPixels},
    {"SampleData", SampleData},   {"InbuiltFonts", InbuiltFonts}, {NULL, NULL},
};
static const qzPluginConstant constants[] = {{NULL, NULL, 0}};

QZ_PLUGIN_EXPORT int InitPlugin(qzPluginInfo* info, qzHostApi* api, const char* path) {
    StartInit(info, api, path);
    info->author = "Quarnelix tests";
    info->description = "Calls the brush, sample and font services";
    info->capabilities = QZ_PLUGINCAPS_LIBRARY;
    return 1;
}

QZ_PLUGIN_EXPORT void ClosePlugin(void) { MarkClosed(); }

QZ_PLUGIN_EXPORT const char* GetBaseTable(void) { return NULL; }
QZ_PLUGIN_EXPORT const qzPluginCommand* GetCommands(void) { return commands; }
QZ_PLUGIN_EXPORT const qzPluginConstant* GetConstants(void) { return constants; }
QZ_PLUGIN_EXPORT int InitLibrary(VmState* state) {
    (void)state;
    return 0;
}
QZ_PLUGIN_EXPORT void FreeLibrary(VmState* state) { (void)state; }
QZ_PLUGIN_EXPORT int GetLibraryCount(void) { return 1; }
QZ_PLUGIN_EXPORT void SetCurrentLibrary(int index) { (void)index; }
