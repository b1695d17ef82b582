// Plugin control: GetPlugins, LoadPlugin, HavePlugin, DisablePlugin and EnablePlugin.
#include <cstring>
#include <string>
#include <vector>

#include "base/charset.h"
#include "base/error_arg.h"
#include "base/error_codes.h"
#include "libs/system/system.h"
#include "runtime/arg_check.h"
#include "runtime/option_table.h"
#include "runtime/plugin_manager.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Plugin texts are read up to this many bytes.
constexpr size_t kMaxPluginText = 4096;

void SetPluginText(VmState* state, const char* key, const char* text) {
    VmPushString(state, key);
    if (text)
        VmPushLString(state, text, strnlen(text, kMaxPluginText));
    else
        VmPushString(state, "");
    VmRawSet(state, -3);
}

void PushFileTypes(VmState* state, const qzPluginInfo* info) {
    VmNewTable(state);
    int index = 0;
    for (const qzPluginFileType* type = info->fileTypes; type; type = type->next) {
        VmNewTable(state);
        SetTableFieldInt(state, "type", type->type);
        SetPluginText(state, "name", type->name);
        SetPluginText(state, "extensions", type->extensions);
        SetPluginText(state, "mimetype", type->mimeType);
        SetTableFieldInt(state, "formatid", type->formatId);
        SetTableFieldUInt(state, "flags", type->flags);
        VmRawSetI(state, -2, index++);
    }
}

std::string WithExtension(const char* name) {
    std::string text = name ? name : "";
    if (text.size() < 4 || CompareNoCase(text.c_str() + text.size() - 4, ".qzp") != 0) text += ".qzp";
    return text;
}

// The record of a plugin file of that name (".qzp" added when missing), loaded or not.
qzPluginRecord* FindRecordByFile(const char* name) {
    std::string file = WithExtension(name);
    size_t slash = file.find_last_of("/\\");
    if (slash != std::string::npos) file.erase(0, slash + 1);
    for (qzPluginRecord* r = GetPluginRecords(); r; r = r->next)
        if (CompareNoCase(r->fileName, file.c_str()) == 0) return r;
    return nullptr;
}

int SetDisabled(VmState* state, int disabled) {
    VmCheckArgCount(state, 1, 1, 0, 0);
    const char* name = VmCheckString(state, 1);
    qzPluginRecord* record = FindLoadedPluginByModuleName(name);
    if (!record) {
        SetErrorArgString(name);
        return ERR_FINDPLUGIN;
    }
    SetPluginDisabled(record->handle->info, disabled);
    return 0;
}

// Tags for RequirePlugin from the options table's other keys; ERR_WRONGUSAGE for a key that is
// not text or a value that is neither number nor text.
int ReadRequireTags(VmState* state, int table, std::vector<std::string>* texts, std::vector<qzRequireTagItem>* tags) {
    VmPushNil(state);
    while (VmNext(state, table)) {
        if (VmType(state, -2) != VM_TSTRING) {
            VmPop(state, 2);
            return ERR_WRONGUSAGE;
        }
        const char* key = VmToString(state, -2);
        if (CompareNoCase(key, "version") == 0 || CompareNoCase(key, "revision") == 0 ||
            CompareNoCase(key, "skiprequire") == 0) {
            VmPop(state, 1);
            continue;
        }
        int type = VmType(state, -1);
        if (type != VM_TNUMBER && type != VM_TSTRING) {
            VmPop(state, 2);
            return ERR_WRONGUSAGE;
        }
        texts->push_back(key);
        texts->push_back(type == VM_TSTRING ? VmToString(state, -1) : "");
        tags->push_back({nullptr, type == VM_TSTRING ? 1 : 0, type == VM_TNUMBER ? VmToNumber(state, -1) : 0, nullptr});
        VmPop(state, 1);
    }
    // The texts no longer move: point the tags at them.
    for (size_t i = 0; i < tags->size(); ++i) {
        (*tags)[i].key = (*texts)[2 * i].c_str();
        if ((*tags)[i].isString) (*tags)[i].text = (*texts)[2 * i + 1].c_str();
    }
    tags->push_back({nullptr, 0, 0, nullptr});
    return 0;
}

}  // namespace

