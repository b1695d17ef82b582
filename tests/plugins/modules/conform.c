/* The conformance plugin: calls one slot of every host table whose answer only that service
 * gives, so that a table in the wrong order fails by position. InitPlugin checks the tables that
 * need no script; the command Conform checks the rest and returns "ok" or the first table and slot
 * that answered wrongly. */
#include <stdio.h>

#include "test_plugin.h"

static const char* failure;

#define CHECK(condition, where)                        \
    do {                                               \
        if (!failure && !(condition)) failure = where; \
    } while (0)

static void CheckTables(qzPluginInfo* info) {
    CHECK(host->version == 6 && host->revision == 0, "api.version");
    CHECK(host->clib->StrCaseCmp("\xe9t\xe9", "\xc9T\xc9") == 0, "clib.23");
    CHECK(host->sys->SetRecordTagValue(info, QZ_PLUGINCAPS_FILEADAPTER, 1) == 0 && info->fileAdapterFlags == 1,
          "sys.45");
    info->fileAdapterFlags = 0;
    CHECK(host->dos->GetPathPartEnd("dir/sub/file.txt") == 7, "dos.21");
    CHECK(host->gfx->ConvertARGBToPixel(0x11223344u, 13, 1) == 0x11443322u, "gfx.27");
    CHECK(host->audio->InstallAudioAdapter(info, 0) == 1055, "audio.2");
    /* Without the requester-adapter capability the plugin is refused. */
    CHECK(host->requester->InstallRequesterAdapter(info, 0) == 1055, "requester.3");
    char path[64];
    CHECK(host->font->OpenFontFile("/nonexistent/font.ttf", path, sizeof path) == 0, "font.0");
    FT_Library library = NULL;
    FT_Int major = 0, minor = 0, patch = 0;
    CHECK(host->ft->FT_Init_FreeType(&library) == 0, "ft.0");
    if (library) {
        host->ft->FT_Library_Version(library, &major, &minor, &patch);
        host->ft->FT_Done_FreeType(library);
    }
    CHECK(major == 2, "ft.31");
    for (int i = 0; i < 3; ++i)
        CHECK((host->inbuiltFonts->faces[i] == NULL) == (host->inbuiltFonts->sizes[i] == 0), "inbuiltfonts");
    CHECK(host->z->crc32(0, (const Bytef*)"abc", 3) == 0x352441C2u, "z.12");
    struct jpeg_error_mgr errors;
    CHECK(host->jpeg->jpeg_std_error(&errors) == &errors, "jpeg.3");
    host->plugin->SetPluginUserData(info, 1234);
    CHECK(host->plugin->GetPluginUserData(info) == 1234, "plugin.4");
    CHECK(host->encode->Crc32("abc", 3) == 0x352441C2u && host->encode->Crc32("abc", 0) == 0xFFFFFFFFu, "encode.2");
}

static int Conform(VmState* state) {
    CHECK(strcmp(host->vm->TypeName(state, 3), "number") == 0, "vm.73");
    host->vm->PushNumber(state, 5);
    CHECK(host->vm->GetTop(state) == 1, "vm.0");
    host->vm->SetTop(state, 0);
    int found = 0;
    qzLoadedPlugin* list = host->plugin->GetLoadedPluginList();
    for (qzLoadedPlugin* p = list; p; p = p->next)
        if (p->info == self) found = 1;
    host->plugin->Free(list);
    CHECK(found, "plugin.0");
    host->vm->PushString(state, failure ? failure : "ok");
    return 1;
}

static const qzPluginCommand commands[] = {{"Conform", Conform}, {NULL, NULL}};

QZ_PLUGIN_EXPORT int InitPlugin(qzPluginInfo* info, qzHostApi* api, const char* path) {
    StartInit(info, api, path);
    info->capabilities = QZ_PLUGINCAPS_LIBRARY;
    CheckTables(info);
    return 1;
}

QZ_PLUGIN_EXPORT void ClosePlugin(void) {}
QZ_PLUGIN_EXPORT const char* GetBaseTable(void) { return NULL; }
QZ_PLUGIN_EXPORT const qzPluginCommand* GetCommands(void) { return commands; }
QZ_PLUGIN_EXPORT const qzPluginConstant* GetConstants(void) { return NULL; }
QZ_PLUGIN_EXPORT int InitLibrary(VmState* state) {
    (void)state;
    return 0;
}
QZ_PLUGIN_EXPORT void FreeLibrary(VmState* state) { (void)state; }
QZ_PLUGIN_EXPORT int GetLibraryCount(void) { return 1; }
QZ_PLUGIN_EXPORT void SetCurrentLibrary(int index) { (void)index; }
