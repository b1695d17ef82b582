#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <thread>

#include "base/error_codes.h"
#include "platform/file_test_util.h"
#include "platform/os_process.h"

namespace os_process_test {

using namespace filetest;

namespace {

// Waits (at most 10 s) until the file exists and ends with a line break.
std::string WaitForOutput(const std::string& path) {
    for (int i = 0; i < 1000; ++i) {
        std::string text = ReadFile(path);
        if (!text.empty() && text.back() == '\n') return text;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return "<no output>";
}

}  // namespace

TEST(OsExecute, AsynchronousArgumentsAndRedirection) {
    TempDir dir;
    std::string script = dir / "args.sh";
    WriteFile(script, "for a in \"$@\"; do printf '[%s]' \"$a\"; done; echo; echo err >&2\n");
    std::string out = dir / "out.txt";
    std::string args = script + " a \"b c\" >" + out;
    ASSERT_EQ(OsExecute("/bin/sh", args.c_str(), 1), 0);
    std::string text = WaitForOutput(out);
    // Both output streams go to the file; the quoted argument keeps its blank.
    for (int i = 0; i < 100 && text.find("err") == std::string::npos; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        text = ReadFile(out);
    }
    EXPECT_EQ(text, "[a][b c]\nerr\n");

    // "> name" as two tokens.
    std::string out2 = dir / "out2.txt";
    args = script + " x > " + out2;
    ASSERT_EQ(OsExecute("/bin/sh", args.c_str(), 1), 0);
    EXPECT_EQ(WaitForOutput(out2).substr(0, 4), "[x]\n");
}

TEST(OsExecute, ArgumentErrors) {
    EXPECT_EQ(OsExecute("/bin/true", "a \"unclosed", 1), ERR_WRONGUSAGE);
    EXPECT_EQ(OsExecute("/bin/true", "a >", 1), ERR_WRONGUSAGE);
    std::string many;
    for (int i = 0; i < 127; ++i) many += "x ";
    EXPECT_EQ(OsExecute("/bin/true", many.c_str(), 1), 0);
    many += "y";
    EXPECT_EQ(OsExecute("/bin/true", many.c_str(), 1), ERR_WRONGUSAGE);
    // A program that does not exist is not reported.
    EXPECT_EQ(OsExecute("/nonexistent/program", "a", 1), 0);
}

TEST(OsExecute, SynchronousRunWaits) {
    TempDir dir;
    std::string script = dir / "slow.sh";
    std::string out = dir / "done.txt";
    WriteFile(script, "sleep 0.2; echo \"$1 $2\" > '" + out + "'\n");
    std::string args = script + " one two";
    ASSERT_EQ(OsExecute("/bin/sh", args.c_str(), 0), 0);
    EXPECT_EQ(ReadFile(out), "one two\n");  // already there when the call returns
    // An executable script with an extension is a program, not a document.
    std::string exe = dir / "run.sh";
    std::string out2 = dir / "ran.txt";
    WriteFile(exe, "#!/bin/sh\necho ran > '" + out2 + "'\n");
    ASSERT_EQ(chmod(exe.c_str(), 0755), 0);
    ASSERT_EQ(OsExecute(exe.c_str(), nullptr, 0), 0);
    EXPECT_EQ(ReadFile(out2), "ran\n");
}

TEST(OsExecute, ProgramsAndDocuments) {
    TempDir dir;
    // An executable with an extension found along the search path is run.
    std::string out = dir / "ran.txt";
    WriteFile(dir / "tool.sh", "#!/bin/sh\necho \"$1\" > '" + out + "'\n");
    ASSERT_EQ(chmod((dir / "tool.sh").c_str(), 0755), 0);
    std::string oldPath = getenv("PATH") ? getenv("PATH") : "";
    setenv("PATH", (dir.path() + ":" + oldPath).c_str(), 1);
    int rc = OsExecute("tool.sh", "found", 0);
    setenv("PATH", oldPath.c_str(), 1);
    ASSERT_EQ(rc, 0);
    EXPECT_EQ(ReadFile(out), "found\n");
    // A file with an extension that is not executable is a document: it is handed to the
    // desktop's opener, never run.
    // A stand-in opener along the search path records what it is given.
    std::string out2 = dir / "doc-ran.txt";
    std::string opened = dir / "opened.txt";
    ASSERT_EQ(mkdir((dir / "bin").c_str(), 0755), 0);
    WriteFile(dir / "bin/xdg-open", "#!/bin/sh\necho \"$#:$1\" >> '" + opened + "'\n");
    ASSERT_EQ(chmod((dir / "bin/xdg-open").c_str(), 0755), 0);
    WriteFile(dir / "notes.sh", "echo ran > '" + out2 + "'\n");
    setenv("PATH", (dir.path() + "/bin:" + oldPath).c_str(), 1);
    int syncRc = OsExecute((dir / "notes.sh").c_str(), nullptr, 0);
    int asyncRc = OsExecute((dir / "notes.sh").c_str(), "ignored", 1);
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_EQ(syncRc, 0);
    EXPECT_EQ(asyncRc, 0);
    std::string line = "1:" + (dir / "notes.sh") + "\n";
    std::string text;
    for (int i = 0; i < 1000 && text.size() < 2 * line.size(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        text = ReadFile(opened);
    }
    EXPECT_EQ(text, line + line);
    EXPECT_FALSE(Exists(out2));
}

TEST(OsExecute, SystemFolders) {
    char buf[1024];
    const char* home = getenv("HOME");
    EXPECT_EQ(MacGetSystemFolder(2, buf, sizeof(buf)), 0);
    if (home && Exists(home)) {
        EXPECT_STREQ(buf, home);
    }
    EXPECT_EQ(MacGetSystemFolder(99, buf, sizeof(buf)), 0);
    EXPECT_STREQ(buf, "");
    MacGetBundleExecutableArgs(buf, sizeof(buf));
    EXPECT_STREQ(buf, "");
}

}  // namespace os_process_test