void PushPluginsTable(VmState* state) {
    VmNewTable(state);
    int index = 0;
    for (qzPluginRecord* r = GetPluginRecords(); r; r = r->next) {
        const qzPluginInfo* info = r->handle ? r->handle->info : nullptr;
        if (!info) continue;
        VmNewTable(state);
        SetTableFieldInt(state, "version", info->version);
        SetTableFieldInt(state, "revision", info->revision);
        SetTableFieldUInt(state, "capabilities", r->capabilities);
        SetPluginText(state, "name", info->name);
        SetPluginText(state, "modulename", info->moduleName);
        SetPluginText(state, "author", info->author);
        SetPluginText(state, "description", info->description);
        SetPluginText(state, "copyright", info->copyright);
        SetPluginText(state, "url", info->url);
        SetPluginText(state, "date", info->date);
        SetPluginText(state, "settings", info->settings);
        SetPluginText(state, "helpfile", info->helpFile);
        SetTableFieldInt(state, "disabled", info->disabled ? 1 : 0);
        SetPluginText(state, "path", r->path);
        VmPushString(state, "filetypes");
        PushFileTypes(state, info);
        VmRawSet(state, -3);
        VmRawSetI(state, -2, index++);
    }
}

int SysGetPlugins(VmState* state) {
    PushPluginsTable(state);
    return 1;
}

int SysLoadPlugin(VmState* state) {
    const char* name = VmCheckString(state, 1);
    int32_t version = 0, revision = 0, skipRequire = 0;
    std::vector<std::string> texts;
    std::vector<qzRequireTagItem> tags;
    if (VmGetTop(state) >= 2 && VmType(state, 2) != VM_TNIL) {
        VmCheckTable(state, 2);
        GetTableFieldInt(state, 2, "version", &version, nullptr);
        GetTableFieldInt(state, 2, "revision", &revision, nullptr);
        GetTableFieldBool(state, 2, "skiprequire", &skipRequire, nullptr);
        int code = ReadRequireTags(state, 2, &texts, &tags);
        if (code) return code;
    }
    qzPluginRecord* record = nullptr;
    int code = LoadPluginFile(name, 1, &record);
    if (code == ERR_USERABORT && record && record->handle) {
        if (skipRequire || record->requireCalled) {
            SetErrorArgString(name);
            return ERR_PLUGINDOUBLET;
        }
    } else if (code) {
        return code;
    } else {
        code = InitPluginFeatures(state, record);
        if (code) return code;
        if (skipRequire) return 0;
    }
    const qzPluginInfo* info = record->handle->info;
    std::string module = info->moduleName ? info->moduleName : name;
    return RequirePluginVersion(state, module.c_str(), version, revision, 0, 0, tags.empty() ? nullptr : tags.data(),
                                nullptr);
}

int SysHavePlugin(VmState* state) {
    const char* name = VmCheckString(state, 1);
    int32_t version = VmOptInteger(state, 2, 0);
    int32_t revision = VmOptInteger(state, 3, 0);
    qzPluginRecord* record = FindRecordByFile(name);
    int known = record ? 1 : 0;
    int loaded = 0;
    if (record && record->handle) {
        const qzPluginInfo* info = record->handle->info;
        bool newEnough = info->version > version || (info->version == version && info->revision >= revision);
        // A loaded but older plugin counts as neither.
        if (newEnough)
            loaded = 1;
        else
            known = 0;
    }
    VmPushNumber(state, known);
    VmPushNumber(state, loaded);
    return 2;
}

int SysDisablePlugin(VmState* state) { return SetDisabled(state, 1); }
int SysEnablePlugin(VmState* state) { return SetDisabled(state, 0); }
