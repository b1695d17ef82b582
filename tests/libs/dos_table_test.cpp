#include "base/error_codes.h"
#include "libs/dos_test_util.h"
#include "vm/vm_script_util.h"

namespace dos_table_test {

using namespace dostest;
using namespace libtest;

namespace {

// A small reader of serialised tables, independent of the player: prints the table as sorted
// "key=value" lines; functions show as their record form and size.
const char* kPyReader = R"PY(
import struct, sys
d = open(sys.argv[1], 'rb').read()
assert d[:4] == b'QZT0', d[:4]
pos = 4
def item(tag):
    global pos
    if tag == 2:
        v = struct.unpack('>d', d[pos:pos+8])[0]; pos += 8; return repr(v)
    if tag == 3:
        n = struct.unpack('>I', d[pos:pos+4])[0]; pos += 4
        s = d[pos:pos+n]; pos += n
        return 's%d:%s' % (n, s[:12].decode('latin-1'))
    if tag == 4:
        return '{' + body() + '}'
    if tag == 5:
        head = d[pos:pos+4]
        if all(chr(c) in '0123456789abcdef' for c in head):
            n = int(d[pos:pos+8], 16); pos += 8 + n; return 'text-function'
        n = struct.unpack('>I', head)[0]; pos += 4 + n; return 'binary-function'
    raise Exception('tag %d' % tag)
def body():
    global pos
    pairs = []
    while True:
        t = d[pos]; pos += 1
        if t == 0: break
        k = item(t)
        t = d[pos]; pos += 1
        pairs.append(k + '=' + item(t))
    return ','.join(sorted(pairs))
print(body(), pos == len(d))
)PY";

}  // namespace

TEST_F(DosTest, WriteTableBytesAndPythonReader) {
    // {x = 1} exactly.
    VmNewTable(vm);
    VmPushString(vm, "x");
    VmPushNumber(vm, 1);
    VmRawSet(vm, -3);
    Ok("OpenFile", {N(1), S(F("x.tab")), N(QZ_MODE_WRITE)});
    Ok("WriteTable", {N(1), V(1)});
    Ok("CloseFile", {N(1)});
    EXPECT_EQ(ReadFile(F("x.tab")), std::string("QZT0\x03\0\0\0\x01x\x02\x3f\xf0\0\0\0\0\0\0\0", 20));
    VmSetTop(vm, 0);

    // Nested tables, long strings, skipped booleans, user data as 0, functions in both forms.
    ASSERT_EQ(LoadAsm(vm, MainFunction("LOADK r0 42\nRETURN r0 2")), 0);  // 1: a function
    VmNewTable(vm);                                                       // 2: the table
    VmPushNumber(vm, 5);
    VmPushString(vm, std::string(300, 'v').c_str());
    VmRawSet(vm, 2);
    VmPushString(vm, std::string(300, 'k').c_str());
    VmPushNumber(vm, -0.5);
    VmRawSet(vm, 2);
    VmPushString(vm, "flag");
    VmPushBoolean(vm, 1);
    VmRawSet(vm, 2);
    VmPushString(vm, "ptr");
    VmPushLightUserdata(vm, &vm);
    VmRawSet(vm, 2);
    VmPushString(vm, "fn");
    VmPushValue(vm, 1);
    VmRawSet(vm, 2);
    VmPushString(vm, "sub");
    VmNewTable(vm);
    VmPushNumber(vm, 0);
    VmPushString(vm, "zero");
    VmRawSet(vm, -3);
    VmRawSet(vm, 2);
    for (bool text : {false, true}) {
        std::string name = F(text ? "t1.tab" : "t0.tab");
        Ok("OpenFile", {N(1), S(name), N(QZ_MODE_WRITE)});
        Ok("WriteTable", {N(1), V(2), B(text)});
        Ok("CloseFile", {N(1)});
        std::string fn = text ? "text-function" : "binary-function";
        EXPECT_EQ(Python(kPyReader, name), "5.0=s300:vvvvvvvvvvvv,s2:fn=" + fn +
                                               ",s300:kkkkkkkkkkkk=-0.5,s3:ptr=0.0,s3:sub={0.0=s4:zero} True\n");

        // And back through ReadTable: both function forms and the long key.
        Ok("OpenFile", {N(1), S(name)});
        ASSERT_EQ(Call("ReadTable", {N(1)}), 0);
        int t = Base() + 1;
        VmPushString(vm, "fn");
        VmRawGet(vm, t);
        ASSERT_EQ(VmProtectedCall(vm, 0, 1, 0), 0);
        EXPECT_EQ(VmToNumber(vm, -1), 42);
        VmPop(vm, 1);
        VmPushString(vm, std::string(300, 'k').c_str());
        VmRawGet(vm, t);
        EXPECT_EQ(VmToNumber(vm, -1), -0.5);
        VmPushString(vm, "flag");
        VmRawGet(vm, t);
        EXPECT_EQ(VmType(vm, -1), VM_TNIL);
        VmPushString(vm, "ptr");
        VmRawGet(vm, t);
        EXPECT_EQ(VmType(vm, -1), VM_TNUMBER);
        VmSetTop(vm, 2);
        Ok("CloseFile", {N(1)});
    }
}

