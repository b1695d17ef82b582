// Table helpers of the system library: Sort against python3's sorted, inconsistent order
// functions, item insertion and removal, copies (including cyclic tables), joining and callbacks.
#include <algorithm>
#include <cstdint>
#include <map>
#include <sstream>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "libs/oracle.h"
#include "libs/system_test_util.h"

namespace system_table_test {

using namespace systest;

namespace {

// Order functions as assembled script functions.
const char* kDescending = R"(
.function main
  CLOSURE r0 cmp
  RETURN r0 2
  .function cmp
    .params 2
    LT 0 r1 r0
    JMP +2
    LOADK r2 1
    RETURN r2 2
    LOADK r2 0
    RETURN r2 2
  .end
.end
)";

// Always "comes before": inconsistent for every pair.
const char* kAlwaysBefore = R"(
.function main
  CLOSURE r0 cmp
  RETURN r0 2
  .function cmp
    .params 2
    LOADK r2 1
    RETURN r2 2
  .end
.end
)";

// a <= b: inconsistent as soon as two items are equal.
const char* kLessOrEqual = R"(
.function main
  CLOSURE r0 cmp
  RETURN r0 2
  .function cmp
    .params 2
    LE 0 r0 r1
    JMP +2
    LOADK r2 1
    RETURN r2 2
    LOADK r2 0
    RETURN r2 2
  .end
.end
)";

// Raises an error through the Error command.
const char* kRaising = R"(
.function main
  CLOSURE r0 cmp
  RETURN r0 2
  .function cmp
    .params 2
    GETGLOBAL r2 "error"
    LOADK r3 "broken order"
    CALL r2 2 1
    LOADK r2 1
    RETURN r2 2
  .end
.end
)";

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> out;
    if (text.empty()) return out;
    std::string item;
    std::istringstream in(text);
    while (std::getline(in, item, sep)) out.push_back(item);
    return out;
}

class SystemTableTest : public LibFixture {};

// python3 makes random cases (numbers with duplicates, negative and fractional values; strings in
// mixed case) and sorts them; Sort must give the same order. Strings are compared by their
// upper-case form so that the order of items equal but for case does not matter.
TEST_F(SystemTableTest, SortMatchesPythonSorted) {
    std::string out = libtest::Python(R"(
import random
random.seed(7)
for n in [0, 1, 2, 3, 4, 5, 7, 16, 33, 100, 257]:
    for kind in ["num", "dup", "sorted", "reversed", "str"]:
        if kind == "num":
            xs = [random.choice([-1, 1]) * random.random() * 1000 for _ in range(n)]
        elif kind == "dup":
            xs = [float(random.randint(0, 5)) for _ in range(n)]
        elif kind == "sorted":
            xs = [float(i) for i in range(n)]
        elif kind == "reversed":
            xs = [float(n - i) for i in range(n)]
        else:
            xs = ["".join(random.choice("aAbBcCzZ") for _ in range(random.randint(1, 4))) for _ in range(n)]
        if kind == "str":
            ys = sorted(xs, key=str.upper)
            print("S|" + ",".join(xs) + "|" + ",".join(y.upper() for y in ys))
        else:
            ys = sorted(xs)
            print("N|" + ",".join(repr(x) for x in xs) + "|" + ",".join("%.14g" % y for y in ys))
)");
    std::istringstream lines(out);
    std::string line;
    int cases = 0;
    while (std::getline(lines, line)) {
        std::vector<std::string> parts = Split(line, '|');
        while (parts.size() < 3) parts.push_back("");
        std::vector<std::string> input = Split(parts[1], ',');
        std::vector<std::string> expected = Split(parts[2], ',');
        if (parts[0] == "N") {
            std::vector<double> xs;
            for (auto& s : input) xs.push_back(std::stod(s));
            PushNumbers(xs);
        } else {
            PushStrings(input);
        }
        int table = VmGetTop(L);
        ASSERT_EQ(Call("Sort", {V(table)}), 0) << line;
        std::vector<std::string> got = Items(table);
        for (auto& s : got) {
            if (parts[0] == "S") {
                s = s.substr(1, s.size() - 2);
                std::transform(s.begin(), s.end(), s.begin(), ::toupper);
            }
        }
        EXPECT_EQ(got, expected) << line;
        VmSetTop(L, 0);
        cases++;
    }
    EXPECT_EQ(cases, 55);
}

