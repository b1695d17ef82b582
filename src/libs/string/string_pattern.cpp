// Pattern commands of the string library (see string_pattern.h).
#include "libs/string/string_pattern.h"

#include <string>
#include <string_view>

#include "base/error_codes.h"
#include "libs/string/pattern.h"
#include "libs/string/string_lib.h"
#include "runtime/arg_check.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Pushes the result values of a match (its captures, or the whole match without captures):
// texts as strings, position captures as 1-based numbers. Returns how many were pushed, or an
// error code (ERR_STACK when the stack cannot hold them, or the engine's capture errors).
int PushMatchValues(VmState* state, const qzPatternMatch& match, std::string_view subject, bool wholeWithout) {
    int count = match.level || wholeWithout ? PatternValueCount(match) : 0;
    if (!VmCheckStack(state, count)) return ERR_STACK;
    for (int i = 0; i < count; i++) {
        qzPatternValue value;
        if (int code = PatternValue(match, subject, i, &value)) {
            VmPop(state, i);
            return code;
        }
        if (value.isPosition)
            VmPushNumber(state, static_cast<double>(value.position));
        else
            VmPushLString(state, value.text.data(), value.text.size());
    }
    return count;
}

// The iterator that PatternFindStr returns; upvalues: subject, pattern, next start position.
int PatternIterator(VmState* state) {
    size_t subjectLength = 0, patternLength = 0;
    const char* subject = VmToString(state, VmUpvalueIndex(1));
    subjectLength = VmStrLen(state, VmUpvalueIndex(1));
    const char* pattern = VmToString(state, VmUpvalueIndex(2));
    patternLength = VmStrLen(state, VmUpvalueIndex(2));
    size_t next = static_cast<size_t>(VmToNumber(state, VmUpvalueIndex(3)));
    std::string_view s(subject, subjectLength);
    qzPatternMatch match;
    int rc = PatternFindNext(s, std::string_view(pattern, patternLength), &next, &match);
    if (rc == PATTERN_NOMATCH) return 0;
    if (rc != PATTERN_FOUND) return rc;
    VmPushNumber(state, static_cast<double>(next));
    VmReplace(state, VmUpvalueIndex(3));
    return PushMatchValues(state, match, s, true);
}

struct qzReplaceCall {
    VmState* state;
    int function;  // stack index of the replacement function
    int error;
};

// Calls the script's replacement function with the match values and appends its string or
// number result; any other result removes the match.
int CallReplacement(void* context, const qzPatternMatch& match, std::string_view subject, std::string* out) {
    qzReplaceCall* call = static_cast<qzReplaceCall*>(context);
    VmState* state = call->state;
    if (!VmCheckStack(state, 1)) return ERR_STACK;
    VmPushValue(state, call->function);
    int n = PushMatchValues(state, match, subject, true);
    if (n >= 1000) {
        VmPop(state, 1);
        return n;
    }
    VmCall(state, n, 1);
    int type = VmType(state, -1);
    if (type == VM_TSTRING || type == VM_TNUMBER) {
        const char* text = VmToString(state, -1);
        out->append(text, VmStrLen(state, -1));
    }
    VmPop(state, 1);
    if (out->size() > QZ_MAX_STRING_LENGTH) return ERR_MEM;
    return 0;
}

// Shared part of PatternFindStrShort and PatternFindStrDirect.
int FindFirst(VmState* state, bool direct) {
    VmCheckArgCount(state, 2, 3, 0, 0);
    std::string_view subject = StringArg(state, 1);
    std::string_view pattern = StringArg(state, 2);
    int64_t start = VmOptInteger(state, 3, 0);
    qzPatternMatch match;
    int rc = PatternFind(subject, pattern, start, true, &match);
    if (rc == PATTERN_NOMATCH) {
        VmPushNumber(state, -1);
        return 1;
    }
    if (rc != PATTERN_FOUND) return rc;
    if (!direct) return PushMatchValues(state, match, subject, true);
    VmPushNumber(state, static_cast<double>(match.start));
    VmPushNumber(state, static_cast<double>(match.end) - 1);
    int n = PushMatchValues(state, match, subject, false);
    return n >= 1000 ? n : n + 2;
}

}  // namespace

int StrPatternFindStr(VmState* state) {
    StringArg(state, 1);
    StringArg(state, 2);
    VmSetTop(state, 2);
    VmPushNumber(state, 0);
    VmPushCClosure(state, PatternIterator, 3);
    return 1;
}

int StrPatternFindStrShort(VmState* state) { return FindFirst(state, false); }

int StrPatternFindStrDirect(VmState* state) { return FindFirst(state, true); }

int StrPatternReplaceStr(VmState* state) {
    std::string_view subject = StringArg(state, 1);
    std::string_view pattern = StringArg(state, 2);
    int type = VmType(state, 3);
    if (type != VM_TSTRING && type != VM_TNUMBER && type != VM_TFUNCTION) return ERR_WRONGUSAGE;
    int64_t maxCount = VmGetTop(state) >= 4 ? VmCheckInteger(state, 4) : static_cast<int64_t>(subject.size()) + 1;
    std::string out;
    int64_t count = 0;
    int rc;
    if (type == VM_TFUNCTION) {
        qzReplaceCall call{state, 3, 0};
        rc = PatternReplace(subject, pattern, std::string_view(), CallReplacement, &call, maxCount, &out, &count);
    } else {
        std::string_view templ = StringArg(state, 3);
        rc = PatternReplace(subject, pattern, templ, nullptr, nullptr, maxCount, &out, &count);
    }
    if (rc) return rc;
    if (out.size() > QZ_MAX_STRING_LENGTH) return ERR_MEM;
    VmPushLString(state, out.data(), out.size());
    VmPushNumber(state, static_cast<double>(count));
    return 2;
}
