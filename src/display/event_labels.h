// Label events: records that make a matching event continue the script at a label of a given
// name ("ONBUTTONCLICK3", "ONKEYDOWN1", "CLOSEWINDOW", ...), the four ALL modes that send every
// match of a kind to one label, the key names that labels and waits use, and the globals that
// GetEventCode, WhileKeyDown and WhileMouseOn read. Main thread only.
#pragma once

#include <cstdint>

struct VmState;
struct qzDisplay;

// Record kinds; also the event codes of EnableEvent and DisableEvent.
enum : int32_t {
    QZ_LABEL_BUTTONOVER = 1,
    QZ_LABEL_BUTTONCLICK = 2,
    QZ_LABEL_KEYDOWN = 3,
    QZ_LABEL_BUTTONRIGHTCLICK = 5,
    QZ_LABEL_MOVEWINDOW = 6,
    QZ_LABEL_SIZEWINDOW = 7,
    QZ_LABEL_INACTIVEWINDOW = 8,
    QZ_LABEL_ACTIVEWINDOW = 9,
    QZ_LABEL_CLOSEWINDOW = 10,
    QZ_LABEL_CLICKALL = 11,
    QZ_LABEL_RIGHTCLICKALL = 12,
    QZ_LABEL_OVERALL = 13,
    QZ_LABEL_KEYDOWNALL = 14,
};

struct qzKeyDown {
    qzKeyDown* next;
    int32_t kind;
    int32_t id;
    int32_t left, top, right, bottom;  // inclusive, picture coordinates
    char* key;                         // key name (kind 3), may be null
    int32_t active;
};

// The list in creation order.
qzKeyDown* FirstLabelRecord();
// Appends a record (active). 0, or ERR_MEM.
int AddLabelRecord(int32_t kind, int32_t id, int32_t left, int32_t top, int32_t right, int32_t bottom, const char* key);
// The first record of that kind and id, or null.
qzKeyDown* FindLabelRecord(int32_t kind, int32_t id);
// Removes every record of that kind and id; 1 when one was removed.
int RemoveLabelRecords(int32_t kind, int32_t id);
// Frees every record; the ALL modes and the globals are left alone.
void FreeLabelRecords();

// 1 while an active CLOSEWINDOW record exists: the script's label handles close requests.
int CloseWindowLabelActive();

// ALL mode of the record kinds 2, 5, 1 and 3 (switched on by the codes 11 to 14).
int IsLabelAllMode(int32_t recordKind);
void SetLabelAllMode(int32_t recordKind, int on);

// The globals.
int32_t LastEventCode();
void SetLastEventCode(int32_t code);
uint32_t LastKeyCode();
void SetLastKeyCode(uint32_t code);
qzKeyDown* LastOverRecord();
void SetLastOverRecord(qzKeyDown* record);
// Back to the start: ALL modes off, globals cleared, records freed.
void ResetLabelEvents();

// Looks for the labels "MOVEWINDOW", "SIZEWINDOW", "INACTIVEWINDOW", "ACTIVEWINDOW",
// "CLOSEWINDOW" and the four ALL labels in the script and makes a record of kind 6 to 14 with id
// 0 for each; the ALL labels also switch their mode on. 1 when "CLOSEWINDOW" was found. 0, or
// ERR_MEM.
int DefineLabelEvents(VmState* state, int* closeWindowLabel);

// The label name a queued event makes for a record, or "" when it does not match. x and y are
// the event's position in picture coordinates (mouse buttons), keyName the key's name (key
// events). Sets the last event code in ALL mode and the last key code for a key match.
// `name` holds 32 bytes.
void LabelForEvent(const qzKeyDown* record, int32_t type, int32_t pressed, int32_t x, int32_t y, const char* keyName,
                   uint32_t keyCode, char* name);

// Sets up the jump to the script label of that name: 1 when it exists, else 0.
int JumpToLabel(VmState* state, const char* name);

// The engine key code of a key name: one printable, non-blank Latin-1 character is its own
// code; longer names are the special keys' names in any case. 0 for an unknown name.
uint32_t KeyCodeFromName(const char* name);
// The qualifier mask of "LSHIFT", "RSHIFT", "LALT", "RALT", "LCOMMAND", "RCOMMAND", "LCONTROL"
// or "RCONTROL" (any case), else 0.
uint32_t QualifierFromName(const char* name);
// The name a key event has for label matching: the special keys' names, else the character.
// `out` holds 32 bytes.
void LabelKeyName(uint32_t code, char* out);
