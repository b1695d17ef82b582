#include "display/event_dispatch.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "base/charset.h"
#include "base/error_codes.h"
#include "display/event_buttons.h"
#include "display/event_display.h"
#include "display/layer_buttons.h"
#include "platform/os_alloc.h"
#include "runtime/option_table.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

const qzHandlerName qzDisplayHandlerNames[QZ_DISPLAY_HANDLER_COUNT] = {
    {"onkeydown", "OnKeyDown", QZ_DISPATCH_KEY},
    {"onkeyup", "OnKeyUp", QZ_DISPATCH_KEY},
    {"onmousemove", "OnMouseMove", QZ_DISPATCH_MOUSEMOVE},
    {"closewindow", "CloseWindow", QZ_DISPATCH_DISPLAY},
    {"movewindow", "MoveWindow", QZ_DISPATCH_MOVE},
    {"sizewindow", "SizeWindow", QZ_DISPATCH_SIZE},
    {"activewindow", "ActiveWindow", QZ_DISPATCH_DISPLAY},
    {"inactivewindow", "InactiveWindow", QZ_DISPATCH_DISPLAY},
    {"hidewindow", "HideWindow", QZ_DISPATCH_DISPLAY},
    {"showwindow", "ShowWindow", QZ_DISPATCH_DISPLAY},
    {"onmousedown", "OnMouseDown", QZ_DISPATCH_DISPLAY},
    {"onmouseup", "OnMouseUp", QZ_DISPATCH_DISPLAY},
    {"onrightmousedown", "OnRightMouseDown", QZ_DISPATCH_DISPLAY},
    {"onrightmouseup", "OnRightMouseUp", QZ_DISPATCH_DISPLAY},
    {"onwheeldown", "OnWheelDown", QZ_DISPATCH_DISPLAY},
    {"onwheelup", "OnWheelUp", QZ_DISPATCH_DISPLAY},
    {"modeswitch", "ModeSwitch", QZ_DISPATCH_MODESWITCH},
    {"ondropfile", "OnDropFile", QZ_DISPATCH_DROP},
    {"clipboardchange", "ClipboardChange", QZ_DISPATCH_DISPLAY},
    {"onmidmousedown", "OnMidMouseDown", QZ_DISPATCH_DISPLAY},
    {"onmidmouseup", "OnMidMouseUp", QZ_DISPATCH_DISPLAY},
    {"orientationchange", "OrientationChange", QZ_DISPATCH_ORIENTATION},
    {"showkeyboard", "ShowKeyboard", QZ_DISPATCH_DISPLAY},
    {"hidekeyboard", "HideKeyboard", QZ_DISPATCH_DISPLAY},
    {"hotkey", "Hotkey", QZ_DISPATCH_DISPLAY},
    {"trayicon", "TrayIcon", QZ_DISPATCH_DISPLAY},
    {"ontouch", "OnTouch", QZ_DISPATCH_TOUCH},
    {"onapplicationmessage", "OnApplicationMessage", QZ_DISPATCH_APPMESSAGE},
    {"onmenuselect", "OnMenuSelect", QZ_DISPATCH_MENU},
    {"ondockyclick", "OnDockyClick", QZ_DISPATCH_DISPLAY},
};

const qzHandlerName qzGlobalHandlerNames[QZ_GLOBAL_HANDLER_COUNT] = {
    {"onsampleloop", "OnSampleLoop", QZ_DISPATCH_SOUNDEND},
    {"onsampleend", "OnSampleEnd", QZ_DISPATCH_SOUNDEND},
    {"onmusicend", "OnMusicEnd", QZ_DISPATCH_SOUNDEND},
    {"onarexx", "", QZ_DISPATCH_NONE},
    {"onconnect", "OnConnect", QZ_DISPATCH_CONNECT},
    {"ondisconnect", "OnDisconnect", QZ_DISPATCH_DISCONNECT},
    {"onreceivedata", "OnReceiveData", QZ_DISPATCH_RECEIVE},
    {"onreceiveudpdata", "OnReceiveUDPData", QZ_DISPATCH_UDP},
    {"onvideoend", "OnVideoEnd", QZ_DISPATCH_SOUNDEND},
    {"onusermessage", "OnUserMessage", QZ_DISPATCH_MESSAGE},
    {"fillmusicbuffer", "FillMusicBuffer", QZ_DISPATCH_MUSICBUFFER},
};

