// The requester commands of the `system` library: SystemRequest, FileRequest, PathRequest,
// StringRequest, ListRequest, FontRequest and ColorRequest, through the display code's requesters
// on the current display. The last file and folder chosen are the next requester's defaults.
#include <cstring>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "base/number_literal.h"
#include "display/display.h"
#include "display/requesters.h"
#include "libs/system/system.h"
#include "platform/host/backend_requesters.h"
#include "runtime/applet_records.h"
#include "runtime/arg_check.h"
#include "runtime/option_table.h"
#include "runtime/player_records.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

constexpr int32_t kHideIcons = 65536;
constexpr int kMaxStringLength = 1024;

std::string lastFile;    // the full path FileRequest chose last
std::string lastFolder;  // the folder PathRequest chose last

// The title argument; an empty title is the applet's.
std::string TitleArg(VmState* state, int index) {
    std::string title = VmCheckString(state, index);
    if (title.empty()) {
        if (const qzAppletDescriptor* applet = GetAppletDescriptor(state)) title = applet->title;
    }
    return title;
}

// An optional string argument: null when absent or Nil.
const char* OptText(VmState* state, int index) {
    return VmType(state, index) <= VM_TNIL ? nullptr : VmCheckString(state, index);
}

size_t FilePartStart(const std::string& path) {
    size_t slash = path.find_last_of("/:");
    return slash == std::string::npos ? 0 : slash + 1;
}

bool IsWholeNumber(const char* text) {
    int consumed = 0, error = 0;
    ParseNumberLiteral(text, &consumed, &error);
    return !error && *text && size_t(consumed) == std::strlen(text);
}

// Names of the weights and slants a font name carries after its family.
const char* WeightName(int32_t weight) {
    static const struct {
        int32_t weight;
        const char* name;
    } kNames[] = {{0, "Thin"},       {40, "ExtraLight"}, {50, "Light"},      {75, "Book"},   {100, "Medium"},
                  {180, "SemiBold"}, {200, "Bold"},      {205, "ExtraBold"}, {210, "Heavy"}, {215, "ExtraBlack"}};
    for (const auto& n : kNames)
        if (n.weight == weight) return n.name;
    return nullptr;
}

const char* SlantName(int32_t slant) { return slant == 100 ? "Italic" : slant == 110 ? "Oblique" : nullptr; }

}  // namespace

int SysSystemRequest(VmState* state) {
    std::string title = TitleArg(state, 1);
    const char* body = VmCheckString(state, 2);
    const char* buttons = VmCheckString(state, 3);
    int icon = VmOptInteger(state, 4, QZ_REQICON_NONE);
    int button = 0;
    int error = ShowSystemRequester(state, CurrentDisplay(), title.c_str(), body, buttons, icon, 0, &button);
    if (error && error != ERR_USERABORT) return error;
    VmPushNumber(state, error ? 0 : button);
    return 1;
}

int SysFileRequest(VmState* state) {
    std::string title = TitleArg(state, 1);
    const char* pattern = VmOptString(state, 2, "");
    int32_t mode = VmOptInteger(state, 3, QZ_REQ_NORMAL);
    const char* directory = OptText(state, 4);
    const char* file = OptText(state, 5);
    const int32_t kind = mode & ~kHideIcons;
    if (kind < QZ_REQ_NORMAL || kind > QZ_REQ_SAVEMODE) return ERR_WRONGUSAGE;
    std::string rememberedFolder, rememberedFile;
    if (!directory && !file && !lastFile.empty()) {
        rememberedFolder = lastFile.substr(0, FilePartStart(lastFile));
        rememberedFile = lastFile.substr(FilePartStart(lastFile));
        directory = rememberedFolder.c_str();
        file = rememberedFile.c_str();
    }
    qzFileRequesterResult result;
    int error = ShowFileRequester(state, CurrentDisplay(), title.c_str(), pattern, kind, directory, file,
                                  uint32_t(mode & kHideIcons), 0, &result);
    if (error && error != ERR_USERABORT) return error;
    std::vector<std::string> paths;
    if (!error && result.chosen) {
        for (size_t at = 0; at < result.names.size();) {
            size_t end = result.names.find('\0', at);
            if (end == std::string::npos) end = result.names.size();
            if (end > at) paths.push_back(result.directory + result.names.substr(at, end - at));
            at = end + 1;
        }
    }
    if (!paths.empty()) lastFile = paths[0];
    if (kind != QZ_REQ_MULTISELECT) {
        VmPushString(state, paths.empty() ? "" : paths[0].c_str());
        return 1;
    }
    VmNewTable(state);
    int i = 0;
    for (const std::string& path : paths) {
        VmPushLString(state, path.data(), path.size());
        VmRawSetI(state, -2, i++);
    }
    VmPushString(state, "");
    VmRawSetI(state, -2, i);
    return 1;
}

