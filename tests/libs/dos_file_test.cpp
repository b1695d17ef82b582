#include <dirent.h>

#include "base/error_codes.h"
#include "libs/dos_test_util.h"

namespace dos_file_test {

using namespace dostest;
using namespace libtest;

namespace {

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d)) n++;
        closedir(d);
    }
    return n;
}

}  // namespace

// Every typed write in both byte orders, read back by python's struct, and python's bytes read
// back by the typed reads.
TEST_F(DosTest, TypedValuesMatchPythonStructInBothOrders) {
    std::string out = F("typed.bin");
    Ok("OpenFile", {N(1), S(out), N(QZ_MODE_WRITE)});
    for (bool lsb : {false, true}) {
        Ok("WriteChr", {N(1), N(321)});
        Ok("WriteShort", {N(1), N(258), B(lsb)});
        Ok("WriteShort", {N(1), N(-2), B(lsb)});
        Ok("WriteInt", {N(1), N(-2), B(lsb)});
        Ok("WriteInt", {N(1), N(4294967295.0), B(lsb)});
        Ok("WriteFloat", {N(1), N(0.1), N(4), B(lsb)});
        Ok("WriteFloat", {N(1), N(-1234.5678), N(8), B(lsb)});
    }
    Ok("CloseFile", {N(1)});
    std::string py = Python(R"PY(
import struct, sys
d = open(sys.argv[1], 'rb').read()
want = b''
for o in '><':
    want += struct.pack(o + 'BHhiIfd', 0x41, 258, -2, -2, 0xFFFFFFFF, 0.1, -1234.5678)
print(d == want, d[1:3].hex(), d[26:28].hex())
)PY",
                            out);
    EXPECT_EQ(py, "True 0102 0201\n");

    std::string in = F("py.bin");
    Python(R"PY(
import struct, sys
open(sys.argv[1], 'wb').write(struct.pack('>HiBfd', 65534, -2, 255, 1.5, 2.25) + struct.pack('<Hifd', 65534, -7, -0.5, 1e300))
)PY",
           in);
    Ok("OpenFile", {N(2), S(in)});
    EXPECT_EQ(CallNum("ReadShort", {N(2)}), 65534);
    EXPECT_EQ(CallNum("ReadInt", {N(2)}), -2);
    EXPECT_EQ(CallNum("ReadChr", {N(2)}), 255);
    EXPECT_EQ(CallNum("ReadFloat", {N(2), N(4)}), 1.5);
    EXPECT_EQ(CallNum("ReadFloat", {N(2)}), 2.25);
    EXPECT_EQ(CallNum("ReadShort", {N(2), B(true)}), 65534);
    EXPECT_EQ(CallNum("ReadInt", {N(2), N(1)}), -7);
    EXPECT_EQ(CallNum("ReadFloat", {N(2), N(4), B(true)}), -0.5);
    EXPECT_EQ(CallNum("ReadFloat", {N(2), N(8), B(true)}), 1e300);
    EXPECT_EQ(CallNum("Eof", {N(2)}), 1);
    EXPECT_EQ(CallErr("ReadChr", {N(2)}), ERR_READ);
    EXPECT_EQ(CallErr("ReadFloat", {N(2), N(6)}), ERR_WRONGUSAGE);
}

