// FormatStr (see string_format.h).
#include "libs/string/string_format.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "base/error_codes.h"
#include "libs/math/math_lib.h"
#include "libs/string/string_lib.h"
#include "runtime/arg_check.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Longest conversion, from the "%" to the letter.
constexpr size_t MAX_CONVERSION = 20;
// Strings this long or longer are appended whole when the conversion has no precision.
constexpr size_t LONG_STRING = 100;

struct qzConversion {
    bool leftAlign = false;
    int width = 0;
    int precision = -1;  // -1: none
    char letter = 0;
    std::string text;  // "%", flags, width, precision and letter, for the C formatter
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Parses the conversion that starts at format[i] (the byte after "%"). Returns 0 and moves i
// behind the letter, or ERR_WRONGUSAGE.
int ParseConversion(const char* format, size_t length, size_t* i, qzConversion* conv) {
    size_t p = *i;
    conv->text.assign(1, '%');
    while (p < length && format[p] != '\0' && strchr("-+ #0", format[p])) {
        if (format[p] == '-') conv->leftAlign = true;
        conv->text += format[p++];
        if (conv->text.size() >= MAX_CONVERSION) return ERR_WRONGUSAGE;
    }
    for (int n = 0; p < length && IsDigit(format[p]); n++) {
        if (n == 2) return ERR_WRONGUSAGE;
        conv->width = conv->width * 10 + (format[p] - '0');
        conv->text += format[p++];
    }
    if (p < length && format[p] == '.') {
        conv->text += format[p++];
        conv->precision = 0;
        for (int n = 0; p < length && IsDigit(format[p]); n++) {
            if (n == 2) return ERR_WRONGUSAGE;
            conv->precision = conv->precision * 10 + (format[p] - '0');
            conv->text += format[p++];
        }
    }
    if (p >= length) return ERR_WRONGUSAGE;
    conv->letter = format[p++];
    conv->text += conv->letter;
    if (conv->text.size() > MAX_CONVERSION) return ERR_WRONGUSAGE;
    *i = p;
    return 0;
}

// Runs the C formatter on one value and appends its output (which may hold a NUL from "%c").
template <typename T>
void AppendFormatted(std::string* out, const std::string& conversion, T value) {
    char buffer[512];
    int n = snprintf(buffer, sizeof buffer, conversion.c_str(), value);
    if (n < 0) return;
    if (static_cast<size_t>(n) < sizeof buffer) {
        out->append(buffer, static_cast<size_t>(n));
        return;
    }
    std::string big(static_cast<size_t>(n) + 1, '\0');
    snprintf(big.data(), big.size(), conversion.c_str(), value);
    out->append(big.data(), static_cast<size_t>(n));
}

// The argument as a number; an explicit Nil is 0; a missing or other argument raises
// ERR_NUMEXPECTED.
double NumberArg(VmState* state, int index) {
    if (VmType(state, index) == VM_TNIL) return 0;
    return VmCheckNumber(state, index);
}

// The argument as a string; an explicit Nil is the number 0 as text; a missing or other argument
// raises ERR_STREXPECTED.
std::string_view StringOrNilArg(VmState* state, int index) {
    if (VmType(state, index) == VM_TNIL) return "0";
    return StringArg(state, index);
}

// "%s": the precision cuts, the width pads with blanks (on the right with "-"). Done here rather
// than by the C formatter so that strings holding NUL bytes come through whole.
void AppendString(std::string* out, const qzConversion& conv, std::string_view s) {
    if (conv.precision < 0 && s.size() >= LONG_STRING) {
        out->append(s);
        return;
    }
    if (conv.precision >= 0 && s.size() > static_cast<size_t>(conv.precision))
        s = s.substr(0, static_cast<size_t>(conv.precision));
    size_t pad = s.size() < static_cast<size_t>(conv.width) ? static_cast<size_t>(conv.width) - s.size() : 0;
    if (!conv.leftAlign) out->append(pad, ' ');
    out->append(s);
    if (conv.leftAlign) out->append(pad, ' ');
}

// "%q": the string in double quotes; '"', '\' and line feeds get a backslash before them, a NUL
// byte is written as "\000".
void AppendQuoted(std::string* out, std::string_view s) {
    out->push_back('"');
    for (char c : s) {
        if (c == '"' || c == '\\' || c == '\n') {
            out->push_back('\\');
            out->push_back(c);
        } else if (c == '\0') {
            out->append("\\000");
        } else {
            out->push_back(c);
        }
    }
    out->push_back('"');
}

}  // namespace

int StrFormatStr(VmState* state) {
    size_t length = 0;
    const char* format = VmCheckString(state, 1, &length);
    std::string out;
    int arg = 1;
    size_t i = 0;
    while (i < length) {
        char c = format[i++];
        if (c != '%') {
            out.push_back(c);
            continue;
        }
        if (i < length && format[i] == '%') {
            out.push_back('%');
            i++;
            continue;
        }
        qzConversion conv;
        if (int code = ParseConversion(format, length, &i, &conv)) return code;
        arg++;
        switch (conv.letter) {
        case 'e':
        case 'E':
        case 'f':
        case 'g':
        case 'G': AppendFormatted(&out, conv.text, NumberArg(state, arg)); break;
        case 'd':
        case 'i':
        case 'c': AppendFormatted(&out, conv.text, static_cast<int>(MathToInt(NumberArg(state, arg)))); break;
        case 'o':
        case 'u':
        case 'x':
        case 'X':
            AppendFormatted(&out, conv.text, static_cast<unsigned>(VmNumberToInteger(NumberArg(state, arg))));
            break;
        case 's': AppendString(&out, conv, StringOrNilArg(state, arg)); break;
        case 'q': AppendQuoted(&out, StringOrNilArg(state, arg)); break;
        default: return ERR_WRONGUSAGE;
        }
        if (out.size() > QZ_MAX_STRING_LENGTH) return ERR_MEM;
    }
    VmPushLString(state, out.data(), out.size());
    return 1;
}
