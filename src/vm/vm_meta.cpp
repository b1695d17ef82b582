// Operations on values with their events: indexing, assignment, arithmetic, comparison and
// concatenation.
#include "vm/vm_meta.h"

#include <cmath>
#include <cstdio>

#include "base/charset.h"
#include "base/error_arg.h"
#include "vm/vm_debug.h"
#include "vm/vm_do.h"
#include "vm/vm_state.h"
#include "vm/vm_string.h"
#include "vm/vm_table.h"
#include "vm/vm_value.h"

// Chained "__index" / "__newindex" steps allowed before giving up.
constexpr int VM_MAXTAGLOOP = 100;

void VmCallEventResult(VmState* state, const VmValue* handler, const VmValue* a, const VmValue* b, VmValue* result) {
    VmValue h = *handler, x = *a, y = *b;
    VmCheckStackRoom(state, 3);
    state->top[0] = h;
    state->top[1] = x;
    state->top[2] = y;
    state->top += 3;
    VmCallValue(state, state->top - 3, 1);
    state->top--;
    *result = *state->top;
}

static void CallEventNoResult(VmState* state, const VmValue* handler, const VmValue* a, const VmValue* b,
                              const VmValue* c) {
    VmValue h = *handler, x = *a, y = *b, z = *c;
    VmCheckStackRoom(state, 4);
    state->top[0] = h;
    state->top[1] = x;
    state->top[2] = y;
    state->top[3] = z;
    state->top += 4;
    VmCallValue(state, state->top - 4, 0);
}

// The error argument of ERR_FIELDINIT: a string key in double quotes, a number with "%g".
static void SetFieldKeyArg(const VmValue* key) {
    char buf[1024];
    if (key->tt == VM_TSTRING)
        snprintf(buf, sizeof(buf), "\"%.1000s\"", VmStringData(VmStringValue(key)));
    else if (key->tt == VM_TNUMBER && std::isnan(key->value.n))
        snprintf(buf, sizeof(buf), "nan");
    else if (key->tt == VM_TNUMBER)
        snprintf(buf, sizeof(buf), "%g", key->value.n);
    else if (key->tt == VM_TNIL)
        snprintf(buf, sizeof(buf), "0");
    else
        snprintf(buf, sizeof(buf), "(%s)", VmTypeName(nullptr, key->tt));
    SetErrorArgString(buf);
}

void VmGetTableValue(VmState* state, const VmValue* t, const VmValue* key, VmValue* result, int mode) {
    VmValue tv = *t, kv = *key;
    for (int loop = 0; loop < VM_MAXTAGLOOP; loop++) {
        const VmValue* handler;
        if (tv.tt == VM_TTABLE) {
            VmTable* h = VmTableValue(&tv);
            const VmValue* res = VmTableGet(h, &kv);
            if (res->tt != VM_TNIL) {
                *result = *res;
                return;
            }
            handler = VmFastEvent(state, h->metatable, VM_EV_INDEX);
            if (!handler) {
                if (mode == VM_GET_FIELDCHECK) {
                    SetFieldKeyArg(&kv);
                    VmRaiseError(state, ERR_FIELDINIT);
                }
                VmSetValueNil(result);
                return;
            }
        } else {
            handler = VmGetEventOf(state, &tv, VM_EV_INDEX);
            if (!handler) VmRaiseTypeErrorValue(state, loop == 0 ? t : &tv, ERR_TABLEDECLA, "{}");
        }
        if (handler->tt == VM_TFUNCTION) {
            VmCallEventResult(state, handler, &tv, &kv, result);
            return;
        }
        tv = *handler;
    }
    SetErrorArgString("#1");
    VmRaiseError(state, ERR_INTERNAL1);
}

