// The string command library (see string_lib.h). FormatStr and the pattern commands live in
// string_format.cpp and string_pattern.cpp, the number conversions in string_number.cpp.
#include "libs/string/string_lib.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "base/base64.h"
#include "base/charset.h"
#include "base/crc32.h"
#include "base/error_codes.h"
#include "base/md5.h"
#include "base/number_literal.h"
#include "libs/math/math_lib.h"
#include "libs/string/eval.h"
#include "libs/string/string_format.h"
#include "libs/string/string_number.h"
#include "libs/string/string_pattern.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "runtime/object_registry.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

std::string_view StringArg(VmState* state, int index) {
    size_t length = 0;
    const char* s = VmCheckString(state, index, &length);
    return std::string_view(s, length);
}

namespace {

int Push(VmState* state, std::string_view s) {
    VmPushLString(state, s.data(), s.size());
    return 1;
}

int PushNumber(VmState* state, double n) {
    VmPushNumber(state, n);
    return 1;
}

// The optional "case" argument: 1 (case-sensitive) unless given as 0.
bool CaseArg(VmState* state, int index) { return VmOptNumber(state, index, 1) != 0; }

std::string LowerCopy(std::string_view s) {
    std::string out(s);
    for (char& c : out) c = static_cast<char>(qzLowerCaseTable[static_cast<unsigned char>(c)]);
    return out;
}

// The subject and the searched text as compared: unchanged, or both lower-cased by the table
// (which is how two bytes compare case-insensitively).
struct qzSearch {
    std::string foldedSubject, foldedNeedle;
    std::string_view subject, needle;

    qzSearch(std::string_view s, std::string_view sub, bool caseSensitive) {
        if (caseSensitive) {
            subject = s;
            needle = sub;
        } else {
            foldedSubject = LowerCopy(s);
            foldedNeedle = LowerCopy(sub);
            subject = foldedSubject;
            needle = foldedNeedle;
        }
    }

    // Position of the next occurrence at or after from, npos when none (needle not empty).
    size_t Find(size_t from) const {
        if (from > subject.size()) return std::string_view::npos;
        const void* p = memmem(subject.data() + from, subject.size() - from, needle.data(), needle.size());
        return p ? static_cast<size_t>(static_cast<const char*>(p) - subject.data()) : std::string_view::npos;
    }
};

// ---------------------------------------------------------------------------------------------
// Substrings

int StrAddStr(VmState* state) {
    std::string_view a = StringArg(state, 1);
    std::string_view b = StringArg(state, 2);
    if (a.size() + b.size() > QZ_MAX_STRING_LENGTH) return ERR_MEM;
    std::string out(a);
    out.append(b);
    return Push(state, out);
}

int StrStrLen(VmState* state) { return PushNumber(state, static_cast<double>(StringArg(state, 1).size())); }

int StrLeftStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    int32_t n = VmCheckInteger(state, 2);
    if (n <= 0) return Push(state, "");
    return Push(state, s.substr(0, static_cast<size_t>(n)));
}

int StrRightStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    int32_t n = VmCheckInteger(state, 2);
    if (n <= 0) return Push(state, "");
    if (static_cast<size_t>(n) >= s.size()) return Push(state, s);
    return Push(state, s.substr(s.size() - static_cast<size_t>(n)));
}

int StrMidStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    int32_t pos = VmCheckInteger(state, 2);
    int32_t len = VmCheckInteger(state, 3);
    // A position before the string has no bytes to give; refuse it rather than guess.
    if (pos < 0) return ERR_WRONGUSAGE;
    if (len <= 0 || static_cast<size_t>(pos) >= s.size()) return Push(state, "");
    return Push(state, s.substr(static_cast<size_t>(pos), static_cast<size_t>(len)));
}

int StrUnleftStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    int32_t n = VmCheckInteger(state, 2);
    if (n < 0) return ERR_WRONGUSAGE;
    if (static_cast<size_t>(n) >= s.size()) return Push(state, "");
    return Push(state, s.substr(0, s.size() - static_cast<size_t>(n)));
}

int StrUnrightStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    int32_t n = VmCheckInteger(state, 2);
    if (n < 0) return ERR_WRONGUSAGE;
    if (static_cast<size_t>(n) >= s.size()) return Push(state, "");
    return Push(state, s.substr(static_cast<size_t>(n)));
}

int StrUnmidStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    int32_t pos = VmCheckInteger(state, 2);
    int32_t len = VmCheckInteger(state, 3);
    if (pos < 0 || len < 0) return ERR_WRONGUSAGE;
    // Nothing lies at or beyond the end, so nothing is removed there.
    if (len == 0 || static_cast<size_t>(pos) >= s.size()) return Push(state, s);
    size_t from = static_cast<size_t>(pos);
    size_t count = std::min(static_cast<size_t>(len), s.size() - from);
    std::string out(s.substr(0, from));
    out.append(s.substr(from + count));
    return Push(state, out);
}

int StrInsertStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    std::string_view ins = StringArg(state, 2);
    int32_t pos = VmCheckInteger(state, 3);
    bool overwrite = VmOptNumber(state, 4, 0) != 0;
    if (pos < 0) return ERR_WRONGUSAGE;
    if (s.empty()) return Push(state, ins);
    if (ins.empty()) return Push(state, s);
    if (s.size() + ins.size() > QZ_MAX_STRING_LENGTH) return ERR_MEM;
    size_t at = std::min(static_cast<size_t>(pos), s.size());
    std::string out(s.substr(0, at));
    out.append(ins);
    if (!overwrite)
        out.append(s.substr(at));
    else if (at + ins.size() < s.size())
        out.append(s.substr(at + ins.size()));
    return Push(state, out);
}

int StrRepeatStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    int32_t n = VmCheckInteger(state, 2);
    if (n < 0) return ERR_WRONGUSAGE;
    // Nothing to repeat: answer at once instead of looping up to 2^31 times.
    if (s.empty() || n == 0) return Push(state, "");
    if (static_cast<uint64_t>(s.size()) * static_cast<uint64_t>(n) > QZ_MAX_STRING_LENGTH) return ERR_MEM;
    std::string out;
    out.reserve(s.size() * static_cast<size_t>(n));
    for (int32_t i = 0; i < n; i++) out.append(s);
    return Push(state, out);
}

// ---------------------------------------------------------------------------------------------
// Searching and replacing

// Reads FindStr's and CountStr's arguments. Returns 0 and sets *empty when the search cannot find
// anything (empty texts or a start at or past the end), or ERR_WRONGUSAGE for a negative start.
int SearchArgs(VmState* state, std::string_view* s, std::string_view* sub, bool* caseSensitive, size_t* start,
               bool* empty) {
    VmCheckArgCount(state, 2, 4, 0, 0);
    *s = StringArg(state, 1);
    *sub = StringArg(state, 2);
    *caseSensitive = CaseArg(state, 3);
    int32_t from = VmOptInteger(state, 4, 0);
    if (from < 0) return ERR_WRONGUSAGE;
    *start = static_cast<size_t>(from);
    *empty = s->empty() || sub->empty() || *start >= s->size();
    return 0;
}

int StrFindStr(VmState* state) {
    std::string_view s, sub;
    bool caseSensitive, empty;
    size_t start;
    if (int code = SearchArgs(state, &s, &sub, &caseSensitive, &start, &empty)) return code;
    if (empty) return PushNumber(state, -1);
    qzSearch search(s, sub, caseSensitive);
    size_t at = search.Find(start);
    return PushNumber(state, at == std::string_view::npos ? -1.0 : static_cast<double>(at));
}

int StrCountStr(VmState* state) {
    std::string_view s, sub;
    bool caseSensitive, empty;
    size_t start;
    if (int code = SearchArgs(state, &s, &sub, &caseSensitive, &start, &empty)) return code;
    if (empty) return PushNumber(state, 0);
    qzSearch search(s, sub, caseSensitive);
    double count = 0;
    for (size_t at = search.Find(start); at != std::string_view::npos; at = search.Find(at + sub.size())) count++;
    return PushNumber(state, count);
}

int StrReplaceStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    std::string_view find = StringArg(state, 2);
    std::string_view replace = StringArg(state, 3);
    bool caseSensitive = CaseArg(state, 4);
    int32_t from = VmOptInteger(state, 5, 0);
    if (from < 0) return ERR_WRONGUSAGE;
    if (find.empty()) return Push(state, s);
    size_t start = std::min(static_cast<size_t>(from), s.size());
    qzSearch search(s, find, caseSensitive);
    std::string out(s.substr(0, start));
    size_t done = start;
    for (size_t at = search.Find(start); at != std::string_view::npos; at = search.Find(done)) {
        if (out.size() + (at - done) + replace.size() > QZ_MAX_STRING_LENGTH) return ERR_MEM;
        out.append(s.substr(done, at - done));
        out.append(replace);
        done = at + find.size();
    }
    if (out.size() + (s.size() - done) > QZ_MAX_STRING_LENGTH) return ERR_MEM;
    out.append(s.substr(done));
    return Push(state, out);
}

// ---------------------------------------------------------------------------------------------
// Case, trimming, splitting and byte arrays

int ConvertCase(VmState* state, const std::array<unsigned char, 256>& table) {
    std::string out(StringArg(VmCheckArgCount(state, 1, 1, 0, 0), 1));
    for (char& c : out) c = static_cast<char>(table[static_cast<unsigned char>(c)]);
    return Push(state, out);
}
int StrLowerStr(VmState* state) { return ConvertCase(state, qzLowerCaseTable); }
int StrUpperStr(VmState* state) { return ConvertCase(state, qzUpperCaseTable); }

int StrTrimStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    std::string_view ch = StringArg(state, 2);
    double side = VmCheckNumber(state, 3);
    if (ch.size() != 1) return ERR_WRONGUSAGE;
    if (side == 0) {
        size_t i = 0;
        while (i < s.size() && s[i] == ch[0]) i++;
        return Push(state, s.substr(i));
    }
    size_t n = s.size();
    while (n > 0 && s[n - 1] == ch[0]) n--;
    return Push(state, s.substr(0, n));
}

int StrSplitStr(VmState* state) {
    std::string_view s = StringArg(state, 1);
    std::string_view sep = StringArg(state, 2);
    if (sep.size() != 1) return ERR_WRONGUSAGE;
    size_t pieces = 1;
    for (const char* p = s.data(); (p = static_cast<const char*>(memchr(p, sep[0], s.size() - (p - s.data())))); p++)
        pieces++;
    if (pieces > 0x7FFFFFFF) return ERR_MEM;
    VmCreateTable(state, static_cast<int>(pieces), 0);
    size_t begin = 0;
    int index = 0;
    for (;;) {
        const void* p = memchr(s.data() + begin, sep[0], s.size() - begin);
        size_t end = p ? static_cast<size_t>(static_cast<const char*>(p) - s.data()) : s.size();
        VmPushLString(state, s.data() + begin, end - begin);
        VmRawSetI(state, -2, index++);
        if (!p) break;
        begin = end + 1;
    }
    VmPushNumber(state, index);
    return 2;
}

int StrStrToArray(VmState* state) {
    std::string_view s = StringArg(state, 1);
    if (s.size() >= 0x7FFFFFFF) return ERR_MEM;
    int n = static_cast<int>(s.size());
    VmCreateTable(state, n, 0);
    for (int i = 0; i < n; i++) {
        VmPushNumber(state, static_cast<unsigned char>(s[static_cast<size_t>(i)]));
        VmRawSetI(state, -2, i);
    }
    VmPushNumber(state, 0);
    VmRawSetI(state, -2, n);
    return 1;
}

int StrArrayToStr(VmState* state) {
    VmCheckTable(state, 1);
    std::string out;
    for (int i = 0; i < 0x7FFFFFFF; i++) {
        VmRawGetI(state, 1, i);
        bool isNumber = VmType(state, -1) == VM_TNUMBER;
        unsigned char byte = isNumber ? static_cast<unsigned char>(VmNumberToInteger(VmToNumber(state, -1))) : 0;
        VmPop(state, 1);
        if (!byte) break;
        out.push_back(static_cast<char>(byte));
    }
    return Push(state, out);
}

int StrChr(VmState* state) {
    int32_t code = VmCheckInteger(state, 1);
    if (code < 0 || code > 255) return ERR_WRONGUSAGE;
    if (code == 0) return Push(state, "");
    char c = static_cast<char>(code);
    return Push(state, std::string_view(&c, 1));
}

int StrAsc(VmState* state) {
    std::string_view s = StringArg(state, 1);
    return PushNumber(state, s.empty() ? 0 : static_cast<unsigned char>(s[0]));
}

// ---------------------------------------------------------------------------------------------
// Numbers and text

