#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "base/error_codes.h"
#include "libs/dos_test_util.h"
#include "runtime/runtime.h"

namespace dos_copy_test {

using namespace dostest;
using namespace libtest;

namespace {

// Callback recorder: each call logs "action:name" (the file part of "file" or "destination") and
// returns the next planned answer (1 when the plan is used up; "x" returns a string).
std::vector<std::string> gLog;
std::vector<std::string> gPlan;
std::string gUserdata;

std::string FieldText(VmState* vm, const char* key) {
    VmPushString(vm, key);
    VmRawGet(vm, 1);
    std::string r = VmType(vm, -1) == VM_TSTRING   ? VmToString(vm, -1)
                    : VmType(vm, -1) == VM_TNUMBER ? std::to_string(static_cast<long long>(VmToNumber(vm, -1)))
                                                   : "";
    VmPop(vm, 1);
    return r;
}

int Recorder(VmState* vm) {
    std::string name = FieldText(vm, "file");
    if (name.empty()) name = FieldText(vm, "destination");
    name = name.substr(name.rfind('/') + 1);
    std::string entry = FieldText(vm, "action") + ":" + name;
    if (!FieldText(vm, "copied").empty()) entry += ":" + FieldText(vm, "copied") + "/" + FieldText(vm, "filesize");
    gLog.push_back(entry);
    gUserdata = FieldText(vm, "userdata");
    std::string answer = "1";
    if (!gPlan.empty()) {
        answer = gPlan.front();
        gPlan.erase(gPlan.begin());
    }
    if (answer == "x")
        VmPushString(vm, "not a number");
    else
        VmPushNumber(vm, std::stod(answer));
    return 1;
}

std::string Sh(const std::string& command) {
    return Python(
        "import subprocess,sys\nr = subprocess.run(sys.argv[1], shell=True, capture_output=True)\n"
        "sys.stdout.buffer.write(r.stdout + r.stderr)",
        "'" + command + "'");
}

// A file with its missing parent directories.
void Put(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteFile(path, bytes);
}

// A tree with nested directories, an empty directory, a name outside Latin-1, a name that is not
// even UTF-8 (only with raw), and a larger file.
void MakeTree(const std::string& root, bool raw = true) {
    Python(R"PY(
import os, sys
r = sys.argv[1].encode()
os.makedirs(r + b'/sub/deeper'); os.makedirs(r + b'/empty')
open(r + b'/a.txt', 'wb').write(b'alpha')
open(r + b'/sub/b.bin', 'wb').write(bytes(range(256)) * 300)
open(r + b'/sub/deeper/c.txt', 'wb').write(b'c')
open(r + '/日本.txt'.encode(), 'wb').write(b'nihon')
if sys.argv[2] == '1': open(r + b'/raw\xff.bin', 'wb').write(b'raw')
os.chmod(r + b'/sub/deeper/c.txt', 0o640)
os.utime(r + b'/a.txt', (1000000000, 1100000000))
os.utime(r + b'/sub', (1200000000, 1300000000))
)PY",
           root + (raw ? " 1" : " 0"));
}

struct CopyTest : DosTest {
    void SetUp() override {
        DosTest::SetUp();
        gLog.clear();
        gPlan.clear();
        gUserdata.clear();
        VmPushCFunction(vm, Recorder);  // stack index 1
    }
};

}  // namespace

