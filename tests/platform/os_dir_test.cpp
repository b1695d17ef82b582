#include <gtest/gtest.h>

#include <sys/stat.h>

#include <map>
#include <string>

#include "base/error_codes.h"
#include "platform/file_test_util.h"
#include "platform/os_dir.h"
#include "platform/os_file.h"

namespace os_dir_test {

using namespace filetest;

namespace {

std::map<std::string, int> Scan(const std::string& path) {
    std::map<std::string, int> entries;
    qzPlatformLock* lock = OsLock(path.c_str(), 1);
    EXPECT_NE(lock, nullptr);
    if (!lock) return entries;
    int isDir = -1;
    EXPECT_EQ(OsCheckDirLock(lock, &isDir), 0);
    EXPECT_EQ(isDir, 1);
    const char* name;
    qzFileInfo info;
    while (OsNextDirEntry(lock, nullptr, &name, &isDir, &info)) {
        EXPECT_EQ(info.isDirectory, isDir);
        entries[name] = isDir;
    }
    EXPECT_EQ(OsNextDirEntry(lock, nullptr, &name, &isDir, nullptr), 0);
    OsUnlock(lock);
    return entries;
}

std::string ReadPlatform(const std::string& name) {
    qzPlatformFile* f = OsOpenFile(name.c_str(), QZ_OPEN_READ);
    if (!f) return "<cannot open>";
    std::string out(static_cast<size_t>(f->size), '\0');
    out.resize(OsReadFile(f, out.data(), out.size()));
    OsCloseFile(f);
    return out;
}

}  // namespace

TEST(OsDir, ScanSkipsDotsAndReportsTypes) {
    TempDir dir;
    WriteFile(dir / "a.txt", "a");
    WriteFile(dir / "b.bin", "bb");
    ASSERT_EQ(mkdir((dir / "sub").c_str(), 0755), 0);
    ASSERT_EQ(symlink("missing-target", (dir / "dangling").c_str()), 0);  // cannot be examined
    auto entries = Scan(dir.path());
    std::map<std::string, int> expected = {{"a.txt", 0}, {"b.bin", 0}, {"sub", 1}};
    EXPECT_EQ(entries, expected);
}

TEST(OsDir, NamesCrossTheEncodingBorderWithoutLoss) {
    TempDir dir;
    WriteFile(dir / "caf\xC3\xA9.txt", "utf8 latin");        // café in UTF-8 on disk
    WriteFile(dir / "\xE6\x97\xA5\xE6\x9C\xAC.txt", "cjk");  // not Latin-1
    WriteFile(dir / "x\xE9.bin", "raw latin1 byte");         // not UTF-8 at all
    auto entries = Scan(dir.path());
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_TRUE(entries.count("caf\xE9.txt"));                   // converted to ISO 8859-1
    EXPECT_TRUE(entries.count("\xE6\x97\xA5\xE6\x9C\xAC.txt"));  // raw bytes
    EXPECT_TRUE(entries.count("x\xE9.bin"));                     // raw bytes
    // Every scanned name opens again.
    EXPECT_EQ(ReadPlatform(dir / "caf\xE9.txt"), "utf8 latin");
    EXPECT_EQ(ReadPlatform(dir / "\xE6\x97\xA5\xE6\x9C\xAC.txt"), "cjk");
    EXPECT_EQ(ReadPlatform(dir / "x\xE9.bin"), "raw latin1 byte");
    // A Latin-1 engine name creates a UTF-8 name on disk.
    qzPlatformFile* f = OsOpenFile((dir / "na\xEFve.txt").c_str(), QZ_OPEN_WRITE);
    ASSERT_NE(f, nullptr);
    OsCloseFile(f);
    EXPECT_TRUE(Exists(dir / "na\xC3\xAFve.txt"));
    // Full paths come back in engine form too.
    char full[1024];
    OsGetFullPath((dir / "caf\xE9.txt").c_str(), full, sizeof(full));
    char resolved[4096];
    ASSERT_NE(realpath(dir.path().c_str(), resolved), nullptr);
    EXPECT_EQ(std::string(full), std::string(resolved) + "/caf\xE9.txt");
}

TEST(OsDir, LocksOnFilesAndBadRequests) {
    TempDir dir;
    WriteFile(dir / "f.txt", "12345");
    qzPlatformLock* lock = OsLock((dir / "f.txt").c_str(), 1);
    ASSERT_NE(lock, nullptr);
    int isDir = -1;
    EXPECT_EQ(OsCheckDirLock(lock, &isDir), ERR_NOTADIR);
    EXPECT_EQ(isDir, 0);
    const char* name;
    EXPECT_EQ(OsNextDirEntry(lock, nullptr, &name, &isDir, nullptr), 0);
    qzFileInfo info;
    EXPECT_EQ(OsExamineLock(lock, &info), 0);
    EXPECT_EQ(info.size, 5);
    EXPECT_EQ(info.isDirectory, 0);
    char buf[1024];
    OsNameFromLock(lock, buf, sizeof(buf));
    EXPECT_STREQ(info.name, buf);
    EXPECT_EQ(std::string(buf).substr(std::string(buf).size() - 6), "/f.txt");
    OsUnlock(lock);

    EXPECT_EQ(OsLock((dir / "missing").c_str(), 1), nullptr);
    testing::internal::CaptureStdout();
    EXPECT_EQ(OsLock(dir.path().c_str(), 2), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "QZOS_LOCK_WRITE unsupported.\n");
    lock = OsLock("", 1);  // the current directory
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(OsCheckDirLock(lock, &isDir), 0);
    OsUnlock(lock);
}

TEST(OsDir, NameOperations) {
    TempDir dir;
    std::string sub = dir / "new";
    mode_t oldMask = umask(022);
    EXPECT_EQ(OsMakeDir(sub.c_str()), 0);
    umask(oldMask);
    EXPECT_EQ(OsMakeDir(sub.c_str()), ERR_CREATEDIR);
    EXPECT_EQ(Shell("stat -c %a '" + sub + "'"), "755\n");
    WriteFile(sub + "/a", "x");
    EXPECT_EQ(OsRename((sub + "/a").c_str(), (sub + "/b").c_str()), 1);
    EXPECT_EQ(OsRename((sub + "/a").c_str(), (sub + "/c").c_str()), 0);
    EXPECT_EQ(OsDeleteFile((sub + "/b").c_str()), 1);
    EXPECT_EQ(OsDeleteFile((sub + "/b").c_str()), 0);
    EXPECT_EQ(OsDeleteFile(sub.c_str()), 1);  // an empty directory
    EXPECT_FALSE(Exists(sub));

    std::string previous;
    ASSERT_TRUE(OsChangeDir(dir.path().c_str(), &previous));
    char full[1024];
    OsGetFullPath("not/there.txt", full, sizeof(full));
    char resolved[4096];
    ASSERT_NE(realpath(dir.path().c_str(), resolved), nullptr);
    EXPECT_EQ(std::string(full), std::string(resolved) + "/not/there.txt");
    OsGetFullPath("/abs/missing", full, sizeof(full));
    EXPECT_STREQ(full, "/abs/missing");
    EXPECT_FALSE(OsChangeDir((dir / "nope").c_str(), nullptr));
    ASSERT_TRUE(OsChangeDir(previous.c_str(), nullptr));

    char vol[64];
    EXPECT_EQ(OsGetVolumeName("/", vol, sizeof(vol)), 0);
    EXPECT_STREQ(vol, "unimplemented");
    int64_t used = 1, freeBytes = 1;
    EXPECT_EQ(OsGetVolumeInfo("/", &used, &freeBytes), 0);
    EXPECT_EQ(used + freeBytes, 0);
    EXPECT_EQ(OsSetFileComment((dir / "x").c_str(), "c"), 0);
}

TEST(OsDir, ProtectionAndDatesAsStatSeesThem) {
    TempDir dir;
    std::string path = dir / "p.txt";
    WriteFile(path, "p");
    const struct {
        uint32_t flags;
        const char* mode;
    } cases[] = {
        {QZ_PROT_DEFAULT, "644"},
        {QZ_PROT_READ_USR, "400"},
        {QZ_PROT_READ_USR | QZ_PROT_WRITE_USR | QZ_PROT_EXECUTE_USR | QZ_PROT_READ_GRP | QZ_PROT_WRITE_GRP |
             QZ_PROT_EXECUTE_GRP | QZ_PROT_READ_OTH | QZ_PROT_WRITE_OTH | QZ_PROT_EXECUTE_OTH,
         "777"},
        {QZ_PROT_WRITE_GRP | QZ_PROT_EXECUTE_OTH, "21"},
        {0, "0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(OsSetProtection(path.c_str(), c.flags), 1);
        EXPECT_EQ(Shell("stat -c %a '" + path + "'"), std::string(c.mode) + "\n") << c.flags;
    }
    EXPECT_EQ(OsSetFileDate(path.c_str(), 1000000000, 1234567890), 1);
    EXPECT_EQ(Shell("stat -c '%X %Y' '" + path + "'"), "1000000000 1234567890\n");
    EXPECT_EQ(OsSetFileDate((dir / "missing").c_str(), 1, 1), 0);
    EXPECT_EQ(OsSetProtection((dir / "missing").c_str(), 0), 0);
}

}  // namespace os_dir_test
