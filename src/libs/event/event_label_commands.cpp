// Label events: CreateButton, ModifyButton, RemoveButton, CreateKeyDown, ModifyKeyDown,
// RemoveKeyDown, EnableEvent, DisableEvent, ClearEvents, GetEventCode, WhileMouseOn and
// BreakWhileMouseOn.
#include <cstdlib>
#include <cstring>

#include "base/error_codes.h"
#include "display/event_dispatch.h"
#include "display/event_display.h"
#include "display/event_labels.h"
#include "display/event_pump.h"
#include "display/event_sources.h"
#include "libs/event/event_lib.h"
#include "platform/os_alloc.h"
#include "runtime/arg_check.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

const int32_t kButtonKinds[] = {QZ_LABEL_BUTTONOVER, QZ_LABEL_BUTTONCLICK, QZ_LABEL_BUTTONRIGHTCLICK};

struct Rect {
    int32_t left, top, right, bottom;
};

Rect ReadRect(VmState* state) {
    return {VmCheckInteger(state, 2), VmCheckInteger(state, 3), VmCheckInteger(state, 4), VmCheckInteger(state, 5)};
}

// ALL mode: the record kind each of the codes 11 to 14 switches.
int32_t AllModeKind(int32_t code) {
    switch (code) {
    case QZ_LABEL_CLICKALL: return QZ_LABEL_BUTTONCLICK;
    case QZ_LABEL_RIGHTCLICKALL: return QZ_LABEL_BUTTONRIGHTCLICK;
    case QZ_LABEL_OVERALL: return QZ_LABEL_BUTTONOVER;
    case QZ_LABEL_KEYDOWNALL: return QZ_LABEL_KEYDOWN;
    default: return 0;
    }
}

int SetEventActive(VmState* state, int active) {
    VmCheckArgCount(state, 2, 2, 0, 0);
    const int32_t code = VmCheckInteger(state, 1);
    const int32_t id = VmCheckInteger(state, 2);
    if (int32_t kind = AllModeKind(code)) SetLabelAllMode(kind, active);
    for (qzKeyDown* r = FirstLabelRecord(); r; r = r->next)
        if (r->kind == code && r->id == id) r->active = active;
    if (code == QZ_LABEL_CLOSEWINDOW) EventCloseLabelChanged();
    return 0;
}

bool InsideOverRecord(qzKeyDown* record) {
    qzDisplay* display = EventCurrentDisplay();
    if (!display) return false;
    int32_t x = 0, y = 0;
    EventScaledMouse(display, &x, &y);
    return x >= record->left && x <= record->right && y >= record->top && y <= record->bottom;
}

}  // namespace

int EvCreateButton(VmState* state) {
    const int32_t id = VmCheckInteger(state, 1);
    const Rect r = ReadRect(state);
    for (int32_t kind : kButtonKinds) RemoveLabelRecords(kind, id);
    for (int32_t kind : kButtonKinds) {
        int error = AddLabelRecord(kind, id, r.left, r.top, r.right, r.bottom, nullptr);
        if (error) {
            for (int32_t k : kButtonKinds) RemoveLabelRecords(k, id);
            return error;
        }
    }
    return 0;
}

int EvModifyButton(VmState* state) {
    const int32_t id = VmCheckInteger(state, 1);
    const Rect r = ReadRect(state);
    for (qzKeyDown* record = FirstLabelRecord(); record; record = record->next) {
        if (record->id != id) continue;
        if (record->kind != QZ_LABEL_BUTTONOVER && record->kind != QZ_LABEL_BUTTONCLICK &&
            record->kind != QZ_LABEL_BUTTONRIGHTCLICK)
            continue;
        record->left = r.left;
        record->top = r.top;
        record->right = r.right;
        record->bottom = r.bottom;
    }
    return 0;
}

int EvRemoveButton(VmState* state) {
    const int32_t id = VmCheckInteger(state, 1);
    for (int32_t kind : kButtonKinds) RemoveLabelRecords(kind, id);
    return 0;
}

int EvCreateKeyDown(VmState* state) {
    const int32_t id = VmCheckInteger(state, 1);
    const char* key = VmCheckString(state, 2);
    RemoveLabelRecords(QZ_LABEL_KEYDOWN, id);
    return AddLabelRecord(QZ_LABEL_KEYDOWN, id, 0, 0, 0, 0, key);
}

int EvModifyKeyDown(VmState* state) {
    const int32_t id = VmCheckInteger(state, 1);
    size_t length = 0;
    const char* key = VmCheckString(state, 2, &length);
    for (qzKeyDown* r = FirstLabelRecord(); r; r = r->next) {
        if (r->kind != QZ_LABEL_KEYDOWN || r->id != id) continue;
        char* copy = static_cast<char*>(OsAlloc(length + 1, 0));
        if (!copy) return ERR_MEM;
        std::memcpy(copy, key, length + 1);
        OsFree(r->key);
        r->key = copy;
    }
    return 0;
}

int EvRemoveKeyDown(VmState* state) {
    const int32_t id = VmCheckInteger(state, 1);
    RemoveLabelRecords(QZ_LABEL_KEYDOWN, id);
    return 0;
}

int EvEnableEvent(VmState* state) { return SetEventActive(state, 1); }
int EvDisableEvent(VmState* state) { return SetEventActive(state, 0); }

int EvClearEvents(VmState* state) {
    bool closeLabel = false;
    for (qzKeyDown* r = FirstLabelRecord(); r; r = r->next)
        if (r->kind == QZ_LABEL_CLOSEWINDOW) closeLabel = true;
    FreeLabelRecords();
    if (closeLabel) EventCloseLabelChanged();
    return 0;
}

int EvGetEventCode(VmState* state) {
    VmPushNumber(state, LastEventCode());
    return 1;
}

int EvBreakWhileMouseOn(VmState* state) {
    SetLastOverRecord(nullptr);
    return 0;
}

int EvWhileMouseOn(VmState* state) {
    while (qzKeyDown* record = LastOverRecord()) {
        if (!InsideOverRecord(record)) break;
        qzDispatchRecord dispatch;
        int result = RunEventSources(state, 1, 1, &dispatch);
        if (result == -1) return VM_RESULT_LABEL_JUMP;
        if (result) return result;
        if (dispatch.kind == QZ_DISPATCH_NONE) {
            WaitForEvents(state, 1);
            int error = 0;
            if (PumpEvents(state, QZ_PUMP_WAIT, &error)) return error;
        }
    }
    return 0;
}
