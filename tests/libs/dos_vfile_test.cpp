#include <cstdio>

#include "base/error_codes.h"
#include "libs/dos_test_util.h"
#include "platform/host/event_loop.h"

namespace dos_vfile_test {

using namespace dostest;
using namespace libtest;

namespace {

// Every pass of the event pump presents the pending repaints first: counted here.
int gPumps = 0;
void CountingRepaints(VmState*) { gPumps++; }

std::vector<int> gProgress;
int Progress(VmState* vm) {
    VmPushString(vm, "progress");
    VmRawGet(vm, 1);
    gProgress.push_back(static_cast<int>(VmToNumber(vm, -1)));
    return 0;
}

}  // namespace

TEST_F(DosTest, VirtualFileWindows) {
    std::string data;
    for (int i = 0; i < 256; i++) data.push_back(static_cast<char>(i));
    WriteFile(F("data.bin"), data);
    std::string part = CallStr("DefineVirtualFile", {S(F("data.bin")), N(100), N(50), S("part")});
    EXPECT_EQ(CallNum("FileSize", {S(part)}), 50);
    // A window of a missing file, or one reaching past its file, does not exist.
    EXPECT_EQ(CallNum("Exists", {S(CallStr("DefineVirtualFile", {S(F("none")), N(0), N(5), S("n")}))}), 0);
    EXPECT_EQ(CallNum("Exists", {S(CallStr("DefineVirtualFile", {S(F("data.bin")), N(200), N(57), S("n")}))}), 0);
    EXPECT_EQ(CallNum("Exists", {S(CallStr("DefineVirtualFile", {S(F("data.bin")), N(200), N(56), S("n")}))}), 1);
    EXPECT_EQ(CallStr("FilePart", {S(part)}), "part");
    EXPECT_EQ(CallStr("FileToString", {S(part)}), data.substr(100, 50));
    // A window inside a window adds the offsets; one past its container window is refused.
    std::string inner = CallStr("DefineVirtualFile", {S(part), N(10), N(5), S("inner")});
    EXPECT_EQ(CallStr("FileToString", {S(inner)}), data.substr(110, 5));
    EXPECT_EQ(CallErr("DefineVirtualFile", {S(part), N(40), N(11), S("x")}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("DefineVirtualFile", {S(F("data.bin")), N(0), N(0), S("x")}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("DefineVirtualFile", {S(""), N(0), N(1), S("x")}), ERR_WRONGUSAGE);
    // Virtual files work with the other file commands.
    Ok("OpenFile", {N(1), S(inner)});
    EXPECT_EQ(CallNum("ReadChr", {N(1)}), 110);
    EXPECT_EQ(CallNum("FileLength", {N(1)}), 5);
    Ok("CloseFile", {N(1)});
    Ok("CopyFile", {S(inner), S(F("out"))});
    EXPECT_EQ(ReadFile(F("out/inner")), data.substr(110, 5));
    EXPECT_EQ(CallStr("MD5", {S(inner)}),
              Python("import hashlib;print(hashlib.md5(bytes(range(110,115))).hexdigest(), end='')"));
}

// String files read the string's bytes while defined; a forged name or reference reaches nothing
// the player did not register.
TEST_F(DosTest, StringFilesAndForgedNames) {
    EXPECT_EQ(CallErr("DefineVirtualFileFromString", {S(""), S("x")}), ERR_WRONGUSAGE);
    std::string bytes("str\0ing data", 11);
    std::string name = CallStr("DefineVirtualFileFromString", {S(bytes), S("mem.txt")});
    EXPECT_EQ(name.rfind(":::chunkS", 0), 0u);
    EXPECT_EQ(CallNum("Exists", {S(name)}), 1);
    EXPECT_EQ(CallNum("FileSize", {S(name)}), 11);
    EXPECT_EQ(CallStr("FileToString", {S(name)}), bytes);
    std::string window = CallStr("DefineVirtualFile", {S(name), N(4), N(3), S("w")});
    EXPECT_EQ(CallStr("FileToString", {S(window)}), "ing");

    // The same name with a size reaching past the string, or another address, is refused.
    size_t colon = name.find(':', 9);
    std::string longer = name.substr(0, colon) + ":999999" + name.substr(name.find('*'));
    EXPECT_EQ(CallErr("FileToString", {S(longer)}), ERR_READFILE);
    EXPECT_EQ(CallNum("Exists", {S(longer)}), 0);
    std::string forged = name.substr(0, name.find('?')) + "?1000";
    EXPECT_EQ(CallErr("FileToString", {S(forged)}), ERR_READFILE);
    // A forged reference number does not free anything.
    std::string otherRef = ":::chunkS2:11*mem.txt" + name.substr(name.find('?'));
    EXPECT_EQ(CallErr("UndefineVirtualStringFile", {S(otherRef)}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallStr("FileToString", {S(name)}), bytes);
    EXPECT_EQ(CallErr("UndefineVirtualStringFile", {S("plain")}), ERR_WRONGUSAGE);

    Ok("UndefineVirtualStringFile", {S(name)});
    EXPECT_EQ(CallErr("FileToString", {S(name)}), ERR_READFILE);
    EXPECT_EQ(CallErr("UndefineVirtualStringFile", {S(name)}), ERR_WRONGUSAGE);
}

// A string file undefined while a handle or a line iterator still reads it: the name is gone at
// once, but the bytes stay alive until the last reader is closed.
TEST_F(DosTest, UndefinedStringFileLivesWhileItIsRead) {
    std::string bytes = "first line\n" + std::string(5000, 'q') + "\nend";
    std::string name = CallStr("DefineVirtualFileFromString", {S(bytes), S("mem.txt")});
    Ok("OpenFile", {N(1), S(name)});
    ASSERT_EQ(Call("FileLines", {S(name)}), 0);  // the iterator stays at Base() + 1
    int iterator = Base() + 1;
    Ok("UndefineVirtualStringFile", {S(name)});
    EXPECT_EQ(CallErr("FileToString", {S(name)}), ERR_READFILE);
    VmSetGcThreshold(vm, 0);
    EXPECT_EQ(CallStr("ReadString", {N(1), N(static_cast<double>(bytes.size()))}), bytes);
    Ok("CloseFile", {N(1)});
    VmSetGcThreshold(vm, 0);
    std::vector<std::string> lines;
    for (;;) {
        VmPushValue(vm, iterator);
        ASSERT_EQ(VmProtectedCall(vm, 0, 1, 0), 0);
        if (VmType(vm, -1) != VM_TSTRING) break;
        lines.push_back(std::string(VmToString(vm, -1), VmStrLen(vm, -1)));
        VmPop(vm, 1);
        VmSetGcThreshold(vm, 0);
    }
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines.front(), "first line");
    EXPECT_EQ(lines.back(), "end");
}

TEST_F(DosTest, WholeFilesToAndFromStrings) {
    std::string big = RandomBytes(70000, 9);
    Ok("StringToFile", {S(big), S(F("big.bin"))});
    EXPECT_EQ(ReadFile(F("big.bin")), big);
    ASSERT_EQ(Call("FileToString", {S(F("big.bin"))}), 0);
    EXPECT_EQ(Str(1), big);
    EXPECT_EQ(Num(2), 70000);
    VmSetTop(vm, 0);
    Ok("StringToFile", {S(""), S(F("big.bin"))});
    EXPECT_EQ(ReadFile(F("big.bin")), "");
    EXPECT_EQ(CallErr("FileToString", {S(F("none"))}), ERR_READFILE);
    EXPECT_EQ(CallErr("StringToFile", {S("x"), S(F("no/dir/f"))}), ERR_WRITEFILE);
    EXPECT_EQ(CallStr("CRC32", {S(F("big.bin"))}), "0");
}

// The patch XORs while patch bytes last and inverts after; progress is reported per percent and
// events are pumped per 64 KB block, not per byte.
TEST_F(DosTest, ApplyPatch) {
    WriteFile(F("src"), "\x01\x02\x03\x04");
    WriteFile(F("patch"), "\xff\x0f");
    Ok("OpenFile", {N(1), S(F("src"))});
    Ok("OpenFile", {N(2), S(F("patch"))});
    Ok("OpenFile", {N(3), S(F("dst")), N(QZ_MODE_WRITE)});
    Ok("ApplyPatch", {N(1), N(2), N(3)});
    Ok("CloseFile", {N(3)});
    EXPECT_EQ(ReadFile(F("dst")), "\xfe\x0d\xfc\xfb");

    // A patch made as the XOR of two files turns one into the other.
    std::string a = RandomBytes(300000, 1), b = RandomBytes(300000, 2), x(300000, '\0');
    for (size_t i = 0; i < a.size(); i++) x[i] = static_cast<char>(a[i] ^ b[i]);
    WriteFile(F("a"), a);
    WriteFile(F("x"), x);
    Ok("OpenFile", {N(1), S(F("a"))});
    Ok("OpenFile", {N(2), S(F("x"))});
    Ok("OpenFile", {N(3), S(F("b")), N(QZ_MODE_WRITE)});
    const qzHostHooks saved = HostHooks();
    qzHostHooks hooks = saved;
    hooks.flushPendingRepaints = CountingRepaints;
    SetHostHooks(&hooks);
    gPumps = 0;
    VmPushCFunction(vm, Progress);
    Ok("ApplyPatch", {N(1), N(2), N(3), V(VmGetTop(vm))});
    SetHostHooks(&saved);
    Ok("CloseFile", {N(3)});
    EXPECT_EQ(ReadFile(F("b")), b);
    EXPECT_EQ(gPumps, 5);
    ASSERT_GE(gProgress.size(), 99u);
    EXPECT_EQ(gProgress.front(), 1);
    for (size_t i = 1; i < gProgress.size(); i++) EXPECT_EQ(gProgress[i], gProgress[i - 1] + 1);
}

TEST_F(DosTest, EnvironmentVariables) {
    Ok("UnsetEnv", {S("QZ_DOS_TEST_VAR")});
    ASSERT_EQ(Call("GetEnv", {S("QZ_DOS_TEST_VAR")}), 0);
    EXPECT_EQ(Str(1), "");
    EXPECT_EQ(Num(2), 0);
    VmSetTop(vm, 0);
    Ok("SetEnv", {S("QZ_DOS_TEST_VAR"), S("one")});
    Ok("SetEnv", {S("QZ_DOS_TEST_VAR"), S("two")});
    ASSERT_EQ(Call("GetEnv", {S("QZ_DOS_TEST_VAR")}), 0);
    EXPECT_EQ(Str(1), "two");
    EXPECT_EQ(Num(2), 1);
    VmSetTop(vm, 0);
    EXPECT_EQ(CallErr("SetEnv", {S("BAD=NAME"), S("x")}), ERR_SETENV);
    Ok("UnsetEnv", {S("QZ_DOS_TEST_VAR")});
}

TEST_F(DosTest, PackedFilesAndDigests) {
    std::string data = RandomBytes(50000, 4) + std::string(50000, 'a');
    WriteFile(F("plain"), data);
    double packed = CallNum("CompressFile", {S(F("plain")), S(F("packed"))});
    EXPECT_EQ(packed, static_cast<double>(ReadFile(F("packed")).size()));
    EXPECT_EQ(CallNum("DecompressFile", {S(F("packed")), S(F("back"))}), 100000);
    EXPECT_EQ(ReadFile(F("back")), data);
    EXPECT_EQ(CallErr("DecompressFile", {S(F("plain")), S(F("x"))}), ERR_PAKFORMAT);
    EXPECT_EQ(
        CallStr("MD5", {S(F("plain"))}),
        Python("import hashlib,sys;print(hashlib.md5(open(sys.argv[1],'rb').read()).hexdigest(), end='')", F("plain")));
    EXPECT_EQ(CallNum("CRC32", {S(F("plain"))}),
              std::stod(Python("import zlib,sys;print(zlib.crc32(open(sys.argv[1],'rb').read()))", F("plain"))));
    EXPECT_EQ(CallErr("MD5", {S(F("none"))}), ERR_READFILE);
    EXPECT_EQ(CallErr("CRC32", {S("")}), ERR_WRONGUSAGE);
}

}  // namespace dos_vfile_test