void VmSetTableValue(VmState* state, const VmValue* t, const VmValue* key, const VmValue* value) {
    VmValue tv = *t, kv = *key, vv = *value;
    for (int loop = 0; loop < VM_MAXTAGLOOP; loop++) {
        const VmValue* handler;
        if (tv.tt == VM_TTABLE) {
            VmTable* h = VmTableValue(&tv);
            const VmValue* slot = VmTableGet(h, &kv);
            if (slot->tt != VM_TNIL) {
                h->flags = 0;
                *const_cast<VmValue*>(slot) = vv;
                return;
            }
            handler = VmFastEvent(state, h->metatable, VM_EV_NEWINDEX);
            if (!handler) {
                *VmTableSet(state, h, &kv) = vv;
                return;
            }
        } else {
            handler = VmGetEventOf(state, &tv, VM_EV_NEWINDEX);
            if (!handler) VmRaiseTypeErrorValue(state, loop == 0 ? t : &tv, ERR_TABLEDECLA, "{}");
        }
        if (handler->tt == VM_TFUNCTION) {
            CallEventNoResult(state, handler, &tv, &kv, &vv);
            return;
        }
        tv = *handler;
    }
    SetErrorArgString("#2");
    VmRaiseError(state, ERR_INTERNAL1);
}

// ---------------------------------------------------------------------------------------------
// Arithmetic

static VmEvent ArithEvent(int op) {
    switch (op) {
    case OP_ADD: return VM_EV_ADD;
    case OP_SUB: return VM_EV_SUB;
    case OP_MUL: return VM_EV_MUL;
    case OP_DIV: return VM_EV_DIV;
    case OP_IDIV: return VM_EV_DIVINT;
    case OP_MOD: return VM_EV_MOD;
    case OP_SHL: return VM_EV_LSH;
    case OP_SHR: return VM_EV_RSH;
    case OP_BOR: return VM_EV_OR;
    case OP_BAND: return VM_EV_AND;
    case OP_BXOR: return VM_EV_XOR;
    case OP_POW: return VM_EV_POW;
    case OP_UNM: return VM_EV_UNM;
    default: return VM_EV_NOT;
    }
}

double VmArithNumbers(VmState* state, int op, double x, double y) {
    switch (op) {
    case OP_ADD: return x + y;
    case OP_SUB: return x - y;
    case OP_MUL: return x * y;
    case OP_DIV:
        if (y == 0) VmRaiseError(state, ERR_ZERODIVISION);
        return x / y;
    case OP_IDIV:
    case OP_MOD: {
        int32_t a = VmDoubleToInt32(x), b = VmDoubleToInt32(y);
        if (b == 0) VmRaiseError(state, ERR_ZERODIVISION);
        // -2^31 / -1 does not fit: the negated dividend wraps as the machine word does.
        if (b == -1) return op == OP_IDIV ? (double)(int32_t)(0u - (uint32_t)a) : 0.0;
        return op == OP_IDIV ? (double)(a / b) : (double)(a % b);
    }
    case OP_SHL:
    case OP_SHR: {
        uint32_t a = VmDoubleToBits32(x);
        int count = VmDoubleToInt32(y) & 63;
        if (count >= 32) return 0.0;
        return (double)(op == OP_SHL ? (uint32_t)(a << count) : (a >> count));
    }
    case OP_BOR: return (double)(VmDoubleToBits32(x) | VmDoubleToBits32(y));
    case OP_BAND: return (double)(VmDoubleToBits32(x) & VmDoubleToBits32(y));
    case OP_BXOR: return (double)(VmDoubleToBits32(x) ^ VmDoubleToBits32(y));
    case OP_POW: return pow(x, y);
    case OP_UNM: return -x;
    case OP_BNOT: return (double)(uint32_t)~VmDoubleToBits32(x);
    default: return 0.0;
    }
}

void VmArith(VmState* state, VmValue* result, const VmValue* a, const VmValue* b, int op) {
    double x, y;
    if (VmToNumberValue(a, &x) && VmToNumberValue(b, &y)) {
        VmSetValueNumber(result, VmArithNumbers(state, op, x, y));
        return;
    }
    VmEvent ev = ArithEvent(op);
    const VmValue* handler = VmGetEventOf(state, a, ev);
    if (!handler) handler = VmGetEventOf(state, b, ev);
    if (!handler) VmRaiseError(state, ERR_WRONGOP);
    VmCallEventResult(state, handler, a, b, result);
}

// ---------------------------------------------------------------------------------------------
// Comparison