TEST_F(DosTest, WriteTableRefusesCyclesAndBadKeys) {
    VmNewTable(vm);  // t.self.inner = t
    VmNewTable(vm);
    VmPushString(vm, "inner");
    VmPushValue(vm, 1);
    VmRawSet(vm, 2);
    VmPushString(vm, "self");
    VmPushValue(vm, 2);
    VmRawSet(vm, 1);
    Ok("OpenFile", {N(1), S(F("c.tab")), N(QZ_MODE_WRITE)});
    EXPECT_EQ(CallErr("WriteTable", {N(1), V(1)}), ERR_WRONGUSAGE);
    // A table that appears twice without a cycle is fine.
    VmNewTable(vm);  // 3
    VmNewTable(vm);  // 4
    VmPushString(vm, "a");
    VmPushValue(vm, 4);
    VmRawSet(vm, 3);
    VmPushString(vm, "b");
    VmPushValue(vm, 4);
    VmRawSet(vm, 3);
    EXPECT_EQ(CallErr("WriteTable", {N(1), V(3)}), 0);
    // A table key cannot be stored.
    VmNewTable(vm);  // 5
    VmNewTable(vm);
    VmPushNumber(vm, 1);
    VmRawSet(vm, 5);
    EXPECT_EQ(CallErr("WriteTable", {N(1), V(5)}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("WriteTable", {N(1), N(3)}), ERR_TABEXPECTED);
    Ok("CloseFile", {N(1)});
    Ok("OpenFile", {N(1), S(F("c.tab"))});
    EXPECT_EQ(CallErr("WriteTable", {N(1), V(3)}), ERR_READONLY);
}

// Damaged data: every length is checked against the bytes present, nesting is bounded, and
// unknown tags are refused.
TEST_F(DosTest, ReadTableRejectsDamagedData) {
    struct Case {
        const char* what;
        std::string bytes;
        int code;
    } cases[] = {
        {"magic", std::string("QZT1\0", 5), ERR_READTABLE},
        {"short magic", "QZ", ERR_READ},
        {"no end", std::string("QZT0\x02\0\0\0\0\0\0\0\0\x02", 14), ERR_READ},
        {"huge string", std::string("QZT0\x03\xff\xff\xff\xf0", 9), ERR_READ},
        {"huge value", std::string("QZT0\x02\0\0\0\0\0\0\0\0\x03\x7f\xff\xff\xff", 18), ERR_READ},
        {"key tag", std::string("QZT0\x04\0", 6), ERR_WRONGUSAGE},
        {"value tag", std::string("QZT0\x02\0\0\0\0\0\0\0\0\x09", 14), ERR_WRONGUSAGE},
        {"huge function", std::string("QZT0\x02\0\0\0\0\0\0\0\0\x05\x7f\0\0\0", 18), ERR_READ},
        {"deep",
         [] {
             std::string s = "QZT0";
             for (int i = 0; i < 5000; i++) s += std::string("\x02\0\0\0\0\0\0\0\0\x04", 10);
             return s;
         }(),
         ERR_STACK},
    };
    for (const Case& c : cases) {
        WriteFile(F("bad.tab"), c.bytes);
        Ok("OpenFile", {N(1), S(F("bad.tab"))});
        EXPECT_EQ(CallErr("ReadTable", {N(1)}), c.code) << c.what;
        Ok("CloseFile", {N(1)});
    }
    Ok("OpenFile", {N(1), S(F("w.tab")), N(QZ_MODE_WRITE)});
    EXPECT_EQ(CallErr("ReadTable", {N(1)}), ERR_WRITEONLY);
}

TEST_F(DosTest, TablesRoundTripBetweenOtherData) {
    VmNewTable(vm);
    for (int i = 0; i < 1000; i++) {
        VmPushNumber(vm, i);
        VmPushNumber(vm, i * 0.5);
        VmRawSet(vm, 1);
    }
    Ok("OpenFile", {N(1), S(F("m.tab")), N(QZ_MODE_WRITE)});
    Ok("WriteInt", {N(1), N(7)});
    Ok("WriteTable", {N(1), V(1)});
    Ok("WriteInt", {N(1), N(8)});
    Ok("CloseFile", {N(1)});
    Ok("OpenFile", {N(1), S(F("m.tab"))});
    EXPECT_EQ(CallNum("ReadInt", {N(1)}), 7);
    ASSERT_EQ(Call("ReadTable", {N(1)}), 0);
    VmRawGetI(vm, Base() + 1, 999);
    EXPECT_EQ(VmToNumber(vm, -1), 499.5);
    EXPECT_EQ(CallNum("ReadInt", {N(1)}), 8);
}

}  // namespace dos_table_test
