// Running out of memory at each allocation of operations that write files or make error reports:
// the operation fails with ERR_MEM (or succeeds), and leaves no file half-written or replaced.
#include <gtest/gtest.h>

#include <filesystem>
#include <new>
#include <set>
#include <string>

#include "base/error_arg.h"
#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "image/image_save.h"
#include "libs/dos/dos.h"
#include "oom/alloc_faults.h"
#include "platform/audio_graph.h"
#include "platform/catalog.h"
#include "platform/file_test_util.h"
#include "platform/host_test_util.h"
#include "platform/os_env.h"
#include "platform/vfs.h"
#include "runtime/error_messages.h"
#include "support/commands.h"
#include "support/lang_scope.h"

namespace failing_allocation_test {

namespace {

using filetest::ReadFile;
using filetest::TempDir;
using filetest::WriteFile;

std::set<std::string> Names(const std::string& dir) {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(dir)) names.insert(e.path().filename().string());
    return names;
}

TEST(FailingAllocation, CopyReplacesTheTargetWholeOrNotAtAll) {
    TempDir dir;
    const std::string source = dir / "source.txt", target = dir / "target.txt";
    WriteFile(source, "the new contents\n");
    WriteFile(target, "the old contents\n");
    const std::set<std::string> names = Names(dir.path());
    int result = 0;
    uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                result = VfsCopyFile(source.c_str(), nullptr, target.c_str(), nullptr);
            } catch (const std::bad_alloc&) {
                result = ERR_MEM;
            }
        },
        [&](uint64_t n) {
            EXPECT_TRUE(result == 0 || result == ERR_MEM) << n << ": " << result;
            EXPECT_EQ(ReadFile(target), result == 0 ? "the new contents\n" : "the old contents\n") << n;
            EXPECT_EQ(Names(dir.path()), names) << n;
            WriteFile(target, "the old contents\n");
        });
    EXPECT_GT(count, 3u);
}

// StringToFile writes beside the file and renames: memory running out at the rename, or
// anywhere before it, leaves the old file and no temporary one.
TEST(FailingAllocation, StringToFileReplacesTheFileWholeOrNotAtAll) {
    TempDir dir;
    const std::string target = dir / "target.txt";
    WriteFile(target, "the old contents\n");
    const std::set<std::string> names = Names(dir.path());
    qztest::Commands vm{&qzDosLibrary};
    int result = 0;
    uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                result = vm.CallErr("StringToFile", {"the new contents\n", target});
            } catch (const std::bad_alloc&) {
                result = -1;  // in the harness, before or after the command
            }
        },
        [&](uint64_t n) {
            EXPECT_TRUE(result == 0 || result == ERR_MEM || result == -1) << n << ": " << result;
            const std::string now = ReadFile(target);
            EXPECT_TRUE(now == "the old contents\n" || (result != ERR_MEM && now == "the new contents\n")) << n;
            EXPECT_EQ(Names(dir.path()), names) << n;
            WriteFile(target, "the old contents\n");
        });
    EXPECT_GT(count, 3u);
}

// GetTempFileName creates a file that the dos library deletes when it closes: whichever
// allocation fails, a file the command made is registered for that or gone again.
TEST(FailingAllocation, TemporaryFilesAreRegisteredOrGone) {
    TempDir dir;
    const std::string before = OsGetTempDir();
    OsSetTempDir(dir.path().c_str());
    {
        qztest::Commands vm{&qzDosLibrary};
        uint64_t count = ForEachFailingAllocation(
            [&] {
                try {
                    vm.Call("GetTempFileName");
                } catch (const std::bad_alloc&) {
                    // in the harness, before or after the command
                }
            },
            [&](uint64_t) {});
        EXPECT_GT(count, 1u);
        EXPECT_FALSE(Names(dir.path()).empty());
        vm.CloseLibraries();
    }
    OsSetTempDir(before.c_str());
    EXPECT_TRUE(Names(dir.path()).empty());
}

TEST(FailingAllocation, OpeningForWritingLeavesTheFileAloneWhenItFails) {
    TempDir dir;
    const std::string path = dir / "kept.txt";
    WriteFile(path, "kept\n");
    qzVfsFile* file = nullptr;
    bool failed = false;
    ForEachFailingAllocation(
        [&] {
            try {
                file = VfsOpen(path.c_str(), QZ_VFS_WRITE, nullptr);
            } catch (const std::bad_alloc&) {
                file = nullptr;
            }
            failed = !file;
        },
        [&](uint64_t n) {
            if (failed) {
                EXPECT_EQ(ReadFile(path), "kept\n") << n;
            }
            VfsClose(file);
            WriteFile(path, "kept\n");
        });
}