int VmCompareStrings(const VmString* a, const VmString* b, bool caseSensitive) {
    const char* l = VmStringData(a);
    size_t ll = a->len;
    const char* r = VmStringData(b);
    size_t lr = b->len;
    for (;;) {
        int temp = caseSensitive ? strcmp(l, r) : CompareNoCase(l, r);
        if (temp != 0) return temp;
        // Equal up to a NUL: continue after it.
        size_t len = strlen(l);
        if (len == lr) return len == ll ? 0 : 1;
        if (len == ll) return -1;
        len++;
        l += len;
        ll -= len;
        r += len;
        lr -= len;
    }
}

static bool IsNumStrMix(int ta, int tb) {
    return (ta == VM_TNUMBER && tb == VM_TSTRING) || (ta == VM_TSTRING && tb == VM_TNUMBER);
}

[[noreturn]] static void RaiseMismatch(VmState* state, int ta, int tb) {
    VmRaiseError(state, IsNumStrMix(ta, tb) ? ERR_NUMSTRCMP : ERR_WRONGOP);
}

static VmTable* MetatableOf(const VmValue* v) {
    if (v->tt == VM_TTABLE) return VmTableValue(v)->metatable;
    if (v->tt == VM_TUSERDATA) return VmUserdataValue(v)->metatable;
    return nullptr;
}

// The handler of an event that both operands' metatables agree on, null if none.
static const VmValue* CommonEvent(VmState* state, const VmValue* a, const VmValue* b, VmEvent ev) {
    VmTable* ma = MetatableOf(a);
    VmTable* mb = MetatableOf(b);
    const VmValue* ha = VmFastEvent(state, ma, ev);
    if (!ha) return nullptr;
    if (ma == mb) return ha;
    const VmValue* hb = VmFastEvent(state, mb, ev);
    if (!hb || !VmRawEqualValues(ha, hb)) return nullptr;
    return ha;
}

int VmEqualValues(VmState* state, const VmValue* a, const VmValue* b) {
    if (a->tt == VM_TNIL && b->tt == VM_TNIL) return 1;
    if (a->tt == VM_TNIL || b->tt == VM_TNIL) {
        const VmValue* o = a->tt == VM_TNIL ? b : a;
        if (o->tt == VM_TNUMBER) return o->value.n == 0;
        if (o->tt == VM_TSTRING) return VmStringValue(o)->len == 0;
        return 0;
    }
    if (a->tt != b->tt) RaiseMismatch(state, a->tt, b->tt);
    switch (a->tt) {
    case VM_TNUMBER: return a->value.n == b->value.n;
    case VM_TBOOLEAN: return a->value.b == b->value.b;
    case VM_TLIGHTUSERDATA: return a->value.p == b->value.p;
    case VM_TTABLE:
    case VM_TUSERDATA: {
        if (a->value.gc == b->value.gc) return 1;
        const VmValue* handler = CommonEvent(state, a, b, VM_EV_EQ);
        if (!handler) return 0;
        VmValue res;
        VmCallEventResult(state, handler, a, b, &res);
        if (res.tt == VM_TNIL) return 0;
        if (res.tt == VM_TNUMBER) return res.value.n != 0;
        return 1;
    }
    default: return a->value.gc == b->value.gc;
    }
}

static int CallOrderEvent(VmState* state, const VmValue* a, const VmValue* b, VmEvent ev, int* out) {
    const VmValue* handler = CommonEvent(state, a, b, ev);
    if (!handler) return 0;
    VmValue res;
    VmCallEventResult(state, handler, a, b, &res);
    *out = !VmTestFalse(&res);
    return 1;
}