int StrHexStr(VmState* state) { return Push(state, HexText(VmCheckNumber(state, 1))); }

int StrBinStr(VmState* state) {
    double x = VmCheckNumber(state, 1);
    int bits = MathWidthBits(VmOptInteger(state, 2, QZ_WIDTH_INTEGER));
    return Push(state, BinText(x, bits));
}

int StrPadNum(VmState* state) {
    int32_t n = VmCheckInteger(state, 1);
    int32_t length = VmCheckInteger(state, 2);
    if (n < 0 || length < 1) return ERR_WRONGUSAGE;
    return Push(state, PaddedNumber(n, length));
}

int StrStrStr(VmState* state) {
    double x = VmCheckNumber(state, 1);
    int32_t decimals = VmOptInteger(state, 2, 2);
    return Push(state, DecimalText(x, decimals));
}

int StrVal(VmState* state) {
    const char* text = VmCheckString(state, 1);
    int consumed = 0, error = 0;
    double value = ParseNumberLiteral(text, &consumed, &error);
    if (error) value = consumed = 0;
    VmPushNumber(state, value);
    VmPushNumber(state, consumed);
    return 2;
}

int StrToNumber(VmState* state) {
    if (VmType(state, 1) == VM_TLIGHTUSERDATA)
        return PushNumber(state, static_cast<double>(reinterpret_cast<uintptr_t>(VmToUserdata(state, 1))));
    int32_t base = VmOptInteger(state, 2, 10);
    if (base == 10) return PushNumber(state, VmIsNumber(state, 1) ? VmToNumber(state, 1) : 0);
    if (base < 2 || base > 36) return ERR_WRONGUSAGE;
    return PushNumber(state, ParseUnsignedInBase(StringArg(state, 1), base));
}

int StrToString(VmState* state) {
    if (VmCallMeta(state, 1, "__tostring")) return 1;
    const char* format = nullptr;
    switch (VmType(state, 1)) {
    case VM_TNIL: return Push(state, "Nil");
    case VM_TBOOLEAN: return Push(state, VmToBoolean(state, 1) ? "true" : "false");
    case VM_TNUMBER:
    case VM_TSTRING:
        VmPushValue(state, 1);
        VmToString(state, -1);  // a number becomes its text in place
        return 1;
    case VM_TTABLE: format = "Table: %p"; break;
    case VM_TFUNCTION: format = "Function: %p"; break;
    case VM_TTHREAD: format = "Thread: %p"; break;
    default: format = "UserData: %p"; break;
    }
    char buffer[64];
    int n = snprintf(buffer, sizeof buffer, format, VmToPointer(state, 1));
    return Push(state, std::string_view(buffer, static_cast<size_t>(n)));
}

int StrToUserData(VmState* state) {
    uint32_t address = static_cast<uint32_t>(VmCheckInteger(state, 1));
    VmPushLightUserdata(state, reinterpret_cast<void*>(static_cast<uintptr_t>(address)));
    return 1;
}

// ---------------------------------------------------------------------------------------------
// Expressions and digests

// Reads the "variables" array of Eval's options table at index options. Returns 0 or an error
// code; the stack is left as it was.
int ReadEvalVariables(VmState* state, int options, std::vector<qzEvalVariable>* variables) {
    int top = VmGetTop(state);
    VmPushString(state, "variables");
    VmGetTable(state, options);
    int list = VmGetTop(state);
    int code = 0;
    if (VmType(state, list) == VM_TNIL) {
        VmSetTop(state, top);
        return 0;
    }
    if (VmType(state, list) != VM_TTABLE) {
        SetErrorArgString("variables");
        VmSetTop(state, top);
        return ERR_TABEXPECTED2;
    }
    // First every name is checked, then the values are read.
    for (int pass = 0; pass < 2 && !code; pass++) {
        for (int i = 0; !code; i++) {
            VmRawGetI(state, list, i);
            int entry = VmGetTop(state);
            if (VmType(state, entry) == VM_TNIL) break;
            if (VmType(state, entry) != VM_TTABLE) {
                SetErrorArgString("variables");
                code = ERR_TABEXPECTED2;
                break;
            }
            if (pass == 0) {
                VmPushString(state, "name");
                VmGetTable(state, entry);
                if (VmType(state, -1) != VM_TSTRING)
                    code = ERR_WRONGUSAGE;
                else
                    code = EvalCheckVariableName(std::string_view(VmToString(state, -1), VmStrLen(state, -1)));
            } else {
                VmPushString(state, "name");
                VmGetTable(state, entry);
                std::string name(VmToString(state, -1), VmStrLen(state, -1));
                VmPushString(state, "value");
                VmGetTable(state, entry);
                double value = VmCheckNumberNamed(state, VmGetTop(state), "value");
                variables->push_back({std::move(name), value});
            }
            VmSetTop(state, entry - 1);
        }
    }
    VmSetTop(state, top);
    return code;
}

