// The pattern commands through the VM: results and errors, the iterator, replacement functions,
// and python3's re on a translated subset of patterns as the oracle.
#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "libs/math/math_lib.h"
#include "libs/oracle.h"
#include "libs/string/string_lib.h"
#include "support/commands.h"

namespace string_pattern_test {

using qztest::Arg;

namespace {

std::string E(int code) { return "ERR " + std::to_string(code); }

TEST(StringPattern, CommandResults) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    std::string caps33;
    for (int i = 0; i < 33; i++) caps33 += "(a)";
    struct {
        const char* command;
        std::vector<Arg> args;
        std::string expected;
    } rows[] = {
        {"patternfindstrdirect", {"hello world", "o w"}, "4, 6"},
        {"patternfindstrdirect", {"key=val", "(%w+)=(%w+)"}, "0, 6, \"key\", \"val\""},
        {"patternfindstrdirect", {"abc", "x*"}, "0, -1"},
        {"patternfindstrdirect", {"abc", "c", 3}, "-1"},
        {"patternfindstrdirect", {"abc", "c", 4}, E(ERR_WRONGUSAGE)},
        {"patternfindstrdirect", {"abc", "c", -1}, E(ERR_WRONGUSAGE)},
        {"patternfindstrshort", {"key=val", "(%w+)=(%w+)"}, "\"key\", \"val\""},
        {"patternfindstrshort", {"abc", "()b()"}, "2, 3"},
        {"patternfindstrshort", {"THE (quick) fox", "%b()"}, "\"(quick)\""},
        {"patternfindstrshort", {"aaa", "a-$"}, "\"aaa\""},
        {"patternfindstrshort", {"aaa", "^a-"}, "\"\""},
        {"patternfindstrshort", {"xab", "^a"}, "-1"},
        {"patternfindstrshort", {"xab", "^a", 1}, "\"a\""},
        {"patternfindstrshort", {"abc", "q"}, "-1"},
        {"patternfindstrshort", {"x", "[a"}, E(ERR_MALFORMPAT2)},
        {"patternfindstrshort", {"x", "a%"}, E(ERR_MALFORMPAT1)},
        {"patternfindstrshort", {std::string(40, 'a'), caps33}, E(ERR_TOOMANYCAPTURES)},
        {"patternfindstrshort", {"abc", "(a"}, E(ERR_UNFINISHEDCAPTURE)},
        {"patternfindstrshort", {"abc", "a)"}, E(ERR_INVPATCAP)},
        {"patternreplacestr", {"hello world", "o", "0"}, "\"hell0 w0rld\", 2"},
        {"patternreplacestr", {"hello world", "o", "0", 1}, "\"hell0 world\", 1"},
        {"patternreplacestr", {"hello world", "o", "0", 0}, "\"hello world\", 0"},
        {"patternreplacestr", {"abc", "", "-"}, "\"-a-b-c-\", 4"},
        {"patternreplacestr", {"abc", "%w", "%0"}, E(ERR_INVCAPIDX)},
        {"patternreplacestr", {"key=val", "(%w+)=(%w+)", "%2=%1%%"}, "\"val=key%\", 1"},
        {"patternreplacestr", {"aaa", "^a", "b"}, "\"baa\", 1"},
        {"patternreplacestr", {"a1b2", "%d", 7}, "\"a7b7\", 2"},
        {"patternreplacestr", {"abc", "b"}, E(ERR_MISSINGPARAMTR)},
        {"patternfindstr", {"abc"}, E(ERR_MISSINGPARAMTR)},
    };
    for (const auto& r : rows) EXPECT_EQ(vm.Run(r.command, r.args), r.expected) << r.command;

