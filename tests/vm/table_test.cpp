#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "vm/vm_string.h"
#include "vm/vm_table.h"
#include "vm/vm_value.h"
#include "vm_test_util.h"

namespace table_test {

static VmValue Num(double n) {
    VmValue v;
    VmSetValueNumber(&v, n);
    return v;
}

static VmValue Str(VmState* s, const char* text) {
    VmValue v;
    VmSetValueString(&v, VmInternCString(s, text));
    return v;
}

TEST(Table, ZeroKeyLivesInNodesAndPowerOfTwoKeysFillArray) {
    VmHolder L;
    VmTable* t = VmNewTableObject(L, 0, 0);
    VmSetValueTable(L.state->top++, t);  // keep it reachable
    VmSetValueNumber(VmTableSetInt(L, t, 0), 100);
    for (int i = 1; i <= 8; i++) VmSetValueNumber(VmTableSetInt(L, t, i), i * 10);
    EXPECT_EQ(t->sizearray, 8);
    for (int i = 1; i <= 8; i++) EXPECT_EQ(VmTableGetInt(t, i)->value.n, i * 10);
    // Key 0 is not an array key.
    EXPECT_EQ(VmTableGetInt(t, 0)->value.n, 100);
    bool inNodes = false;
    for (int i = 0; i < VmNodeCount(t); i++)
        if (t->node[i].key.tt == VM_TNUMBER && t->node[i].key.value.n == 0) inNodes = true;
    EXPECT_TRUE(inNodes);
}

TEST(Table, NilKeyIsZeroAndNegativeZeroIsZero) {
    VmHolder L;
    VmTable* t = VmNewTableObject(L, 0, 0);
    VmSetValueTable(L.state->top++, t);
    VmValue nil;
    VmSetValueNil(&nil);
    VmSetValueNumber(VmTableSet(L, t, &nil), 7);
    EXPECT_EQ(VmTableGetInt(t, 0)->value.n, 7);
    VmValue negZero = Num(-0.0);
    EXPECT_EQ(VmTableGet(t, &negZero)->value.n, 7);
    VmSetValueNumber(VmTableSet(L, t, &negZero), 8);
    EXPECT_EQ(VmTableGet(t, &nil)->value.n, 8);
    VmValue key = nil, val;
    int count = 0;
    while (VmTableNext(L, t, &key, &val)) count++;
    EXPECT_EQ(count, 1);
}

TEST(Table, BadKeysAndSizesRaise) {
    VmHolder L;
    VmTable* t = VmNewTableObject(L, 0, 0);
    VmSetValueTable(L.state->top++, t);
    VmValue nan = Num(NAN);
    EXPECT_EQ(RunGuarded(L, [&] { VmTableSet(L, t, &nan); }), ERR_TABLEINDEX);
    EXPECT_EQ(VmTableGet(t, &nan)->tt, VM_TNIL);
    EXPECT_EQ(RunGuarded(L, [&] { VmNewTableObject(L, 0, 25); }), ERR_TABLEOVERFLOW);
    EXPECT_EQ(RunGuarded(L, [&] { VmNewTableObject(L, 0, 24); }), 0);
}

// Mixed keys inserted, overwritten and removed: every lookup agrees with a reference map and the
// traversal visits every live key exactly once.
TEST(Table, MixedKeysAgreeWithReferenceAndTraverseCompletely) {
    VmHolder L;
    VmTable* t = VmNewTableObject(L, 0, 0);
    VmSetValueTable(L.state->top++, t);
    std::map<std::string, double> ref;  // key description -> value
    std::map<std::string, VmValue> keys;
    auto keyFor = [&](int i) -> std::pair<std::string, VmValue> {
        switch (i % 5) {
        case 0: return {'n' + std::to_string(i), Num(i / 5)};
        case 1: return {'f' + std::to_string(i), Num(i + 0.5)};
        case 2: return {'m' + std::to_string(i), Num(-i)};
        case 3: {
            std::string s = "key" + std::to_string(i);
            return {"s" + s, Str(L, s.c_str())};
        }
        default: return {'n' + std::to_string(100000 + i), Num(100000 + i)};
        }
    };
    for (int i = 0; i < 5000; i++) {
        auto [name, key] = keyFor(i);
        VmSetValueNumber(VmTableSet(L, t, &key), i);
        ref[name] = i;
        keys[name] = key;
    }
    // Remove every third key by storing nil.
    int n = 0;
    for (auto it = ref.begin(); it != ref.end();) {
        if (n++ % 3 == 0) {
            VmSetValueNil(VmTableSet(L, t, &keys[it->first]));
            it = ref.erase(it);
        } else {
            ++it;
        }
    }
    for (auto& [name, value] : ref) EXPECT_EQ(VmTableGet(t, &keys[name])->value.n, value) << name;
    std::multiset<double> seen;
    VmValue key, val;
    VmSetValueNil(&key);
    while (VmTableNext(L, t, &key, &val)) seen.insert(val.value.n);
    std::multiset<double> expected;
    for (auto& [name, value] : ref) expected.insert(value);
    EXPECT_EQ(seen, expected);
}

// Fills a table through several rehashes with string, number and boolean keys, removes a few
// keys on the way, and returns the keys in traversal order.
static std::string GrownTableOrder(VmState* L) {
    VmTable* t = VmNewTableObject(L, 0, 0);
    VmSetValueTable(L->top++, t);
    VmValue key;
    for (int i = 0; i < 60; i++) {
        std::string k = "k" + std::to_string(i * 7);
        VmSetValueString(&key, VmInternString(L, k.data(), k.size()));
        VmSetValueNumber(VmTableSet(L, t, &key), i);
        if (i % 4 == 0) VmSetValueNumber(VmTableSet(L, t, (VmSetValueNumber(&key, i * 2.5 - 20), &key)), i);
        if (i % 9 == 0) VmSetValueNumber(VmTableSetInt(L, t, i + 1), i);
        if (i == 30) VmSetValueNumber(VmTableSet(L, t, (VmSetValueBoolean(&key, 1), &key)), i);
        if (i % 11 == 5) {
            std::string gone = "k" + std::to_string((i - 3) * 7);
            VmSetValueString(&key, VmInternString(L, gone.data(), gone.size()));
            VmSetValueNil(VmTableSet(L, t, &key));
        }
    }
    // Keys 2..16 first land in nodes; later rehashes move them into the array part.
    for (int i = 16; i >= 2; i--) VmSetValueNumber(VmTableSetInt(L, t, i), i);
    for (int i = 0; i < 40; i++) {
        std::string k = "late" + std::to_string(i);
        VmSetValueString(&key, VmInternString(L, k.data(), k.size()));
        VmSetValueNumber(VmTableSet(L, t, &key), i);
    }
    std::string order;
    VmValue val;
    VmSetValueNil(&key);
    while (VmTableNext(L, t, &key, &val)) {
        char buf[40];
        if (key.tt == VM_TSTRING)
            order += VmStringData(VmStringValue(&key));
        else if (key.tt == VM_TNUMBER)
            order += (snprintf(buf, sizeof buf, "%g", key.value.n), buf);
        else
            order += "true";
        order += ' ';
    }
    if (!order.empty()) order.pop_back();
    L->top--;
    return order;
}

// The traversal order is what scripts see of NextItem: it stays as it is however the table is
// stored inside.
TEST(Table, TraversalOrderOfAGrownTable) {
    VmHolder L;
    EXPECT_EQ(GrownTableOrder(L),
              "1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 19 20 28 30 120 late15 k56 late13 late12 k98 "
              "late22 37 late2 k238 k217 late26 late28 k175 late17 late25 late36 46 late38 k392 late7 "
              "late37 k35 k385 true late27 k49 k42 k105 k70 k343 k133 late33 late1 late32 late30 k0 k301 "
              "40 k280 k371 late5 k329 late20 late8 late18 k84 60 late11 -10 k336 k63 late29 k294 k231 "
              "k189 k406 k119 late4 late24 70 k357 k350 55 k196 late35 k112 late34 late14 late39 80 k273 "
              "-20 k364 late16 50 k7 k182 k140 k28 90 k161 k154 k287 late23 late0 k224 k21 k259 k203 100 "
              "late21 late10 late31 late19 late9 k77 k126 k378 0 110 k315 k210 late6 k308 k147 k413 k399 "
              "k252 k266 late3");
}

// The array part's size after each store of number keys in orders that fill it densely, sparsely,
// from the top and with holes made by removals: where keys land (and so the traversal order)
// follows from it. A negative entry -k removes key k.
TEST(Table, ArrayPartSizesAfterEachStore) {
    VmHolder L;
    auto sizes = [&](const std::vector<double>& steps) {
        VmTable* t = VmNewTableObject(L, 0, 0);
        VmSetValueTable(L.state->top++, t);
        std::string out;
        for (double k : steps) {
            VmValue key = Num(std::fabs(k));
            VmValue* slot = VmTableSet(L, t, &key);
            if (k < 0)
                VmSetValueNil(slot);
            else
                VmSetValueNumber(slot, k);
            out += std::to_string(t->sizearray) + " ";
        }
        L.state->top--;
        out.pop_back();
        return out;
    };
    std::vector<double> ascending, descending, odd, spread, holes;
    for (int k = 1; k <= 20; k++) ascending.push_back(k);
    for (int k = 20; k >= 1; k--) descending.push_back(k);
    for (int k = 1; k <= 40; k += 2) odd.push_back(k);
    for (int k = 2; k <= 40; k += 2) odd.push_back(k);
    for (int k : {64, 1, 33, 2, 17, 3, 9, 4, 5, 48, 6, 7, 8, 10, 11, 12, 40, 13, 14, 15, 16}) spread.push_back(k);
    for (double k : {1, 2, 3, 4, 5, 6, 7, 8, -1, -2, -3, -4, 100, 200, 300, 9, 400, 500, -5, 600, 700, 800, 900})
        holes.push_back(k);
    EXPECT_EQ(sizes(ascending), "1 2 4 4 8 8 8 8 16 16 16 16 16 16 16 16 32 32 32 32");
    EXPECT_EQ(sizes(descending), "0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 0 32 32 32 32");
    EXPECT_EQ(sizes(odd), "1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 1 64 64 64 64 64 64 64");
    EXPECT_EQ(sizes(spread), "0 0 1 1 1 4 4 4 8 8 8 8 8 8 8 8 16 16 16 16 16");
    EXPECT_EQ(sizes({0, 1, 2.5, 2, 3, 1e9, 4, 5, 128, 6, 7, 8, 9}), "0 0 1 1 1 4 4 4 8 8 8 8 8");
    EXPECT_EQ(sizes(holes), "1 2 4 4 8 8 8 8 8 8 8 8 0 0 0 0 0 0 0 0 0 0 0");
}

TEST(Table, StringHashUsesEveryStepthByte) {
    // 64 bytes: step 3, so bytes 63, 60, ..., 3 contribute and changing byte 62 does not.
    std::string a(64, 'a'), b(64, 'a'), c(64, 'a');
    b[60] = 'b';
    c[62] = 'c';
    EXPECT_EQ(VmStringHash(a.data(), a.size()), VmStringHash(c.data(), c.size()));
    EXPECT_NE(VmStringHash(a.data(), a.size()), VmStringHash(b.data(), b.size()));
    uint32_t h = 3;
    for (int i = 3; i >= 1; i--) h ^= (h << 5) + (h >> 2) + (unsigned char)"abc"[i - 1];
    EXPECT_EQ(VmStringHash("abc", 3), h);
}

}  // namespace table_test
