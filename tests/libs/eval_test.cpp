#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <sstream>
#include <string>

#include "base/error_codes.h"
#include "libs/oracle.h"
#include "libs/string/eval.h"

namespace eval_test {

using namespace libtest;

namespace {

std::string E(int code) { return std::string("E").append(std::to_string(code)); }

std::string Ev(std::string_view text, const std::vector<qzEvalVariable>& vars = {}) {
    double v = 0;
    int rc = EvalExpression(text, vars.data(), vars.size(), &v);
    if (rc) return E(rc);
    std::ostringstream ss;
    ss.precision(17);
    ss << v;
    return ss.str();
}

}  // namespace

TEST(Eval, Cases) {
    struct Case {
        const char* text;
        std::string want;
    } cases[] = {
        {"2 + 3 * 4", "14"},
        {"2 ^ 3 ^ 2", "512"},
        {"-2 ^ 2", "-4"},
        {"(1 + 2", E(ERR_UNMPARENTHESES)},
        {"1 / 0", E(ERR_ZERODIVISION)},
        {"1 \\ 0.5", E(ERR_ZERODIVISION)},
        {"1 % 0", E(ERR_ZERODIVISION)},
        {"1 2", E(ERR_SYNTAXERROR)},
        {"1 )", E(ERR_SYNTAXERROR)},
        {"", E(ERR_VALUEEXPECTED)},
        {"1 +", E(ERR_VALUEEXPECTED)},
        {"$", E(ERR_SYNTAXERROR)},
        {"$10 | 1", "17"},
        {"0x1F + %1", E(ERR_VALUEEXPECTED)},  // "%" is the remainder, not binary
        {"~0", "4294967295"},
        {"~-1", "0"},
        {"1 << 31", "2147483648"},
        {"1 << 32", "0"},
        {"1 << 64", "1"},  // counts are taken modulo 64
        {"-1 >> 28", "15"},
        {"1<<2", E(ERR_VALUEEXPECTED)},  // word operators need a non-word byte behind them
        {"7 \\ 2", "3"},
        {"-7 \\ 2", "-3"},
        {"-7 % 3", "-1"},
        {"-2147483648 \\ -1", "2147483648"},
        {"-2147483648 % -1", "0"},
        {"5000000000 \\ 1", "2147483647"},
        {"3 > 2 and 5", "5"},
        {"0 and 5", "0"},
        {"0 or 5", "5"},
        {"3 or 5", "3"},
        {"0 or 0", "0"},
        {"not 3", "0"},
        {"NOT 0", "1"},
        {"1 AnD 2", "2"},
        {"1 .. 2", E(ERR_WRONGOPCST)},
        {"1 = 1", "1"},
        {"1 <> 1", "0"},
        {"2 <= 2", "1"},
        {"1 >= 2", "0"},
        {"1 < 2 = 1", "1"},
        {"$FF & $0F ~ $3", "12"},  // & binds tighter than ~
        {"6 ~ 3", "5"},
        {"2147483648 | 0", "2147483648"},
        {"4294967296 | 0", "4294967295"},
        {"\t1 +\t2 ", "3"},
        {"1.5e1 * 2", "30"},
        {"((((2))))", "2"},
        {"- - 3", "3"},
    };
    for (const Case& c : cases) EXPECT_EQ(Ev(c.text), c.want) << c.text;
    EXPECT_EQ(Ev(std::string_view("1\0+2", 4)), E(ERR_SYNTAXERROR));
}

TEST(Eval, Variables) {
    std::vector<qzEvalVariable> vars = {{"X", 21}, {"xy", 2}, {"_n!", 5}, {"andy", 7}};
    EXPECT_EQ(Ev("x * 2", vars), "42");
    EXPECT_EQ(Ev("XY + X", vars), "23");  // "xy" is not "x" followed by "y"
    EXPECT_EQ(Ev("_N! - 1", vars), "4");
    EXPECT_EQ(Ev("andy and x", vars), "21");
    EXPECT_EQ(Ev("x1", vars), E(ERR_VALUEEXPECTED));
    EXPECT_EQ(Ev("z", vars), E(ERR_VALUEEXPECTED));
    struct {
        std::string name;
        int rc;
    } names[] = {{"x", 0},
                 {"_", 0},
                 {"a$!_9", 0},
                 {"\xe9t\xe9", 0},
                 {std::string(64, 'a'), 0},
                 {"2x", ERR_WRONGUSAGE},
                 {"", ERR_WRONGUSAGE},
                 {"a-b", ERR_WRONGUSAGE},
                 {"$a", ERR_WRONGUSAGE},
                 {std::string(65, 'a'), ERR_WRONGUSAGE}};
    for (const auto& n : names) EXPECT_EQ(EvalCheckVariableName(n.name), n.rc) << n.name;
}

TEST(Eval, DeepNestingFailsCleanly) {
    std::string deep(100000, '(');
    deep += "1";
    EXPECT_EQ(Ev(deep), E(ERR_COMPLEXEXPR));
    std::string unary;
    for (int i = 0; i < 100000; i++) unary += "- ";
    EXPECT_EQ(Ev(unary + "1"), E(ERR_COMPLEXEXPR));
    std::string ok(150, '(');
    ok += '7';
    ok.append(150, ')');
    EXPECT_EQ(Ev(ok), "7");
    // Long flat chains do not nest.
    std::string chain = "1";
    for (int i = 0; i < 20000; i++) chain += " + 1";
    EXPECT_EQ(Ev(chain), "20001");
}

// Random expressions written with as few parentheses as the priorities allow, evaluated by a
// python3 model of the operators.
TEST(Eval, AgreesWithPythonOnRandomExpressions) {
    const char* program = R"PY(
import math, random
random.seed(12345)
PRI = {'^': (14, 13), '*': (11, 11), '/': (11, 11), '\\': (11, 11), '%': (11, 11), '+': (10, 10),
       '-': (10, 10), '<<': (9, 9), '>>': (9, 9), '&': (8, 8), '~': (7, 7), '|': (6, 6),
       '=': (3, 3), '<>': (3, 3), '<': (3, 3), '<=': (3, 3), '>': (3, 3), '>=': (3, 3),
       'and': (2, 2), 'or': (1, 1)}
class Err(Exception): pass
def i32(d):
    if d != d: return -2147483648
    if d >= 2147483647: return 2147483647
    if d <= -2147483648: return -2147483648
    return int(d)
def u32(d):
    if d >= 2147483648.0: return (i32(d - 2147483648.0) | 0x80000000) & 0xFFFFFFFF
    return i32(d) & 0xFFFFFFFF
def apply(op, a, b):
    if op == '^': return math.pow(a, b)
    if op == '*': return a * b
    if op == '/':
        if b == 0: raise Err(1089)
        return a / b
    if op in ('\\', '%'):
        x, y = i32(a), i32(b)
        if y == 0: raise Err(1089)
        q = abs(x) // abs(y) * (1 if (x < 0) == (y < 0) else -1)
        return float(q if op == '\\' else x - q * y)
    if op == '+': return a + b
    if op == '-': return a - b
    if op in ('<<', '>>'):
        n = i32(b) & 63; v = u32(a)
        if n >= 32: return 0.0
        return float((v << n) & 0xFFFFFFFF if op == '<<' else v >> n)
    if op == '&': return float(u32(a) & u32(b))
    if op == '~': return float(u32(a) ^ u32(b))
    if op == '|': return float(u32(a) | u32(b))
    if op == '=': return float(a == b)
    if op == '<>': return float(a != b)
    if op == '<': return float(a < b)
    if op == '<=': return float(a <= b)
    if op == '>': return float(a > b)
    if op == '>=': return float(a >= b)
    if op == 'and': return 0.0 if a == 0 else b
    if op == 'or': return a if a != 0 else b
INF = 99
# A node: (text, value or Err, minL, minR) where minL/minR are the smallest left/right priorities
# of the operators outside parentheses (unary operands count as right priority 12).
def leaf():
    r = random.random()
    if r < 0.15:
        v = random.randint(0, 255); return ('$%X' % v, float(v), INF, INF)
    if r < 0.3:
        v = random.randint(0, 99) / 4; return (repr(v), v, INF, INF)
    v = random.randint(0, 12); return (str(v), float(v), INF, INF)
def paren(n): return ('(' + n[0] + ')', n[1], INF, INF)
def gen(depth):
    if depth == 0 or random.random() < 0.2: return leaf()
    if random.random() < 0.15:
        u = random.choice(['-', 'not ', '~'])
        o = gen(depth - 1)
        if o[2] <= 12: o = paren(o)
        v = o[1]
        if not isinstance(v, Err):
            v = -v if u == '-' else (float(v == 0) if u == 'not ' else float(~u32(v) & 0xFFFFFFFF))
        return (u + o[0], v, INF, min(12, o[3]))
    op = random.choice(list(PRI))
    l, r = gen(depth - 1), gen(depth - 1)
    L, R = PRI[op]
    if l[3] < L or l[2] < L: l = paren(l)
    if r[2] <= R: r = paren(r)
    v = l[1] if isinstance(l[1], Err) else r[1] if isinstance(r[1], Err) else None
    if v is None:
        try: v = apply(op, l[1], r[1])
        except Err as e: v = e
        except (OverflowError, ValueError): v = Err(0)
    return (l[0] + ' ' + op + ' ' + r[0], v, min(L, l[2], r[2]), min(R, l[3], r[3]))
n = 0
while n < 1500:
    t = gen(5)
    v = t[1]
    if isinstance(v, Err):
        if v.args[0] == 0: continue
        print(t[0] + '\tE' + str(v.args[0]))
    else:
        if math.isnan(v) or math.isinf(v): continue
        print(t[0] + '\t' + repr(v))
    n += 1
)PY";
    std::istringstream lines(Python(program));
    std::string line;
    int count = 0;
    while (std::getline(lines, line)) {
        size_t tab = line.find('\t');
        ASSERT_NE(tab, std::string::npos);
        std::string text = line.substr(0, tab), want = line.substr(tab + 1);
        double v = 0;
        int rc = EvalExpression(text, nullptr, 0, &v);
        if (want[0] == 'E') {
            EXPECT_EQ(E(rc), want) << text;
        } else {
            ASSERT_EQ(rc, 0) << text;
            EXPECT_EQ(v, std::strtod(want.c_str(), nullptr)) << text << " wanted " << want;
        }
        count++;
    }
    EXPECT_EQ(count, 1500);
}

}  // namespace eval_test
