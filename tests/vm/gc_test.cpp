#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "vm/vm_gc.h"
#include "vm/vm_state.h"
#include "vm/vm_table.h"
#include "vm_script_util.h"
#include "vm_test_util.h"

namespace gc_test {

static int finalised = 0;
static int FinaliserCounter(VmState*) {
    finalised++;
    return 0;
}

// Pushes a table whose metatable has "__mode" = mode.
static void PushWeakTable(VmState* L, const char* mode) {
    VmNewTable(L);
    VmNewTable(L);
    VmPushString(L, "__mode");
    VmPushString(L, mode);
    VmSetTable(L, -3);
    VmSetMetatable(L, -2);
}

static int CountEntries(VmState* L, int index) {
    int n = 0;
    VmPushNil(L);
    while (VmNext(L, index < 0 ? index - 1 : index)) {
        n++;
        VmPop(L, 1);
    }
    return n;
}

TEST(Gc, WeakKeysDropUnreachableKeysButKeepStrings) {
    VmHolder L;
    PushWeakTable(L, "k");
    VmNewTable(L);  // a key kept alive on the stack
    VmPushValue(L, -1);
    VmPushNumber(L, 1);
    VmSetTable(L, 1);
    for (int i = 0; i < 10; i++) {  // keys reachable only through the weak table
        VmNewTable(L);
        VmPushNumber(L, i);
        VmSetTable(L, 1);
    }
    VmPushString(L, "name");
    VmPushNumber(L, 2);
    VmSetTable(L, 1);
    EXPECT_EQ(CountEntries(L, 1), 12);
    VmCollectGarbage(L);
    EXPECT_EQ(CountEntries(L, 1), 2);
    VmPushString(L, "name");
    VmGetTable(L, 1);
    EXPECT_EQ(VmToNumber(L, -1), 2);
}

TEST(Gc, WeakValuesDropUnreachableValues) {
    VmHolder L;
    PushWeakTable(L, "v");
    VmPushNumber(L, 1);
    VmNewTable(L);
    VmSetTable(L, 1);
    VmPushNumber(L, 2);
    VmPushString(L, "text");
    VmSetTable(L, 1);
    VmCollectGarbage(L);
    VmRawGetI(L, 1, 1);
    EXPECT_EQ(VmType(L, -1), VM_TNIL);
    VmRawGetI(L, 1, 2);
    EXPECT_STREQ(VmToString(L, -1), "text");
}

TEST(Gc, UserdataFinalisedOnceThenFreed) {
    VmHolder L;
    finalised = 0;
    VmNewUserdata(L, 64);
    VmNewTable(L);
    VmPushString(L, "__gc");
    VmPushCFunction(L, FinaliserCounter);
    VmSetTable(L, -3);
    VmSetMetatable(L, -2);
    VmCollectGarbage(L);
    EXPECT_EQ(finalised, 0);  // still on the stack
    VmSetTop(L, 0);
    size_t before = L.state->g->nblocks;
    VmCollectGarbage(L);
    EXPECT_EQ(finalised, 1);
    EXPECT_EQ(L.state->g->rootudata != nullptr, true);  // back on the list, freed next cycle
    VmCollectGarbage(L);
    EXPECT_EQ(finalised, 1);
    EXPECT_LT(L.state->g->nblocks, before);
    EXPECT_EQ(L.state->g->rootudata, nullptr);
}

TEST(Gc, UnlimitedThresholdDisablesCollection) {
    VmHolder L;
    VmSetGcThreshold(L, 0x400000);
    EXPECT_EQ(L.state->g->gcThreshold, VM_GC_UNLIMITED);
    EXPECT_EQ(VmGetGcThreshold(L), 0x3FFFFF);
    size_t before = L.state->g->nblocks;
    for (int i = 0; i < 2000; i++) {
        VmNewTable(L);
        VmPop(L, 1);
    }
    EXPECT_GE(L.state->g->nblocks, before + 2000 * sizeof(VmTable));
    VmSetGcThreshold(L, 0);  // collects at once
    EXPECT_LT(L.state->g->nblocks, before + 1000);
}

TEST(Gc, ThresholdRuleAndKilobyteControls) {
    VmHolder L;
    VmCollectGarbage(L);
    EXPECT_EQ(L.state->g->gcThreshold, 2 * L.state->g->nblocks);
    EXPECT_EQ(VmGetGcCount(L), (int)(L.state->g->nblocks >> 10));
    VmSetGcThreshold(L, 5000);
    EXPECT_EQ(VmGetGcThreshold(L), 5000);
}

// A script that makes n closures of nups upvalues each over the registers of a loop, closing
// the cells at the end of every iteration.
static std::string ClosureLoop(int nups, int n) {
    std::string text = ".function main\n";
    for (int r = 1; r <= 12; r++) text += "  LOADK r" + std::to_string(r) + " " + std::to_string(r) + "\n";
    text += "  LOADK r14 1\n  LOADK r15 " + std::to_string(n) + "\n  LOADK r16 1\n  SUB r14 r14 r16\n  JMP test\n";
    text += "body:\n  CLOSURE r13 f\n";
    for (int u = 1; u <= nups; u++) text += "  MOVE r0 r" + std::to_string(u) + "\n";
    text += "  CLOSE r1\ntest:\n  FORLOOP r14 body\n  RETURN r0 1\n";
    text += "  .function f\n    .upvalues " + std::to_string(nups) + "\n    RETURN r0 1\n  .end\n.end\n";
    return text;
}

// Objects on both sides of the small-block limit, made by the hundred and dropped: once collected,
// the bytes in use are back where they were, to the byte.
TEST(Gc, DroppedObjectsGiveBackTheirBytes) {
    struct Case {
        const char* what;
        int upvalues;  // of a C or script closure
        bool script;
        bool table;
    };
    const Case cases[] = {
        {"C closure without upvalues", 0, false, false},
        {"C closure with 10 upvalues", 10, false, false},
        {"empty table", 0, false, true},
        {"script closure over 1 cell", 1, true, false},
        {"script closure over 12 cells", 12, true, false},
    };
    for (const Case& c : cases) {
        VmHolder L;
        if (c.script) {
            ASSERT_EQ(LoadAsm(L, ClosureLoop(c.upvalues, 500)), 0) << c.what;
        }
        VmCollectGarbage(L);
        size_t before = L.state->g->nblocks;
        int top = VmGetTop(L);
        VmSetGcThreshold(L, 0x400000);  // nothing is collected until asked
        if (c.script) {
            VmPushValue(L, -1);
            ASSERT_EQ(VmProtectedCall(L, 0, 0, 0), 0) << c.what;
        } else {
            for (int i = 0; i < 500; i++) {
                if (c.table) {
                    VmCreateTable(L, 0, 2);
                } else {
                    for (int u = 0; u < c.upvalues; u++) VmPushNumber(L, u);
                    VmPushCClosure(L, FinaliserCounter, c.upvalues);
                }
                VmSetTop(L, top);
            }
        }
        EXPECT_GT(L.state->g->nblocks, before) << c.what;
        VmSetTop(L, top);
        VmCollectGarbage(L);
        EXPECT_EQ(L.state->g->nblocks, before) << c.what;
    }
}

// A table of string keys that grows past a full chunk of small blocks leaves its old node part
// behind; that block is kept (not counted in the bytes in use, never more bytes than those) and
// the short strings made next are carved from it, readable as any other.
TEST(Gc, GrownNodePartHoldsTheNextStrings) {
    VmHolder L;
    VmSetGcThreshold(L, 0x400000);
    VmNewTable(L);
    auto setKey = [&](int i) {
        VmPushString(L, ("k" + std::to_string(i)).c_str());
        VmPushNumber(L, i);
        VmSetTable(L, 1);
    };
    // 65537 keys grow the node part from 65536 nodes (over 2 MB) to 131072.
    for (int i = 0; i <= 65536; i++) setKey(i);
    VmSmallBlocks* small = &L.state->g->small;
    void* kept = small->spare;
    ASSERT_NE(kept, nullptr);
    EXPECT_GE(small->spareBytes, 65536 * sizeof(VmNode));
    EXPECT_LE(small->spareBytes, L.state->g->nblocks);
    size_t before = L.state->g->nblocks;
    // 40000 more keys fit the grown node part; their strings need new chunks.
    for (int i = 65537; i < 105537; i++) setKey(i);
    bool carved = false;
    for (void* chunk = small->chunks; chunk; chunk = *static_cast<void**>(chunk)) carved |= chunk == kept;
    EXPECT_TRUE(carved);
    EXPECT_GE(L.state->g->nblocks, before + 40000 * VmStringSize(6));
    for (int i = 0; i < 105537; i += 7) {
        VmPushString(L, ("k" + std::to_string(i)).c_str());
        VmGetTable(L, 1);
        EXPECT_EQ(VmToNumber(L, -1), i);
        VmPop(L, 1);
    }
}

// Zeroed arrays on both sides of the huge-page size come back all zero where a dirty one of the
// same size was just freed, and count exactly their bytes in use.
TEST(Gc, ZeroedArraysAreZeroWhereAFreedOneStood) {
    VmHolder L;
    const size_t sizes[] = {(2u << 20) - 8, 2u << 20, (3u << 20) + 8, 5u << 20};
    for (size_t size : sizes) {
        size_t before = L.state->g->nblocks;
        char* dirty = VmNewZeroedArray<char>(L, size);
        memset(dirty, 0xA5, size);
        VmFreeArray(L.state, dirty, size);
        char* fresh = VmNewZeroedArray<char>(L, size);
        EXPECT_EQ(L.state->g->nblocks, before + size) << size;
        size_t nonzero = 0;
        for (size_t i = 0; i < size; i++) nonzero += fresh[i] != 0;
        EXPECT_EQ(nonzero, 0u) << size;
        VmFreeArray(L.state, fresh, size);
        EXPECT_EQ(L.state->g->nblocks, before) << size;
    }
}

// Thousands of automatic collections while a linked structure, closures over C upvalues, threads
// and strings churn: under the sanitizers nothing may leak or be used after being freed.
TEST(Gc, ChurnThroughManyCollections) {
    VmHolder L;
    VmSetGcThreshold(L, 1);
    VmNewTable(L);  // 1: live list
    for (int round = 0; round < 3000; round++) {
        VmNewTable(L);
        VmPushString(L, ("item" + std::to_string(round)).c_str());
        VmRawSetI(L, -2, 1);
        VmPushNumber(L, round);
        VmPushCClosure(L, FinaliserCounter, 1);
        VmRawSetI(L, -2, 2);
        VmNewThread(L);
        VmRawSetI(L, -2, 3);
        VmRawSetI(L, 1, round % 100);  // replaces an older item
        VmSetGcThreshold(L, 0);
    }
    int items = CountEntries(L, 1);
    EXPECT_EQ(items, 100);
    VmRawGetI(L, 1, 42);
    VmRawGetI(L, -1, 1);
    EXPECT_STREQ(VmToString(L, -1), "item2942");
}

static int GrowStack(VmState* L) {
    if (!VmCheckStack(L, 1500)) return ERR_STACK;
    for (int i = 0; i < 1500; i++) VmPushNumber(L, i);
    return 0;
}

TEST(Gc, ThreadsShrinkAndDie) {
    VmHolder L;
    VmState* th = VmNewThread(L);
    VmPushCFunction(th, GrowStack);
    VmCall(th, 0, 0);
    int grown = th->stackSize;
    EXPECT_GT(grown, 1500);
    VmCollectGarbage(L);
    EXPECT_LT(th->stackSize, grown);
    VmSetTop(L, 0);
    VmCollectGarbage(L);  // the thread is gone
    for (VmObject* o = L.state->g->rootgc; o; o = o->next) EXPECT_NE(o->tt, VM_TTHREAD);
}

// A finaliser that stores its userdata somewhere reachable keeps it alive with its data; it is
// never finalised again, not even when the VM closes, and it is freed once dropped.
static int Resurrect(VmState* L) {
    finalised++;
    VmPushString(L, "saved");
    VmPushValue(L, 1);
    VmSetTable(L, VM_REGISTRYINDEX);
    return 0;
}

TEST(Gc, ResurrectedUserdataStaysAliveAndIsFinalisedOnce) {
    finalised = 0;
    {
        VmHolder L;
        char* data = static_cast<char*>(VmNewUserdata(L, 16));
        strcpy(data, "payload");
        VmNewTable(L);
        VmPushString(L, "__gc");
        VmPushCFunction(L, Resurrect);
        VmSetTable(L, -3);
        VmSetMetatable(L, -2);
        VmSetTop(L, 0);
        VmCollectGarbage(L);
        EXPECT_EQ(finalised, 1);
        VmCollectGarbage(L);
        VmCollectGarbage(L);
        EXPECT_EQ(finalised, 1);
        VmPushString(L, "saved");
        VmGetTable(L, VM_REGISTRYINDEX);
        EXPECT_STREQ(static_cast<char*>(VmToUserdata(L, -1)), "payload");
        VmSetTop(L, 0);
    }
    EXPECT_EQ(finalised, 1);  // closing the VM does not run it again
}

}  // namespace gc_test
