// Debugging and error control: End, GetErrorName, DebugPrint, ExitOnError, GetLastError,
// DebugOutput, Error, RaiseOnError, DebugPrompt and GetConstant.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/error_codes.h"
#include "libs/system/system.h"
#include "runtime/applet_records.h"
#include "runtime/arg_check.h"
#include "runtime/console.h"
#include "runtime/error_messages.h"
#include "runtime/error_report.h"
#include "runtime/player_records.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Longest line DebugPrompt reads.
constexpr size_t kPromptLineSize = 16384;

// Converts the argument at index to text on the stack top: with the global "tostring" when there
// is one, else numbers and strings as they are and other values by type name and address.
void PushAsText(VmState* state, int index) {
    VmPushString(state, "tostring");
    VmGetTable(state, VM_GLOBALSINDEX);
    if (VmType(state, -1) == VM_TFUNCTION) {
        VmPushValue(state, index);
        VmCall(state, 1, 1);
        if (VmIsString(state, -1)) return;
        VmPop(state, 1);
        VmPushString(state, "?");
        return;
    }
    VmPop(state, 1);
    switch (VmType(state, index)) {
    case VM_TNUMBER:
    case VM_TSTRING:
        VmPushValue(state, index);
        VmToString(state, -1);
        break;
    case VM_TNIL: VmPushString(state, "Nil"); break;
    default: VmPushFString(state, "%s: %p", VmTypeName(state, VmType(state, index)), VmToPointer(state, index)); break;
    }
}

}  // namespace

int SysEnd(VmState* state) {
    VmCheckArgCount(state, 0, 0, 0, 0);
    // The quit flag ends the script even where the error code alone would not: with command errors
    // not raising (ExitOnError off) the code is only recorded.
    SetQuitFlag(1);
    return ERR_USERABORT;
}

int SysGetErrorName(VmState* state) {
    int32_t code = VmCheckInteger(state, 1);
    std::string text = FormatErrorText(code);
    VmPushLString(state, text.data(), text.size());
    return 1;
}

int SysDebugPrint(VmState* state) {
    int n = VmGetTop(state);
    std::string line;
    for (int i = 1; i <= n; i++) {
        PushAsText(state, i);
        if (i > 1) line += ' ';
        line.append(VmToString(state, -1), VmStrLen(state, -1));
        VmPop(state, 1);
    }
    line += '\n';
    // Written as bytes: the text may hold '%' and NUL characters.
    std::fwrite(line.data(), 1, line.size(), stdout);
    std::fflush(stdout);
    return 0;
}

int SysExitOnError(VmState* state) {
    int32_t flag = VmCheckInteger(state, 1);
    if (flag == 0 && IsUserErrorHandlerInstalled(state)) return ERR_WRONGUSAGE;
    SetRuntimeAttrs(state, {{QZ_RTA_EXITONERROR, flag != 0}});
    return 0;
}

int SysGetLastError(VmState* state) {
    VmCheckArgCount(state, 0, 0, 0, 0);
    VmPushNumber(state, GetLastErrorCode());
    return 1;
}

int SysDebugOutput(VmState* state) {
    int32_t flag = VmCheckInteger(state, 1);
    if (qzPlayerContext* context = GetPlayerContext(state)) context->debugOutput = flag != 0;
    return 0;
}

int SysError(VmState* state) {
    const char* text = VmCheckString(state, 1);
    SetErrorArgString(text);
    return ERR_ERRORCALLED;
}

int SysRaiseOnError(VmState* state) {
    int type = VmType(state, 1);
    if (type != VM_TFUNCTION && type != VM_TNIL) return ERR_WRONGUSAGE;
    // A handler makes no sense while command errors do not raise.
    if (!IsExitOnError()) return ERR_WRONGUSAGE;
    SetUserErrorHandler(state, 1);
    return 0;
}

int SysDebugPrompt(VmState* state) {
    const char* prompt = VmCheckString(state, 1);
    std::fputs(prompt, stdout);
    std::fflush(stdout);
    std::string line;
    line.reserve(256);
    int c;
    while (line.size() < kPromptLineSize && (c = std::fgetc(stdin)) != EOF && c != '\n') line += static_cast<char>(c);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    VmPushLString(state, line.data(), line.size());
    return 1;
}

int SysGetConstant(VmState* state) {
    size_t length;
    const char* name = VmCheckString(state, 1, &length);
    std::string reference(name, length);
    if (name[0] != '#') reference.insert(reference.begin(), '#');
    size_t used = 0;
    const char* text = nullptr;
    double number = 0;
    int error = ParseConstantName(state, reference.c_str(), &used, &text, &number);
    if (error == 0 && used != reference.size()) error = ERR_FINDCST;
    if (error) {
        SetErrorArgString(name);
        return error;
    }
    if (text)
        VmPushString(state, text);
    else
        VmPushNumber(state, number);
    return 1;
}