    // A table replacement is refused.
    EXPECT_EQ(vm.CallErr("patternreplacestr", {"abc", "b", Arg::Table({})}), ERR_WRONGUSAGE);
}

// Calls PatternReplaceStr with a C function as the replacement.
std::string ReplaceWith(qztest::Commands& vm, const char* subject, const char* pattern, VmCFunction fn) {
    std::string out = vm.Run("patternreplacestr", {subject, pattern, Arg::Function(fn)});
    return out;
}

TEST(StringPattern, ReplacementFunctions) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    // The function gets the captures; its string or number result replaces the match.
    EXPECT_EQ(ReplaceWith(vm, "a=1, b=2", "(%w+)=(%w+)",
                          [](VmState* L) {
                              VmPushValue(L, 2);
                              VmPushString(L, ":");
                              VmPushValue(L, 1);
                              VmConcat(L, 3);
                              return 1;
                          }),
              "\"1:a, 2:b\", 2");
    // Without captures it gets the whole match; a number result is appended as text.
    EXPECT_EQ(ReplaceWith(vm, "ab", "%a",
                          [](VmState* L) {
                              VmPushNumber(L, VmStrLen(L, 1) + 0.5);
                              return 1;
                          }),
              "\"1.51.5\", 2");
    // Any other result removes the match.
    EXPECT_EQ(ReplaceWith(vm, "a1b2", "%d", [](VmState* L) { return 0; }), "\"ab\", 2");
    // An error inside the function ends the command with that error.
    EXPECT_EQ(ReplaceWith(vm, "abc", "b", [](VmState* L) -> int { return ERR_WRONGDTYPE; }), E(ERR_WRONGDTYPE));
}

// Collects what the iterator returns until it returns nothing.
std::vector<std::string> Iterate(qztest::Commands& vm, const std::string& subject, const std::string& pattern) {
    std::vector<std::string> found;
    EXPECT_EQ(vm.CallFresh("patternfindstr", {subject, pattern}), 0);
    EXPECT_EQ(VmType(vm.state(), 1), VM_TFUNCTION);
    for (int guard = 0; guard < 10000; guard++) {
        VmSetTop(vm.state(), 1);
        VmPushValue(vm.state(), 1);
        int status = VmProtectedCall(vm.state(), 0, VM_MULTRET, 0);
        if (status) {
            found.push_back(E(status));
            break;
        }
        if (VmGetTop(vm.state()) == 1) break;
        std::string item;
        for (int i = 2; i <= VmGetTop(vm.state()); i++) {
            if (i > 2) item += ',';
            item += qztest::Render(vm.state(), i);
        }
        found.push_back(item);
    }
    VmSetTop(vm.state(), 0);
    return found;
}

TEST(StringPattern, Iterator) {
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    EXPECT_EQ(Iterate(vm, "one two  three", "%a+"), (std::vector<std::string>{"\"one\"", "\"two\"", "\"three\""}));
    EXPECT_EQ(Iterate(vm, "a=1,b=2", "(%w)=(%w)"), (std::vector<std::string>{"\"a\",\"1\"", "\"b\",\"2\""}));
    EXPECT_EQ(Iterate(vm, "ab", "()"), (std::vector<std::string>{"1", "2", "3"}));
    EXPECT_EQ(Iterate(vm, "^a^a", "^a"), (std::vector<std::string>{"\"^a\"", "\"^a\""}));  // no anchor here
    EXPECT_EQ(Iterate(vm, "abc", "[a"), (std::vector<std::string>{E(ERR_MALFORMPAT2)}));
}