TEST_F(SystemTableTest, SortWithOrderFunctionAndEmptyStringEnd) {
    PushNumbers({3, 1, 2, 9, 9, -4, 0.5});
    PushScriptFunction(kDescending);
    ASSERT_EQ(Call("Sort", {V(1), V(2)}), 0);
    EXPECT_EQ(Items(1), (std::vector<std::string>{"9", "9", "3", "2", "1", "0.5", "-4"}));
    VmSetTop(L, 0);

    // Without an order function the items end at the first empty string.
    PushStrings({"b", "A", "", "a"});
    ASSERT_EQ(Call("Sort", {V(1)}), 0);
    EXPECT_EQ(Items(1), (std::vector<std::string>{"\"A\"", "\"b\"", "\"\"", "\"a\""}));
}

// An inconsistent order function gives the sort error, never a crash or a read outside the
// items, and the table keeps exactly its items.
TEST_F(SystemTableTest, InconsistentOrderFunctionFailsCleanly) {
    struct Case {
        const char* function;
        std::vector<double> items;
        int status;
    };
    const Case cases[] = {
        {kAlwaysBefore, {1, 2, 3}, 0},  // three items never partition
        {kAlwaysBefore, {1, 2, 3, 4}, ERR_SORTFUNC},
        {kAlwaysBefore, {5, 3, 8, 1, 9, 2, 7, 4, 6, 0}, ERR_SORTFUNC},
        {kLessOrEqual, {5, 5, 5, 5, 5}, ERR_SORTFUNC},
        {kLessOrEqual, {4, 1, 3, 2, 5}, 0},  // consistent while all items differ
    };
    for (const Case& c : cases) {
        PushNumbers(c.items);
        PushScriptFunction(c.function);
        EXPECT_EQ(Call("Sort", {V(1), V(2)}), c.status);
        std::vector<std::string> got = Items(1), want;
        for (double d : c.items) {
            VmPushNumber(L, d);
            want.push_back(RenderValue(L, -1));
            VmPop(L, 1);
        }
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        EXPECT_EQ(got, want);
        VmSetTop(L, 0);
    }
    // An error raised by the order function ends the sort with that error.
    PushNumbers({2, 1, 3});
    PushScriptFunction(kRaising);
    EXPECT_EQ(Call("Sort", {V(1), V(2)}), ERR_ERRORCALLED);
}

// Order function that answers at random (xorshift state shared by the test below).
uint32_t randomOrderState = 1;
int RandomOrder(VmState* state) {
    randomOrderState ^= randomOrderState << 13;
    randomOrderState ^= randomOrderState >> 17;
    randomOrderState ^= randomOrderState << 5;
    VmPushNumber(state, randomOrderState & 1);
    return 1;
}

// Whatever an order function answers, Sort ends with success or the sort error, reads no item
// outside the range (the sanitizers watch) and leaves exactly the items it was given.
TEST_F(SystemTableTest, RandomOrderFunctionNeverBreaksTheTable) {
    int failures = 0;
    for (uint32_t seed = 1; seed <= 300; seed++) {
        randomOrderState = seed * 2654435761u;
        std::vector<double> items;
        for (uint32_t i = 0; i < 2 + seed % 40; i++) items.push_back(static_cast<double>((i * 7919u + seed) % 13));
        PushNumbers(items);
        VmPushCFunction(L, RandomOrder);
        int status = Call("Sort", {V(1), V(2)});
        ASSERT_TRUE(status == 0 || status == ERR_SORTFUNC) << status;
        failures += status == ERR_SORTFUNC;
        std::vector<std::string> got = Items(1), want;
        for (double d : items) {
            VmPushNumber(L, d);
            want.push_back(RenderValue(L, -1));
            VmPop(L, 1);
        }
        std::sort(got.begin(), got.end());
        std::sort(want.begin(), want.end());
        ASSERT_EQ(got, want) << "seed " << seed;
        VmSetTop(L, 0);
    }
    EXPECT_GT(failures, 0);
}

