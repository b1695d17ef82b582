// Argument-count check, percent values and constant references.
#include "runtime/arg_check.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/error_codes.h"
#include "runtime/applet_version.h"
#include "runtime/error_messages.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

VmState* VmCheckArgCount(VmState* state, int min, int max, int needMajor, int needMinor) {
    VmCheckCommandArgs(state, min, max);
    if (needMajor != 0 && !CheckAppletVersion(needMajor, needMinor)) VmRaiseError(state, ERR_OLDAPPLET);
    return state;
}

int ReadPercentText(const char* text, double base, int allowOver100, double* result, int* isPercent) {
    // The C locale is never changed, so strtod reads '.' as the decimal point.
    char* end = nullptr;
    double n = std::strtod(text, &end);
    if (end == text) return ERR_PERCENTFORMAT;
    if (*end != '%') {
        *result = n;
        return 0;
    }
    if (!std::isfinite(n) || n < 0 || (n > 100 && !allowOver100)) return ERR_PERCENTFORMAT;
    if (base != 0) {
        *result = n * base / 100;
    } else {
        *result = n / 100;
        if (isPercent) *isPercent = 1;
    }
    return 0;
}

double CheckPercentArg(VmState* state, int index, double base, int allowOver100, int* isPercent) {
    if (isPercent) *isPercent = 0;
    int type = VmType(state, index);
    if (type == VM_TNUMBER) return VmToNumber(state, index);
    if (type != VM_TSTRING) {
        SetErrorArgIndex(index);
        VmRaiseError(state, ERR_STRORNUM);
    }
    double result = 0;
    if (ReadPercentText(VmToString(state, index), base, allowOver100, &result, isPercent) != 0) {
        SetErrorArgIndex(index);
        VmRaiseError(state, ERR_PERCENTFORMAT);
    }
    return result;
}

int32_t CheckSizeArg(VmState* state, int index, int32_t base) {
    if (VmType(state, index) == VM_TNUMBER) return VmCheckInteger(state, index);
    const double value = CheckPercentArg(state, index, base, 1, nullptr);
    if (!(value >= -2147483648.0 && value <= 2147483647.0)) return 0;
    return (int32_t)value;
}

namespace {

bool IsAsciiLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

bool IsConstantNameChar(char c) {
    return IsAsciiLetter(c) || (c >= '0' && c <= '9') || c == '_' || c == '$' || c == '!';
}

}  // namespace

int ParseConstantName(VmState* state, const char* text, size_t* length, const char** string, double* number) {
    if (!text || text[0] != '#') return ERR_WRONGUSAGE;
    if (!IsAsciiLetter(text[1]) && text[1] != '_') return ERR_SYNTAXERROR;
    char name[QZ_MAX_CONSTANT_NAME + 1];
    size_t n = 0;
    while (n < QZ_MAX_CONSTANT_NAME && IsConstantNameChar(text[1 + n])) {
        name[n] = text[1 + n];
        n++;
    }
    name[n] = 0;
    if (string) *string = nullptr;
    if (!VmFindConstant(state, name, string, number)) return ERR_FINDCST;
    if (length) *length = n + 1;
    return 0;
}
