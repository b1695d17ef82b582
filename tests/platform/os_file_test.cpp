#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/file_test_util.h"
#include "platform/os_file.h"
#include "platform/os_process.h"

namespace os_file_test {

using namespace filetest;

namespace {

std::string ReadAll(qzPlatformFile* f) {
    std::string out;
    char buf[777];
    size_t n;
    while ((n = OsReadFile(f, buf, sizeof(buf))) > 0) out.append(buf, n);
    return out;
}

std::string ChunkName(const std::string& container, uint64_t offset, uint64_t size) {
    char buf[1024];
    return MakeChunkName("part.bin", buf, sizeof(buf), 0, size, offset, container.c_str());
}

}  // namespace

TEST(OsFile, OpenModes) {
    TempDir dir;
    std::string path = dir / "new.bin";
    EXPECT_EQ(OsOpenFile(path.c_str(), QZ_OPEN_READ), nullptr);
    qzPlatformFile* f = OsOpenFile(path.c_str(), QZ_OPEN_READWRITE);
    ASSERT_NE(f, nullptr);  // update mode creates a missing file
    EXPECT_EQ(f->size, -1);
    EXPECT_EQ(OsWriteFile(f, "hello", 5), 5u);
    EXPECT_EQ(OsCloseFile(f), 1);
    EXPECT_EQ(ReadFile(path), "hello");

    f = OsOpenFile(path.c_str(), QZ_OPEN_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->size, 5);
    char resolved[4096];
    ASSERT_NE(realpath(path.c_str(), resolved), nullptr);
    EXPECT_STREQ(f->name, resolved);
    EXPECT_EQ(OsWriteFile(f, "x", 1), 0u);  // read-only stream
    OsCloseFile(f);

    // Write mode truncates; a directory is not a file.
    f = OsOpenFile(path.c_str(), QZ_OPEN_WRITE);
    ASSERT_NE(f, nullptr);
    OsCloseFile(f);
    EXPECT_EQ(ReadFile(path), "");
    EXPECT_EQ(OsOpenFile(dir.path().c_str(), QZ_OPEN_READ), nullptr);
}

TEST(OsFile, ReadAfterWriteSeesTheData) {
    TempDir dir;
    std::string path = dir / "rw.bin";
    WriteFile(path, "0123456789");
    qzPlatformFile* f = OsOpenFile(path.c_str(), QZ_OPEN_READ | QZ_OPEN_READWRITE);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(OsGetC(f), '0');
    EXPECT_EQ(OsPutC(f, 'A'), 1);            // overwrites '1'
    EXPECT_EQ(OsWriteFile(f, "BC", 2), 2u);  // '2' and '3'
    EXPECT_EQ(OsGetC(f), '4');
    EXPECT_EQ(OsSeekFile(f, 1, QZ_SEEK_BEGINNING), 5);
    char buf[3] = {};
    EXPECT_EQ(OsReadFile(f, buf, 3), 3u);
    EXPECT_EQ(std::string(buf, 3), "ABC");
    EXPECT_EQ(OsSeekFile(f, -2, QZ_SEEK_END), 4);
    EXPECT_EQ(OsGetC(f), '8');
    EXPECT_EQ(OsSeekFile(f, -100, QZ_SEEK_CURRENT), -1);  // before the start: refused
    EXPECT_EQ(OsGetC(f), '9');
    EXPECT_EQ(OsEof(f), 1);
    OsCloseFile(f);
    EXPECT_EQ(ReadFile(path), "0ABC456789");
}

TEST(OsFile, ChunkWindowMatchesDd) {
    TempDir dir;
    std::string container = dir / "container.bin";
    WriteFile(container, PatternBytes(8192, 7));
    const struct { uint64_t offset, size; } windows[] = {{1000, 500}, {0, 1}, {8000, 192}, {4096, 0}};
    for (const auto& w : windows) {
        std::string expected = Shell("dd if='" + container + "' bs=1 skip=" + std::to_string(w.offset) +
                                     " count=" + std::to_string(w.size) + " status=none");
        ASSERT_EQ(expected.size(), w.size);
        std::string name = ChunkName(container, w.offset, w.size);
        qzPlatformFile* f = OsOpenFile(name.c_str(), QZ_OPEN_READ);
        ASSERT_NE(f, nullptr) << name;
        EXPECT_EQ(f->window, 1);
        EXPECT_EQ(ReadAll(f), expected);
        EXPECT_EQ(OsEof(f), 1);
        EXPECT_EQ(OsGetC(f), -1);
        qzFileInfo info;
        ASSERT_EQ(OsExamineFile(f, &info), 1);
        EXPECT_EQ(info.size, static_cast<int64_t>(w.size));
        OsCloseFile(f);
    }
}

TEST(OsFile, SeeksNeverLeaveAWindow) {
    TempDir dir;
    std::string container = dir / "c.bin";
    std::string data = PatternBytes(4000, 3);
    WriteFile(container, data);
    std::string name = ChunkName(container, 1000, 100);
    qzPlatformFile* f = OsOpenFile(name.c_str(), QZ_OPEN_READ);
    ASSERT_NE(f, nullptr);
    char buf[200];

    OsSeekFile(f, 5000, QZ_SEEK_BEGINNING);  // past the end: stops at the end
    EXPECT_EQ(f->position, 100);
    EXPECT_EQ(OsReadFile(f, buf, sizeof(buf)), 0u);
    EXPECT_EQ(OsGetC(f), -1);
    EXPECT_EQ(OsEof(f), 1);

    OsSeekFile(f, -500, QZ_SEEK_CURRENT);  // before the start: stops at the start
    EXPECT_EQ(f->position, 0);
    EXPECT_EQ(OsGetC(f), static_cast<unsigned char>(data[1000]));

    OsSeekFile(f, -10, QZ_SEEK_END);
    EXPECT_EQ(OsReadFile(f, buf, sizeof(buf)), 10u);
    EXPECT_EQ(std::string(buf, 10), data.substr(1090, 10));

    OsSeekFile(f, 0, 99);  // absolute container position 0: clipped too
    EXPECT_EQ(f->position, 0);
    OsSeekFile(f, 50, QZ_SEEK_BEGINNING);
    EXPECT_EQ(OsReadFile(f, buf, sizeof(buf)), 50u);  // a read is cut at the window's end
    EXPECT_EQ(std::string(buf, 50), data.substr(1050, 50));
    OsCloseFile(f);
}

TEST(OsFile, ChunkWindowsAreReadOnly) {
    TempDir dir;
    std::string container = dir / "applet.qza";
    std::string data = PatternBytes(300, 9);
    WriteFile(container, data);
    std::string name = ChunkName(container, 10, 20);
    EXPECT_EQ(OsOpenFile(name.c_str(), QZ_OPEN_WRITE), nullptr);
    EXPECT_EQ(OsOpenFile(name.c_str(), QZ_OPEN_READWRITE), nullptr);
    EXPECT_EQ(ReadFile(container), data);  // the container is untouched
    std::string missing = ChunkName(dir / "missing.qza", 0, 1);
    EXPECT_EQ(OsOpenFile(missing.c_str(), QZ_OPEN_READ), nullptr);
    EXPECT_EQ(OsOpenFile(":::chunk1:2*broken", QZ_OPEN_READ), nullptr);
}

TEST(OsFile, MemoryChunksOnlyForRegisteredBlocks) {
    static const unsigned char block[] = "registered memory block";
    char name[1024];
    MakeChunkName("m.txt", name, sizeof(name), -1, 10, 0, block + 3);
    EXPECT_EQ(OsOpenFile(name, QZ_OPEN_READ), nullptr);  // not registered: like a missing file
    ASSERT_TRUE(RegisterChunkMemory(block, sizeof(block)));
    qzPlatformFile* f = OsOpenFile(name, QZ_OPEN_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ReadAll(f), "istered me");
    OsSeekFile(f, 2, QZ_SEEK_BEGINNING);
    EXPECT_EQ(OsGetC(f), 't');
    EXPECT_EQ(OsWriteFile(f, "x", 1), 0u);
    OsCloseFile(f);
    // A window that runs past the registered block fails as well.
    MakeChunkName("m.txt", name, sizeof(name), -1, sizeof(block), 0, block + 3);
    EXPECT_EQ(OsOpenFile(name, QZ_OPEN_READ), nullptr);
    UnregisterChunkMemory(block);
    MakeChunkName("m.txt", name, sizeof(name), -1, 10, 0, block + 3);
    EXPECT_EQ(OsOpenFile(name, QZ_OPEN_READ), nullptr);
}

TEST(OsFile, ProgDirIsTheExecutablesFolder) {
    char exe[1024];
    ASSERT_TRUE(MacGetExecutablePath(exe, sizeof(exe)));
    std::string folder(exe, GetPathPartEnd(exe));
    std::string leaf = "qzprogdir." + std::to_string(getpid()) + ".txt";
    WriteFile(folder + "/" + leaf, "next to the program");
    std::string name = "PROGDIR:" + leaf;
    qzPlatformFile* f = OsOpenFile(name.c_str(), QZ_OPEN_READ);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ReadAll(f), "next to the program");
    OsCloseFile(f);
    std::remove((folder + "/" + leaf).c_str());
    char bundle[1024];
    ASSERT_TRUE(MacGetBundlePath(bundle, sizeof(bundle)));
    EXPECT_EQ(folder, bundle);
}