namespace {

qzHandlerSlot gGlobalSlots[QZ_GLOBAL_HANDLER_COUNT];
qzPluginEventType* gPluginTypes = nullptr;
int gFillMusicBufferRunning = 0;

struct SpecialKey {
    uint32_t code;
    const char* name;
};

// The names of the special keys that key handlers receive, then the four that only labels,
// waits and IsKeyDown use (key handlers get the typed character for them).
const SpecialKey kSpecialKeys[] = {
    {0x113, "ESC"},    {0x100, "UP"},   {0x101, "DOWN"},   {0x102, "RIGHT"},  {0x103, "LEFT"},      {0x104, "HELP"},
    {0x105, "F1"},     {0x106, "F2"},   {0x107, "F3"},     {0x108, "F4"},     {0x109, "F5"},        {0x10a, "F6"},
    {0x10b, "F7"},     {0x10c, "F8"},   {0x10d, "F9"},     {0x10e, "F10"},    {0x116, "F11"},       {0x117, "F12"},
    {0x11f, "F13"},    {0x120, "F14"},  {0x121, "F15"},    {0x122, "F16"},    {0x10f, "BACKSPACE"}, {0x115, "DEL"},
    {0x118, "INSERT"}, {0x119, "HOME"}, {0x11a, "END"},    {0x11b, "PAGEUP"}, {0x11c, "PAGEDOWN"},  {0x11d, "PRINT"},
    {0x11e, "PAUSE"},  {0x110, "TAB"},  {0x112, "RETURN"}, {0x111, "ENTER"},  {0x114, "SPACE"},
};
constexpr size_t kHandlerKeyNames = 31;

void CopyName(char* out, const char* name) { std::snprintf(out, QZ_DISPATCH_NAME_SIZE, "%s", name ? name : ""); }

// The drop list: names each ended by a NUL, an empty name at the end.
void PushDropFiles(VmState* state, const char* list) {
    VmPushString(state, "dropfiles");
    VmNewTable(state);
    int count = 0;
    if (list) {
        for (const char* p = list; *p; p += std::strlen(p) + 1) {
            VmPushString(state, p);
            VmRawSetI(state, -2, count++);
        }
    }
    VmSetTable(state, -3);
    SetTableFieldInt(state, "numdropfiles", count);
}

// The command table: "command", "args", "rawargs", "argc". ERR_MEM before anything is set.
int PushCommandFields(VmState* state, const char* line) {
    qzCommandLineParts parts;
    int error = SplitCommandLine(line ? line : "", &parts);
    if (error) return error;
    // The split arguments go also when a push below raises the VM's out-of-memory error.
    const std::unique_ptr<char, void (*)(void*)> args(parts.args, OsFree);
    VmPushString(state, "command");
    VmPushLString(state, parts.command, parts.commandLength);
    VmSetTable(state, -3);
    VmPushString(state, "args");
    VmPushLString(state, parts.args ? parts.args : "", parts.argsLength);
    VmSetTable(state, -3);
    VmPushString(state, "rawargs");
    VmPushLString(state, parts.rawArgs, parts.rawArgsLength);
    VmSetTable(state, -3);
    SetTableFieldInt(state, "argc", parts.argc);
    return 0;
}

void SetId(VmState* state, qzDispatchRecord* record, const qzObjectId& id) {
    SetTableFieldObjectId(state, "id", id);
    record->idPresent = 1;
    record->resultId = id;
}

void SetDisplayId(VmState* state, qzDispatchRecord* record) {
    if (record->display) SetId(state, record, EventDisplayId(record->display));
}

// Step 4 of the dispatch: the table's fields by kind. The table is on the stack top.
int FillTable(VmState* state, qzDispatchRecord* record) {
    switch (record->kind) {
    case QZ_DISPATCH_BUTTON: {
        const qzBGPicButton* b = record->button;
        SetId(state, record, b->id);
        SetTableFieldString(state, "action", record->action);
        SetTableFieldInt(state, "x", b->left);
        SetTableFieldInt(state, "y", b->top);
        SetTableFieldInt(state, "width", b->right - b->left + 1);
        SetTableFieldInt(state, "height", b->bottom - b->top + 1);
        SetTableFieldInt(state, "mousedown", b->pressed[0] ? 1 : 0);
        SetTableFieldInt(state, "rightmousedown", b->pressed[1] ? 1 : 0);
        SetTableFieldInt(state, "midmousedown", b->pressed[2] ? 1 : 0);
        if (record->display) SetTableFieldObjectId(state, "display", EventDisplayId(record->display));
        if (b->type == QZ_BUTTON_LAYER) {
            SetTableFieldInt(state, "layer", ButtonLayerPosition(record->bgpic, b->layer));
            SetTableFieldString(state, "layername", ButtonLayerName(b->layer));
        }
        break;
    }
    case QZ_DISPATCH_KEY:
        SetTableFieldString(state, "action", record->action);
        SetTableFieldString(state, "key", record->key);
        SetDisplayId(state, record);
        break;
    case QZ_DISPATCH_DISPLAY:
        SetTableFieldString(state, "action", record->action);
        SetDisplayId(state, record);
        break;
    case QZ_DISPATCH_SIZE: {
        int32_t width = 0, height = 0;
        if (record->display) EventDisplaySize(record->display, &width, &height);
        SetTableFieldString(state, "action", record->action);
        SetTableFieldInt(state, "width", width);
        SetTableFieldInt(state, "height", height);
        SetDisplayId(state, record);
        break;
    }
    case QZ_DISPATCH_MOVE: {
        int32_t x = 0, y = 0;
        if (record->display) EventDisplayPosition(record->display, &x, &y);
        SetTableFieldString(state, "action", record->action);
        SetTableFieldInt(state, "x", x);
        SetTableFieldInt(state, "y", y);
        SetDisplayId(state, record);
        break;
    }
    case QZ_DISPATCH_INTERVAL:
    case QZ_DISPATCH_TIMEOUT:
        SetTableFieldString(state, "action", record->action);
        SetId(state, record, record->id);
        break;
    case QZ_DISPATCH_MOUSEMOVE: {
        int32_t x = 0, y = 0;
        if (record->display) EventScaledMouse(record->display, &x, &y);
        SetTableFieldString(state, "action", record->action);
        SetTableFieldInt(state, "x", x);
        SetTableFieldInt(state, "y", y);
        SetDisplayId(state, record);
        break;
    }
    case QZ_DISPATCH_SOUNDEND:
        if (std::strcmp(record->action, "OnMusicEnd") != 0 && std::strcmp(record->action, "OnVideoEnd") != 0) {
            SetTableFieldInt(state, "time", record->time);
            SetTableFieldInt(state, "starts", record->starts);
        }
        SetTableFieldString(state, "action", record->action);
        SetId(state, record, record->id);
        break;
    case QZ_DISPATCH_COMMAND:
    case QZ_DISPATCH_MESSAGE: {
        SetTableFieldString(state, "action", record->action);
        int error = PushCommandFields(state, record->command);
        if (error) return error;
        break;
    }
    case QZ_DISPATCH_MODESWITCH: {
        int32_t width = 0, height = 0;
        if (record->display) EventDisplaySize(record->display, &width, &height);
        SetTableFieldString(state, "action", record->action);
        SetTableFieldInt(state, "mode", record->display ? EventDisplayMode(record->display) : 1);
        SetTableFieldInt(state, "width", width);
        SetTableFieldInt(state, "height", height);
        SetDisplayId(state, record);
        break;
    }
    case QZ_DISPATCH_DROP:
        SetTableFieldString(state, "action", record->action);
        SetDisplayId(state, record);
        SetTableFieldInt(state, "x", record->params[0]);
        SetTableFieldInt(state, "y", record->params[1]);
        PushDropFiles(state, static_cast<const char*>(record->extra));
        break;
    case QZ_DISPATCH_CONNECT:
        SetTableFieldString(state, "action", record->action);
        SetTableFieldObjectId(state, "serverid", record->server);
        SetTableFieldObjectId(state, "clientid", record->client);
        break;
    case QZ_DISPATCH_DISCONNECT:
    case QZ_DISPATCH_RECEIVE:
    case QZ_DISPATCH_UDP:
        SetTableFieldString(state, "action", record->action);
        SetId(state, record, record->id);
        break;
    case QZ_DISPATCH_ORIENTATION:
        SetTableFieldString(state, "action", record->action);
        SetDisplayId(state, record);
        SetTableFieldInt(state, "orientation", record->display ? EventDisplayOrientation(record->display) : 0);
        break;
    case QZ_DISPATCH_MUSICBUFFER:
        SetTableFieldString(state, "action", record->action);
        SetId(state, record, record->id);
        SetTableFieldInt(state, "samples", record->samples);
        SetTableFieldInt(state, "count", record->count);
        break;
    case QZ_DISPATCH_PLUGIN: {
        const qzPluginEventType* type = record->eventType;
        if (type && !type->stub && type->fill) type->fill(state, type->type, record->typeData);
        SetTableFieldString(state, "action", record->action);
        break;
    }
    case QZ_DISPATCH_APPMESSAGE: {
        const char* message = static_cast<const char*>(record->extra);
        SetTableFieldString(state, "action", record->action);
        SetTableFieldString(state, "message", message ? message : "");
        SetTableFieldString(state, "sender", message ? message + std::strlen(message) + 1 : "");
        break;
    }
    case QZ_DISPATCH_MENU: {
        const char* item = static_cast<const char*>(record->extra);
        SetTableFieldString(state, "action", record->action);
        SetDisplayId(state, record);
        SetTableFieldString(state, "item", item ? item : "");
        SetTableFieldInt(state, "selected", record->params[2]);
        break;
    }
    default:  // labels and touches: no fields
        break;
    }
    return 0;
}

// Plugin mode 1: the plugin pushes the arguments; the results are dropped.
int DispatchPluginArguments(VmState* state, qzDispatchRecord* record, int discard) {
    qzPluginEventType* type = record->eventType;
    if (type->stub || !type->push) return 0;
    const int base = VmGetTop(state);
    const bool hasFunction = record->function >= 0;
    if (hasFunction) VmRawGetI(state, VM_REGISTRYINDEX, record->function);
    int count = type->push(state, type->type, record->typeData);
    if (count < 0) {
        VmSetTop(state, base);
        return count == -1 ? 0 : -count;
    }
    if (VmGetTop(state) < base + (hasFunction ? 1 : 0) + count) {
        // The plugin pushed fewer values than it said: nothing is called.
        VmSetTop(state, base);
        return ERR_WRONGUSAGE;
    }
    int status = 0;
    if (hasFunction) {
        SetRuntimeAttrs(state, {{QZ_RTA_CALLBACKDEPTH, 1}});
        status = VmProtectedCall(state, count, 0, 0);
        SetRuntimeAttrs(state, {{QZ_RTA_CALLBACKDEPTH, 0}});
    }
    VmSetTop(state, base);
    if (type->after) type->after(state, type->type, record->typeData);
    (void)discard;
    record->savedTop = VmGetTop(state);
    if (status == 0 && IsQuitRequested()) return ERR_USERABORT;
    return status;
}

}  // namespace

