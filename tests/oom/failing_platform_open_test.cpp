// The platform's openers at each failing allocation: opening a sound file, a sample rate converter
// or a system font, making a menu bar or running a helper program, succeeds or fails, and frees
// the record, its files, resampler, faces, font bytes and entries and ends the program on every
// way out, also when the allocation that fails throws (LeakSanitizer checks).
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "libs/oracle.h"
#include "oom/alloc_faults.h"
#include "platform/audio_converter.h"
#include "platform/audio_file.h"
#include "platform/host/menu_bar.h"
#include "platform/host/menu_tree.h"
#include "platform/os_alloc.h"
#include "platform/os_child.h"
#include "platform/sys_image.h"
#include "platform/system_fonts.h"
#include "platform/vfs.h"
#include "plugins/plugin_fixture.h"

namespace failing_platform_open_test {

namespace {

bool Shell(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

const char kVera[] = "/usr/share/fonts/truetype/ttf-bitstream-vera/Vera.ttf";

TEST(FailingAllocation, OpenedSoundFilesAndFontsAreFreedOnEveryWayOut) {
    libtest::TempDir dir;
    std::string wave = dir.File("tone.wav"), mpeg = dir.File("tone.mp3");
    ASSERT_TRUE(Shell("sox -n -r 8000 -b 16 -c 1 '" + wave + "' synth 0.2 sine 440"));
    // Longer than 1 KB: the bit rate analysis opens the file a second time.
    ASSERT_TRUE(
        Shell("ffmpeg -nostdin -v error -f lavfi -i sine=frequency=440:sample_rate=22050:duration=1 -b:a 64k '" + mpeg +
              "'"));
    std::string vera = libtest::ReadFile(kVera);
    ASSERT_FALSE(vera.empty()) << kVera;

    auto openSound = [](const std::string& path) {
        return [path](std::string* name) {
            qzAudioFile* file = nullptr;
            qzAudioFileInfo info;
            if (AudioFileOpen(path.c_str(), nullptr, &file, &info) != 0) return false;
            std::unique_ptr<qzAudioFile, decltype(&AudioFileClose)> owner(file, AudioFileClose);
            *name = AudioFileFormatName(file) + std::string(" ") + std::to_string(info.rate);
            return true;
        };
    };
    // From the bytes of a font file (taken over by the font) or by its full name.
    auto openFont = [&vera](bool fromBytes) {
        return [&vera, fromBytes](std::string* name) {
            unsigned char* data = nullptr;
            if (fromBytes) {
                data = static_cast<unsigned char*>(OsAlloc(vera.size(), 0));
                if (!data) return false;
                std::memcpy(data, vera.data(), vera.size());
            }
            qzSystemFontInfo info;
            qzSystemFont* font = OsOpenSystemFont("Bitstream Vera Sans", data, fromBytes ? vera.size() : 0, 16, &info);
            if (!font) return false;
            std::unique_ptr<qzSystemFont, decltype(&OsCloseSystemFont)> owner(font, OsCloseSystemFont);
            *name = info.name + " " + std::to_string(info.height);
            return true;
        };
    };
    // With a resampler when the rates differ.
    auto newConverter = [](double toRate) {
        return [toRate](std::string* name) {
            const qzAudioFormat format = {16, 4, 2, 2};
            qzAudioConverter* converter = nullptr;
            if (AudioConverterNew(&format, 22050, toRate, &converter) != 0) return false;
            std::unique_ptr<qzAudioConverter, decltype(&AudioConverterDispose)> owner(converter, AudioConverterDispose);
            *name = std::to_string(AudioConverterChannels(converter));
            return true;
        };
    };
    // A menu bar of a title with a submenu, laid out in its font.
    auto menuBar = [](std::string* name) {
        qzMenuItem open, mark, file;
        open.text = "Open a file from the disk";
        open.next = &mark;
        mark.text = "Mark";
        file.text = "File";
        file.children = &open;
        std::unique_ptr<qzMenuBar, decltype(&MenuBarFree)> bar(MenuBarCreate(&file), MenuBarFree);
        if (!bar) return false;
        MenuBarLayout(bar.get(), 640);
        *name =
            std::to_string(MenuBarHeight(bar.get())) + " " + std::to_string(MenuBarFind(bar.get(), &mark) != nullptr);
        return true;
    };
    // A helper program whose output comes in many reads.
    auto runChild = [](std::string* name) {
        qzChildRun run;
        run.argv = {"sh", "-c", "head -c 300000 /dev/zero"};
        qzChildResult result;
        if (!OsRunChild(run, &result)) return false;
        *name = std::to_string(result.output.size()) + " " + std::to_string(result.exitCode);
        return true;
    };
    auto listFaces = [](std::string* name) {
        std::vector<qzSystemFace> faces;
        if (!OsListSystemFaces(&faces) || faces.empty()) return false;
        *name = faces.front().path + " " + std::to_string(faces.size());
        return true;
    };
    const struct {
        const char* name;
        std::function<bool(std::string*)> open;
    } rows[] = {
        {"wave file", openSound(wave)},      {"mpeg file", openSound(mpeg)},
        {"converter", newConverter(22050)},  {"resampling converter", newConverter(44100)},
        {"font from bytes", openFont(true)}, {"font by name", openFont(false)},
        {"system faces", listFaces},         {"menu bar", menuBar},
        {"child program", runChild},
    };
    for (const auto& row : rows) {
        std::string whole;
        ASSERT_TRUE(row.open(&whole)) << row.name;
        std::string got;
        bool opened = false;
        uint64_t count = ForEachFailingAllocation(
            [&] {
                got.clear();
                try {
                    opened = row.open(&got);
                } catch (const std::bad_alloc&) {
                    opened = false;
                }
            },
            [&](uint64_t n) {
                if (n == 0 || opened) {
                    EXPECT_EQ(got, whole) << row.name << ", allocation " << n;
                }
                EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1) << row.name << ", allocation " << n << ": a child is left";
            });
        EXPECT_GT(count, 0u) << row.name;
    }
    // fontconfig's configuration, which the lookups by name loaded.
    OsResetSystemFonts();
}

}  // namespace

namespace {

using FailingAdapterLoad = plugintest::PluginTest;

// Reading a file through a file adapter, whose answer about the file's size is copied (its long
// name included): loading it whole and decoding it as a picture give what they give without
// failures, or fail, and close what they opened.
TEST_F(FailingAdapterLoad, ReadFileIsClosedOnEveryWayOut) {
    ASSERT_EQ(LoadPluginFile(Copy("memfs", "memfs.qzp").c_str(), 0, nullptr), 0);
    const char* name = "mem:/a name longer than a short string.png";
    const uint32_t pixels[4] = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    unsigned char* png = nullptr;
    size_t pngSize = 0;
    ASSERT_EQ(SysEncodeImage(pixels, 2, 2, 8, QZ_SYSIMAGE_PNG, 0, 0, &png, &pngSize), 0);
    {
        qzVfsFileOwner file(VfsOpen(name, QZ_VFS_WRITE | QZ_VFS_ADAPTERS, nullptr));
        ASSERT_TRUE(file);
        ASSERT_EQ(VfsWrite(file.get(), png, pngSize), pngSize);
    }
    const std::string bytes(reinterpret_cast<const char*>(png), pngSize);
    OsFree(png);

    auto loadWhole = [&](std::string* got) {
        unsigned char* data = nullptr;
        size_t size = 0;
        int result = VfsLoadFile(name, nullptr, nullptr, &data, &size, true);
        if (result == 0) got->assign(reinterpret_cast<const char*>(data), size);
        OsFree(data);
        return result;
    };
    auto decode = [&](std::string* got) -> int {
        qzVfsFileOwner file(VfsOpen(name, QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr));
        if (!file) return ERR_MEM;
        qzSysImage image;
        int result = SysDecodeImageFile(file.get(), name, 0, &image);
        if (result == 0) got->assign(reinterpret_cast<const char*>(image.pixels), image.width * image.height * 4);
        OsFree(image.pixels);
        return result;
    };
    const struct {
        const char* name;
        std::function<int(std::string*)> read;
        const std::string* expected;  // what an undisturbed read gives, when known
    } rows[] = {
        {"whole file", loadWhole, &bytes},
        {"picture", decode, nullptr},
    };
    for (const auto& row : rows) {
        std::string whole, got;
        ASSERT_EQ(row.read(&whole), 0) << row.name;
        if (row.expected) {
            EXPECT_EQ(whole, *row.expected) << row.name;
        }
        int result = 0;
        uint64_t count = ForEachFailingAllocation(
            [&] {
                got.clear();
                try {
                    result = row.read(&got);
                } catch (const std::bad_alloc&) {
                    result = -1;
                }
            },
            [&](uint64_t n) {
                EXPECT_TRUE(result == 0 || result == ERR_MEM || result == -1)
                    << row.name << ", " << n << ": " << result;
                if (result == 0) {
                    EXPECT_EQ(got, whole) << row.name << ", " << n;
                }
            });
        EXPECT_GT(count, 0u) << row.name;
    }
}

}  // namespace

}  // namespace failing_platform_open_test