// A saved image replaces its file whole or not at all, whichever allocation of the writer fails.
TEST(FailingAllocation, SavedImageReplacesTheFileWholeOrNotAtAll) {
    TempDir dir;
    const std::string target = dir / "picture.png";
    WriteFile(target, "the old picture\n");
    const std::set<std::string> names = Names(dir.path());
    qzBitMap* bitmap = CreateBitMap(4, 3, 0, nullptr);
    ASSERT_NE(bitmap, nullptr);
    int result = 0;
    std::string whole;
    uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                result =
                    SaveBitMapAsImage(IMGFMT_PNG, bitmap, 4, 3, target.c_str(), nullptr, -1, nullptr, 90, 256, 0, 0);
            } catch (const std::bad_alloc&) {
                result = ERR_MEM;
            }
        },
        [&](uint64_t n) {
            const std::string now = ReadFile(target);
            if (n == 0) {
                ASSERT_EQ(result, 0);
                whole = now;
            } else {
                EXPECT_TRUE(result == 0 || result == ERR_MEM) << n << ": " << result;
                EXPECT_EQ(now, result == 0 ? whole : "the old picture\n") << n;
            }
            EXPECT_EQ(Names(dir.path()), names) << n;
            WriteFile(target, "the old picture\n");
        });
    EXPECT_GT(count, 3u);
    DeleteBitMap(bitmap);
}

// Opening a window or the sound output fails cleanly at each of its allocations (LeakSanitizer
// checks the rest).
class FailingWindowOpen : public HostTest {
protected:
    void SetUp() override { StartPlatform("headless"); }
};

TEST_F(FailingWindowOpen, OpensWholeOrReportsOutOfMemory) {
    qzHostWindowSpec spec;
    spec.display = FakeDisplay(1);
    spec.scriptId = 1;
    spec.title = "a title too long to be kept inside the string itself";
    spec.width = 8;
    spec.height = 4;
    spec.shape.assign(32, 255);
    spec.settings.dragRegions = {{0, 0, 8, 2}};
    int result = 0;
    qzHostWindow* window = nullptr;
    int opened = 0;
    ForEachFailingAllocation(
        [&] {
            try {
                result = HostOpenWindow(&spec, &window);
            } catch (const std::bad_alloc&) {
                result = ERR_MEM;
            }
        },
        [&](uint64_t n) {
            EXPECT_TRUE(result == 0 || result == ERR_MEM) << n << ": " << result;
            EXPECT_EQ(window != nullptr, result == 0) << n;
            opened += result == 0;
            HostCloseWindow(window);
            window = nullptr;
        });
    EXPECT_GE(opened, 1);
}

// The sound output opens whole or reports running out of memory, and a failed open leaves
// nothing open: the next open succeeds (LeakSanitizer checks the buses).
using FailingSoundOpen = FailingWindowOpen;

TEST_F(FailingSoundOpen, OpensWholeOrReportsOutOfMemory) {
    std::string message;
    message.reserve(256);
    int result = 0;
    int opened = 0;
    ForEachFailingAllocation(
        [&] {
            try {
                result = AudioGraphOpen(4, &message);
            } catch (const std::bad_alloc&) {
                result = ERR_MEM;
            }
        },
        [&](uint64_t n) {
            EXPECT_TRUE(result == 0 || result == ERR_MEM) << n << ": " << result << " " << message;
            EXPECT_EQ(AudioGraphIsOpen(), result == 0) << n;
            opened += result == 0;
            AudioGraphClose();
            EXPECT_EQ(AudioGraphOpen(4, &message), 0) << n << ": " << message;
            AudioGraphClose();
        });
    EXPECT_GE(opened, 1);
}

// The player's catalog for the user's language is read whole or memory running out is reported:
// the player never goes on silently in the built-in language.
TEST(FailingAllocation, PlayerCatalogIsReadOrOutOfMemoryIsReported) {
    TempDir dir;
    std::filesystem::create_directories(dir / "Catalogs/german");
    WriteFile(dir / "Catalogs/german/Quarnelix.catalog", "Speicher voll!\n");
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    LangScope lang("de_DE.UTF-8");
    int result = 0;
    uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                result = OpenPlayerCatalog();
            } catch (const std::bad_alloc&) {
                result = -1;  // while making a path, mapped to ERR_MEM by the player's start-up
            }
        },
        [&](uint64_t n) {
            EXPECT_TRUE(result == 0 || result == ERR_MEM || result == -1) << n << ": " << result;
            if (result == 0) {
                EXPECT_STREQ(GetPlayerCatalogString(0, "Out of memory!"), "Speicher voll!") << n;
            }
            ClosePlayerCatalog();
        });
    std::filesystem::current_path(here);
    EXPECT_GT(count, 2u);
}

// Error reports are made when memory has run out, mostly to say just that: their texts need none.
TEST(FailingAllocation, ErrorTextsNeedNoMemory) {
    const struct {
        int code;
        const char* arg;
        const char* text;
    } cases[] = {
        {ERR_MEM, "", "Out of memory!"},
        {ERR_READFILE, "/some/folder/missing.txt", "Cannot read file missing.txt !"},
        {ERR_ERRORCALLED, "the applet's own words", "the applet's own words"},
    };
    for (const auto& c : cases) {
        SetErrorArgString(c.arg);
        char text[QZ_ERROR_TEXT_SIZE];
        EXPECT_EQ(CountAllocations([&] { FormatErrorText(c.code, text, sizeof text); }), 0u) << c.code;
        EXPECT_STREQ(text, c.text);
    }
    ClearErrorArg();
}

}  // namespace

}  // namespace failing_allocation_test