TEST(StringPattern, MatchesPythonRe) {
    // Patterns of the shared subset, each with its translation to python's re. Subjects are ASCII,
    // where the classes agree with python's.
    const char* program = R"(
import re
pairs = [
    ('%d+', r'[0-9]+'), ('%a+', r'[A-Za-z]+'), ('%w+', r'[A-Za-z0-9]+'), ('%s+', r'[ \t\n\r\f\v]+'),
    ('%l%u', r'[a-z][A-Z]'), ('%x%x', r'[0-9A-Fa-f]{2}'), ('[%d.]+', r'[0-9.]+'), ('[^%s,]+', r'[^ \t\n\r\f\v,]+'),
    ('a.-b', r'a.*?b'), ('a.*b', r'a.*b'), ('colou?r', r'colou?r'), ('(%a+)=(%d+)', r'([A-Za-z]+)=([0-9]+)'),
    ('^%s*(%w+)', r'^[ \t\n\r\f\v]*([A-Za-z0-9]+)'), ('(%w+)%s*$', r'([A-Za-z0-9]+)[ \t\n\r\f\v]*$'),
    ('[a-c]+', r'[a-c]+'), ('%p', r'[!-/:-@\[-`{-~]'), ('x+y-z', r'x+y*?z'), ('%.', r'\.'),
    ('[%]]', r'\]'), ('%D+', r'[^0-9]+'), ('(a*(.)%w(%s*))', r'(a*(.)[A-Za-z0-9]([ \t\n\r\f\v]*))'),
]
subjects = ['hello world 42', 'x=10, y=20; colour color colr', '  indent me  ', 'AbCdEf 0x1F ff',
            'a1b22c333 aab axxb', '3.14, 2.71; [x] ...', 'xxyyz xz yz', 'MiXeD caseS', '', 'a']
for i, (pat, rx) in enumerate(pairs):
    for j, s in enumerate(subjects):
        m = re.search(rx, s)
        if m:
            groups = m.groups() if m.groups() else (m.group(0),)
            print('F', i, j, m.start(), m.end() - 1, '\x1f'.join(groups), sep='\x1e')
        else:
            print('F', i, j, -1, sep='\x1e')
        if not pat.startswith('^') and '$' not in pat:
            rep, n = re.subn(rx, '<>', s)
            print('R', i, j, rep, n, sep='\x1e')
print('P', '\x1f'.join(p for p, _ in pairs), sep='\x1e')
print('S', '\x1f'.join(subjects), sep='\x1e')
)";
    std::string out = libtest::Python(program);
    ASSERT_FALSE(out.empty());
    std::vector<std::vector<std::string>> records;
    std::istringstream lines(out);
    std::string line;
    std::vector<std::string> patterns, subjects;
    auto split = [](const std::string& text, char sep) {
        std::vector<std::string> parts;
        size_t begin = 0;
        for (;;) {
            size_t end = text.find(sep, begin);
            parts.push_back(text.substr(begin, end == std::string::npos ? std::string::npos : end - begin));
            if (end == std::string::npos) return parts;
            begin = end + 1;
        }
    };
    while (std::getline(lines, line)) {
        std::vector<std::string> r = split(line, '\x1e');
        if (r[0] == "P")
            patterns = split(r[1], '\x1f');
        else if (r[0] == "S")
            subjects = split(r[1], '\x1f');
        else
            records.push_back(r);
    }
    ASSERT_EQ(patterns.size(), 21u);
    ASSERT_EQ(subjects.size(), 10u);
    qztest::Commands vm{&qzStringLibrary, &qzMathLibrary};
    int finds = 0, replaces = 0;
    for (const auto& r : records) {
        const std::string& pattern = patterns[std::stoul(r[1])];
        const std::string& subject = subjects[std::stoul(r[2])];
        if (r[0] == "F") {
            std::string expected = r[3];
            if (r[3] != "-1") {
                expected += ", " + r[4];
                for (const std::string& g : split(r[5], '\x1f')) expected += ", \"" + g + "\"";
                // Direct gives the whole match only through captures; without any, only the span.
                if (pattern.find('(') == std::string::npos) expected = r[3] + ", " + r[4];
            }
            EXPECT_EQ(vm.Run("patternfindstrdirect", {subject, pattern}), expected)
                << "pattern " << pattern << " on '" << subject << "'";
            finds++;
        } else {
            EXPECT_EQ(vm.Run("patternreplacestr", {subject, pattern, "<>"}), "\"" + r[3] + "\", " + r[4])
                << "pattern " << pattern << " on '" << subject << "'";
            replaces++;
        }
    }
    EXPECT_EQ(finds, 210);
    EXPECT_GT(replaces, 150);
}

}  // namespace

}  // namespace string_pattern_test