TEST_F(DosTest, ReadLineDropsCarriageReturnsAndEndsWithEmptyString) {
    WriteFile(F("lines.txt"), std::string("ab\r\ncd\rx\n\nlast"));
    Ok("OpenFile", {N(1), S(F("lines.txt"))});
    std::vector<std::string> got;
    for (int i = 0; i < 6; i++) got.push_back(CallStr("ReadLine", {N(1)}));
    EXPECT_EQ(got, (std::vector<std::string>{"ab", "cdx", "", "last", "", ""}));
    EXPECT_EQ(CallNum("Eof", {N(1)}), 1);
    // Lines and other reads share one position, in buffered and unbuffered mode and in windows.
    std::string window = CallStr("DefineVirtualFile", {S(F("lines.txt")), N(4), N(8), S("w")});
    for (const std::string& name : {F("lines.txt"), window}) {
        for (int mode : {0, 1}) {
            Ok("SetIOMode", {N(mode)});
            Ok("OpenFile", {N(2), S(name)});
            if (name == window) {
                EXPECT_EQ(CallStr("ReadLine", {N(2)}), "cdx");
                EXPECT_EQ(CallNum("FilePos", {N(2)}), 5);
            } else {
                EXPECT_EQ(CallStr("ReadLine", {N(2)}), "ab");
                EXPECT_EQ(CallNum("FilePos", {N(2)}), 4);
                EXPECT_EQ(CallNum("ReadChr", {N(2)}), 'c');
                EXPECT_EQ(CallStr("ReadLine", {N(2)}), "dx");
            }
            EXPECT_EQ(CallStr("ReadLine", {N(2)}), "");
            Ok("CloseFile", {N(2)});
        }
    }
    Ok("SetIOMode", {N(0)});
}

// Lines keep NUL bytes, may be far longer than any read buffer, and a last line without a line
// feed ends at the end of the file; the position follows every byte read.
TEST_F(DosTest, ReadLineKeepsNulBytesAndLongLines) {
    std::string longLine(200000, 'y');
    longLine[1000] = '\r';
    WriteFile(F("nul.txt"), std::string("a\0b\n", 4) + longLine + "\r\nend");
    Ok("OpenFile", {N(1), S(F("nul.txt"))});
    EXPECT_EQ(CallStr("ReadLine", {N(1)}), std::string("a\0b", 3));
    EXPECT_EQ(CallStr("ReadLine", {N(1)}), std::string(199999, 'y'));
    EXPECT_EQ(CallNum("FilePos", {N(1)}), 4 + 200002);
    EXPECT_EQ(CallNum("Eof", {N(1)}), 0);
    EXPECT_EQ(CallStr("ReadLine", {N(1)}), "end");
    EXPECT_EQ(CallNum("Eof", {N(1)}), 1);
    Ok("CloseFile", {N(1)});
}

// Lines of many lengths, some with carriage returns inside or before the line feed, cross the read
// buffer's edges at many places; each is read whole, with the position behind it.
// Reading a line leaves the file's bytes as they were: a line read again after a seek back to its
// start, and every line read again from the start, is the same.
TEST_F(DosTest, ReadLineAcrossBufferEdges) {
    std::string text;
    std::vector<std::string> lines;
    std::vector<int64_t> ends;
    std::vector<bool> hasReturn;
    for (int i = 0; text.size() < 40000; i++) {
        std::string raw(static_cast<size_t>(i * 37 % 700), static_cast<char>('a' + i % 26));
        if (i % 3 == 0 && !raw.empty()) raw[raw.size() / 2] = '\r';
        if (i % 5 == 0) raw += '\r';
        std::string clean;
        for (char c : raw)
            if (c != '\r') clean += c;
        text += raw + "\n";
        lines.push_back(clean);
        hasReturn.push_back(clean.size() != raw.size());
        ends.push_back(static_cast<int64_t>(text.size()));
    }
    WriteFile(F("edges.txt"), text);
    Ok("OpenFile", {N(1), S(F("edges.txt"))});
    for (int pass = 0; pass < 2; pass++) {
        for (size_t i = 0; i < lines.size(); i++) {
            ASSERT_EQ(CallStr("ReadLine", {N(1)}), lines[i]) << "pass " << pass << " line " << i;
            ASSERT_EQ(CallNum("FilePos", {N(1)}), static_cast<double>(ends[i])) << "line " << i;
            if (pass == 0 && hasReturn[i]) {
                Ok("Seek", {N(1), N(i ? static_cast<double>(ends[i - 1]) : 0.0)});
                ASSERT_EQ(CallStr("ReadLine", {N(1)}), lines[i]) << "again, line " << i;
            }
        }
        EXPECT_EQ(CallNum("Eof", {N(1)}), 1);
        EXPECT_EQ(CallStr("ReadLine", {N(1)}), "");
        Ok("Seek", {N(1), N(0)});
    }
    Ok("CloseFile", {N(1)});
}