int VmLessThanValues(VmState* state, const VmValue* a, const VmValue* b, bool caseSensitive) {
    if (a->tt == VM_TNIL) {
        if (b->tt == VM_TNUMBER) return 0 < b->value.n;
        if (b->tt == VM_TNIL || b->tt == VM_TSTRING) return 0;
        VmRaiseError(state, ERR_WRONGOP);
    }
    if (b->tt == VM_TNIL) {
        if (a->tt == VM_TNUMBER) return a->value.n < 0;
        if (a->tt == VM_TSTRING) return 0;
        VmRaiseError(state, ERR_WRONGOP);
    }
    if (a->tt != b->tt) RaiseMismatch(state, a->tt, b->tt);
    if (a->tt == VM_TNUMBER) return a->value.n < b->value.n;
    if (a->tt == VM_TSTRING) return VmCompareStrings(VmStringValue(a), VmStringValue(b), caseSensitive) < 0;
    int res;
    if (CallOrderEvent(state, a, b, VM_EV_LT, &res)) return res;
    VmRaiseError(state, ERR_WRONGOP);
}

int VmLessEqualValues(VmState* state, const VmValue* a, const VmValue* b) {
    if (a->tt == VM_TNIL) {
        if (b->tt == VM_TNUMBER) return b->value.n >= 0;
        if (b->tt == VM_TSTRING) return 0;
        if (b->tt == VM_TNIL) return 1;
        VmRaiseError(state, ERR_WRONGOP);
    }
    if (b->tt == VM_TNIL) {
        if (a->tt == VM_TNUMBER) return a->value.n <= 0;
        if (a->tt == VM_TSTRING) return 0;
        VmRaiseError(state, ERR_WRONGOP);
    }
    if (a->tt != b->tt) RaiseMismatch(state, a->tt, b->tt);
    if (a->tt == VM_TNUMBER) return a->value.n <= b->value.n;
    if (a->tt == VM_TSTRING) return VmCompareStrings(VmStringValue(a), VmStringValue(b), true) <= 0;
    int res;
    if (CallOrderEvent(state, a, b, VM_EV_LE, &res)) return res;
    if (CallOrderEvent(state, b, a, VM_EV_LT, &res)) return !res;
    VmRaiseError(state, ERR_WRONGOP);
}

// ---------------------------------------------------------------------------------------------
// Concatenation

static bool IsStrOrNum(const VmValue* v) { return v->tt == VM_TSTRING || v->tt == VM_TNUMBER; }

// Results from this length on are written straight into their string; shorter ones are put
// together on the stack and interned from there.
constexpr uint64_t VM_JOIN_IN_PLACE = 256;
// Numbers whose text the first pass keeps for the second.
constexpr int VM_JOIN_NUMBERS = 8;
// Most values whose long result is hashed from the values' texts before it is copied.
constexpr int VM_JOIN_PIECES = 32;

// Appends bytes at out; texts of a few bytes (the usual items) are copied without a library call.
static inline char* AppendBytes(char* out, const char* bytes, size_t length) {
    if (length <= 8) {
        for (size_t i = 0; i < length; i++) out[i] = bytes[i];
        return out + length;
    }
    memcpy(out, bytes, length);
    return out + length;
}

