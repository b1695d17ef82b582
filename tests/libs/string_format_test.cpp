// FormatStr: python3's % formatting as the oracle for the directives both share, and the
// player's own rules (%q, NUL bytes, long strings, Nil, malformed conversions).
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "libs/math/math_lib.h"
#include "libs/oracle.h"
#include "libs/string/string_lib.h"
#include "support/commands.h"

namespace string_format_test {

using qztest::Arg;
using qztest::Nil;

namespace {

std::string E(int code) { return "ERR " + std::to_string(code); }

std::vector<std::string> Split(const std::string& line, char sep) {
    std::vector<std::string> parts;
    std::string part;
    std::istringstream in(line);
    while (std::getline(in, part, sep)) parts.push_back(part);
    return parts;
}

TEST(StringFormat, MatchesPythonPercentFormatting) {
    // Each line: format, typed arguments ("n:" number, "s:" string), python's result; fields are
    // separated by 0x1F. o/u/x/X take the 32-bit pattern of their value.
    const char* program = R"(
cases = [
    ('%d', [42]), ('%5d|', [-42]), ('%-5d|', [7]), ('%05d', [42]), ('%+d', [5]), ('% d', [5]),
    ('%i', [3.9]), ('%d', [-3.9]), ('%d', [2147483647]),
    ('%x', [255]), ('%X', [255]), ('%#x', [255]), ('%08X', [3000000000]), ('%o', [8]),
    ('%u', [4294967295]), ('%x', [-1]), ('%u', [-2]), ('%X', [4294967295]),
    ('%e', [12345.678]), ('%.3E', [0.000123]), ('%f', [3.14159]), ('%5.2f', [3.14159]),
    ('%-10.1f|', [2.25]), ('%g', [1e-05]), ('%G', [1e20]), ('%.10g', [1 / 3]), ('%+.2e', [-1.5]),
    ('%#.0f', [3.0]), ('%.0f', [2.5]), ('%10.4f|', [-0.00001]), ('%f', [1e300]), ('%.99f', [1.0]),
    ('%c', [65]), ('%s', ['abc']), ('%10s|', ['abc']), ('%-10s|', ['abc']), ('%.2s', ['abc']),
    ('%5.1s|', ['xyz']), ('%d%%', [50]), ('a%sb%dc', ['x', 5]), ('%s and %s', ['one', 'two']),
    ('%99d|', [1]), ('%s', [12.5]), ('%d', ['17']), ('no conversions', []),
]
for fmt, args in cases:
    conv = []
    pieces = [c for c in fmt.replace('%%', '').split('%')[1:]]
    py = []
    for a, piece in zip(args, pieces):
        letter = next(ch for ch in piece if ch.isalpha())
        if letter in 'ouxX':
            py.append(int(a) & 0xFFFFFFFF)
        elif letter in 'di':
            py.append(int(float(a)))
        elif letter == 's':
            py.append(a if isinstance(a, str) else ('%.14g' % a))
        else:
            py.append(a)
    typed = [('s:' + a) if isinstance(a, str) else ('n:' + repr(float(a))) for a in args]
    print('\x1f'.join([fmt] + typed + [fmt % tuple(py)]))
)";
    std::istringstream lines(libtest::Python(program));
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    std::string line;
    int checked = 0;
    while (std::getline(lines, line)) {
        std::vector<std::string> parts = Split(line, '\x1f');
        ASSERT_GE(parts.size(), 2u) << line;
        std::vector<Arg> args{parts[0]};
        for (size_t i = 1; i + 1 < parts.size(); i++) {
            const std::string& p = parts[i];
            if (p.rfind("n:", 0) == 0)
                args.emplace_back(std::strtod(p.c_str() + 2, nullptr));
            else
                args.emplace_back(p.substr(2));
        }
        EXPECT_EQ(vm.Run("formatstr", args), "\"" + parts.back() + "\"") << parts[0];
        checked++;
    }
    EXPECT_EQ(checked, 45);
}

TEST(StringFormat, PlayerRules) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    const std::string wrong = E(ERR_WRONGUSAGE);
    std::string longText(150, 'x');
    struct {
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {{"%q", "say \"hi\"\\\n"}, "\"\"say \\\"hi\\\"\\\\\\\n\"\""},
        {{"%q", std::string("a\0b", 3)}, "\"\"a\\000b\"\""},
        {{"[%s]", std::string("a\0b", 3)}, "\"[" + std::string("a\0b", 3) + "]\""},
        {{"[%5s]", std::string("a\0b", 3)}, "\"[  " + std::string("a\0b", 3) + "]\""},
        {{"%c|", 0}, "\"" + std::string("\0|", 2) + "\""},
        {{"%d/%s/%f", Nil{}, Nil{}, Nil{}}, "\"0/0/0.000000\""},
        {{"%-99s", longText}, "\"" + longText + "\""},  // long strings go in whole
        {{"%.3s", longText}, "\"xxx\""},
        {{"100%%"}, "\"100%\""},
        {{"%d"}, E(ERR_NUMEXPECTED)},
        {{"%s"}, E(ERR_STREXPECTED)},
        {{"%d", "x"}, E(ERR_NUMEXPECTED)},
        {{"%123d", 1}, wrong},
        {{"%.123f", 1}, wrong},
        {{"%y", 1}, wrong},
        {{"%ld", 1}, wrong},
        {{std::string("%\0d", 3), 1}, wrong},  // a NUL byte is no flag
        {{std::string("a\0%d", 4), 7},
         "\"" +
             std::string("a\0"
                         "7",
                         3) +
             "\""},
        {{"%5", 1}, wrong},
        {{"abc%", 1}, wrong},
        {{"%-+ #0-+ #0-+ #0-+ #0-+ d", 1}, wrong},  // a conversion longer than 20 characters
        {{"%-+ #0-+ #0-+ d", 1}, "\"+1\""},
        {{}, E(ERR_MISSINGPARAMTR)},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run("formatstr", r.args), r.expected);
}

}  // namespace

}  // namespace string_format_test
