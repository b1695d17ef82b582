#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "libs/oracle.h"
#include "libs/string/pattern.h"

namespace pattern_test {

using namespace libtest;

namespace {

// An error result as the helpers below show it.
std::string E(int code) { return std::string("E").append(std::to_string(code)); }

// The result values of the first match at or after init, joined by "|", positions as "#n";
// "-1" for no match, "E<code>" for an error.
std::string Short(std::string_view s, std::string_view p, int64_t init = 0) {
    qzPatternMatch m;
    int rc = PatternFind(s, p, init, true, &m);
    if (rc == PATTERN_NOMATCH) return "-1";
    if (rc != PATTERN_FOUND) return E(rc);
    std::string out;
    for (int i = 0; i < PatternValueCount(m); i++) {
        qzPatternValue v;
        if (int e = PatternValue(m, s, i, &v)) return E(e);
        if (i) out += "|";
        out += v.isPosition ? "#" + std::to_string(v.position) : std::string(v.text);
    }
    return out;
}

std::string Replace(std::string_view s, std::string_view p, std::string_view r, int64_t max = -1) {
    std::string out;
    int64_t n = 0;
    int rc = PatternReplace(s, p, r, nullptr, nullptr, max < 0 ? (int64_t)s.size() + 1 : max, &out, &n);
    if (rc) return E(rc);
    return out + "/" + std::to_string(n);
}

}  // namespace

TEST(Pattern, HandCases) {
    struct Case {
        const char* s;
        const char* p;
        std::string want;
    } cases[] = {
        {"key=val", "(%w+)=(%w+)", "key|val"},
        {"abc", "()b()", "#2|#3"},
        {"THE (quick) fox", "%b()", "(quick)"},
        {"f(a(b)c)d)", "%b()", "(a(b)c)"},
        {"f(a(b", "%b()", "-1"},
        {"aaa", "a-$", "aaa"},
        {"aaa", "^a-", ""},
        {"xaaa", "^a", "-1"},
        {"THE (quick) fox", "%f[%a]%a+", "THE"},
        {"THE (quick) fox", "%f[%l]%a+", "quick"},
        {"hello world", "%f[%a]%a+$", "world"},
        {"the end", "%f[%z]", ""},
        {"abcabc", "(abc)%1", "abc"},
        {"xyxyz", "(x)(y)%1%2z", "x|y"},
        {"aa", "()a%1", "-1"},  // a position capture has no text to repeat
        {"a]b", "[]]", "]"},
        {"a-b", "[a%-]+", "a-"},
        {"^a", "%^a", "^a"},
        {"caf\xe9 ok", "%a+", "caf\xe9"},  // Latin-1 letters
        {"\xc9T\xe9", "%u+", "T"},         // case classes are ASCII only
        {"\xc9T\xe9\xdf"
         "a",
         "%l+", "a"},
        {"\xe9\xc9", "%U%L", "\xe9\xc9"},
        {"\x80\x7f\xa0", "%c+", "\x7f"},  // ... as are control characters,
        {"\xa0\xbf!", "%p", "!"},         // punctuation
        {"\xa0\x85\v", "%s", "\v"},       // and white space
        {"x\xe9y", "%W", "-1"},
        {"x\xd7y", "%A", "\xd7"},  // the multiplication sign is no letter
        {"1 + 2", "%p", "+"},
        {"ab12", "[^%a]+", "12"},
        {"color colour", "colou?r", "color"},
        {"<<a>>", "<(.-)>", "<a"},
        {"", "", ""},
        {"", "a*", ""},
        {"abc", "$", ""},
        {"ab$", "b$c", "-1"},
        {"ab$c", "b$c", "b$c"},
    };
    for (const Case& c : cases) EXPECT_EQ(Short(c.s, c.p), c.want) << c.s << " ~ " << c.p;
    EXPECT_EQ(Short(std::string_view("a\0b", 3), "%z"), std::string("\0", 1));
    EXPECT_EQ(Short(std::string_view("a\0b", 3), "a%zb"), std::string("a\0b", 3));
}

TEST(Pattern, DirectPositionsAndStart) {
    qzPatternMatch m;
    ASSERT_EQ(PatternFind("hello world", "o w", 0, true, &m), PATTERN_FOUND);
    EXPECT_EQ(m.start, 4u);
    EXPECT_EQ(m.end - 1, 6u);
    EXPECT_EQ(Short("hello", "l", 4), "-1");
    EXPECT_EQ(Short("hello", "", 5), "");
    EXPECT_EQ(Short("hello", "o", 4), "o");
    EXPECT_EQ(Short("hello", "^l", 2), "l");  // the anchor holds at the start position
    EXPECT_EQ(Short("hello", "l", 6), E(ERR_WRONGUSAGE));
    EXPECT_EQ(Short("hello", "l", -1), E(ERR_WRONGUSAGE));
}

TEST(Pattern, Errors) {
    struct Case {
        const char* s;
        std::string p;
        int code;
    } cases[] = {
        {"x", "[a", ERR_MALFORMPAT2},
        {"x", "[%", ERR_MALFORMPAT2},
        {"x", "[]", ERR_MALFORMPAT2},
        {"x", "a%", ERR_MALFORMPAT1},
        {"a", "a%", ERR_MALFORMPAT1},
        {"x", "%b(", ERR_UNBALANCEDPAT},
        {"x", "%fa", ERR_MISSINGOPBRACK},
        {"x", "%f", ERR_MISSINGOPBRACK},
        {"x", "x)", ERR_INVPATCAP},
        {"x", "%1", ERR_INVCAPIDX},
        {"x", "(x%1)", ERR_INVCAPIDX},  // still open
        {"x", "(x", ERR_UNFINISHEDCAPTURE},
        {"x", std::string(33, '(') + "x" + std::string(33, ')'), ERR_TOOMANYCAPTURES},
    };
    for (const Case& c : cases) EXPECT_EQ(Short(c.s, c.p), E(c.code)) << c.p;
    // 32 captures are fine.
    std::string deep = std::string(32, '(') + "x" + std::string(32, ')');
    qzPatternMatch m;
    ASSERT_EQ(PatternFind("x", deep, 0, true, &m), PATTERN_FOUND);
    EXPECT_EQ(m.level, 32);
}

TEST(Pattern, DeepPatternsFailInsteadOfOverflowing) {
    // Each optional item nests one level of the matcher.
    std::string subject(100000, 'a');
    std::string pattern;
    for (int i = 0; i < 50000; i++) pattern += "a?";
    qzPatternMatch m;
    EXPECT_EQ(PatternFind(subject, pattern, 0, true, &m), ERR_STACK);
    std::string lazy;
    for (int i = 0; i < 5000; i++) lazy += "a-";
    EXPECT_EQ(PatternFind(subject, lazy + "b", 0, true, &m), ERR_STACK);
    // Long runs of plain items and long subjects do not nest.
    std::string plain(50000, 'a');
    EXPECT_EQ(PatternFind(subject, plain + "a*$", 0, true, &m), PATTERN_FOUND);
    EXPECT_EQ(m.end, subject.size());
    EXPECT_EQ(PatternFind(subject, "a-$", 0, true, &m), PATTERN_FOUND);
    // Patterns within the bound still work.
    std::string fine;
    for (int i = 0; i < 150; i++) fine += "a?";
    EXPECT_EQ(PatternFind(subject, fine + "b?", 0, true, &m), PATTERN_FOUND);
    EXPECT_EQ(m.end, 150u);
}

TEST(Pattern, Iterator) {
    auto all = [](std::string_view s, std::string_view p) {
        std::string out;
        size_t next = 0;
        qzPatternMatch m;
        int rc;
        while ((rc = PatternFindNext(s, p, &next, &m)) == PATTERN_FOUND) {
            qzPatternValue v;
            EXPECT_EQ(PatternValue(m, s, 0, &v), 0);
            out += '[';
            if (v.isPosition)
                out.append("#").append(std::to_string(v.position));
            else
                out += v.text;
            out += ']';
        }
        if (rc != PATTERN_NOMATCH) out += E(rc);
        return out;
    };
    EXPECT_EQ(all("one two  three", "%a+"), "[one][two][three]");
    EXPECT_EQ(all("abc", ""), "[][][][]");
    EXPECT_EQ(all("ab", "()"), "[#1][#2][#3]");
    EXPECT_EQ(all("a^b^", "^"), "[^][^]");  // no anchor in iterations
    EXPECT_EQ(all("k1=v1, k2=v2", "(%w+)=(%w+)"), "[k1][k2]");
    EXPECT_EQ(all("x", "[x"), E(ERR_MALFORMPAT2));
}

TEST(Pattern, Replace) {
    EXPECT_EQ(Replace("hello world", "o", "0"), "hell0 w0rld/2");
    EXPECT_EQ(Replace("hello world", "o", "0", 1), "hell0 world/1");
    EXPECT_EQ(Replace("hello world", "o", "0", 0), "hello world/0");
    EXPECT_EQ(Replace("abc", "", "-"), "-a-b-c-/4");
    EXPECT_EQ(Replace("abc", "%w", "%0"), E(ERR_INVCAPIDX));
    EXPECT_EQ(Replace("abc", "%w", "%2"), E(ERR_INVCAPIDX));
    EXPECT_EQ(Replace("abc", "%w", "<%1>"), "<a><b><c>/3");  // no captures: the whole match
    EXPECT_EQ(Replace("hello world", "(%w+) (%w+)", "%2 %1"), "world hello/1");
    EXPECT_EQ(Replace("abc", "b()", "%1"), "a3c/1");
    EXPECT_EQ(Replace("50", "%d+", "%%%1%"), "%50%/1");
    EXPECT_EQ(Replace("aaa", "^a", "b"), "baa/1");
    EXPECT_EQ(Replace("xaa", "^a", "b"), "xaa/0");
    EXPECT_EQ(Replace("x", "[", "b"), E(ERR_MALFORMPAT2));
    // A callback replaces or removes matches.
    auto upper = [](void*, const qzPatternMatch& m, std::string_view s, std::string* out) -> int {
        std::string w(s.substr(m.start, m.end - m.start));
        if (w == "drop") return 0;
        for (char& c : w) c = (char)std::toupper((unsigned char)c);
        out->append(w);
        return 0;
    };
    std::string out;
    int64_t n = 0;
    ASSERT_EQ(PatternReplace("keep drop keep", "%a+", "", upper, nullptr, 100, &out, &n), 0);
    EXPECT_EQ(out, "KEEP  KEEP");
    EXPECT_EQ(n, 3);
    auto failing = [](void*, const qzPatternMatch&, std::string_view, std::string*) -> int { return ERR_WRONGUSAGE; };
    EXPECT_EQ(PatternReplace("abc", "b", "", failing, nullptr, 100, &out, &n), ERR_WRONGUSAGE);
}

// Translated patterns checked against python3's re on ASCII subjects.
TEST(Pattern, AgreesWithPythonRe) {
    const std::vector<std::string> patterns = {
        "%a+",
        "%d+",
        "%l+%u",
        "%s*%w+",
        "[%d%.]+",
        "[^%s]+",
        "a.-b",
        "a.*b",
        "a%w?c",
        "%x+",
        "(%a+)%s*=%s*(%d+)",
        "^%s*(%w+)",
        "(%d+)$",
        "[a-c]+[^a-c]",
        "(a*(b+))c?",
        "%p+",
        "%S+%s",
        "[%]%-]",
        "x-y",
        "(h)(.)(l+)",
        "%A+",
        "%D%d",
        "[_%a][_%w]*",
        "(%d%d?)/(%d%d?)",
        "o.-o",
    };
    std::vector<std::string> subjects = {
        "",
        "hello world",
        "a = 42, bb= 7",
        "  lead trailing  ",
        "3.14159 and 2.71",
        "aXbYc aab abc",
        "ab-]cd",
        "xxyyx-y",
        "12/07/2026 3/4",
        "__init__ var_1 9bad",
        "ooo oo o",
        "!?.,;",
        "0xFFee deadBEEF",
        "helllo hlo",
    };
    for (int i = 0; i < 20; i++) {
        std::string r = RandomBytes(30, (uint32_t)i + 1);
        for (char& c : r) c = " ab09xyz.-=_]AB\t"[(unsigned char)c % 16];
        subjects.push_back(r);
    }
    TempDir dir;
    std::string pfile, sfile;
    for (const std::string& p : patterns) pfile += p + "\n";
    for (const std::string& s : subjects) sfile += s + "\n";
    WriteFile(dir.File("p"), pfile);
    WriteFile(dir.File("s"), sfile);
    const char* program = R"PY(
import re, sys
cls = {'a': 'A-Za-z', 'd': '0-9', 'l': 'a-z', 'u': 'A-Z', 's': ' \t\n\r\f\v', 'w': 'A-Za-z0-9',
       'x': '0-9A-Fa-f', 'p': re.escape('!"#$%&\'()*+,-./:;<=>?@[\\]^_`{|}~')}
def one(c):
    if c.lower() in cls:
        body = cls[c.lower()]
        return ('[^' if c.isupper() else '[') + body + ']'
    return re.escape(c)
def tr(p):
    out = []; i = 0; anchored = p.startswith('^')
    if anchored: i = 1
    while i < len(p):
        c = p[i]
        if c == '%':
            out.append(one(p[i+1])); i += 2
        elif c == '[':
            j = i + 1; body = ''
            if p[j] == '^': body += '^'; j += 1
            first = True
            while first or p[j] != ']':
                first = False
                if p[j] == '%':
                    k = p[j+1]
                    body += (cls[k] if k in cls else re.escape(k)); j += 2
                elif j + 2 < len(p) and p[j+1] == '-' and p[j+2] != ']':
                    body += re.escape(p[j]) + '-' + re.escape(p[j+2]); j += 3
                else:
                    body += re.escape(p[j]); j += 1
            out.append('[' + body + ']'); i = j + 1
        elif c == '$' and i == len(p) - 1:
            out.append(r'\Z'); i += 1
        elif c in '()':
            out.append(c); i += 1
        elif c == '.':
            out.append('.'); i += 1
        elif c in '*+?':
            out.append(c); i += 1
        elif c == '-' and out and i > 0:
            out.append('*?'); i += 1
        else:
            out.append(re.escape(c)); i += 1
    return re.compile(''.join(out), re.S), anchored
pats = open(sys.argv[1]).read().split('\n')[:-1]
subs = open(sys.argv[2]).read().split('\n')[:-1]
for p in pats:
    rx, anchored = tr(p)
    for s in subs:
        m = rx.match(s) if anchored else rx.search(s)
        if not m:
            print('-1'); continue
        vals = list(m.groups()) if m.groups() else [m.group(0)]
        print(' '.join([str(m.start()), str(m.end())] + [v.encode().hex() + '.' for v in vals]))
)PY";
    std::istringstream expected(Python(program, dir.File("p") + " " + dir.File("s")));
    int compared = 0;
    for (const std::string& p : patterns) {
        for (const std::string& s : subjects) {
            std::string line;
            ASSERT_TRUE(std::getline(expected, line)) << "python output ended early";
            std::string got;
            qzPatternMatch m;
            int rc = PatternFind(s, p, 0, true, &m);
            ASSERT_TRUE(rc == PATTERN_FOUND || rc == PATTERN_NOMATCH) << p;
            if (rc == PATTERN_NOMATCH) {
                got = "-1";
            } else {
                got = std::to_string(m.start) + " " + std::to_string(m.end);
                for (int i = 0; i < PatternValueCount(m); i++) {
                    qzPatternValue v;
                    ASSERT_EQ(PatternValue(m, s, i, &v), 0);
                    std::string hex;
                    for (unsigned char c : v.text) {
                        static const char* d = "0123456789abcdef";
                        hex += d[c >> 4];
                        hex += d[c & 15];
                    }
                    got += " " + hex + ".";
                }
            }
            EXPECT_EQ(got, line) << "pattern " << p << " subject '" << s << "'";
            compared++;
        }
    }
    EXPECT_EQ(compared, (int)(patterns.size() * subjects.size()));
}

}  // namespace pattern_test