TEST(OsFile, ExamineMatchesStat) {
    TempDir dir;
    std::string path = dir / "ex.bin";
    WriteFile(path, std::string(1234, 'z'));
    ASSERT_EQ(chmod(path.c_str(), 0751), 0);
    qzPlatformFile* f = OsOpenFile(path.c_str(), QZ_OPEN_READ);
    ASSERT_NE(f, nullptr);
    qzFileInfo info;
    ASSERT_EQ(OsExamineFile(f, &info), 1);
    std::string st = Shell("stat -c '%s %X %Y %Z' '" + path + "'");
    long long size, at, mt, ct;
    ASSERT_EQ(std::sscanf(st.c_str(), "%lld %lld %lld %lld", &size, &at, &mt, &ct), 4);
    EXPECT_EQ(info.size, size);
    EXPECT_EQ(info.accessTime, at);
    EXPECT_EQ(info.modifyTime, mt);
    EXPECT_EQ(info.changeTime, ct);
    EXPECT_EQ(info.isDirectory, 0);
    // 0751: owner rwx, group r-x, others --x.
    EXPECT_EQ(info.protection, QZ_PROT_READ_USR | QZ_PROT_WRITE_USR | QZ_PROT_EXECUTE_USR | QZ_PROT_READ_GRP |
                                   QZ_PROT_EXECUTE_GRP | QZ_PROT_EXECUTE_OTH);
    EXPECT_STREQ(info.name, f->name);
    OsCloseFile(f);
}

TEST(OsFile, PathConversion) {
    char buf[QZ_PATH_MAX];
    EXPECT_STREQ(OsConvertPath("a\\b\\c.txt", buf), "a/b/c.txt");
    const char* chunk = ":::chunk1:2*a\\b?c:\\d";
    EXPECT_STREQ(OsConvertPath(chunk, buf), chunk);
    std::string longPath(1024, '\\');
    EXPECT_EQ(OsConvertPath(longPath.c_str(), buf), longPath.c_str());  // used as it is
    std::string almost(1023, '\\');
    EXPECT_EQ(std::string(OsConvertPath(almost.c_str(), buf)), std::string(1023, '/'));
}

}  // namespace os_file_test
