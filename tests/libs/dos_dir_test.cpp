#include <sys/stat.h>
#include <unistd.h>

#include "base/error_codes.h"
#include "libs/dos_test_util.h"
#include "platform/os_env.h"

namespace dos_dir_test {

using namespace dostest;
using namespace libtest;

namespace {

std::string Shell(const std::string& command) {
    return Python(
        "import subprocess,sys\nprint(subprocess.run(sys.argv[1], shell=True, capture_output=True, text=True).stdout, "
        "end='')",
        "'" + command + "'");
}

// The string field of the table on the stack top.
std::string Field(VmState* vm, const char* key) {
    VmPushString(vm, key);
    VmRawGet(vm, -2);
    std::string r = VmType(vm, -1) == VM_TSTRING   ? VmToString(vm, -1)
                    : VmType(vm, -1) == VM_TNUMBER ? std::to_string(static_cast<long long>(VmToNumber(vm, -1)))
                                                   : "nil";
    VmPop(vm, 1);
    return r;
}

}  // namespace

TEST_F(DosTest, MatchPatternCases) {
    struct Case {
        const char* text;
        const char* pattern;
        double want;
    } cases[] = {
        {"file12.txt", "file##.txt", 1},
        {"a.TXT", "*.txt", 0},
        {"x", "", 0},
        {"b.jpg", "*.png;*.jpg", 1},
        {"c", "[!ab]", 1},
        {"a", "[!ab]", 0},
        {"m", "[a-z]", 1},
        {"m", "[z-a]", 0},
        {"-", "[z-a]", 1},
        {"]", "[]x]", 1},
        {"abc", "a**c", 1},
        {"abc", "a?c", 1},
        {"ac", "a?c", 0},
        {"x[y", "x[y", 1},
        {"abcbc", "*bc", 1},
        {"abcbd", "a*b?", 1},
        {"", "*", 1},
        {"a", "*?*", 1},
        {"", "?", 0},
        {"file1x.txt", "file##.txt", 0},
        {"x.txt", "*.png;", 0},
        {"long.name.txt", "*.txt", 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CallNum("MatchPattern", {S(c.text), S(c.pattern)}), c.want) << c.text << " " << c.pattern;
    // Many stars against a long name that fails late take no time.
    EXPECT_EQ(CallNum("MatchPattern", {S(std::string(5000, 'a') + "b"), S("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*c")}), 0);
    EXPECT_EQ(CallNum("MatchPattern", {S(std::string(5000, 'a') + "b"), S("*a*a*a*a*a*a*a*a*a*a*a*a*a*a*b")}), 1);
}

TEST_F(DosTest, NamesPathsAndDirectories) {
    EXPECT_EQ(CallStr("PathPart", {S("a/b\\c:d.txt")}), "a/b\\c:");
    EXPECT_EQ(CallStr("PathPart", {S("plain")}), "");
    EXPECT_EQ(CallErr("PathPart", {S(":::chunk0:1*x?y")}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallStr("FilePart", {S("dir/sub/f.txt")}), "f.txt");
    EXPECT_EQ(CallStr("FilePart", {S(":::chunk10:5*inner/name.bin?/some/container")}), "name.bin");
    EXPECT_EQ(CallStr("FullPath", {S("dir"), S("f")}), "dir/f");
    EXPECT_EQ(CallStr("FullPath", {S("dir\\"), S("f")}), "dir\\f");
    EXPECT_EQ(CallStr("FullPath", {S(""), S("f")}), "f");
    EXPECT_EQ(CallErr("FullPath", {S(std::string(1020, 'd')), S("file")}), ERR_MEM);

    Ok("MakeDirectory", {S(F("a/b/c"))});
    EXPECT_EQ(CallNum("IsDirectory", {S(F("a/b/c"))}), 1);
    WriteFile(F("a/file"), "12345");
    EXPECT_EQ(CallErr("MakeDirectory", {S(F("a/file/x"))}), ERR_CREATEDIR);
    EXPECT_EQ(CallErr("MakeDirectory", {S("")}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallNum("Exists", {S(F("a/file"))}), 1);
    EXPECT_EQ(CallNum("Exists", {S(F("nope"))}), 0);
    EXPECT_EQ(CallNum("Exists", {S("")}), 0);
    EXPECT_EQ(CallNum("FileSize", {S(F("a/file"))}), 5);
    EXPECT_EQ(CallNum("FileSize", {S(F("a"))}), -1);
    EXPECT_EQ(CallNum("FileSize", {S(F("nope"))}), -1);
    EXPECT_EQ(CallNum("IsDirectory", {S(F("a/file"))}), 0);
    EXPECT_EQ(CallErr("IsDirectory", {S(F("nope"))}), ERR_STAT);

    // Rename keeps the old directory.
    Ok("MakeDirectory", {S(F("other"))});
    Ok("Rename", {S(F("a/file")), S("other/renamed")});
    EXPECT_EQ(ReadFile(F("a/renamed")), "12345");
    EXPECT_EQ(CallErr("Rename", {S(F("a/missing")), S("x")}), ERR_RENAME);
    EXPECT_EQ(CallErr("Rename", {S(""), S("x")}), ERR_WRONGUSAGE);

    std::string cwd = CallStr("GetCurrentDirectory", {});
    Ok("ChangeDirectory", {S(F("a"))});
    EXPECT_EQ(
        CallStr("GetCurrentDirectory", {}), CallStr("GetFileAttributes", {S(F("a"))}) == "" ? "" : [&] {
            EXPECT_EQ(Call("GetFileAttributes", {S(F("a"))}), 0);
            std::string p = Field(vm, "path");
            VmSetTop(vm, 0);
            return p;
        }());
    Ok("ChangeDirectory", {S(cwd)});

    EXPECT_EQ(CallStr("GetVolumeName", {S("/")}), "unimplemented");
    EXPECT_EQ(CallNum("GetVolumeInfo", {S("/"), N(1)}), 0);
    EXPECT_EQ(CallErr("GetVolumeName", {S("")}), ERR_WRONGUSAGE);
}

// The information table against stat, and times and protection set through SetFileAttributes.
TEST_F(DosTest, FileAttributesAgainstStat) {
    WriteFile(F("f.txt"), "hello");
    Ok("SetFileAttributes", {S(F("f.txt")), V([&] {
                                 VmNewTable(vm);
                                 VmPushString(vm, "time");
                                 VmPushString(vm, "07-Mar-2014 09:05:00");
                                 VmRawSet(vm, -3);
                                 VmPushString(vm, "lastaccesstime");
                                 VmPushString(vm, "31-dec-1999 23:59:59");
                                 VmRawSet(vm, -3);
                                 VmPushString(vm, "flags");
                                 VmPushNumber(vm, 1 | 2 | 512);
                                 VmRawSet(vm, -3);
                                 return VmGetTop(vm);
                             }())});
    std::string stat = Shell("TZ=" + std::string(getenv("TZ") ? getenv("TZ") : "") + " date -d @$(stat -c %Y " +
                             F("f.txt") + ") \"+%d-%b-%Y %H:%M:%S\"; stat -c %a " + F("f.txt"));
    ASSERT_EQ(Call("GetFileAttributes", {S(F("f.txt"))}), 0);
    EXPECT_EQ(Field(vm, "time"), "07-Mar-2014 09:05:00");
    EXPECT_EQ(Field(vm, "lastaccesstime"), "31-Dec-1999 23:59:59");
    EXPECT_EQ(stat, "07-Mar-2014 09:05:00\n640\n");
    EXPECT_EQ(Field(vm, "flags"), "515");
    EXPECT_EQ(Field(vm, "size"), "5");
    EXPECT_EQ(Field(vm, "type"), "0");
    EXPECT_EQ(Field(vm, "virtual"), "0");
    EXPECT_EQ(Field(vm, "path"), F("f.txt"));
    VmSetTop(vm, 0);

    Ok("OpenFile", {N(1), S(F("f.txt"))});
    ASSERT_EQ(Call("FileAttributes", {N(1)}), 0);
    EXPECT_EQ(Field(vm, "size"), "5");
    EXPECT_EQ(Field(vm, "streaming"), "0");
    VmSetTop(vm, 0);

    VmNewTable(vm);
    VmPushString(vm, "time");
    VmPushString(vm, "32-Mar-2014 09:05:00");
    VmRawSet(vm, -3);
    EXPECT_EQ(CallErr("SetFileAttributes", {S(F("f.txt")), V(1)}), ERR_INVALIDDATE);
    EXPECT_EQ(CallErr("SetFileAttributes", {S(F("nope")), V(1)}), ERR_LOCK2);
    EXPECT_EQ(CallErr("SetFileAttributes", {S(F("f.txt")), N(1)}), ERR_TABEXPECTED);
    EXPECT_EQ(CallErr("GetFileAttributes", {S(F("nope"))}), ERR_STAT);
}

TEST_F(DosTest, DirectoryHandlesAndListings) {
    Ok("MakeDirectory", {S(F("d/Sub"))});
    Ok("MakeDirectory", {S(F("d/alpha"))});
    WriteFile(F("d/b.txt"), "1");
    WriteFile(F("d/A.txt"), "22");
    VmNewTable(vm);
    VmNewTable(vm);
    ASSERT_EQ(Call("ReadDirectory", {S(F("d")), V(1), V(2)}), 0);
    EXPECT_EQ(Num(1), 2);
    EXPECT_EQ(Num(2), 2);
    std::string files, dirs;
    for (int i = 0; i <= 2; i++) {
        VmRawGetI(vm, 1, i);
        files += std::string(VmToString(vm, -1)) + ",";
        VmRawGetI(vm, 2, i);
        dirs += std::string(VmToString(vm, -1)) + ",";
        VmPop(vm, 2);
    }
    EXPECT_EQ(files, "A.txt,b.txt,,");
    EXPECT_EQ(dirs, "alpha,Sub,,");
    VmSetTop(vm, 0);
    EXPECT_EQ(CallErr("ReadDirectory", {S(F("d/b.txt")), V(0), V(0)}), ERR_TABEXPECTED);

    ASSERT_EQ(Call("OpenDirectory", {Nil(), S(F("d"))}), 0);
    int h = Base() + 1;
    std::vector<std::string> names;
    for (int i = 0; i < 6; i++) {
        if (Call("NextDirectoryEntry", {V(h)}) == 0 && Results() == 1) {
            names.push_back(Field(vm, "name") + ":" + Field(vm, "type") + ":" + Field(vm, "size"));
        } else {
            names.push_back("-");
        }
        VmSetTop(vm, h);
    }
    std::sort(names.begin(), names.begin() + 4);
    EXPECT_EQ(names, (std::vector<std::string>{"A.txt:0:2", "Sub:1:nil", "alpha:1:nil", "b.txt:0:1", "-", "-"}));
    Ok("CloseDirectory", {V(h)});
    EXPECT_EQ(CallErr("CloseDirectory", {V(h)}), ERR_FINDARRAY);
    EXPECT_EQ(CallErr("NextDirectoryEntry", {N(4)}), ERR_FINDDIR);
    EXPECT_EQ(CallErr("OpenDirectory", {N(1), S(F("d/b.txt"))}), ERR_NOTADIR);
    EXPECT_EQ(CallErr("OpenDirectory", {N(1), S(F("none"))}), ERR_LOCK2);
}

TEST_F(DosTest, TemporaryFilesAreDeletedAtShutdown) {
    std::string name = CallStr("GetTempFileName", {});
    EXPECT_NE(name.find("quarnelix."), std::string::npos);
    EXPECT_EQ(access(name.c_str(), F_OK), 0);
    FreeDosLibrary(vm);
    EXPECT_NE(access(name.c_str(), F_OK), 0);
}

// Programs run by path, and programs inside a container file run from one temporary copy that is
// made once and deleted at shutdown.
TEST_F(DosTest, ExecuteRunsRealAndContainedPrograms) {
    // A temporary directory of this test's own, so that copies made by other runs do not count.
    std::string previousTemp = OsGetTempDir();
    ASSERT_EQ(mkdir(F("tmp").c_str(), 0755), 0);
    OsSetTempDir(F("tmp").c_str());
    std::string script = "#!/bin/sh\necho ran $1 >> \"" + F("out.txt") + "\"\n";
    WriteFile(F("prog.sh"), script);
    chmod(F("prog.sh").c_str(), 0755);
    Ok("Execute", {S("\"" + F("prog.sh") + "\" first")});
    EXPECT_EQ(ReadFile(F("out.txt")), "ran first\n");
    // Run returns at once; the program finishes on its own.
    Ok("Run", {S(F("prog.sh") + " started")});
    for (int i = 0; i < 3000 && ReadFile(F("out.txt")).size() < 22; i++) usleep(10000);
    EXPECT_EQ(ReadFile(F("out.txt")), "ran first\nran started\n");
    WriteFile(F("out.txt"), "ran first\n");
    EXPECT_EQ(CallErr("Execute", {S("\"unterminated")}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("Execute", {S("")}), ERR_WRONGUSAGE);

    WriteFile(F("container"), "HEADER" + script + "TRAILER");
    std::string chunk = CallStr("DefineVirtualFile", {S(F("container")), N(6), N(script.size()), S("tool.sh")});
    Ok("Execute", {S(chunk + " second"), B(false)});
    Ok("Execute", {S(chunk + " third")});
    EXPECT_EQ(ReadFile(F("out.txt")), "ran first\nran second\nran third\n");
    std::string copies = Shell("ls " + F("tmp") + " | grep -c -- '-tool.sh$' || true");
    FreeDosLibrary(vm);
    std::string after = Shell("ls " + F("tmp") + " | grep -c -- '-tool.sh$' || true");
    OsSetTempDir(previousTemp.c_str());
    EXPECT_EQ(copies, "1\n");
    EXPECT_EQ(after, "0\n");
}

}  // namespace dos_dir_test
