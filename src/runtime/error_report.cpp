// Error reporting against the running VM.
#include "runtime/error_report.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "base/charset.h"
#include "base/out_of_memory.h"
#include "base/player_identity.h"
#include "runtime/error_messages.h"
#include "runtime/object_registry.h"
#include "runtime/runtime.h"
#include "runtime/script_position.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"
#include "vm/vm_runtime_link.h"

namespace {

// Registry key of the script error handler.
constexpr const char* kErrorHandlerKey = "errorhandler";

void DefaultRequester(const char* title, const char* text, int flags) {
    (void)flags;
    std::fprintf(stderr, "%s: %s\n", title, text);
    std::fflush(stderr);
}

qzErrorRequesterFunc requester = DefaultRequester;

bool StartsWith(const char* s, char c) { return s && s[0] == c; }

// The name of a command as its library's table writes it ("LoadBrush"); the globals hold it
// lower-cased. The frame's own name when no table has it.
const char* CommandDisplayName(const char* name) {
    for (const qzCommandTableNode* t = GetCommandTables(); t; t = t->next)
        for (const qzCommandRow* row = t->table; row && row->name; row++)
            if (CompareNoCase(row->name, name) == 0) return row->name;
    return name;
}

// The file named by the last GetErrorInfo.
std::string lastInfoFile;

}  // namespace

int GetLastErrorCode() { return vmRuntime.lastError; }

void RecordErrorContext(VmState* state) {
    bool sourceTaken = false;
    VmDebug ar;
    for (int level = 0; VmGetStack(state, level, &ar); level++) {
        if (!VmGetInfo(state, "Snl", &ar)) continue;
        if (!sourceTaken && ar.source && !StartsWith(ar.source, '=') && !StartsWith(ar.source, '?')) {
            SetErrorSourceFile(ar.source);
            sourceTaken = true;
        }
        if (std::strcmp(GetErrorCommandName(), QZ_NO_COMMAND) == 0) {
            bool isC = ar.what && std::strcmp(ar.what, "C") == 0;
            bool isMain = ar.what && std::strcmp(ar.what, "main") == 0;
            bool named = ar.namewhat && *ar.namewhat;
            if (isC) {
                if (named && ar.name) SetErrorCommandName(CommandDisplayName(ar.name));
            } else if (!isMain) {
                SetErrorCommandName(named ? (ar.name ? ar.name : "anonymous") : "<<unnamed>>");
            }
        }
        if (vmRuntime.errorLine == -1) {
            VmDebug up;
            if (VmGetStack(state, level + 1, &up) && VmGetInfo(state, "l", &up)) vmRuntime.errorLine = up.currentline;
        }
    }
}

int SignalError(VmState* state, int code) {
    vmRuntime.lastError = code;
    if (IsExitOnError()) {
        if (vmRuntime.callbackDepth == 0) vmRuntime.quitFlag.store(1);
        VmRaiseError(state, code);
    }
    SetErrorCommandName(QZ_NO_COMMAND);
    vmRuntime.errorLine = -1;
    return 0;
}

void SetUserErrorHandler(VmState* state, int index) {
    if (index < 0 && index > VM_REGISTRYINDEX) index = VmGetTop(state) + index + 1;
    VmCheckStack(state, 2);
    VmPushString(state, kErrorHandlerKey);
    if (VmType(state, index) == VM_TFUNCTION)
        VmPushValue(state, index);
    else
        VmPushNil(state);
    VmRawSet(state, VM_REGISTRYINDEX);
}

bool IsUserErrorHandlerInstalled(VmState* state) {
    if (!VmCheckStack(state, 2)) return false;
    VmPushString(state, kErrorHandlerKey);
    VmRawGet(state, VM_REGISTRYINDEX);
    bool installed = VmType(state, -1) == VM_TFUNCTION;
    VmPop(state, 1);
    return installed;
}

int CallUserErrorHandler(VmState* state, int code) {
    int top = VmGetTop(state);
    if (!VmCheckStack(state, 5)) return code;
    VmPushString(state, kErrorHandlerKey);
    VmRawGet(state, VM_REGISTRYINDEX);
    if (VmType(state, -1) != VM_TFUNCTION) {
        VmSetTop(state, top);
        return code;
    }
    // The handler learns which command failed and on which line.
    SetErrorCommandName(QZ_NO_COMMAND);
    vmRuntime.errorLine = -1;
    RecordErrorContext(state);
    VmPushNumber(state, code);
    VmPushString(state, FormatErrorText(code).c_str());
    VmPushString(state, GetErrorCommandName());
    VmPushNumber(state, GetScriptLine(state));
    VmCall(state, 4, 1);
    int result = 0;
    if (VmIsNumber(state, -1)) result = VmTruncateNumber(VmToNumber(state, -1));
    VmSetTop(state, top);
    SetErrorCommandName(QZ_NO_COMMAND);
    return result;
}

namespace {

int FindScriptPosition(VmState* state, void* data) {
    *static_cast<qzScriptPosition*>(data) = CurrentScriptPosition(state);
    return 0;
}

// The script position a report names. Reports are made also after memory ran out, often outside
// any protected call: when finding the position runs out of memory too, the report goes without
// it (false).
bool ReportPosition(VmState* state, qzScriptPosition* pos) {
    if (!state) return false;
    int result = 0;
    return VmCallInFrameProtected(state, FindScriptPosition, pos, &result) == 0;
}

}  // namespace

void GetErrorInfo(VmState* state, int code, char* buffer, size_t size, const char** file, int* line) {
    FormatErrorText(code, buffer, size);
    const char* f = nullptr;
    int l = 0;
    qzScriptPosition pos{0, ""};
    if (IsScriptRunning() && ReportPosition(state, &pos) && CatchOutOfMemory([&] {
                                                                lastInfoFile = pos.file;
                                                                return 0;
                                                            }) == 0) {
        f = lastInfoFile.c_str();
        l = pos.line;
    }
    if (file) *file = f;
    if (line) *line = l;
}

void ShowErrorRequester(VmState* state, const char* text, int plain, int flags) {
    bool running = IsScriptRunning();
    qzScriptPosition pos{0, ""};
    if (running && !ReportPosition(state, &pos)) plain = 1;
    std::string shown;
    if (CatchOutOfMemory([&] {
            shown =
                FormatErrorRequesterText(text, plain != 0, running, pos.file.c_str(), pos.line, GetErrorCommandName());
            return 0;
        }) != 0) {
        // Out of memory for the longer text: the message alone.
        requester(QZ_PLAYER_NAME, text ? text : "", flags);
        return;
    }
    requester(QZ_PLAYER_NAME, shown.c_str(), flags);
}

void SetErrorRequesterFunction(qzErrorRequesterFunc fn) { requester = fn ? fn : DefaultRequester; }