qzHandlerSlot* GlobalHandlerSlots() { return gGlobalSlots; }

int HasGlobalHandler(int slot) {
    return slot >= 0 && slot < QZ_GLOBAL_HANDLER_COUNT && gGlobalSlots[slot].function != -1;
}

int IsFillMusicBufferRunning() { return gFillMusicBufferRunning; }

int FillDispatchFromSlot(const qzHandlerSlot& slot, int32_t kind, const char* action, qzDisplay* display,
                         const int32_t params[3], uint32_t keyCode, void* extra, qzDispatchRecord* record) {
    if (slot.function == -1) return 0;
    record->display = display;
    record->kind = kind;
    for (int i = 0; i < 3; i++) record->params[i] = params ? params[i] : 0;
    record->keyCode = keyCode;
    CopyName(record->action, action);
    record->extra = extra;
    record->function = slot.function;
    record->userData = slot.userData;
    return 1;
}

int DispatchEvent(VmState* state, qzDispatchRecord* record, int discard) {
    record->savedTop = VmGetTop(state);
    record->idPresent = 0;
    if (record->kind == QZ_DISPATCH_PLUGIN && record->eventType && record->eventType->mode == 1)
        return DispatchPluginArguments(state, record, discard);

    VmCheckStack(state, 8);
    VmRawGetI(state, VM_REGISTRYINDEX, record->function);
    VmNewTable(state);
    int error = FillTable(state, record);
    if (error) {
        VmSetTop(state, record->savedTop);
        return error;
    }
    if (record->userData >= 0) {
        VmPushString(state, "userdata");
        VmRawGetI(state, VM_REGISTRYINDEX, record->userData);
        VmSetTable(state, -3);
    }
    if (!discard) {
        // The caller finds the table, then the results.
        VmPushValue(state, -1);
        VmInsert(state, -3);
    }
    if (record->kind == QZ_DISPATCH_MUSICBUFFER) gFillMusicBufferRunning = 1;
    SetRuntimeAttrs(state, {{QZ_RTA_CALLBACKDEPTH, 1}});
    int status = VmProtectedCall(state, 1, discard ? 0 : VM_MULTRET, 0);
    SetRuntimeAttrs(state, {{QZ_RTA_CALLBACKDEPTH, 0}});
    if (record->kind == QZ_DISPATCH_MUSICBUFFER) gFillMusicBufferRunning = 0;
    if (discard) VmSetTop(state, record->savedTop);

    if (status == 0 && record->kind == QZ_DISPATCH_COMMAND && VmGetTop(state) > record->savedTop + 1) {
        int index = record->savedTop + 2;
        if (VmType(state, index) != VM_TSTRING) return ERR_STRCALLBACK;
        size_t length = 0;
        const char* text = VmToString(state, index);
        length = VmStrLen(state, index);
        char* copy = static_cast<char*>(OsAlloc(length + 1, 0));
        if (!copy) return ERR_MEM;
        std::memcpy(copy, text, length + 1);
        OsFree(record->reply);
        record->reply = copy;
    }
    if (status == 0 && IsQuitRequested()) return ERR_USERABORT;
    return status;
}

