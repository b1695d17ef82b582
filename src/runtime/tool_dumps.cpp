// Tool dumps written through the virtual-file layer.
#include "runtime/tool_dumps.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/error_codes.h"
#include "platform/vfs.h"
#include "runtime/error_messages.h"
#include "runtime/object_registry.h"
#include "runtime/plugin_manager.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// A dump file: lines are collected and written in one go.
int WriteDump(const char* fileName, const std::string& text) {
    qzVfsFile* file = VfsOpen(fileName, QZ_VFS_WRITE, nullptr);
    if (!file) {
        SetErrorArgString(fileName);
        return ERR_WRITEFILE;
    }
    int rc = VfsWriteString(file, text.c_str()) == text.size() ? 0 : ERR_WRITE;
    if (VfsClose(file) != 1 && !rc) rc = ERR_WRITE;
    return rc;
}

}  // namespace

int ExportPreprocessorKeywords(const char* fileName) {
    static const char* const kKeywords[] = {
        "BGPIC",    "BRUSH",   "ANIM",     "SPRITE",    "SAMPLE",       "MUSIC",          "FILE",       "FONT",
        "VIDEO",    "VERSION", "APPTITLE", "APPAUTHOR", "APPCOPYRIGHT", "APPDESCRIPTION", "APPVERSION", "APPICON",
        "BACKFILL", "SCREEN",  "DISPLAY",  "INCLUDE",   "OPTIONS",      "REQUIRE",        "MENU",
    };
    std::string text;
    for (const char* k : kKeywords) text += std::string(k) + "\n";
    return WriteDump(fileName, text);
}

int ExportConstantNames(VmState* state, const char* fileName) {
    std::string text;
    VmPushString(state, "constants");
    VmRawGet(state, VM_REGISTRYINDEX);
    if (VmType(state, -1) == VM_TTABLE) {
        int table = VmAbsIndex(state, -1);
        VmPushNil(state);
        while (VmNext(state, table)) {
            // Only string keys are names; converting another key would upset the traversal.
            if (VmType(state, -2) == VM_TSTRING) text += std::string(VmToString(state, -2)) + "\n";
            VmPop(state, 1);
        }
    }
    VmPop(state, 1);
    return WriteDump(fileName, text);
}

int ExportCommandTables(const char* fileName) {
    std::string text;
    for (const qzCommandTableNode* node = GetCommandTables(); node; node = node->next) {
        unsigned long rows = 0;
        for (const qzCommandRow* row = node->table; row && row->name; ++row) ++rows;
        text += "::" + std::string(node->libraryName) + "\n" + std::to_string(rows) + "\n";
        for (const qzCommandRow* row = node->table; row && row->name; ++row) text += std::string(row->name) + "\n";
    }
    text += "::end\n";
    return WriteDump(fileName, text);
}

namespace {

// A plugin text as one line; absent texts give an empty line.
void AddLine(std::string* text, const char* line) {
    if (line) text->append(line, strnlen(line, 4096));
    *text += "\n";
}

}  // namespace

int WritePluginInfo(const char* fileName) {
    std::string text;
    for (const qzPluginRecord* r = GetPluginRecords(); r; r = r->next) {
        const qzPluginInfo* info = r->handle ? r->handle->info : nullptr;
        if (!info) continue;
        char line[64];
        text += "::plugin\n";
        std::snprintf(line, sizeof line, "%d.%d\n0x%.8x\n", info->version, info->revision, r->capabilities);
        text += line;
        const char* const fields[] = {info->name, info->author, info->description, info->copyright,
                                      info->url,  info->date,   info->settings,    info->helpFile};
        for (const char* field : fields) AddLine(&text, field);
        if (!(r->capabilities & QZ_PLUGINCAPS_LIBRARY)) continue;
        VisitPluginLibraries(
            info, [&text](const char* base, const qzPluginCommand* commands, const qzPluginConstant* constants) {
                for (const qzPluginCommand* c = commands; c && c->name; ++c) {
                    if (c == commands) text += "::commands\n";
                    if (base) text += std::string(base, strnlen(base, 4096)) + ".";
                    AddLine(&text, c->name);
                }
                for (const qzPluginConstant* c = constants; c && c->name; ++c) {
                    if (c == constants) text += "::constants\n";
                    AddLine(&text, c->name);
                }
                return 0;
            });
    }
    text += "::end\n";
    return WriteDump(fileName, text);
}
