#include "display/event_labels.h"

#include <cstdio>
#include <cstring>

#include "base/charset.h"
#include "base/error_codes.h"
#include "base/event_types.h"
#include "display/event_dispatch.h"
#include "platform/os_alloc.h"
#include "vm/vm_aux.h"

namespace {

qzKeyDown* gRecords = nullptr;
int gAllModes[4] = {0, 0, 0, 0};  // kinds 2, 5, 1, 3
int32_t gLastEventCode = 0;
uint32_t gLastKeyCode = 0;
qzKeyDown* gLastOver = nullptr;

int AllModeIndex(int32_t kind) {
    switch (kind) {
    case QZ_LABEL_BUTTONCLICK: return 0;
    case QZ_LABEL_BUTTONRIGHTCLICK: return 1;
    case QZ_LABEL_BUTTONOVER: return 2;
    case QZ_LABEL_KEYDOWN: return 3;
    default: return -1;
    }
}

void FreeRecord(qzKeyDown* record) {
    if (gLastOver == record) gLastOver = nullptr;
    OsFree(record->key);
    OsFree(record);
}

struct QualifierName {
    const char* name;
    uint32_t mask;
};
const QualifierName kQualifiers[] = {
    {"LSHIFT", 0x80010000u},   {"RSHIFT", 0x80020000u},   {"LALT", 0x80040000u},     {"RALT", 0x80080000u},
    {"LCOMMAND", 0x80100000u}, {"RCOMMAND", 0x80200000u}, {"LCONTROL", 0x80400000u}, {"RCONTROL", 0x80800000u},
};

// The window labels: the record kind of each.
struct WindowLabel {
    const char* name;
    int32_t kind;
};
const WindowLabel kWindowLabels[] = {
    {"MOVEWINDOW", QZ_LABEL_MOVEWINDOW},
    {"SIZEWINDOW", QZ_LABEL_SIZEWINDOW},
    {"INACTIVEWINDOW", QZ_LABEL_INACTIVEWINDOW},
    {"ACTIVEWINDOW", QZ_LABEL_ACTIVEWINDOW},
    {"CLOSEWINDOW", QZ_LABEL_CLOSEWINDOW},
    {"ONBUTTONCLICKALL", QZ_LABEL_CLICKALL},
    {"ONBUTTONRIGHTCLICKALL", QZ_LABEL_RIGHTCLICKALL},
    {"ONBUTTONOVERALL", QZ_LABEL_OVERALL},
    {"ONKEYDOWNALL", QZ_LABEL_KEYDOWNALL},
};

// The event type a window record matches.
int32_t WindowEventType(int32_t kind) {
    switch (kind) {
    case QZ_LABEL_MOVEWINDOW: return QZ_EVENT_MOVEWINDOW;
    case QZ_LABEL_SIZEWINDOW: return QZ_EVENT_SIZEWINDOW;
    case QZ_LABEL_INACTIVEWINDOW: return QZ_EVENT_INACTIVEWINDOW;
    case QZ_LABEL_ACTIVEWINDOW: return QZ_EVENT_ACTIVEWINDOW;
    case QZ_LABEL_CLOSEWINDOW: return QZ_EVENT_CLOSEWINDOW;
    default: return -1;
    }
}

bool Inside(const qzKeyDown* r, int32_t x, int32_t y) {
    return x >= r->left && x <= r->right && y >= r->top && y <= r->bottom;
}

}  // namespace

qzKeyDown* FirstLabelRecord() { return gRecords; }

int AddLabelRecord(int32_t kind, int32_t id, int32_t left, int32_t top, int32_t right, int32_t bottom,
                   const char* key) {
    auto* record = static_cast<qzKeyDown*>(OsAlloc(sizeof(qzKeyDown), 1));
    if (!record) return ERR_MEM;
    if (key) {
        size_t length = std::strlen(key);
        record->key = static_cast<char*>(OsAlloc(length + 1, 0));
        if (!record->key) {
            OsFree(record);
            return ERR_MEM;
        }
        std::memcpy(record->key, key, length + 1);
    }
    record->kind = kind;
    record->id = id;
    record->left = left;
    record->top = top;
    record->right = right;
    record->bottom = bottom;
    record->active = 1;
    qzKeyDown** tail = &gRecords;
    while (*tail) tail = &(*tail)->next;
    *tail = record;
    return 0;
}

qzKeyDown* FindLabelRecord(int32_t kind, int32_t id) {
    for (qzKeyDown* r = gRecords; r; r = r->next)
        if (r->kind == kind && r->id == id) return r;
    return nullptr;
}

int RemoveLabelRecords(int32_t kind, int32_t id) {
    int removed = 0;
    for (qzKeyDown** link = &gRecords; *link;) {
        qzKeyDown* r = *link;
        if (r->kind == kind && r->id == id) {
            *link = r->next;
            FreeRecord(r);
            removed = 1;
        } else {
            link = &r->next;
        }
    }
    return removed;
}

