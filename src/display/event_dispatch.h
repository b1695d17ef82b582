// Script event handlers and their dispatch: the handler names of displays and the global ones,
// the global handler slots, the dispatch record with which one event becomes one protected call
// of a script function with one table argument, the key names that key handlers receive, and the
// event types that plugins register. Main thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/object_id.h"
#include "display/handler_slot.h"
#include "platform/plugin_api.h"

struct VmState;
struct qzDisplay;
struct qzBGPic;
struct qzBGPicButton;

// What a dispatch builds its table for.
enum : int32_t {
    QZ_DISPATCH_NONE = 0,
    QZ_DISPATCH_BUTTON = 1,
    QZ_DISPATCH_KEY = 2,
    QZ_DISPATCH_DISPLAY = 3,  // "action" and the display's "id"
    QZ_DISPATCH_SIZE = 4,
    QZ_DISPATCH_MOVE = 5,
    QZ_DISPATCH_INTERVAL = 6,
    QZ_DISPATCH_TIMEOUT = 7,
    QZ_DISPATCH_MOUSEMOVE = 8,
    QZ_DISPATCH_SOUNDEND = 9,
    QZ_DISPATCH_COMMAND = 10,
    QZ_DISPATCH_LABEL = 11,
    QZ_DISPATCH_MODESWITCH = 12,
    QZ_DISPATCH_DROP = 13,
    QZ_DISPATCH_CONNECT = 14,
    QZ_DISPATCH_DISCONNECT = 15,
    QZ_DISPATCH_RECEIVE = 16,
    QZ_DISPATCH_UDP = 17,
    QZ_DISPATCH_MESSAGE = 18,
    QZ_DISPATCH_ORIENTATION = 19,
    QZ_DISPATCH_MUSICBUFFER = 20,
    QZ_DISPATCH_PLUGIN = 21,
    QZ_DISPATCH_TOUCH = 22,
    QZ_DISPATCH_APPMESSAGE = 23,
    QZ_DISPATCH_MENU = 24,
};

// One per-display handler: its install name, the action its handler receives and the dispatch
// kind; QZ_DISPLAY_HANDLER_COUNT of them, in slot order.
struct qzHandlerName {
    const char* installName;
    const char* action;
    int32_t kind;
};
constexpr int QZ_DISPLAY_HANDLER_COUNT = 30;
extern const qzHandlerName qzDisplayHandlerNames[QZ_DISPLAY_HANDLER_COUNT];

// Slots of the display handlers the event code names.
enum {
    QZ_HANDLER_ONKEYDOWN = 0,
    QZ_HANDLER_ONKEYUP = 1,
    QZ_HANDLER_ONMOUSEMOVE = 2,
    QZ_HANDLER_CLOSEWINDOW = 3,
    QZ_HANDLER_MOVEWINDOW = 4,
    QZ_HANDLER_SIZEWINDOW = 5,
    QZ_HANDLER_ACTIVEWINDOW = 6,
    QZ_HANDLER_INACTIVEWINDOW = 7,
    QZ_HANDLER_HIDEWINDOW = 8,
    QZ_HANDLER_SHOWWINDOW = 9,
    QZ_HANDLER_ONMOUSEDOWN = 10,
    QZ_HANDLER_ONMOUSEUP = 11,
    QZ_HANDLER_ONRIGHTMOUSEDOWN = 12,
    QZ_HANDLER_ONRIGHTMOUSEUP = 13,
    QZ_HANDLER_ONWHEELDOWN = 14,
    QZ_HANDLER_ONWHEELUP = 15,
    QZ_HANDLER_MODESWITCH = 16,
    QZ_HANDLER_ONDROPFILE = 17,
    QZ_HANDLER_CLIPBOARDCHANGE = 18,
    QZ_HANDLER_ONMIDMOUSEDOWN = 19,
    QZ_HANDLER_ONMIDMOUSEUP = 20,
};

// The global handlers.
enum {
    QZ_GLOBAL_ONSAMPLELOOP = 0,
    QZ_GLOBAL_ONSAMPLEEND = 1,
    QZ_GLOBAL_ONMUSICEND = 2,
    QZ_GLOBAL_ONAREXX = 3,
    QZ_GLOBAL_ONCONNECT = 4,
    QZ_GLOBAL_ONDISCONNECT = 5,
    QZ_GLOBAL_ONRECEIVEDATA = 6,
    QZ_GLOBAL_ONRECEIVEUDPDATA = 7,
    QZ_GLOBAL_ONVIDEOEND = 8,
    QZ_GLOBAL_ONUSERMESSAGE = 9,
    QZ_GLOBAL_FILLMUSICBUFFER = 10,
    QZ_GLOBAL_HANDLER_COUNT = 11,
};
extern const qzHandlerName qzGlobalHandlerNames[QZ_GLOBAL_HANDLER_COUNT];

// The global handler slots ({-1, -1} until a handler is installed).
qzHandlerSlot* GlobalHandlerSlots();
// 1 when the global handler has a function.
int HasGlobalHandler(int slot);

// Longest action and key name, with the terminating NUL.
constexpr size_t QZ_DISPATCH_NAME_SIZE = 32;

struct qzPluginEventType;