TEST_F(SystemTableTest, InsertAndRemoveItems) {
    struct Case {
        std::vector<double> items;
        const char* command;
        std::vector<double> args;  // item and position for InsertItem, position for RemoveItem
        std::vector<std::string> after;
        std::string result;
    };
    const Case cases[] = {
        {{}, "InsertItem", {7, 5}, {"7"}, ""},
        {{1, 2, 3}, "InsertItem", {9, 0}, {"9", "1", "2", "3"}, ""},
        {{1, 2, 3}, "InsertItem", {9, 1}, {"1", "9", "2", "3"}, ""},
        {{1, 2, 3}, "InsertItem", {9}, {"1", "2", "3", "9"}, ""},
        {{1, 2, 3}, "InsertItem", {9, -3}, {"1", "2", "3", "9"}, ""},
        {{1, 2, 3}, "RemoveItem", {7}, {"1", "2"}, "3"},
        {{1, 2, 3}, "RemoveItem", {0}, {"2", "3"}, "1"},
        {{1, 2, 3}, "RemoveItem", {}, {"1", "2"}, "3"},
        {{}, "RemoveItem", {}, {}, "none"},
    };
    for (const Case& c : cases) {
        PushNumbers(c.items);
        std::vector<Arg> args = {V(1)};
        args.insert(args.end(), c.args.begin(), c.args.end());
        ASSERT_EQ(Call(c.command, args), 0);
        if (!c.result.empty()) {
            EXPECT_EQ(RenderValue(L, 2), c.result) << c.command;
        }
        EXPECT_EQ(Items(1), c.after) << c.command;
        EXPECT_EQ(CallNumber("ListItems", {V(1)}), (double)c.after.size());
        VmSetTop(L, 0);
    }
}

TEST_F(SystemTableTest, CopyTableDeepShallowAndCyclic) {
    // t = {0 = {0 = 5}, "k" = "v"}
    VmNewTable(L);
    PushNumbers({5});
    VmRawSetI(L, 1, 0);
    VmPushString(L, "k");
    VmPushString(L, "v");
    VmRawSet(L, 1);

    ASSERT_EQ(Call("CopyTable", {V(1)}), 0);
    ASSERT_EQ(Call("CopyTable", {V(1), 1}), 0);
    VmRawGetI(L, 1, 0);
    VmRawGetI(L, 2, 0);
    VmRawGetI(L, 3, 0);
    EXPECT_FALSE(VmRawEqual(L, 4, 5));  // deep: a new inner table
    EXPECT_TRUE(VmRawEqual(L, 4, 6));   // shallow: the same inner table
    EXPECT_EQ(Items(5), std::vector<std::string>{"5"});
    VmPushString(L, "k");
    VmRawGet(L, 2);
    EXPECT_EQ(RenderValue(L, -1), "\"v\"");
    VmSetTop(L, 0);

    // A table that holds itself two levels down cannot be copied deeply, but shallowly.
    VmNewTable(L);
    VmNewTable(L);
    VmPushValue(L, 1);
    VmRawSetI(L, 2, 0);
    VmRawSetI(L, 1, 0);
    EXPECT_EQ(Call("CopyTable", {V(1)}), ERR_STACK);
    VmSetTop(L, 1);
    EXPECT_EQ(Call("CopyTable", {V(1), 1}), 0);
}

TEST_F(SystemTableTest, ConcatUnpackAndHaveItem) {
    VmNewTable(L);
    VmPushString(L, "a");
    VmRawSetI(L, 1, 0);
    VmPushNumber(L, 2);
    VmRawSetI(L, 1, 1);
    VmPushString(L, "c");
    VmRawSetI(L, 1, 2);
    EXPECT_EQ(CallString("Concat", {V(1)}), "a2c");
    EXPECT_EQ(CallString("Concat", {V(1), ", ", 1}), "2, c");
    EXPECT_EQ(CallString("Concat", {V(1), "-", 0, 1}), "a-2");
    VmNewTable(L);
    VmRawSetI(L, 1, 1);  // item 1 becomes a table
    EXPECT_EQ(Call("Concat", {V(1)}), ERR_STRINGEXPECTED);
    VmSetTop(L, 1);

    ASSERT_EQ(Call("Unpack", {V(1)}), 0);
    EXPECT_EQ(VmGetTop(L), 4);
    EXPECT_EQ(RenderValue(L, 4), "\"c\"");
    VmSetTop(L, 0);

    // HaveItem lower-cases text keys.
    VmNewTable(L);
    VmPushString(L, "name");
    VmPushNumber(L, 1);
    VmRawSet(L, 1);
    EXPECT_EQ(CallNumber("HaveItem", {V(1), "NAME"}), 1);
    EXPECT_EQ(CallNumber("HaveItem", {V(1), "other"}), 0);
}