// The n strings and numbers from first on joined into one interned string (numbers as "%.14g"
// text); a result of 0xFFFFFFFD bytes or more raises ERR_INTERNAL. keyTable, when not null, is a
// table the result is looked up in next.
static VmString* JoinValues(VmState* state, const VmValue* first, int n, const VmTable* keyTable, bool keyRead) {
    char numbers[VM_JOIN_NUMBERS][32];
    int numberLengths[VM_JOIN_NUMBERS];
    int numberCount = 0;
    bool spilled = false;  // a number beyond the kept ones: its text is made again when copied
    uint64_t total = 0;
    for (int i = 0; i < n; i++) {
        if (first[i].tt == VM_TSTRING) {
            total += VmStringValue(&first[i])->len;
        } else if (numberCount < VM_JOIN_NUMBERS) {
            numberLengths[numberCount] = VmFormatNumber(first[i].value.n, numbers[numberCount]);
            total += (uint64_t)numberLengths[numberCount++];
        } else {
            char text[32];
            total += (uint64_t)VmFormatNumber(first[i].value.n, text);
            spilled = true;
        }
    }
    if (total >= 0xFFFFFFFDu) VmRaiseError(state, ERR_INTERNAL);
    if (total >= VM_JOIN_IN_PLACE && n <= VM_JOIN_PIECES && !spilled) {
        // A long result is hashed from its pieces, which are in the cache, and then copied.
        VmTextPiece pieces[VM_JOIN_PIECES];
        int number = 0;
        for (int i = 0; i < n; i++) {
            if (first[i].tt == VM_TSTRING) {
                const VmString* s = VmStringValue(&first[i]);
                pieces[i] = {VmStringData(s), s->len};
            } else {
                pieces[i] = {numbers[number], (size_t)numberLengths[number]};
                number++;
            }
        }
        uint32_t h = VmStringLookupHashOfPieces(pieces, n, (size_t)total);
        VmString* block = VmNewStringBlock(state, (size_t)total);
        char* out = VmStringData(block);
        for (int i = 0; i < n; i++) {
            memcpy(out, pieces[i].bytes, pieces[i].length);
            out += pieces[i].length;
        }
        return VmInternBlockHashed(state, block, h);
    }
    char local[VM_JOIN_IN_PLACE];
    VmString* block = total >= VM_JOIN_IN_PLACE ? VmNewStringBlock(state, (size_t)total) : nullptr;
    char* out = block ? VmStringData(block) : local;
    char* end = out;
    int number = 0;
    for (int i = 0; i < n; i++) {
        const VmValue* v = first + i;
        if (v->tt == VM_TSTRING) {
            const VmString* s = VmStringValue(v);
            end = AppendBytes(end, VmStringData(s), s->len);
        } else if (number < numberCount) {
            end = AppendBytes(end, numbers[number], (size_t)numberLengths[number]);
            number++;
        } else {
            char text[32];
            end = AppendBytes(end, text, (size_t)VmFormatNumber(v->value.n, text));
        }
    }
    size_t pos = (size_t)(end - out);
    if (block) return VmInternBlock(state, block);
    if (!keyTable) return VmInternString(state, out, pos);
    uint32_t h = VmStringHash(out, pos);
    const VmNode* home = &keyTable->node[h & (uint32_t)(VmNodeCount(keyTable) - 1)];
    if (keyRead) {
        // A key that is read is mostly in the table: its string is found in the chain that the
        // read walks next anyway, without a search of the string table. Every string is
        // interned, so a key of equal text is the one string of that text. Removed keys (a nil
        // value) are passed over: the next collection frees their strings when nothing else
        // holds them.
        for (const VmNode* n = home; n; n = n->next) {
            if (n->key.aux != h || n->key.tt != VM_TSTRING || n->val.tt == VM_TNIL) continue;
            VmString* s = VmStringValue(&n->key);
            if (s->len == pos && memcmp(VmStringData(s), out, pos) == 0) return s;
        }
    } else {
        // The key's node in that table is fetched while the string table is searched, instead
        // of after it.
        __builtin_prefetch(home);
    }
    // A new string is left without its table hash: it tells the table read or store that the
    // key is in no table, without a walk of the chain.
    return VmInternString(state, out, pos);
}

// Item key of a table: the array slot for keys inside the array part, else the node lookup.
static inline const VmValue* TableItem(VmTable* t, int32_t key) {
    if ((uint32_t)(key - 1) < (uint32_t)t->sizearray) return &t->array[key - 1];
    return VmTableGetInt(t, key);
}

// The text of a number, kept out of line: joined items are mostly strings.
[[gnu::noinline]] static char* AppendNumber(char* out, double n) {
    char text[32];
    return AppendBytes(out, text, (size_t)VmFormatNumber(n, text));
}

// Appends a string item, or a number item's text.
static inline char* AppendItem(char* out, const VmValue* v) {
    if (v->tt == VM_TSTRING) [[likely]] {
        const VmString* s = VmStringValue(v);
        return AppendBytes(out, VmStringData(s), s->len);
    }
    return AppendNumber(out, v->value.n);
}

// Adds the text lengths of the items start..end to *total; false with *badKey at the first item
// that is neither a string nor a number.
template <typename ItemAt>
static bool MeasureItems(ItemAt itemAt, int64_t start, int64_t end, uint64_t* total, int32_t* badKey) {
    uint64_t sum = 0;
    for (int64_t key = start; key <= end; key++) {
        const VmValue* v = itemAt(key);
        if (v->tt == VM_TSTRING) [[likely]] {
            sum += VmStringValue(v)->len;
        } else if (v->tt == VM_TNUMBER) {
            char text[32];
            sum += (uint64_t)VmFormatNumber(v->value.n, text);
        } else {
            *badKey = (int32_t)key;
            return false;
        }
    }
    *total = sum;
    return true;
}