int StrEval(VmState* state) {
    std::string_view text = StringArg(state, 1);
    std::vector<qzEvalVariable> variables;
    if (VmGetTop(state) >= 2) {
        VmCheckTable(state, 2);
        if (int code = ReadEvalVariables(state, 2, &variables)) return code;
    }
    double result = 0;
    if (int code = EvalExpression(text, variables.data(), variables.size(), &result)) return code;
    return PushNumber(state, result);
}

int StrMD5Str(VmState* state) {
    std::string_view s = StringArg(state, 1);
    if (s.empty()) return ERR_WRONGUSAGE;
    return Push(state, Md5Hex(s.data(), s.size()));
}

int StrCRC32Str(VmState* state) {
    std::string_view s = StringArg(state, 1);
    if (s.empty()) return ERR_WRONGUSAGE;
    return PushNumber(state, Crc32(s.data(), s.size()));
}

int StrBase64Str(VmState* state) {
    std::string_view s = StringArg(state, 1);
    bool decode = VmCheckNumber(state, 2) != 0;
    if (!decode && s.size() > QZ_MAX_STRING_LENGTH / 4 * 3) return ERR_MEM;
    return Push(state, decode ? Base64DecodeLenient(s.data(), s.size()) : Base64Encode(s.data(), s.size()));
}

const qzCommandRow stringCommands[] = {
    {"AddStr", StrAddStr, 2, 2},
    {"ArrayToStr", StrArrayToStr, 1, 1},
    {"Asc", StrAsc, 1, 1},
    {"Base64Str", StrBase64Str, 2, 2},
    {"BinStr", StrBinStr, 1, 2},
    {"Chr", StrChr, 1, 1},
    {"CountStr", StrCountStr},
    {"CRC32Str", StrCRC32Str, 1, 1},
    {"Eval", StrEval, 1, 2},
    {"FindStr", StrFindStr},
    {"FormatStr", StrFormatStr, 1, 0},
    {"HexStr", StrHexStr, 1, 1},
    {"InsertStr", StrInsertStr, 3, 4},
    {"LeftStr", StrLeftStr, 2, 2},
    {"LowerStr", StrLowerStr},
    {"MD5Str", StrMD5Str, 1, 1},
    {"MidStr", StrMidStr, 3, 3},
    {"PadNum", StrPadNum, 2, 2},
    {"PatternFindStr", StrPatternFindStr, 2, 2},
    {"PatternFindStrDirect", StrPatternFindStrDirect},
    {"PatternFindStrShort", StrPatternFindStrShort},
    {"PatternReplaceStr", StrPatternReplaceStr, 3, 4},
    {"RepeatStr", StrRepeatStr, 2, 2},
    {"ReplaceStr", StrReplaceStr, 3, 5},
    {"RightStr", StrRightStr, 2, 2},
    {"SplitStr", StrSplitStr, 2, 2},
    {"StrLen", StrStrLen, 1, 1},
    {"StrStr", StrStrStr, 1, 2},
    {"StrToArray", StrStrToArray, 1, 1},
    {"ToNumber", StrToNumber, 1, 2},
    {"ToString", StrToString, 1, 1},
    {"ToUserData", StrToUserData, 1, 1},
    {"TrimStr", StrTrimStr, 3, 3},
    {"UnleftStr", StrUnleftStr, 2, 2},
    {"UnmidStr", StrUnmidStr, 3, 3},
    {"UnrightStr", StrUnrightStr, 2, 2},
    {"UpperStr", StrUpperStr},
    {"Val", StrVal, 1, 1},
    {nullptr, nullptr},
};

}  // namespace

const qzLibraryDescriptor qzStringLibrary = {
    .name = "string",
    .commands = stringCommands,
};