int CallFillMusicBufferHandler(VmState* state, const qzObjectId& music, int32_t function, int32_t userData,
                               int32_t samples, int32_t count, int discard) {
    qzDispatchRecord record;
    record.kind = QZ_DISPATCH_MUSICBUFFER;
    CopyName(record.action, "FillMusicBuffer");
    record.function = function;
    record.userData = userData;
    record.id = music;
    record.samples = samples;
    record.count = count;
    return DispatchEvent(state, &record, discard);
}

const char* SpecialKeyName(uint32_t code) {
    for (const SpecialKey& k : kSpecialKeys)
        if (k.code == code) return k.name;
    return nullptr;
}

uint32_t SpecialKeyCode(const char* name) {
    for (const SpecialKey& k : kSpecialKeys)
        if (CompareNoCase(k.name, name) == 0) return k.code;
    return 0;
}

void KeyCodeName(uint32_t code, char* out) {
    out[0] = 0;
    if (code == 0) return;
    for (size_t i = 0; i < kHandlerKeyNames; i++) {
        if (kSpecialKeys[i].code == code) {
            CopyName(out, kSpecialKeys[i].name);
            return;
        }
    }
    if (code == 0x111 || code == 0x112) {
        CopyName(out, "\n");
    } else if (code == 0x110) {
        CopyName(out, "        ");
    } else if (code == 0x114) {
        CopyName(out, " ");
    } else if (code <= 0xff) {
        out[0] = static_cast<char>(code);
        out[1] = 0;
    }
    // Codes above 255 without a name are no character: the name stays empty.
}