void FreeLabelRecords() {
    while (qzKeyDown* r = gRecords) {
        gRecords = r->next;
        FreeRecord(r);
    }
}

int CloseWindowLabelActive() {
    for (const qzKeyDown* r = gRecords; r; r = r->next)
        if (r->kind == QZ_LABEL_CLOSEWINDOW && r->active) return 1;
    return 0;
}

int IsLabelAllMode(int32_t recordKind) {
    int i = AllModeIndex(recordKind);
    return i >= 0 && gAllModes[i];
}

void SetLabelAllMode(int32_t recordKind, int on) {
    int i = AllModeIndex(recordKind);
    if (i >= 0) gAllModes[i] = on ? 1 : 0;
}

int32_t LastEventCode() { return gLastEventCode; }
void SetLastEventCode(int32_t code) { gLastEventCode = code; }
uint32_t LastKeyCode() { return gLastKeyCode; }
void SetLastKeyCode(uint32_t code) { gLastKeyCode = code; }
qzKeyDown* LastOverRecord() { return gLastOver; }
void SetLastOverRecord(qzKeyDown* record) { gLastOver = record; }

void ResetLabelEvents() {
    FreeLabelRecords();
    for (int& mode : gAllModes) mode = 0;
    gLastEventCode = 0;
    gLastKeyCode = 0;
    gLastOver = nullptr;
}

int DefineLabelEvents(VmState* state, int* closeWindowLabel) {
    if (closeWindowLabel) *closeWindowLabel = 0;
    for (const WindowLabel& label : kWindowLabels) {
        if (VmFindLabel(state, label.name) < 0 || FindLabelRecord(label.kind, 0)) continue;
        int error = AddLabelRecord(label.kind, 0, 0, 0, 0, 0, nullptr);
        if (error) return error;
        if (label.kind == QZ_LABEL_CLOSEWINDOW && closeWindowLabel) *closeWindowLabel = 1;
        if (label.kind >= QZ_LABEL_CLICKALL) {
            static const int32_t kModeKinds[] = {QZ_LABEL_BUTTONCLICK, QZ_LABEL_BUTTONRIGHTCLICK, QZ_LABEL_BUTTONOVER,
                                                 QZ_LABEL_KEYDOWN};
            SetLabelAllMode(kModeKinds[label.kind - QZ_LABEL_CLICKALL], 1);
        }
    }
    return 0;
}

void LabelForEvent(const qzKeyDown* record, int32_t type, int32_t pressed, int32_t x, int32_t y, const char* keyName,
                   uint32_t keyCode, char* name) {
    name[0] = 0;
    if (!record->active) return;
    const char* base = nullptr;
    switch (record->kind) {
    case QZ_LABEL_BUTTONCLICK:
        if (type == QZ_EVENT_LEFTMOUSE && pressed && Inside(record, x, y)) base = "ONBUTTONCLICK";
        break;
    case QZ_LABEL_BUTTONRIGHTCLICK:
        if (type == QZ_EVENT_RIGHTMOUSE && pressed && Inside(record, x, y)) base = "ONBUTTONRIGHTCLICK";
        break;
    case QZ_LABEL_KEYDOWN:
        if (type == QZ_EVENT_KEY && pressed && record->key && keyName && CompareNoCase(record->key, keyName) == 0) {
            base = "ONKEYDOWN";
            gLastKeyCode = keyCode;
        }
        break;
    default:
        for (const WindowLabel& label : kWindowLabels) {
            if (label.kind == record->kind && WindowEventType(record->kind) == type) {
                std::snprintf(name, 32, "%s", label.name);
                return;
            }
        }
        return;
    }
    if (!base) return;
    if (IsLabelAllMode(record->kind)) {
        std::snprintf(name, 32, "%sALL", base);
        gLastEventCode = record->id;
    } else {
        std::snprintf(name, 32, "%s%d", base, record->id);
    }
}

int JumpToLabel(VmState* state, const char* name) { return VmPrepareLabelJump(state, name); }

uint32_t KeyCodeFromName(const char* name) {
    if (!name || !*name) return 0;
    const unsigned char first = static_cast<unsigned char>(name[0]);
    if (name[1] == 0) return IsGraphChar(first) ? first : 0;
    return SpecialKeyCode(name);
}

uint32_t QualifierFromName(const char* name) {
    for (const QualifierName& q : kQualifiers)
        if (CompareNoCase(q.name, name) == 0) return q.mask;
    return 0;
}

void LabelKeyName(uint32_t code, char* out) {
    const char* special = SpecialKeyName(code);
    if (special) {
        std::snprintf(out, 32, "%s", special);
    } else if (code > 0 && code <= 0xff) {
        out[0] = static_cast<char>(code);
        out[1] = 0;
    } else {
        out[0] = 0;
    }
}