// A handle that reads and writes knows where its file ends: Eof and ReadLine follow the data
// written through it.
TEST_F(DosTest, EofAndReadLineOnReadWriteHandles) {
    WriteFile(F("rw.txt"), "one\ntwo\n");
    Ok("OpenFile", {N(1), S(F("rw.txt")), N(QZ_MODE_READWRITE)});
    EXPECT_EQ(CallNum("Eof", {N(1)}), 0);
    EXPECT_EQ(CallStr("ReadLine", {N(1)}), "one");
    EXPECT_EQ(CallStr("ReadLine", {N(1)}), "two");
    EXPECT_EQ(CallNum("Eof", {N(1)}), 1);
    Ok("WriteLine", {N(1), S("three")});
    EXPECT_EQ(CallNum("Eof", {N(1)}), 1);
    Ok("Seek", {N(1), N(8)});
    EXPECT_EQ(CallNum("Eof", {N(1)}), 0);
    EXPECT_EQ(CallStr("ReadLine", {N(1)}), "three");
    EXPECT_EQ(CallNum("Eof", {N(1)}), 1);
    EXPECT_EQ(CallNum("FileLength", {N(1)}), 14);
    Ok("CloseFile", {N(1)});
    EXPECT_EQ(ReadFile(F("rw.txt")), "one\ntwo\nthree\n");

    // A fresh write handle is at its end at once.
    Ok("OpenFile", {N(2), S(F("w.txt")), N(QZ_MODE_WRITE)});
    EXPECT_EQ(CallNum("Eof", {N(2)}), 1);
    EXPECT_EQ(CallErr("ReadLine", {N(2)}), ERR_WRITEONLY);
}