// Concat over items in the array part and in the node part (negative keys, keys stored from the
// top down), strings of every length and numbers, against the texts joined here.
TEST_F(SystemTableTest, ConcatJoinsItemsWhereverTheyAreStored) {
    std::map<int, std::string> texts;
    VmNewTable(L);
    for (int key = 700; key >= -3; key--) {
        if (key % 7 == 0) {
            const double numbers[] = {0.1, -0.0, 1e100, 123456789012345.0, -42, 2.5};
            const char* numberTexts[] = {"0.1", "-0", "1e+100", "1.2345678901234e+14", "-42", "2.5"};
            int which = (key + 700) / 7 % 6;
            VmPushNumber(L, numbers[which]);
            texts[key] = numberTexts[which];
        } else {
            size_t length = key % 5 == 0 ? 0 : key % 13 == 0 ? 1500 : (key + 3) % 11;
            std::string text(length, static_cast<char>('a' + (key + 3) % 26));
            if (key % 9 == 0) text += std::string("\0\xe9", 2);
            VmPushLString(L, text.data(), text.size());
            texts[key] = text;
        }
        VmRawSetI(L, 1, key);
    }
    const struct {
        int start, end;
        std::string sep;
    } rows[] = {
        {1, 700, ""},
        {-3, 700, ", "},
        {-3, -1, "-"},
        {0, 0, "+"},
        {650, 700, "<separator>"},
        {5, 4, ","},
        {3, 3, ","},
        {1, 20, std::string("\0", 1)},
        {-3, 700, std::string(40, '=')},
    };
    for (const auto& r : rows) {
        std::string expected;
        int end = r.end == 0 ? 700 : r.end;  // 0: up to the last of the items from 0 on
        for (int key = r.start; key <= end; key++) expected += (key > r.start ? r.sep : "") + texts[key];
        EXPECT_EQ(CallString("Concat", {V(1), r.sep, r.start, r.end}), expected) << r.start << ".." << r.end;
    }

    // The first item that is neither a string nor a number is named, in the array part, in the node
    // part and past the last item.
    VmPushBoolean(L, 1);
    VmRawSetI(L, 1, 300);
    VmNewTable(L);
    VmRawSetI(L, 1, -2);
    const struct {
        int start, end, bad;
    } errors[] = {{1, 700, 300}, {-3, 700, -2}, {301, 702, 701}, {600, 600000, 701}};
    for (const auto& e : errors) {
        ClearErrorArg();
        EXPECT_EQ(Call("Concat", {V(1), "", e.start, e.end}), ERR_STRINGEXPECTED) << e.start;
        EXPECT_EQ(GetErrorArgIndex(), e.bad) << e.start;
        VmSetTop(L, 1);
    }
}

// ForEachI stops at the first non-Nil result and returns it; errors of the callback come back.
TEST_F(SystemTableTest, ForEachCallbacks) {
    const char* firstAboveTwo = R"(
.function main
  CLOSURE r0 f
  RETURN r0 2
  .function f
    .params 2
    LT 0 k0 r1
    JMP +1
    RETURN r0 2
    RETURN r0 1
    .const 2
  .end
.end
)";
    PushNumbers({1, 2, 5, 7});
    PushScriptFunction(firstAboveTwo);
    ASSERT_EQ(Call("ForEachI", {V(1), V(2)}), 0);
    ASSERT_EQ(VmGetTop(L), 3);
    EXPECT_EQ(RenderValue(L, 3), "2");  // the index of 5
    VmSetTop(L, 2);
    ASSERT_EQ(Call("ForEach", {V(1), V(2)}), 0);
    EXPECT_EQ(VmGetTop(L), 3);
    VmSetTop(L, 1);
    PushScriptFunction(kRaising);
    EXPECT_EQ(Call("ForEachI", {V(1), V(2)}), ERR_ERRORCALLED);
}

TEST_F(SystemTableTest, IPairsStepsAndNextItem) {
    PushNumbers({10, 20});
    ASSERT_EQ(Call("IPairs", {V(1)}), 0);
    EXPECT_EQ(VmType(L, 2), VM_TFUNCTION);
    EXPECT_EQ(RenderValue(L, 4), "-1");
    VmSetTop(L, 1);
    ASSERT_EQ(Call("IPairs", {V(1), -1}), 0);
    EXPECT_EQ(RenderValue(L, 2) + "," + RenderValue(L, 3), "0,10");
    VmSetTop(L, 1);
    ASSERT_EQ(Call("IPairs", {V(1), 1}), 0);
    EXPECT_EQ(VmGetTop(L), 1);  // past the last item: nothing
    ASSERT_EQ(Call("NextItem", {V(1)}), 0);
    EXPECT_EQ(VmGetTop(L), 3);
}

}  // namespace

}  // namespace system_table_test
