#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/error_codes.h"
#include "platform/chunk_memory.h"
#include "platform/chunk_name.h"
#include "platform/file_info.h"
#include "runtime/applet_records.h"
#include "runtime/linked_file.h"
#include "runtime/player_records.h"
#include "support/commands.h"
#include "vm/vm.h"

namespace chunk_name_test {

TEST(ChunkName, FileNameRoundTrip) {
    char buf[1024];
    MakeChunkName("pic.png", buf, sizeof(buf), 1000, 500, 24, "/a/b.qza");
    EXPECT_STREQ(buf, ":::chunk1024:500*pic.png?/a/b.qza");
    qzChunkNameParts p;
    ASSERT_TRUE(ParseChunkName(buf, &p));
    EXPECT_EQ(p.offset, 1024u);
    EXPECT_EQ(p.size, 500u);
    EXPECT_EQ(p.embeddedName, "pic.png");
    EXPECT_EQ(p.extension, ".png");
    EXPECT_EQ(p.containerPath, "/a/b.qza");
    EXPECT_EQ(p.address, 0u);
    EXPECT_EQ(p.sourceNumber, -1);
    // Offsets beyond 4 GB survive the round trip.
    MakeChunkName("x", buf, sizeof(buf), 0, 7, 5000000000ull, "c");
    ASSERT_TRUE(ParseChunkName(buf, &p));
    EXPECT_EQ(p.offset, 5000000000ull);
    EXPECT_EQ(p.extension, "");
    // A name that does not fit is not cut (a cut container path names another file): empty.
    char small[34];
    const char* fits = MakeChunkName("pic.png", small, sizeof(small), 1000, 500, 24, "/a/b.qza");
    EXPECT_STREQ(fits, ":::chunk1024:500*pic.png?/a/b.qza");
    EXPECT_STREQ(MakeChunkName("pic.png", small, sizeof(small), 1000, 500, 24, "/a/bc.qza"), "");
    EXPECT_STREQ(MakeChunkName("s", small, sizeof(small), -1, 1, 1000000, reinterpret_cast<const void*>(~uintptr_t(0))),
                 "");
}

TEST(ChunkName, MemoryNameRoundTrip) {
    char buf[1024];
    MakeChunkName("snd.wav", buf, sizeof(buf), -1, 16, 3, reinterpret_cast<const void*>(0x1A2B));
    EXPECT_STREQ(buf, ":::chunkS3:16*snd.wav?1a2b");
    qzChunkNameParts p;
    ASSERT_TRUE(ParseChunkName(buf, &p));
    EXPECT_EQ(p.address, 0x1A2Bu);
    EXPECT_EQ(p.sourceNumber, 3);
    EXPECT_EQ(p.size, 16u);
    EXPECT_EQ(p.offset, 0u);
    EXPECT_EQ(p.containerPath, "");
}

TEST(ChunkName, MalformedNamesAreRejected) {
    const char* bad[] = {
        "plain.txt",
        ":::chunk",
        ":::chunk12:34pic?/x",                  // no '*'
        ":::chunk12:34*pic",                    // no '?'
        ":::chunkx:34*pic?/x",                  // no offset digits
        ":::chunk12*pic?/x",                    // no size
        ":::chunk99999999999999999999:1*a?/x",  // offset overflows
        ":::chunk9223372036854775807:2*a?/x",   // offset + size beyond 64-bit positions
        ":::chunkS1:16*a?",                     // no address
        ":::chunkS1:16*a?12zz",                 // not hexadecimal
        ":::chunkS1:16*a?12345678901234567",    // address overflows
    };
    for (const char* name : bad) {
        qzChunkNameParts p;
        p.embeddedName = "untouched";
        EXPECT_FALSE(ParseChunkName(name, &p)) << name;
        EXPECT_EQ(p.embeddedName, "untouched") << name;
    }
    EXPECT_TRUE(IsChunkName(":::chunkanything"));
    EXPECT_FALSE(IsChunkName("::chunk1:2*a?b"));
    EXPECT_FALSE(IsChunkName(nullptr));
}

TEST(ChunkName, DisplayNames) {
    const std::pair<const char*, const char*> cases[] = {
        {"C:\\dir\\x.jpg", "x.jpg"},
        {"vol:x.jpg", "x.jpg"},
        {"/a/b/c.txt", "c.txt"},
        {"plain", "plain"},
        {"a", "a"},
        {"/", "/"},  // shorter than two characters: unchanged
        {"dir/", ""},
        {"dir\\", ""},
        {":::chunk1:2*data/img.png?/a/b.qza", "img.png"},
        {":::chunkS0:2*snd.wav?ff", "snd.wav"},
    };
    for (const auto& [in, out] : cases) EXPECT_EQ(GetDisplayFileName(in), out) << in;
}

TEST(ChunkName, PathParts) {
    const std::pair<const char*, size_t> ends[] = {
        {"/a/b.txt", 2}, {"a/b/c", 3}, {"/file", 1}, {"//file", 2},     {"file", 0},
        {"vol:x", 4},    {"a/b:c", 4}, {"a:b/c", 3}, {"C:\\dir\\x", 6},
    };
    for (const auto& [path, end] : ends) EXPECT_EQ(GetPathPartEnd(path), end) << path;

    const struct {
        const char* path;
        const char* name;
        const char* result;
    } adds[] = {
        {"", "x", "x"},
        {"a", "x", "a/x"},
        {"a/", "x", "a/x"},
        {"a\\", "x", "a\\x"},
    };
    for (const auto& c : adds) {
        char buf[64];
        std::strcpy(buf, c.path);
        ASSERT_TRUE(AddPathPart(buf, sizeof(buf), c.name));
        EXPECT_STREQ(buf, c.result);
        std::string s = c.path;
        AddPathPart(s, c.name);
        EXPECT_EQ(s, c.result);
    }
    // A result that does not fit leaves the buffer as it was.
    char small[8] = "abc";
    EXPECT_FALSE(AddPathPart(small, sizeof(small), "defg"));
    EXPECT_STREQ(small, "abc");
    EXPECT_TRUE(AddPathPart(small, sizeof(small), "def"));
    EXPECT_STREQ(small, "abc/def");

    EXPECT_EQ(GetFileExtension("dir.d/file"), "");
    EXPECT_EQ(GetFileExtension("a/b.tar.gz"), ".gz");
    EXPECT_EQ(GetFileExtension(":::chunk1:2*pic.PNG?/x.qza"), ".PNG");
}

TEST(ChunkMemory, OnlyRegisteredRangesAreFound) {
    static unsigned char block[64];
    uintptr_t base = reinterpret_cast<uintptr_t>(block);
    EXPECT_EQ(FindChunkMemory(base, 16), nullptr);
    ASSERT_TRUE(RegisterChunkMemory(block, sizeof(block)));
    EXPECT_EQ(FindChunkMemory(base, 64), block);
    EXPECT_EQ(FindChunkMemory(base + 10, 54), block + 10);
    EXPECT_EQ(FindChunkMemory(base + 10, 55), nullptr);  // runs past the block
    EXPECT_EQ(FindChunkMemory(base - 1, 2), nullptr);    // starts before it
    EXPECT_EQ(FindChunkMemory(base + 64, UINT64_MAX), nullptr);
    UnregisterChunkMemory(block);
    EXPECT_EQ(FindChunkMemory(base, 1), nullptr);
    EXPECT_FALSE(RegisterChunkMemory(nullptr, 4));
}

TEST(LinkedFile, ResolvesFilesAndFonts) {
    qzLinkedFile font{nullptr, "::font:Vera Sans", "", 300, 40};
    qzLinkedFile other{&font, "sub\\snd.wav", "/other/c.qza", 10, 20};
    qzLinkedFile img{&other, "data/img.png", "", 100, 50};
    char buf[1024];
    int isFont = -1;

    const char* r = ResolveLinkedFileIn(&img, 1000, "/apps/x.qza", "Data\\Img.PNG", 0, &isFont, buf, sizeof(buf));
    EXPECT_STREQ(r, ":::chunk1100:50*data/img.png?/apps/x.qza");
    EXPECT_EQ(isFont, 0);

    r = ResolveLinkedFileIn(&img, 0, "/apps/x.qza", "sub/SND.wav", 0, nullptr, buf, sizeof(buf));
    EXPECT_STREQ(r, ":::chunk10:20*sub\\snd.wav?/other/c.qza");

    for (const char* name : {"vera sans", "Vera Sans.font"}) {
        r = ResolveLinkedFileIn(&img, 0, "/apps/x.qza", name, 1, &isFont, buf, sizeof(buf));
        EXPECT_STREQ(r, ":::chunk300:40*Vera Sans?/apps/x.qza") << name;
        EXPECT_EQ(isFont, 1);
    }
    // A font lookup of a TrueType file name searches the ordinary files; fonts are never found by
    // a plain file lookup.
    const char* ttf = "data/img.png.ttf";
    EXPECT_EQ(ResolveLinkedFileIn(&img, 0, "/x", ttf, 1, &isFont, buf, sizeof(buf)), ttf);
    const char* plain = "::font:Vera Sans";
    EXPECT_EQ(ResolveLinkedFileIn(&img, 0, "/x", plain, 0, &isFont, buf, sizeof(buf)), plain);
    const char* missing = "nothing.png";
    EXPECT_EQ(ResolveLinkedFileIn(&img, 0, "/x", missing, 0, &isFont, buf, sizeof(buf)), missing);
}

TEST(FileInfo, VirtualEntryDefaults) {
    qzDosFileInfo info;
    InitFileInfo(&info, 0, -2);
    EXPECT_EQ(info.type, 0);
    EXPECT_EQ(info.size, -2);
    EXPECT_EQ(info.protection, 15u);
    EXPECT_STREQ(info.comment, "");
    for (const qzDateStamp* d : {&info.created, &info.modified, &info.accessed}) {
        EXPECT_EQ(d->year, 2002);
        EXPECT_EQ(d->month, 9);
        EXPECT_EQ(d->day, 4);
        EXPECT_EQ(d->hour + d->min + d->sec, 0);
    }
}

TEST(LinkedFile, RunningAppletsFilesByNameAndArgument) {
    qztest::VmScope vm;
    const char* name = "Data\\Img.PNG";
    EXPECT_EQ(ResolveLinkedFileName(vm, name, 0, nullptr), name);  // no applet yet
    qzAppletDescriptor applet;
    applet.containerPath = "/apps/x.qza";
    applet.containerBase = 4096;
    AddLinkedFile(&applet, "data/img.png", "/apps/x.qza", 100, 50);
    AddLinkedFile(&applet, "::font:Mono", "/apps/x.qza", 300, 40);
    SetStartupRecords(vm, nullptr, &applet);
    int isFont = -1;
    EXPECT_STREQ(ResolveLinkedFileName(vm, name, 0, &isFont), ":::chunk4196:50*data/img.png?/apps/x.qza");
    EXPECT_EQ(isFont, 0);

    std::string resolved;
    int status = RunAsCommand(vm, {"mono.font"}, [&](VmState* s) {
        resolved = ResolveLinkedFileArg(s, 1, 1, &isFont);
        return 0;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(resolved, ":::chunk4396:40*Mono?/apps/x.qza");
    EXPECT_EQ(isFont, 1);
    status = RunAsCommand(vm, {qztest::Nil{}}, [&](VmState* s) {
        ResolveLinkedFileArg(s, 1, 0, nullptr);
        return 0;
    });
    EXPECT_EQ(status, ERR_STREXPECTED);
    SetStartupRecords(vm, nullptr, nullptr);
}

}  // namespace chunk_name_test