// A tree copy equals its source (diff -r), keeps dates and modes (stat), and reaches names in
// any encoding.
TEST_F(CopyTest, TreeCopyMatchesSourceWithDatesAndModes) {
    MakeTree(F("src"));
    Python(
        "import os,sys\nos.makedirs(sys.argv[1].encode() + b'/dir\\xe9\\xff/in\\xfe')\n"
        "open(sys.argv[1].encode() + b'/dir\\xe9\\xff/in\\xfe/f\\xfd', 'wb').write(b'deep')",
        F("src"));
    Ok("CopyFile", {S(F("src")), S(F("dst/new"))});
    EXPECT_EQ(Sh("diff -r " + F("src") + " " + F("dst/new") + " && echo same"), "same\n");
    EXPECT_EQ(Python("import os,sys\nd=sys.argv[1].encode()\n"
                     "print(sorted(os.listdir(d)) == sorted(os.listdir(d.replace(b'/dst/new', b'/src'))),"
                     " b'raw\\xff.bin' in os.listdir(d), os.listdir(d + b'/dir\\xe9\\xff/in\\xfe'))",
                     F("dst/new")),
              "True True [b'f\\xfd']\n");
    std::string stat = Sh("cd " + F("") +
                          " && stat -c \"%Y %a\" src/a.txt dst/new/a.txt src/sub dst/new/sub "
                          "src/sub/deeper/c.txt dst/new/sub/deeper/c.txt");
    std::vector<std::string> lines;
    for (size_t p = 0, q; (q = stat.find('\n', p)) != std::string::npos; p = q + 1)
        lines.push_back(stat.substr(p, q - p));
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0], "1100000000 644");
    EXPECT_EQ(lines[0], lines[1]);
    EXPECT_EQ(lines[2].substr(0, 10), "1300000000");
    EXPECT_EQ(lines[2], lines[3]);
    EXPECT_EQ(lines[4], lines[5]);
    EXPECT_EQ(lines[5].substr(lines[5].size() - 3), "640");

    Ok("CopyFile", {S(F("src/raw\xff.bin")), S(F("single"))});
    EXPECT_EQ(ReadFile(F("single/raw\xff.bin")), "raw");
    // One file into directories that do not exist yet, and under a new name.
    Ok("CopyFile", {S(F("src/a.txt")), S(F("newdir/sub"))});
    EXPECT_EQ(ReadFile(F("newdir/sub/a.txt")), "alpha");
    Ok("CopyFile", {S(F("src/a.txt")), S(F("newdir")), S("renamed.txt")});
    EXPECT_EQ(ReadFile(F("newdir/renamed.txt")), "alpha");
    EXPECT_EQ(CallErr("CopyFile", {S(F("src")), S(F("x")), S("name")}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("CopyFile", {S(F("src/a.txt")), S(F("x")), Nil(), Nil(), Nil(), S("*.txt")}), ERR_NODIRPATTERN);
    EXPECT_EQ(CallErr("CopyFile", {S(F("missing")), S(F("x"))}), ERR_READFILE);
    EXPECT_EQ(CallErr("CopyFile", {S(""), S("")}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("CopyFile", {S(""), S(F("x"))}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("CopyFile", {S(F("src/a.txt")), S(F("y")), Nil(), N(3)}), ERR_FUNCEXPECTED);
}

TEST_F(CopyTest, PatternsAndDirectoryFilter) {
    MakeTree(F("src"), false);
    Ok("CopyFile", {S(F("src/")), S(F("p1")), Nil(), Nil(), Nil(), S("*.txt")});
    EXPECT_EQ(Sh("cd " + F("p1") + " && find . -type f | sort"), "./a.txt\n./日本.txt\n");
    Ok("CopyFile", {S(F("src")), S(F("p2")), Nil(), Nil(), Nil(), S("*.txt"), B(false)});
    EXPECT_EQ(Sh("cd " + F("p2") + " && find . -type f | sort"), "./a.txt\n./sub/deeper/c.txt\n./日本.txt\n");
}

// The callback protocol: overwrite and unprotect questions with their skip and abort answers,
// status calls after every block, the userdata, and ERR_NUMCALLBACK for a status answer that is
// not a number.
TEST_F(CopyTest, CopyCallbacks) {
    Put(F("s/f.bin"), std::string(40000, 'n'));
    Put(F("d/f.bin"), "old");
    gPlan = {"0"};  // overwrite? skip
    Ok("CopyFile", {S(F("s/f.bin")), S(F("d")), Nil(), V(1), S("ud")});
    EXPECT_EQ(gLog, (std::vector<std::string>{"1:f.bin"}));
    EXPECT_EQ(gUserdata, "ud");
    EXPECT_EQ(ReadFile(F("d/f.bin")), "old");

    gLog.clear();
    gPlan = {"1", "0", "0", "0"};  // overwrite, then three status calls
    Ok("CopyFile", {S(F("s/f.bin")), S(F("d")), Nil(), V(1)});
    EXPECT_EQ(gLog, (std::vector<std::string>{"1:f.bin", "0:f.bin:16384/40000", "0:f.bin:32768/40000",
                                              "0:f.bin:40000/40000"}));
    EXPECT_EQ(ReadFile(F("d/f.bin")), std::string(40000, 'n'));

    // A protected target: without a callback it is skipped; with one the unprotect question
    // comes after the overwrite question.
    WriteFile(F("d/f.bin"), "keep");
    chmod(F("d/f.bin").c_str(), 0444);
    Ok("CopyFile", {S(F("s/f.bin")), S(F("d"))});
    EXPECT_EQ(ReadFile(F("d/f.bin")), "keep");
    gLog.clear();
    gPlan = {"1", "-1"};
    Ok("CopyFile", {S(F("s/f.bin")), S(F("d")), Nil(), V(1)});
    EXPECT_EQ(gLog, (std::vector<std::string>{"1:f.bin", "2:f.bin"}));
    EXPECT_EQ(ReadFile(F("d/f.bin")), "keep");
    gPlan = {"1", "1", "0", "0", "0"};
    Ok("CopyFile", {S(F("s/f.bin")), S(F("d")), Nil(), V(1)});
    EXPECT_EQ(ReadFile(F("d/f.bin")).size(), 40000u);

    // An abort in the middle leaves no partial target; a status answer that is not a number
    // fails; the quit flag aborts quietly.
    gPlan = {"1"};
    Ok("CopyFile", {S(F("s/f.bin")), S(F("e")), Nil(), V(1)});
    EXPECT_NE(access(F("e/f.bin").c_str(), F_OK), 0);
    gPlan = {"x"};
    EXPECT_EQ(CallErr("CopyFile", {S(F("s/f.bin")), S(F("e")), Nil(), V(1)}), ERR_NUMCALLBACK);
    EXPECT_NE(access(F("e/f.bin").c_str(), F_OK), 0);
    Sh("ls " + F("e"));
    EXPECT_EQ(Sh("ls -A " + F("e")), "");
    SetQuitFlag(1);
    Ok("CopyFile", {S(F("s/f.bin")), S(F("q"))});
    SetQuitFlag(0);
    EXPECT_NE(access(F("q/f.bin").c_str(), F_OK), 0);
}

// Copies that would destroy their own source are refused, and the source stays whole.
TEST_F(CopyTest, CopyOntoItselfOrIntoItsOwnTreeIsRefused) {
    MakeTree(F("src"));
    EXPECT_EQ(CallErr("CopyFile", {S(F("src/a.txt")), S(F("src"))}), ERR_WRONGUSAGE);
    EXPECT_EQ(ReadFile(F("src/a.txt")), "alpha");
    symlink(F("src").c_str(), F("alias").c_str());
    EXPECT_EQ(CallErr("CopyFile", {S(F("alias/a.txt")), S(F("src"))}), ERR_WRONGUSAGE);
    EXPECT_EQ(ReadFile(F("src/a.txt")), "alpha");
    EXPECT_EQ(CallErr("CopyFile", {S(F("src")), S(F("src"))}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("CopyFile", {S(F("src")), S(F("src/sub/inner"))}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("CopyFile", {S(F("src")), S(F("alias/sub/inner"))}), ERR_WRONGUSAGE);
    EXPECT_NE(access(F("src/sub/inner").c_str(), F_OK), 0);
    EXPECT_EQ(ReadFile(F("src/sub/b.bin")).size(), 76800u);
}

// A window into a larger file (a virtual file) copies the window's bytes only; the whole file
// copies whole.
TEST_F(CopyTest, CopyOfAWindowCopiesOnlyTheWindow) {
    std::string data;
    for (int i = 0; i < 70000; i++) data.push_back(static_cast<char>('a' + i % 26));
    Put(F("big.bin"), data);
    std::string window = CallStr("DefineVirtualFile", {S(F("big.bin")), N(100), N(40000), S("part.bin")});
    Ok("CopyFile", {S(window), S(F("out"))});
    EXPECT_EQ(ReadFile(F("out/part.bin")), data.substr(100, 40000));
    Ok("CopyFile", {S(F("big.bin")), S(F("out"))});
    EXPECT_EQ(ReadFile(F("out/big.bin")), data);
}

// Symbolic links inside a tree are not followed: a copy does not enter a linked directory, and a
// delete removes the link, never its target.
TEST_F(CopyTest, TreeWalksDoNotFollowLinks) {
    MakeTree(F("src"));
    Put(F("outside/precious.txt"), "keep me");
    symlink(F("outside").c_str(), F("src/linkdir").c_str());
    symlink(F("outside/precious.txt").c_str(), F("src/linkfile").c_str());
    symlink(F("nowhere").c_str(), F("src/sub/dangling").c_str());
    Ok("CopyFile", {S(F("src")), S(F("copy"))});
    EXPECT_NE(access(F("copy/linkdir").c_str(), F_OK), 0);
    EXPECT_EQ(ReadFile(F("copy/linkfile")), "keep me");
    EXPECT_EQ(Sh("diff -r " + F("src/sub/deeper") + " " + F("copy/sub/deeper") + " && echo same"), "same\n");

    Ok("DeleteFile", {S(F("src"))});
    EXPECT_NE(access(F("src").c_str(), F_OK), 0);
    EXPECT_EQ(ReadFile(F("outside/precious.txt")), "keep me");

    // A link named directly is deleted itself.
    symlink(F("outside").c_str(), F("toplink").c_str());
    Ok("DeleteFile", {S(F("toplink"))});
    EXPECT_NE(access(F("toplink").c_str(), F_OK), 0);
    EXPECT_EQ(ReadFile(F("outside/precious.txt")), "keep me");
}

TEST_F(CopyTest, DeleteFileCases) {
    Ok("DeleteFile", {S(F("missing"))});
    EXPECT_EQ(CallErr("DeleteFile", {S("")}), ERR_WRONGUSAGE);
    EXPECT_EQ(CallErr("DeleteFile", {S(":::chunk0:1*x?y")}), ERR_WRONGUSAGE);

    MakeTree(F("t"));
    Ok("DeleteFile", {S(F("t/"))});
    EXPECT_EQ(Sh("ls -A " + F("t")), "");
    MakeTree(F("u"));
    Ok("DeleteFile", {S(F("u"))});
    EXPECT_NE(access(F("u").c_str(), F_OK), 0);

    // Patterns keep the top directory and what does not match; without the directory filter,
    // subdirectories are emptied by the pattern and removed when that leaves them empty.
    MakeTree(F("p"));
    EXPECT_EQ(CallErr("DeleteFile", {S(F("p/a.txt")), Nil(), Nil(), S("*.txt")}), ERR_NODIRPATTERN);
    Ok("DeleteFile", {S(F("p")), Nil(), Nil(), S("*.txt"), B(false)});
    EXPECT_EQ(Sh("cd " + F("p") + " && find . | sort"), ".\n./raw\xff.bin\n./sub\n./sub/b.bin\n");

    // Protected files: skipped without a callback; with one, unprotect (-1 aborts, 0 skips).
    Put(F("r/ro.txt"), "ro");
    WriteFile(F("r/rw.txt"), "rw");
    chmod(F("r/ro.txt").c_str(), 0444);
    Ok("DeleteFile", {S(F("r/ro.txt"))});
    EXPECT_EQ(ReadFile(F("r/ro.txt")), "ro");
    gPlan = {"0"};
    Ok("DeleteFile", {S(F("r/ro.txt")), V(1)});
    EXPECT_EQ(gLog, (std::vector<std::string>{"1:ro.txt"}));
    EXPECT_EQ(access(F("r/ro.txt").c_str(), F_OK), 0);
    gLog.clear();
    gPlan = {"2", "0"};
    Ok("DeleteFile", {S(F("r/ro.txt")), V(1)});
    EXPECT_EQ(gLog, (std::vector<std::string>{"1:ro.txt", "0:ro.txt"}));
    EXPECT_NE(access(F("r/ro.txt").c_str(), F_OK), 0);
    gPlan = {"1"};  // status answer 1 aborts
    Ok("DeleteFile", {S(F("r")), V(1)});
    EXPECT_EQ(ReadFile(F("r/rw.txt")), "rw");
    SetQuitFlag(1);
    Ok("DeleteFile", {S(F("r"))});
    SetQuitFlag(0);
    EXPECT_EQ(ReadFile(F("r/rw.txt")), "rw");
}

}  // namespace dos_copy_test