int SplitCommandLine(const char* line, qzCommandLineParts* out) {
    *out = qzCommandLineParts{line, std::strlen(line), "", 0, nullptr, 0, 0};
    const char* blank = std::strchr(line, ' ');
    if (!blank) return 0;
    out->commandLength = static_cast<size_t>(blank - line);
    out->rawArgs = blank + 1;
    out->rawArgsLength = std::strlen(blank + 1);
    if (out->rawArgsLength == 0) {
        out->argc = 1;
        return 0;
    }
    char* args = static_cast<char*>(OsAlloc(out->rawArgsLength + 1, 0));
    if (!args) return ERR_MEM;
    size_t n = 0;
    int quoted = 0;
    int nuls = 0;
    for (const char* p = out->rawArgs; *p; p++) {
        if (*p == '"') {
            quoted = !quoted;
        } else if (*p == ' ' && !quoted) {
            args[n++] = 0;
            nuls++;
        } else {
            args[n++] = *p;
        }
    }
    args[n] = 0;
    out->args = args;
    out->argsLength = n;
    out->argc = 1 + nuls;
    return 0;
}

int32_t RegisterPluginEventType(const char* name, int32_t mode, const qzPluginEventCallbacks* callbacks, int32_t stub) {
    if (!name || !*name || std::strlen(name) >= QZ_DISPATCH_NAME_SIZE || (mode != 0 && mode != 1)) return 0;
    for (const qzHandlerName& h : qzDisplayHandlerNames)
        if (CompareNoCase(h.installName, name) == 0) return 0;
    for (const qzHandlerName& h : qzGlobalHandlerNames)
        if (CompareNoCase(h.installName, name) == 0) return 0;
    int32_t number = 28;
    qzPluginEventType** tail = &gPluginTypes;
    for (qzPluginEventType* t = gPluginTypes; t; t = t->next) {
        if (CompareNoCase(t->name, name) == 0) return 0;
        number = t->type + 1;
        tail = &t->next;
    }
    size_t length = std::strlen(name);
    auto* type = static_cast<qzPluginEventType*>(OsAlloc(sizeof(qzPluginEventType) + length + 1, 1));
    if (!type) return 0;
    char* stored = reinterpret_cast<char*>(type + 1);
    std::memcpy(stored, name, length + 1);
    type->name = stored;
    type->type = number;
    type->mode = mode;
    type->function = -1;
    type->userData = -1;
    if (callbacks) {
        type->fill = callbacks->fill;
        type->push = callbacks->push;
        type->after = callbacks->after;
        type->freeData = callbacks->freeData;
    }
    type->stub = stub ? 1 : 0;
    *tail = type;
    return number;
}