TEST_F(DosTest, HandlesStringsSeekAndErrors) {
    std::string name = F("s.bin");
    // Nil asks for a handle.
    ASSERT_EQ(Call("OpenFile", {Nil(), S(name), N(QZ_MODE_WRITE)}), 0);
    ASSERT_EQ(VmType(vm, Base() + 1), VM_TLIGHTUSERDATA);
    int h = Base() + 1;
    Ok("WriteString", {V(h), S(std::string("a\0bcdef", 7)), N(3)});
    EXPECT_EQ(CallErr("WriteString", {V(h), S("xy"), N(3)}), ERR_STRTOOSHORT);
    Ok("WriteLine", {V(h), S(std::string("zz\0hidden", 9))});
    EXPECT_EQ(CallNum("FilePos", {V(h)}), 6);
    EXPECT_EQ(CallErr("ReadChr", {V(h)}), ERR_WRITEONLY);
    Ok("CloseFile", {V(h)});
    EXPECT_EQ(CallErr("CloseFile", {V(h)}), ERR_FINDARRAY);
    EXPECT_EQ(CallErr("Eof", {N(77)}), ERR_FINDFILE);
    EXPECT_EQ(ReadFile(name), std::string("a\0bzz\n", 6));

    Ok("OpenFile", {N(1), S(name)});
    EXPECT_EQ(CallErr("WriteChr", {N(1), N(1)}), ERR_READONLY);
    EXPECT_EQ(CallStr("ReadString", {N(1), N(3)}), std::string("a\0b", 3));
    EXPECT_EQ(CallStr("ReadString", {N(1), N(0)}), "");
    // A length beyond the data fails without allocating it.
    EXPECT_EQ(CallErr("ReadString", {N(1), N(2147483647)}), ERR_READ);
    Ok("Seek", {N(1), N(-1)});
    EXPECT_EQ(CallNum("FilePos", {N(1)}), CallNum("FileLength", {N(1)}));
    Ok("Seek", {N(1), N(-2), N(2)});
    EXPECT_EQ(CallStr("ReadString", {N(1), N(2)}), "z\n");
    Ok("Seek", {N(1), N(-4), N(0)});
    EXPECT_EQ(CallNum("FilePos", {N(1)}), 2);
    EXPECT_EQ(CallErr("Seek", {N(1), N(-10), N(0)}), ERR_SEEKFILE);
    EXPECT_EQ(CallErr("OpenFile", {N(2), S(name), N(1234)}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("OpenFile", {N(2), S("")}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("SetIOMode", {N(2)}), ERR_WRONGUSAGE);
    Ok("OpenFile", {N(3), S(name), N(QZ_MODE_READWRITE)});
    EXPECT_EQ(CallErr("ReadString", {N(3), N(2147483647)}), ERR_READ);
    Ok("CloseFile", {N(3)});

    // Reusing a number closes the old handle, also when the new open fails.
    EXPECT_EQ(CallErr("OpenFile", {N(1), S(F("missing"))}), ERR_READFILE);
    EXPECT_EQ(CallErr("Eof", {N(1)}), ERR_FINDFILE);
    EXPECT_EQ(CallErr("OpenFile", {N(1), S(F("no/such/dir")), N(QZ_MODE_WRITE)}), ERR_WRITEFILE);
}

TEST_F(DosTest, UnbufferedModeReadsAndWritesTheSame) {
    Ok("SetIOMode", {N(1)});
    Ok("OpenFile", {N(1), S(F("u.txt")), N(QZ_MODE_WRITE)});
    Ok("WriteLine", {N(1), S("line 1")});
    Ok("WriteInt", {N(1), N(7)});
    Ok("CloseFile", {N(1)});
    Ok("OpenFile", {N(1), S(F("u.txt"))});
    EXPECT_EQ(CallStr("ReadLine", {N(1)}), "line 1");
    EXPECT_EQ(CallNum("ReadInt", {N(1)}), 7);
    Ok("CloseFile", {N(1)});
    Ok("SetIOMode", {N(0)});
}

// The iterator returns lines in pieces of at most 1024 bytes, closes its file at the end, and a
// loop left early does not keep the file open once the iterator is collected.
TEST_F(DosTest, FileLinesIteratesAndReleasesItsFile) {
    std::string longLine(1500, 'x');
    WriteFile(F("it.txt"), "a\r\n" + longLine + "\nb");
    ASSERT_EQ(Call("FileLines", {S(F("it.txt"))}), 0);
    int fn = Base() + 1;
    std::vector<std::string> got;
    for (int i = 0; i < 6; i++) {
        VmPushValue(vm, fn);
        ASSERT_EQ(VmProtectedCall(vm, 0, 1, 0), 0);
        got.push_back(VmType(vm, -1) == VM_TSTRING ? std::string(VmToString(vm, -1), VmStrLen(vm, -1)) : "<end>");
        VmPop(vm, 1);
    }
    EXPECT_EQ(got,
              (std::vector<std::string>{"a", std::string(1024, 'x'), std::string(476, 'x'), "b", "<end>", "<end>"}));
    VmSetTop(vm, 0);
    EXPECT_EQ(CallErr("FileLines", {S(F("missing"))}), ERR_READFILE);

    int before = OpenDescriptors();
    for (int i = 0; i < 20; i++) {
        ASSERT_EQ(Call("FileLines", {S(F("it.txt"))}), 0);
        VmPushValue(vm, Base() + 1);
        ASSERT_EQ(VmProtectedCall(vm, 0, 1, 0), 0);
        VmSetTop(vm, 0);
    }
    EXPECT_GE(OpenDescriptors(), before + 20);
    VmSetGcThreshold(vm, 0);
    EXPECT_LE(OpenDescriptors(), before);
}

}  // namespace dos_file_test