// The working record of one dispatch.
struct qzDispatchRecord {
    qzDisplay* display = nullptr;  // the event's display; none for timers, sound, network, plugins
    int32_t kind = QZ_DISPATCH_NONE;
    qzBGPic* bgpic = nullptr;  // button events: the display's picture
    qzBGPicButton* button = nullptr;
    int32_t function = -1;  // registry references
    int32_t userData = -1;
    qzObjectId id = {0, nullptr};  // the timer, sample, music, video, connection or UDP object
    uint32_t keyCode = 0;
    int32_t params[3] = {0, 0, 0};  // from the queue event
    char action[QZ_DISPATCH_NAME_SIZE] = "";
    char key[QZ_DISPATCH_NAME_SIZE] = "";
    int32_t time = 0;  // sound ends
    int32_t starts = 0;
    const char* command = nullptr;     // command line or port message
    char* reply = nullptr;             // command kind: the handler's first string result (owned)
    void* extra = nullptr;             // the queue event's data
    int32_t savedTop = 0;              // stack height before the call
    qzObjectId server = {0, nullptr};  // connects
    qzObjectId client = {0, nullptr};
    int32_t samples = 0;  // music buffers
    int32_t count = 0;
    int32_t idPresent = 0;               // set when the table got an "id"
    qzObjectId resultId = {0, nullptr};  // that "id"
    qzPluginEventType* eventType = nullptr;
    void* typeData = nullptr;
};

// Fills the record for a display handler slot; 0 (nothing to dispatch) when the slot has no
// function, else 1.
int FillDispatchFromSlot(const qzHandlerSlot& slot, int32_t kind, const char* action, qzDisplay* display,
                         const int32_t params[3], uint32_t keyCode, void* extra, qzDispatchRecord* record);

// Builds the table and calls the function, protected. With discard 0 the table and the
// handler's results stay on the stack above record->savedTop (CheckEvent's form); with 1 they are
// dropped. 0, the call's error code, ERR_MEM, or ERR_USERABORT when the player is quitting.
int DispatchEvent(VmState* state, qzDispatchRecord* record, int discard);

// 1 while a FillMusicBuffer handler runs.
int IsFillMusicBufferRunning();

// Runs a music stream's FillMusicBuffer handler at once (results dropped unless discard is 0).
int CallFillMusicBufferHandler(VmState* state, const qzObjectId& music, int32_t function, int32_t userData,
                               int32_t samples, int32_t count, int discard);

// The key name of an engine key code, as key handlers receive it: the names of the special keys
// ("ESC", "F1", "PAGEUP", ...), a line feed for Enter and Return, eight blanks for Tab, a blank
// for Space, else the character itself. `out` holds QZ_DISPATCH_NAME_SIZE bytes.
void KeyCodeName(uint32_t code, char* out);
// The name of a special key, or null: the names above and "TAB", "RETURN", "ENTER", "SPACE".
const char* SpecialKeyName(uint32_t code);
// The engine key code of a special key's name (any case), or 0.
uint32_t SpecialKeyCode(const char* name);

// Splits a command line for a command or message table: "command" is the part before the first
// blank; "args" the rest with blanks outside double quotes turned into NULs and the quotes
// dropped, "argc" 1 + the number of such blanks; "rawargs" the rest as it is. Without a blank,
// args and rawargs are empty and argc is 0.
struct qzCommandLineParts {
    const char* command;
    size_t commandLength;
    const char* rawArgs;
    size_t rawArgsLength;
    char* args;  // owned by the caller (OsFree); null when empty
    size_t argsLength;
    int32_t argc;
};
// 0, or ERR_MEM.
int SplitCommandLine(const char* line, qzCommandLineParts* out);

// ---- Plugin event types ----

// Mode 0: the player builds the table and the fill callback adds fields; mode 1: the plugin
// pushes the arguments itself (the callback types are those of platform/plugin_api.h).

struct qzPluginEventType {
    qzPluginEventType* next;
    const char* name;  // stored behind the record
    int32_t type;      // 28 and up
    int32_t mode;
    int32_t function;  // registry references of the installed handler
    int32_t userData;
    qzEventFillFn fill;
    qzEventPushFn push;
    qzEventAfterFn after;
    qzEventFreeFn freeData;
    int32_t stub;  // callbacks replaced by the do-nothing stub
};

struct qzPluginEventCallbacks {
    qzEventFillFn fill;
    qzEventPushFn push;
    qzEventAfterFn after;
    qzEventFreeFn freeData;
};

// Registers a type: its number (28 for the first, then one more than the last), or 0 when the
// name is empty, QZ_DISPATCH_NAME_SIZE characters or longer, equals a display or global handler
// name or an existing type (any case), or memory runs out. With stub set the callbacks do
// nothing.
int32_t RegisterPluginEventType(const char* name, int32_t mode, const qzPluginEventCallbacks* callbacks, int32_t stub);
qzPluginEventType* FirstPluginEventType();
qzPluginEventType* FindPluginEventType(int32_t type);
// Frees every type with its handler references.
void FreePluginEventTypes(VmState* state);

// Releases the data of a queued event: built-in types free it; a plugin type of mode 1 hands it
// to its free callback; other plugin types leave it.
void FreeEventData(VmState* state, int type, void* data);

// Releases the handler references of a slot and sets it to {-1, -1}.
void ClearHandlerSlot(VmState* state, qzHandlerSlot* slot);
// Clears the global slots (their references released).
void ClearGlobalHandlers(VmState* state);