qzPluginEventType* FirstPluginEventType() { return gPluginTypes; }

qzPluginEventType* FindPluginEventType(int32_t type) {
    for (qzPluginEventType* t = gPluginTypes; t; t = t->next)
        if (t->type == type) return t;
    return nullptr;
}

void FreePluginEventTypes(VmState* state) {
    while (qzPluginEventType* t = gPluginTypes) {
        gPluginTypes = t->next;
        if (state) {
            VmUnref(state, VM_REGISTRYINDEX, t->function);
            VmUnref(state, VM_REGISTRYINDEX, t->userData);
        }
        OsFree(t);
    }
}

void FreeEventData(VmState* state, int type, void* data) {
    if (!data) return;
    if (type < 28) {
        OsFree(data);
        return;
    }
    qzPluginEventType* t = FindPluginEventType(type);
    if (t && t->mode == 1 && !t->stub && t->freeData) t->freeData(state, type, data);
}

void ClearHandlerSlot(VmState* state, qzHandlerSlot* slot) {
    VmUnref(state, VM_REGISTRYINDEX, slot->function);
    VmUnref(state, VM_REGISTRYINDEX, slot->userData);
    slot->function = -1;
    slot->userData = -1;
}

void ClearGlobalHandlers(VmState* state) {
    for (qzHandlerSlot& slot : gGlobalSlots) {
        if (state) {
            ClearHandlerSlot(state, &slot);
        } else {
            slot = qzHandlerSlot{};
        }
    }
}
