// Table helpers of the `system` library: items (t[0], t[1], ... up to the first Nil), sorting,
// copying, joining, iteration and callbacks over entries.
#include <cstring>
#include <string>
#include <unordered_set>

#include "base/charset.h"
#include "base/error_codes.h"
#include "libs/system/system.h"
#include "runtime/arg_check.h"
#include "runtime/error_messages.h"
#include "runtime/runtime.h"
#include "vm/vm.h"
#include "vm/vm_aux.h"

namespace {

// Free stack slots Sort needs for its comparisons.
constexpr int kSortStack = 40;

// Number of items of the table at index; stopAtEmptyString also ends the count at "".
int CountItems(VmState* state, int index, bool stopAtEmptyString = false) {
    int n = 0;
    for (;; n++) {
        VmRawGetI(state, index, n);
        int type = VmType(state, -1);
        bool end = type == VM_TNIL || (stopAtEmptyString && type == VM_TSTRING && VmStrLen(state, -1) == 0);
        VmPop(state, 1);
        if (end) return n;
    }
}

// ---- Sort ----

struct SortContext {
    VmState* state;
    int table;     // stack index of the table
    int function;  // stack index of the order function, 0 for the built-in order
};

// Whether the value at stack index a comes before the one at b.
bool SortLess(const SortContext& ctx, int a, int b) {
    VmState* state = ctx.state;
    if (!ctx.function) return VmLessThan(state, a, b, 0) != 0;
    a = VmAbsIndex(state, a);
    b = VmAbsIndex(state, b);
    VmPushValue(state, ctx.function);
    VmPushValue(state, a);
    VmPushValue(state, b);
    VmCall(state, 2, 1);
    bool less = VmType(state, -1) == VM_TNUMBER && VmToNumber(state, -1) != 0;
    VmPop(state, 1);
    return less;
}

// The stack top holds t[i] and above it t[j]: stores them the other way round (t[i] gets the top
// value) and pops both.
void SwapPushed(const SortContext& ctx, int i, int j) {
    VmRawSetI(ctx.state, ctx.table, i);
    VmRawSetI(ctx.state, ctx.table, j);
}

// Swaps t[i] and t[j] when t[j] comes before t[i]; returns whether they were swapped.
bool OrderPair(const SortContext& ctx, int i, int j) {
    VmRawGetI(ctx.state, ctx.table, i);
    VmRawGetI(ctx.state, ctx.table, j);
    if (SortLess(ctx, -1, -2)) {
        SwapPushed(ctx, i, j);
        return true;
    }
    VmPop(ctx.state, 2);
    return false;
}

// Quicksort over [lo, hi]: recurses on the smaller part and loops on the larger one, so the
// recursion depth stays logarithmic. Returns 0 or ERR_SORTFUNC when the order function is
// inconsistent and an index runs past the range.
int SortRange(const SortContext& ctx, int lo, int hi) {
    VmState* state = ctx.state;
    int t = ctx.table;
    while (lo < hi) {
        OrderPair(ctx, lo, hi);
        if (hi - lo == 1) break;
        int m = (lo + hi) / 2;
        if (!OrderPair(ctx, lo, m)) OrderPair(ctx, m, hi);
        if (hi - lo == 2) break;
        // The pivot goes to hi - 1 and stays on the stack for the partition.
        VmRawGetI(state, t, m);
        VmPushValue(state, -1);
        VmRawGetI(state, t, hi - 1);
        SwapPushed(ctx, m, hi - 1);
        int pivot = VmGetTop(state);
        int i = lo, j = hi - 1;
        for (;;) {
            // Only an inconsistent order function lets an index leave the range: the ends are
            // ordered against the pivot above.
            for (;;) {
                if (++i > hi) {
                    VmPop(state, 1);
                    return ERR_SORTFUNC;
                }
                VmRawGetI(state, t, i);
                if (!SortLess(ctx, -1, pivot)) break;
                VmPop(state, 1);
            }
            for (;;) {
                if (--j < lo) {
                    VmPop(state, 2);
                    return ERR_SORTFUNC;
                }
                VmRawGetI(state, t, j);
                if (!SortLess(ctx, pivot, -1)) break;
                VmPop(state, 1);
            }
            if (j < i) {
                VmPop(state, 2);
                break;
            }
            SwapPushed(ctx, i, j);
        }
        VmPop(state, 1);  // the pivot
        VmRawGetI(state, t, hi - 1);
        VmRawGetI(state, t, i);
        SwapPushed(ctx, hi - 1, i);
        int nextLo, nextHi;
        if (i - lo < hi - i) {
            nextLo = lo;
            nextHi = i - 1;
            lo = i + 1;
        } else {
            nextLo = i + 1;
            nextHi = hi;
            hi = i - 1;
        }
        int error = SortRange(ctx, nextLo, nextHi);
        if (error) return error;
    }
    return 0;
}

// ---- CopyTable ----

// Pushes a copy of the table at index. Nested tables are copied too unless shallow; a table that
// contains itself (directly or further down) cannot be copied deeply: ERR_STACK, like a nesting
// too deep for the stack.
int CopyTableAt(VmState* state, int index, bool shallow, std::unordered_set<const void*>* path) {
    index = VmAbsIndex(state, index);
    if (!VmCheckStack(state, 4)) return ERR_STACK;
    const void* self = VmToPointer(state, index);
    path->insert(self);
    VmNewTable(state);
    int copy = VmGetTop(state);
    VmPushNil(state);
    while (VmNext(state, index)) {
        VmPushValue(state, -2);  // key
        if (!shallow && VmType(state, -2) == VM_TTABLE) {
            if (path->count(VmToPointer(state, -2))) {
                VmSetTop(state, copy - 1);
                return ERR_STACK;
            }
            int error = CopyTableAt(state, -2, false, path);
            if (error) {
                VmSetTop(state, copy - 1);
                return error;
            }
        } else {
            VmPushValue(state, -2);  // value
        }
        VmRawSet(state, copy);
        VmPop(state, 1);
    }
    path->erase(self);
    return 0;
}

// Calls the function at stack index fn with the two values on the stack top (popped) as a script
// callback. 0 with its one result pushed, or the error code it raised.
int CallCallback(VmState* state, int fn) {
    VmPushValue(state, fn);
    VmInsert(state, -3);
    SetRuntimeAttrs(state, {{QZ_RTA_CALLBACKDEPTH, 1}});
    int status = VmProtectedCall(state, 2, 1, 0);
    SetRuntimeAttrs(state, {{QZ_RTA_CALLBACKDEPTH, 0}});
    return status;
}

// One step of ForEach and ForEachI: calls the callback (argument 2) with the key and value on the
// stack top. 0 to go on (nothing left on the stack); otherwise what the command returns: 1 with
// the callback's non-Nil result left on the stack, or the error code.
int VisitEntry(VmState* state) {
    int error = CallCallback(state, 2);
    if (error) return error;
    if (VmType(state, -1) != VM_TNIL) return 1;
    VmPop(state, 1);
    return 0;
}

}  // namespace