// Writes the items start..end (all strings or numbers) with sep between them; returns the end.
template <typename ItemAt>
static char* WriteItems(ItemAt itemAt, int64_t start, int64_t end, const char* sep, size_t sepLength, char* out) {
    if (start > end) return out;
    out = AppendItem(out, itemAt(start));
    if (sepLength == 0) {
        for (int64_t key = start + 1; key <= end; key++) out = AppendItem(out, itemAt(key));
    } else {
        for (int64_t key = start + 1; key <= end; key++)
            out = AppendItem(AppendBytes(out, sep, sepLength), itemAt(key));
    }
    return out;
}

VmString* VmJoinTableItems(VmState* state, VmTable* t, int32_t start, int32_t end, const char* sep, size_t sepLength,
                           int32_t* badKey) {
    // Items wholly inside the array part are read from it directly.
    const VmValue* array = t->array;
    bool inArray = start >= 1 && end <= t->sizearray;
    auto arrayItem = [array](int64_t key) { return &array[key - 1]; };
    auto anyItem = [t](int64_t key) { return TableItem(t, (int32_t)key); };
    uint64_t total = 0;
    if (!(inArray ? MeasureItems(arrayItem, start, end, &total, badKey)
                  : MeasureItems(anyItem, start, end, &total, badKey)))
        return nullptr;
    // Fewer than 2^32 items of less than 4 GB each: the sum so far cannot wrap.
    constexpr uint64_t kLimit = 0xFFFFFFFDu;
    uint64_t gaps = start < end ? (uint64_t)((int64_t)end - start) : 0;
    if (total >= kLimit || (sepLength && gaps > (kLimit - total) / sepLength)) VmRaiseError(state, ERR_INTERNAL);
    total += gaps * sepLength;
    if (total >= kLimit) VmRaiseError(state, ERR_INTERNAL);
    char local[VM_JOIN_IN_PLACE];
    VmString* block = total >= VM_JOIN_IN_PLACE ? VmNewStringBlock(state, (size_t)total) : nullptr;
    char* out = block ? VmStringData(block) : local;
    char* p = inArray ? WriteItems(arrayItem, start, end, sep, sepLength, out)
                      : WriteItems(anyItem, start, end, sep, sepLength, out);
    return block ? VmInternBlock(state, block) : VmInternString(state, out, (size_t)(p - out));
}

void VmConcatValues(VmState* state, int total, ptrdiff_t lastOffset, const VmTable* keyTable, bool keyRead) {
    while (total > 1) {
        VmValue* top = VmRestoreStack(state, lastOffset) + 1;
        int n = 2;
        if (!IsStrOrNum(top - 2) || !IsStrOrNum(top - 1)) {
            const VmValue* handler = VmGetEventOf(state, top - 2, VM_EV_CONCAT);
            if (!handler) handler = VmGetEventOf(state, top - 1, VM_EV_CONCAT);
            if (!handler) VmRaiseError(state, ERR_CONCAT);
            VmValue res;
            VmCallEventResult(state, handler, top - 2, top - 1, &res);
            top = VmRestoreStack(state, lastOffset) + 1;
            top[-2] = res;
            // The handler may have changed anything, the table's register included.
            keyTable = nullptr;
        } else if (top[-1].tt == VM_TSTRING && VmStringValue(&top[-1])->len == 0) {
            VmNumberToString(state, top - 2);
        } else {
            for (n = 2; n < total && IsStrOrNum(top - n - 1); n++) {
            }
            // Only the last join makes the key.
            VmSetValueString(&top[-n], JoinValues(state, top - n, n, n == total ? keyTable : nullptr, keyRead));
        }
        total -= n - 1;
        lastOffset -= (ptrdiff_t)(n - 1) * (ptrdiff_t)sizeof(VmValue);
    }
}