int SysPathRequest(VmState* state) {
    std::string title = TitleArg(state, 1);
    int32_t mode = VmOptInteger(state, 2, 0);
    const char* directory = OptText(state, 3);
    if (mode != 0 && mode != QZ_REQ_SAVEMODE) return ERR_WRONGUSAGE;
    std::string remembered = lastFolder;
    if (!directory && !remembered.empty()) directory = remembered.c_str();
    std::string path;
    int chosen = 0;
    int error = ShowPathRequester(state, CurrentDisplay(), title.c_str(), mode, directory, 0, &path, &chosen);
    if (error && error != ERR_USERABORT) return error;
    if (error || !chosen) path.clear();
    if (!path.empty()) lastFolder = path;
    VmPushLString(state, path.data(), path.size());
    return 1;
}

int SysStringRequest(VmState* state) {
    std::string title = TitleArg(state, 1);
    const char* body = VmCheckString(state, 2);
    std::string defaultText = VmOptString(state, 3, "");
    int32_t type = VmOptInteger(state, 4, QZ_INPUT_ALL);
    int32_t maxLength = VmOptInteger(state, 5, 0);
    int32_t password = VmOptInteger(state, 6, 0);
    if (type != QZ_INPUT_ALL && type != QZ_INPUT_NUMERICAL) return ERR_WRONGUSAGE;
    if (type == QZ_INPUT_NUMERICAL && !defaultText.empty() && !IsWholeNumber(defaultText.c_str()))
        return ERR_WRONGUSAGE;
    if (maxLength > kMaxStringLength) return ERR_WRONGUSAGE;
    if (maxLength > 0 && defaultText.size() > size_t(maxLength)) defaultText.resize(size_t(maxLength));
    char buffer[QZ_STRING_REQUESTER_BUFFER];
    int error = ShowStringRequester(state, CurrentDisplay(), title.c_str(), body, defaultText.c_str(), type, maxLength,
                                    password, 0, buffer);
    if (error && error != ERR_USERABORT) return error;
    VmPushString(state, error ? "" : buffer);
    VmPushNumber(state, error ? 0 : 1);
    return 2;
}

int SysListRequest(VmState* state) {
    std::string title = TitleArg(state, 1);
    const char* body = VmCheckString(state, 2);
    VmCheckTable(state, 3);
    int32_t preselect = VmOptInteger(state, 4, -1);
    std::vector<std::string> choices;
    for (int i = 0;; i++) {
        VmRawGetI(state, 3, i);
        if (VmType(state, -1) == VM_TNIL) {
            VmPop(state, 1);
            break;
        }
        size_t length = 0;
        const char* text = VmCheckString(state, -1, &length);
        // An empty entry is shown as one blank so that it can still be chosen.
        choices.emplace_back(length ? std::string(text, length) : std::string(" "));
        VmPop(state, 1);
    }
    if (choices.empty()) return ERR_WRONGUSAGE;
    if (preselect < -1 || preselect >= int32_t(choices.size())) preselect = -1;
    int index = -1;
    int error = ShowListRequester(state, CurrentDisplay(), title.c_str(), body, choices, preselect, 0, &index);
    if (error && error != ERR_USERABORT) return error;
    VmPushNumber(state, error ? -1 : index);
    return 1;
}

int SysFontRequest(VmState* state) {
    std::string title = TitleArg(state, 1);
    const char* defaultFont = VmOptString(state, 2, "");
    int32_t flags = VmOptInteger(state, 3, 0);
    qzFontRequesterResult font;
    int error = ShowFontRequester(state, CurrentDisplay(), title.c_str(), defaultFont, 0, flags, &font);
    if (error) return error;
    std::string name = font.name;
    if (font.weight != 80) {
        if (const char* w = WeightName(font.weight)) name += std::string(" ") + w;
    }
    if (font.slant != 0) {
        if (const char* s = SlantName(font.slant)) name += std::string(" ") + s;
    }
    VmNewTable(state);
    SetTableFieldString(state, "name", name.c_str());
    SetTableFieldString(state, "family", font.name);
    SetTableFieldInt(state, "size", font.size);
    SetTableFieldInt(state, "weight", font.weight);
    SetTableFieldInt(state, "slant", font.slant);
    SetTableFieldInt(state, "underline", font.underline);
    SetTableFieldInt(state, "strikeout", font.strikeout);
    SetTableFieldInt(state, "bold", font.bold);
    SetTableFieldInt(state, "italic", font.italic);
    SetTableFieldInt(state, "color", 0);
    return 1;
}

int SysColorRequest(VmState* state) {
    std::string title = TitleArg(state, 1);
    int32_t initial = VmOptInteger(state, 2, -1);
    int32_t colour = -1;
    int error = ShowColorRequester(state, CurrentDisplay(), title.c_str(), initial, 0, &colour);
    if (error && error != ERR_USERABORT) return error;
    VmPushNumber(state, error ? -1 : colour);
    return 1;
}

void ForgetRequesterPaths() {
    lastFile.clear();
    lastFolder.clear();
}
