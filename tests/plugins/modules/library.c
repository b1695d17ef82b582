/* A library plugin: two command libraries (the second under the table "plib") with constants,
 * command hooks driven from the script, and an image saver with two formats. */
#include <stdio.h>

#include "test_plugin.h"

static int currentLibrary;
static int lastHookError;
static struct qzCommandHook* hooks[8];
static int hookCount;

static int PluginAdd(VmState* state) {
    double a = host->vm->CheckNumber(state, 1);
    double b = host->vm->CheckNumber(state, 2);
    host->vm->PushNumber(state, a + b);
    return 1;
}

static int PluginEcho(VmState* state) {
    size_t length = 0;
    const char* text = host->vm->CheckString(state, 1, &length);
    host->vm->PushLString(state, text, length);
    return 1;
}

/* Returns its argument as the handler result: an error code fails the command. */
static int PluginFail(VmState* state) { return (int)host->vm->CheckNumber(state, 1); }

static int HookHandler(struct qzCommandHook* hook, VmState* state, qzPluginCFunction function, void* userData) {
    (void)hook, (void)function, (void)userData;
    if (host->vm->Type(state, 1) == 4 && strcmp(host->vm->ToString(state, 1), "raise") == 0)
        host->vm->RaiseError(state, 1055);
    host->vm->PushString(state, "hooked");
    return 1;
}

static void HookErrorHandler(struct qzCommandHook* hook, VmState* state, int code, void* userData) {
    (void)hook, (void)state, (void)userData;
    lastHookError = code;
}

/* HookByName(command name, with error handler): the command's C function runs the hook instead. */
static int HookByName(VmState* state) {
    const char* name = host->vm->CheckString(state, 1, NULL);
    int withErrorHandler = (int)host->vm->OptNumber(state, 2, 0);
    host->vm->PushString(state, name);
    host->vm->GetTable(state, -10001);
    qzPluginCFunction function = host->vm->ToCFunction(state, -1);
    if (!function || hookCount == 8) return 1055;
    struct qzCommandHook* hook =
        host->sys->AddCommandHook(0, 0, HookHandler, withErrorHandler ? HookErrorHandler : NULL, NULL);
    if (!hook || !host->sys->HookCommand(hook, function)) return 1000;
    hooks[hookCount++] = hook;
    return 0;
}

static int Unhook(VmState* state) {
    (void)state;
    while (hookCount) host->sys->RemoveCommandHook(hooks[--hookCount]);
    return 0;
}

static int LastHookError(VmState* state) {
    host->vm->PushNumber(state, lastHookError);
    return 1;
}

static int Twice(VmState* state) {
    host->vm->PushNumber(state, 2 * host->vm->CheckNumber(state, 1));
    return 1;
}

static const qzPluginCommand commands0[] = {
    {"PluginAdd", PluginAdd},
    {"PluginEcho", PluginEcho},
    {"PluginFail", PluginFail},
    {"HookByName", HookByName},
    {"Unhook", Unhook},
    {"LastHookError", LastHookError},
    {NULL, NULL},
};
static const qzPluginConstant constants0[] = {
    {"PLUGIN_ANSWER", NULL, 42},
    {"PLUGIN_TEXT", "hello", 0},
    {NULL, NULL, 0},
};
static const qzPluginCommand commands1[] = {{"Twice", Twice}, {NULL, NULL}};
static const qzPluginConstant constants1[] = {{"PLIB_ONE", NULL, 1}, {NULL, NULL, 0}};

QZ_PLUGIN_EXPORT int InitPlugin(qzPluginInfo* info, qzHostApi* api, const char* path) {
    StartInit(info, api, path);
    info->version = 2;
    info->revision = 5;
    info->author = "Quarnelix tests";
    info->description = "Commands, constants and an image saver";
    info->capabilities = QZ_PLUGINCAPS_LIBRARY | QZ_PLUGINCAPS_SAVEIMAGE | QZ_PLUGINCAPS_REQUIRE;
    return 1;
}

QZ_PLUGIN_EXPORT void ClosePlugin(void) { MarkClosed(); }

QZ_PLUGIN_EXPORT const char* GetBaseTable(void) { return currentLibrary == 1 ? "plib" : NULL; }
QZ_PLUGIN_EXPORT const qzPluginCommand* GetCommands(void) { return currentLibrary == 1 ? commands1 : commands0; }
QZ_PLUGIN_EXPORT const qzPluginConstant* GetConstants(void) { return currentLibrary == 1 ? constants1 : constants0; }
QZ_PLUGIN_EXPORT int GetLibraryCount(void) { return 2; }
QZ_PLUGIN_EXPORT void SetCurrentLibrary(int index) { currentLibrary = index; }

QZ_PLUGIN_EXPORT int InitLibrary(VmState* state) {
    host->vm->PushString(state, "pluginready");
    host->vm->PushNumber(state, 1);
    host->vm->RawSet(state, -10001);
    return 0;
}

QZ_PLUGIN_EXPORT void FreeLibrary(VmState* state) {
    (void)state;
    char marker[1100];
    strcpy(marker, pluginPath);
    strcat(marker, ".freed");
    host->dos->WriteBufferToFile(marker, "freed", 5, 1);
}

QZ_PLUGIN_EXPORT int RequirePlugin(VmState* state, int version, int revision, intptr_t reserved,
                                   const qzTagItem* tags) {
    (void)state, (void)version, (void)revision, (void)reserved, (void)tags;
    return 0;
}

static int saverCall;

QZ_PLUGIN_EXPORT int RegisterImageSaver(qzSaverFormat* format) {
    if (saverCall == 0) {
        format->flags = QZ_SAVERF_MORE_IMAGES | QZ_FILETYPEFLAGS_SAVE;
        format->formatId = 7;
        format->name = "PPMTEST";
        saverCall = 1;
    } else {
        format->flags = QZ_FILETYPEFLAGS_SAVE;
        format->formatId = 8;
        format->name = "RAWTEST";
        saverCall = 0;
    }
    return 1;
}

/* Writes a binary PPM; format 8 writes the raw ARGB words. */
QZ_PLUGIN_EXPORT int SaveImage(const char* file, const uint32_t* pixels, int width, int height, int rowLength,
                               int formatId, const qzTagItem* tags) {
    (void)tags;
    struct qzVfsFile* out = host->dos->OpenFile(file, 1);
    if (!out) return 0;
    if (formatId == 7) {
        char head[64];
        int n = snprintf(head, sizeof head, "P6\n%d %d\n255\n", width, height);
        host->dos->Write(out, head, (size_t)n);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x) {
                uint32_t p = pixels[y * rowLength + x];
                unsigned char rgb[3] = {(unsigned char)(p >> 16), (unsigned char)(p >> 8), (unsigned char)p};
                host->dos->Write(out, rgb, 3);
            }
    } else {
        for (int y = 0; y < height; ++y) host->dos->Write(out, pixels + y * rowLength, (size_t)width * 4);
    }
    return host->dos->Close(out) == 1;
}
