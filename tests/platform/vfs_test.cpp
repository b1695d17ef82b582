#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "base/error_codes.h"
#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/file_test_util.h"
#include "platform/loader_list.h"
#include "platform/os_alloc.h"
#include "platform/vfs.h"
#include "runtime/error_messages.h"

namespace vfs_test {

using namespace filetest;

namespace {

// A file adapter serving "stream:<size>" names as non-seekable streams of pattern bytes. It can
// only report its position and rewind, like a network or pipe stream.
struct FakeStream {
    int64_t size;
    int64_t pos;
};

struct StreamStats {
    int opens = 0, reads = 0, seeks = 0;
    size_t largestRead = 0;
} stats;

unsigned char PatternAt(int64_t i) { return static_cast<unsigned char>((i * 7 + 3) & 0xFF); }

void* StreamOpen(const char* name, int, const qzVfsOpenTags* tags) {
    if (std::strncmp(name, "stream:", 7) != 0) return nullptr;
    ++stats.opens;
    *tags->flags = QZ_ADAPTER_FILE_STREAM;
    return new FakeStream{std::atoll(name + 7), 0};
}
int StreamClose(void* h) {
    delete static_cast<FakeStream*>(h);
    return 1;
}
size_t StreamRead(void* h, void* buffer, size_t count) {
    auto* s = static_cast<FakeStream*>(h);
    ++stats.reads;
    stats.largestRead = std::max(stats.largestRead, count);
    int64_t left = std::max<int64_t>(0, s->size - s->pos);
    size_t n = static_cast<size_t>(std::min<uint64_t>(count, static_cast<uint64_t>(left)));
    for (size_t i = 0; i < n; ++i) static_cast<unsigned char*>(buffer)[i] = PatternAt(s->pos + static_cast<int64_t>(i));
    s->pos += static_cast<int64_t>(n);
    return n;
}
int64_t StreamSeek(void* h, int64_t offset, int mode) {
    auto* s = static_cast<FakeStream*>(h);
    ++stats.seeks;
    if (offset != 0 || mode == QZ_VFS_SEEK_END) return -1;  // only queries and rewinds
    int64_t previous = s->pos;
    if (mode == QZ_VFS_SEEK_BEGINNING) s->pos = 0;
    return previous;
}
int StreamGetC(void* h) {
    unsigned char c;
    return StreamRead(h, &c, 1) == 1 ? c : -1;
}
int StreamEof(void* h) {
    auto* s = static_cast<FakeStream*>(h);
    return s->pos >= s->size;
}

qzVfsFileAdapter streamAdapter = {"fakestream", 0,       1,          0,          StreamOpen, StreamClose,
                                  StreamRead,   nullptr, StreamSeek, StreamGetC, nullptr,    nullptr,
                                  StreamEof,    nullptr, nullptr,    nullptr};

class VfsStream : public testing::Test {
protected:
    void SetUp() override {
        stats = StreamStats();
        streamAdapter.activatedByList = 0;
        VfsAddFileAdapter(&streamAdapter);
    }
    void TearDown() override { VfsRemoveFileAdapter(&streamAdapter); }
};

}  // namespace

TEST(LoaderList, Selection) {
    const struct {
        const char* list;
        const char* name;
        bool wildcard;
        bool selected;
    } cases[] = {
        {"jpeg", "jpegloader", true, true},
        {"jpeg", "inbuilt", true, false},
        {"Default", "inbuilt", false, true},
        {"Default", "anyplugin", false, true},
        {"", "native", false, true},
        {nullptr, "x", false, true},
        {"inbuilt", "native", false, false},
        {"inbuilt", "someplugin", true, false},
        {"INBUILT|plugin", "inbuilt", false, true},
        {"plugin", "someplugin", true, true},
        {"plugin", "someplugin", false, false},
        {"plugin", "inbuilt", false, false},
        {"jpegloaderx", "jpegloader", false, false},
        {"a||b", "zzz", false, false},  // an empty item selects nothing
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsLoaderSelected(c.list, c.name, c.wildcard), c.selected)
            << (c.list ? c.list : "null") << " / " << c.name;
    EXPECT_FALSE(IsLoaderNamedExplicitly("default", "jpegloader"));
    EXPECT_FALSE(IsLoaderNamedExplicitly("plugin", "jpegloader"));
    EXPECT_TRUE(IsLoaderNamedExplicitly("png|JPEG", "jpegloader"));
    EXPECT_TRUE(IsReservedLoaderName("Native"));
    EXPECT_TRUE(IsReservedLoaderName(""));
    EXPECT_FALSE(IsReservedLoaderName("plugin"));
}

TEST_F(VfsStream, EmulatedSeekingSkipsInPieces) {
    qzVfsFile* f = VfsOpen("stream:3000000", QZ_VFS_READ | QZ_VFS_ADAPTERS | QZ_VFS_SEEKEMU, nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(VfsHasStreamFlag(f), 1);
    EXPECT_STREQ(VfsGetFileAdapterName(f), "fakestream");
    unsigned char buf[100];
    ASSERT_EQ(VfsRead(f, buf, 100), 100u);
    stats.largestRead = 0;
    EXPECT_EQ(VfsSeek(f, 150, QZ_VFS_SEEK_BEGINNING), 100);  // skips 50
    EXPECT_EQ(VfsGetC(f), PatternAt(150));
    EXPECT_EQ(VfsSeek(f, 40, QZ_VFS_SEEK_BEGINNING), 151);  // rewinds and skips 40
    EXPECT_EQ(VfsGetC(f), PatternAt(40));
    EXPECT_EQ(VfsSeek(f, -11, QZ_VFS_SEEK_CURRENT), 41);
    EXPECT_EQ(VfsGetC(f), PatternAt(30));
    // A long skip never asks for more than one piece at a time.
    EXPECT_EQ(VfsSeek(f, 2500000, QZ_VFS_SEEK_BEGINNING), 31);
    EXPECT_EQ(VfsGetC(f), PatternAt(2500000));
    EXPECT_LE(stats.largestRead, 16384u);
    EXPECT_EQ(VfsSeek(f, 0, QZ_VFS_SEEK_END), -1);              // no end on a stream
    EXPECT_EQ(VfsSeek(f, 5000000, QZ_VFS_SEEK_BEGINNING), -1);  // runs out of data
    EXPECT_EQ(VfsSeek(f, -10, QZ_VFS_SEEK_BEGINNING), -1);
    EXPECT_EQ(VfsClose(f), 1);
}

TEST_F(VfsStream, QueriesReachTheAdapterWithoutEmulation) {
    qzVfsFile* f = VfsOpen("stream:500", QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr);
    ASSERT_NE(f, nullptr);
    unsigned char buf[10];
    VfsRead(f, buf, 10);
    int seeks = stats.seeks;
    EXPECT_EQ(VfsSeek(f, 0, QZ_VFS_SEEK_CURRENT), 10);
    EXPECT_EQ(VfsSeek(f, 0, QZ_VFS_SEEK_BEGINNING), 10);
    EXPECT_EQ(stats.seeks, seeks + 2);
    EXPECT_EQ(VfsGetC(f), PatternAt(0));
    EXPECT_EQ(VfsSeek(f, 20, QZ_VFS_SEEK_BEGINNING), -1);  // no emulation without the mode bit
    VfsClose(f);
}

TEST_F(VfsStream, LoaderListsChooseWhoServes) {
    TempDir dir;
    std::string path = dir / "stream:12";  // a real file with the adapter's name pattern
    WriteFile(path, "platform data");
    // Without the adapter bit the platform opens it.
    qzVfsFile* f = VfsOpen(path.c_str(), QZ_VFS_READ, "plugin");
    EXPECT_EQ(f, nullptr);  // the list does not select "inbuilt"
    f = VfsOpen(path.c_str(), QZ_VFS_READ, "inbuilt");
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(VfsGetFileAdapterName(f), nullptr);
    VfsClose(f);
    // With the list "plugin" a name that no adapter accepts is not opened at all.
    EXPECT_EQ(VfsOpen(path.c_str(), QZ_VFS_READ | QZ_VFS_ADAPTERS, "plugin"), nullptr);
    EXPECT_EQ(stats.opens, 0);
    // "inbuilt" keeps the adapter out; a list naming it activates it for explicit lists only.
    EXPECT_EQ(VfsOpen("stream:5", QZ_VFS_READ | QZ_VFS_ADAPTERS, "inbuilt"), nullptr);
    f = VfsOpen("stream:5", QZ_VFS_READ | QZ_VFS_ADAPTERS, "fake");  // selected by its start
    ASSERT_NE(f, nullptr);
    VfsClose(f);
    EXPECT_EQ(streamAdapter.activatedByList, 0);
    EXPECT_EQ(stats.opens, 1);
    f = VfsOpen("stream:5", QZ_VFS_READ | QZ_VFS_ADAPTERS, "inbuilt|FakeStream");  // named: activated
    ASSERT_NE(f, nullptr);
    VfsClose(f);
    EXPECT_EQ(streamAdapter.activatedByList, 1);
    EXPECT_EQ(VfsOpen("stream:5", QZ_VFS_READ | QZ_VFS_ADAPTERS, "plugin"), nullptr);
    f = VfsOpen("stream:5", QZ_VFS_READ | QZ_VFS_ADAPTERS, "default");
    EXPECT_EQ(f, nullptr);
    // Chunk names reach only adapters that accept them.
    EXPECT_EQ(VfsOpen(":::chunk0:5*stream:5?/nowhere", QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr), nullptr);
}

namespace {

// An adapter that accepts chunk names and remembers the tags it was given.
struct SeenTags {
    int opens = 0;
    std::string container;
    uint64_t offset = 0, size = 0;
    int memorySource = -1;
} seen;
void* ChunkOpen(const char*, int, const qzVfsOpenTags* tags) {
    ++seen.opens;
    seen.container = tags->containerPath ? tags->containerPath : "";
    seen.offset = tags->offset;
    seen.size = tags->size;
    seen.memorySource = tags->memorySource;
    return new FakeStream{0, 0};
}

}  // namespace

TEST(Vfs, ChunkNamesReachAcceptingAdaptersWithTheirWindow) {
    qzVfsFileAdapter chunkAdapter = {"chunky",   1,       1,          0,          ChunkOpen, StreamClose,
                                     StreamRead, nullptr, StreamSeek, StreamGetC, nullptr,   nullptr,
                                     StreamEof,  nullptr, nullptr,    nullptr};
    VfsAddFileAdapter(&chunkAdapter);
    seen = SeenTags();
    char chunk[1024];
    MakeChunkName("a.png", chunk, sizeof(chunk), 100, 50, 20, "/some/container.qza");
    qzVfsFile* f = VfsOpen(chunk, QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr);
    ASSERT_NE(f, nullptr);
    VfsClose(f);
    EXPECT_EQ(seen.container, "/some/container.qza");
    EXPECT_EQ(seen.offset, 120u);
    EXPECT_EQ(seen.size, 50u);
    EXPECT_EQ(seen.memorySource, 0);

    // Memory names: only for registered memory, never a forged address.
    static const unsigned char block[32] = {7};
    MakeChunkName("m.bin", chunk, sizeof(chunk), -1, 8, 2, block + 4);
    seen = SeenTags();
    EXPECT_EQ(VfsOpen(chunk, QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr), nullptr);
    EXPECT_EQ(seen.opens, 0);
    ASSERT_TRUE(RegisterChunkMemory(block, sizeof(block)));
    f = VfsOpen(chunk, QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr);
    ASSERT_NE(f, nullptr);
    VfsClose(f);
    EXPECT_EQ(seen.memorySource, 1);
    EXPECT_EQ(seen.size, 8u);
    UnregisterChunkMemory(block);
    VfsRemoveFileAdapter(&chunkAdapter);
}

TEST_F(VfsStream, LoadFileReadsStreamsInSteps) {
    unsigned char* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(VfsLoadFile("stream:20000", nullptr, nullptr, &data, &size, true), 0);
    ASSERT_EQ(size, 20000u);
    EXPECT_EQ(stats.reads, 2);
    bool same = true;
    for (size_t i = 0; i < size; ++i) same = same && data[i] == PatternAt(static_cast<int64_t>(i));
    EXPECT_TRUE(same);
    EXPECT_EQ(data[size], 0);
    OsFree(data);

    // An open stream is rewound first.
    qzVfsFile* f = VfsOpen("stream:32768", QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr);
    ASSERT_NE(f, nullptr);
    unsigned char skip[5];
    VfsRead(f, skip, 5);
    ASSERT_EQ(VfsLoadFile("ignored", nullptr, f, &data, &size, true), 0);
    EXPECT_EQ(size, 32768u);
    EXPECT_EQ(data[0], PatternAt(0));
    OsFree(data);
    VfsClose(f);
}

TEST(Vfs, LoadFileFromDiskAndWindows) {
    TempDir dir;
    std::string path = dir / "load.bin";
    std::string content = PatternBytes(50000, 5);
    WriteFile(path, content);
    unsigned char* data;
    size_t size;
    ASSERT_EQ(VfsLoadFile(path.c_str(), nullptr, nullptr, &data, &size, false), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), content);
    OsFree(data);

    char chunk[1024];
    MakeChunkName("w.bin", chunk, sizeof(chunk), 0, 300, 1000, path.c_str());
    ASSERT_EQ(VfsLoadFile(chunk, nullptr, nullptr, &data, &size, true), 0);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), content.substr(1000, 300));
    OsFree(data);
    // Windows that claim more than the container holds give the bytes present, without
    // allocating for the claim.
    const struct {
        uint64_t offset, size;
        size_t present;
    } beyond[] = {{49000, 1ull << 50, 1000}, {60000, 1ull << 40, 0}};
    for (const auto& w : beyond) {
        MakeChunkName("big.bin", chunk, sizeof(chunk), 0, w.size, w.offset, path.c_str());
        ASSERT_EQ(VfsLoadFile(chunk, nullptr, nullptr, &data, &size, false), 0) << w.offset;
        std::string expected = w.present ? content.substr(w.offset, w.present) : std::string();
        EXPECT_EQ(std::string(reinterpret_cast<char*>(data), size), expected);
        OsFree(data);
    }

    WriteFile(dir / "empty", "");
    ASSERT_EQ(VfsLoadFile((dir / "empty").c_str(), nullptr, nullptr, &data, &size, false), 0);
    EXPECT_EQ(size, 0u);
    ASSERT_NE(data, nullptr);
    OsFree(data);

    std::string missing = dir / "missing.bin";
    EXPECT_EQ(VfsLoadFile(missing.c_str(), nullptr, nullptr, &data, &size, false), ERR_READFILE);
    EXPECT_EQ(data, nullptr);
    EXPECT_STREQ(GetErrorArgString(), missing.c_str());
}