int SysSort(VmState* state) {
    VmCheckTable(state, 1);
    SortContext ctx{state, 1, 0};
    if (VmGetTop(state) >= 2 && VmType(state, 2) != VM_TNIL) {
        VmCheckFunction(state, 2);
        ctx.function = 2;
    }
    if (!VmCheckStack(state, kSortStack)) return ERR_STACK;
    int n = CountItems(state, 1, ctx.function == 0);
    VmSetTop(state, 2);
    return SortRange(ctx, 0, n - 1);
}

int SysInsertItem(VmState* state) {
    VmCheckTable(state, 1);
    int32_t pos = VmOptInteger(state, 3, -1);
    VmSetTop(state, 2);
    int n = CountItems(state, 1);
    if (pos < 0 || pos > n) pos = n;
    for (int i = n; i > pos; i--) {
        VmRawGetI(state, 1, i - 1);
        VmRawSetI(state, 1, i);
    }
    VmPushValue(state, 2);
    VmRawSetI(state, 1, pos);
    return 0;
}

int SysRemoveItem(VmState* state) {
    VmCheckTable(state, 1);
    int32_t pos = VmOptInteger(state, 2, -1);
    VmSetTop(state, 1);
    int n = CountItems(state, 1);
    if (n == 0) return 0;
    if (pos < 0 || pos > n - 1) pos = n - 1;
    VmRawGetI(state, 1, pos);
    for (int i = pos; i < n - 1; i++) {
        VmRawGetI(state, 1, i + 1);
        VmRawSetI(state, 1, i);
    }
    VmPushNil(state);
    VmRawSetI(state, 1, n - 1);
    return 1;
}