TEST(Vfs, IntegersInBothByteOrders) {
    TempDir dir;
    std::string path = dir / "ints.bin";
    WriteFile(path, std::string("\xFF\x7F\xFF\xFE\xFF\xFE\x01\x02\x03\x84\x01\x02\x03\x84\x05", 15));
    qzVfsFile* f = VfsOpen(path.c_str(), QZ_VFS_READ, nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(VfsReadInt16LE(f), 32767);
    EXPECT_EQ(VfsReadInt16BE(f), -2);
    EXPECT_EQ(VfsReadUInt16BE(f), 65534u);
    EXPECT_EQ(VfsReadInt32LE(f), static_cast<int32_t>(0x84030201u));
    EXPECT_EQ(VfsReadInt32BE(f), 0x01020384);
    EXPECT_EQ(VfsReadInt16BE(f), 0x0500);  // the missing byte at the end counts as 0
    EXPECT_EQ(VfsEof(f), 1);
    VfsClose(f);

    std::string out = dir / "out.bin";
    f = VfsOpen(out.c_str(), QZ_VFS_WRITE, nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(VfsWriteInt16LE(f, -2), 1);
    EXPECT_EQ(VfsWriteInt16BE(f, 0x1234), 1);
    EXPECT_EQ(VfsWriteInt32LE(f, 0x01020304), 1);
    EXPECT_EQ(VfsWriteInt32BE(f, -2), 1);
    EXPECT_EQ(VfsWriteString(f, "ab"), 2u);
    VfsClose(f);
    EXPECT_EQ(ReadFile(out), std::string("\xFE\xFF\x12\x34\x04\x03\x02\x01\xFF\xFF\xFF\xFE"
                                         "ab",
                                         14));
}

TEST(Vfs, SizesAndExamine) {
    TempDir dir;
    std::string path = dir / "s.bin";
    WriteFile(path, std::string(777, 'q'));
    qzVfsFile* f = VfsOpen(path.c_str(), QZ_VFS_READWRITE, nullptr);  // size not asked at open
    ASSERT_NE(f, nullptr);
    unsigned char c[3];
    VfsRead(f, c, 3);
    EXPECT_EQ(VfsGetFileSize(f), 777);
    EXPECT_EQ(VfsSeek(f, 0, QZ_VFS_SEEK_CURRENT), 3);  // position kept
    qzFileInfo info;
    ASSERT_EQ(VfsExamine(f, &info), 1);
    EXPECT_EQ(info.size, 777);
    VfsClose(f);

    char chunk[1024];
    MakeChunkName("x.bin", chunk, sizeof(chunk), 0, 70, 7, path.c_str());
    f = VfsOpen(chunk, QZ_VFS_READ, nullptr);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(VfsGetFileSize(f), 70);
    VfsClose(f);
}

TEST(Vfs, LocksOnChunksFilesAndDirectories) {
    TempDir dir;
    WriteFile(dir / "one.txt", "1");
    char chunk[1024];
    MakeChunkName("pic.png", chunk, sizeof(chunk), 0, 1234, 10, (dir / "one.txt").c_str());
    qzVfsLock* lock = VfsLock(chunk, QZ_VFS_LOCK_READ, nullptr);
    ASSERT_NE(lock, nullptr);
    qzFileInfo info;
    EXPECT_EQ(VfsExamineLock(lock, &info), 1);
    EXPECT_EQ(info.size, 1234);
    EXPECT_EQ(info.isDirectory, 0);
    int isDir = -1;
    EXPECT_EQ(VfsCheckDirLock(lock, &isDir), ERR_NOTADIR);
    EXPECT_STREQ(GetErrorArgString(), chunk);
    VfsUnlock(lock);

    lock = VfsLock((dir / "one.txt").c_str(), QZ_VFS_LOCK_READ, nullptr);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(VfsCheckDirLock(lock, &isDir), ERR_NOTADIR);
    std::string arg = GetErrorArgString();
    EXPECT_EQ(arg.substr(arg.size() - 8), "/one.txt");
    VfsUnlock(lock);

    lock = VfsLock(dir.path().c_str(), QZ_VFS_LOCK_READ | QZ_VFS_LOCK_ADAPTERS, nullptr);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(VfsCheckDirLock(lock, &isDir), 0);
    const char* name;
    ASSERT_EQ(VfsNextDirEntry(lock, nullptr, &name, &isDir, nullptr), 1);
    EXPECT_STREQ(name, "one.txt");
    EXPECT_EQ(VfsNextDirEntry(lock, nullptr, &name, &isDir, nullptr), 0);
    EXPECT_EQ(VfsGetLockAdapterName(lock), nullptr);
    VfsUnlock(lock);
    EXPECT_EQ(VfsLock(dir.path().c_str(), QZ_VFS_LOCK_READ, "plugin"), nullptr);
    EXPECT_EQ(VfsLock(":::chunkbroken", QZ_VFS_LOCK_READ, nullptr), nullptr);

    // A memory chunk name is locked only for memory the player registered.
    static const unsigned char block[64] = {1};
    MakeChunkName("m.bin", chunk, sizeof(chunk), -1, 16, 0, block + 8);
    qzDosFileInfo dosInfo;
    EXPECT_EQ(VfsLock(chunk, QZ_VFS_LOCK_READ, nullptr), nullptr);
    EXPECT_EQ(VfsExamineName(chunk, &dosInfo, false), 0);
    ASSERT_TRUE(RegisterChunkMemory(block, sizeof(block)));
    lock = VfsLock(chunk, QZ_VFS_LOCK_READ, nullptr);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(VfsExamineLock(lock, &info), 1);
    EXPECT_EQ(info.size, 16);
    VfsUnlock(lock);
    UnregisterChunkMemory(block);
    EXPECT_EQ(VfsLock(chunk, QZ_VFS_LOCK_READ, nullptr), nullptr);
}

TEST(Vfs, ExamineNameGivesLocalDates) {
    TempDir dir;
    std::string path = dir / "dated.txt";
    WriteFile(path, "12345");
    ASSERT_EQ(std::system(("touch -m -d '2014-03-07 09:05:00' '" + path + "'").c_str()), 0);
    qzDosFileInfo info;
    ASSERT_EQ(VfsExamineName(path.c_str(), &info, true), 1);
    EXPECT_EQ(info.type, 0);
    EXPECT_EQ(info.size, 5);
    EXPECT_EQ(info.modified.year, 2014);
    EXPECT_EQ(info.modified.month, 2);
    EXPECT_EQ(info.modified.day, 7);
    EXPECT_EQ(info.modified.hour, 9);
    EXPECT_EQ(info.modified.min, 5);
    std::string full = info.fullName;
    EXPECT_EQ(full.substr(full.size() - 10), "/dated.txt");
    ASSERT_EQ(VfsExamineName(dir.path().c_str(), &info, false), 1);
    EXPECT_EQ(info.type, 1);
    EXPECT_EQ(VfsExamineName((dir / "nope").c_str(), &info, false), 0);
}

TEST(Vfs, CopyReplacesTargetOnlyWhenComplete) {
    TempDir dir;
    std::string src = dir / "src.bin", dst = dir / "dst.bin";
    std::string content = PatternBytes(40000, 11);
    WriteFile(src, content);
    WriteFile(dst, "old and good");
    ASSERT_EQ(chmod(dst.c_str(), 0640), 0);
    ASSERT_EQ(VfsCopyFile(src.c_str(), nullptr, dst.c_str(), nullptr), 0);
    EXPECT_EQ(ReadFile(dst), content);
    EXPECT_EQ(Shell("stat -c %a '" + dst + "'"), "640\n");  // permissions of the replaced file

    WriteFile(dst, "old and good");
    std::string missing = dir / "missing";
    EXPECT_EQ(VfsCopyFile(missing.c_str(), nullptr, dst.c_str(), nullptr), ERR_READFILE);
    EXPECT_STREQ(GetErrorArgString(), missing.c_str());
    EXPECT_EQ(ReadFile(dst), "old and good");
    EXPECT_EQ(VfsCopyFile(src.c_str(), nullptr, (dir / "no/such/dir/x").c_str(), nullptr), ERR_WRITEFILE);
    char chunk[1024];
    MakeChunkName("x", chunk, sizeof(chunk), 0, 10, 0, src.c_str());
    EXPECT_EQ(VfsCopyFile(src.c_str(), nullptr, chunk, nullptr), ERR_WRITEFILE);
    EXPECT_EQ(ReadFile(src), content);

    // A symbolic link as target: the file it points to gets the copy.
    ASSERT_EQ(symlink(dst.c_str(), (dir / "link").c_str()), 0);
    ASSERT_EQ(VfsCopyFile(chunk, nullptr, (dir / "link").c_str(), nullptr), 0);
    EXPECT_EQ(ReadFile(dst), content.substr(0, 10));
    struct stat st;
    ASSERT_EQ(lstat((dir / "link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));

    // Nothing but the files themselves is left behind.
    EXPECT_EQ(Shell("ls '" + dir.path() + "' | wc -l"), "3\n");
}

}  // namespace vfs_test