int SysListItems(VmState* state) {
    VmCheckTable(state, 1);
    VmPushNumber(state, CountItems(state, 1));
    return 1;
}

int SysUnpack(VmState* state) {
    VmCheckTable(state, 1);
    int n = CountItems(state, 1);
    // Results beyond the handler result limit cannot be returned either.
    if (n > 999 || !VmCheckStack(state, n)) return ERR_STACK;
    for (int i = 0; i < n; i++) VmRawGetI(state, 1, i);
    return n;
}

int SysCopyTable(VmState* state) {
    VmCheckTable(state, 1);
    bool shallow = VmOptInteger(state, 2, 0) != 0;
    VmSetTop(state, 1);
    std::unordered_set<const void*> path;
    int error = CopyTableAt(state, 1, shallow, &path);
    return error ? error : 1;
}

int SysConcat(VmState* state) {
    VmCheckTable(state, 1);
    size_t sepLength;
    const char* sep = VmOptString(state, 2, "", &sepLength);
    int32_t start = VmOptInteger(state, 3, 0);
    int32_t end = VmOptInteger(state, 4, 0);
    if (end == 0) end = CountItems(state, 1) - 1;
    int32_t badItem = 0;
    if (!VmJoinItems(state, 1, start, end, sep, sepLength, &badItem)) {
        SetErrorArgIndex(badItem);
        return ERR_STRINGEXPECTED;
    }
    return 1;
}

int SysForEach(VmState* state) {
    VmCheckTable(state, 1);
    VmCheckFunction(state, 2);
    VmPushNil(state);
    while (VmNext(state, 1)) {
        VmPushValue(state, -2);
        VmInsert(state, -2);  // key, key, value
        if (int result = VisitEntry(state)) return result;
    }
    return 0;
}

int SysForEachI(VmState* state) {
    VmCheckTable(state, 1);
    VmCheckFunction(state, 2);
    for (int i = 0;; i++) {
        VmRawGetI(state, 1, i);
        if (VmType(state, -1) == VM_TNIL) return 0;
        VmPushNumber(state, i);
        VmInsert(state, -2);
        if (int result = VisitEntry(state)) return result;
    }
}

int SysHaveItem(VmState* state) {
    VmCheckTable(state, 1);
    if (VmType(state, 2) == VM_TSTRING) {
        std::string key(VmToString(state, 2), VmStrLen(state, 2));
        for (char& c : key) c = static_cast<char>(ToLowerChar(static_cast<unsigned char>(c)));
        VmPushLString(state, key.data(), key.size());
    } else {
        VmPushValue(state, 2);
    }
    VmGetTable(state, 1);
    VmPushNumber(state, VmType(state, -1) != VM_TNIL);
    return 1;
}

int SysIPairs(VmState* state) {
    VmCheckTable(state, 1);
    if (VmGetTop(state) == 1) {
        VmPushString(state, "ipairs");
        VmGetTable(state, VM_GLOBALSINDEX);
        VmPushValue(state, 1);
        VmPushNumber(state, -1);
        return 3;
    }
    int32_t i = VmCheckInteger(state, 2);
    if (i == INT32_MAX) return 0;
    VmRawGetI(state, 1, i + 1);
    if (VmType(state, -1) == VM_TNIL) return 0;
    VmPushNumber(state, i + 1);
    VmInsert(state, -2);
    return 2;
}

int SysPairs(VmState* state) {
    VmCheckTable(state, 1);
    VmPushString(state, "nextitem");
    VmGetTable(state, VM_GLOBALSINDEX);
    VmPushValue(state, 1);
    VmPushNil(state);
    return 3;
}

int SysNextItem(VmState* state) {
    VmCheckTable(state, 1);
    VmSetTop(state, 2);  // a missing key is Nil: the first entry
    if (VmNext(state, 1)) return 2;
    VmPushNil(state);
    return 1;
}
