// The engines at each failing allocation: commands that copy or make brushes, text objects and
// paths or open sockets, and the opening of fonts and sound files, succeed or fail and free every
// bitmap, block, record, font, file and socket they held on the way out (LeakSanitizer and the
// count of open descriptors check).
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "image/brush.h"
#include "libs/brush/brush_lib.h"
#include "libs/network/network.h"
#include "libs/system/system.h"
#include "libs/text/text_lib.h"
#include "libs/vectorgraphics/vectorgraphics.h"
#include "media/sound/audio_channels.h"
#include "media/sound/sound_events.h"
#include "media/sound/sound_source.h"
#include "oom/alloc_faults.h"
#include "platform/file_test_util.h"
#include "platform/host/headless/headless.h"
#include "platform/host/host.h"
#include "platform/system_fonts.h"
#include "support/commands.h"
#include "support/headless_start.h"
#include "text/embedded_fonts.h"
#include "text/font.h"
#include "text/font_cache.h"
#include "text/font_files.h"
#include "text/text_object.h"
#include "vector/path_buffer.h"
#include "vm/vm.h"

namespace failing_engine_resource_test {

namespace {

using filetest::TempDir;
using filetest::WriteFile;
using qztest::Arg;

size_t OpenDescriptors() {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) n += !e.path().empty();
    return n;
}

// A TCP port on this machine that nothing listens on.
int ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    close(fd);
    return port;
}

// A command call whose name and arguments are made inside the protected frame, so that running
// out of memory while they are made is the call's error too.
struct CommandCall {
    std::string command;
    const std::vector<Arg>* args;
};

int RunCommandCall(VmState* state, void* data) {
    const CommandCall* call = static_cast<const CommandCall*>(data);
    VmPushString(state, call->command.c_str());
    VmGetTable(state, VM_GLOBALSINDEX);
    for (const Arg& arg : *call->args) arg.PushOnto(state);
    VmCall(state, static_cast<int>(call->args->size()), 0);
    return 0;
}

// 0 or the error code of the command (lower case name).
int CallCommand(VmState* state, const char* command, const std::vector<Arg>& args) {
    CommandCall call{command, &args};
    for (char& c : call.command) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    int unused = 0;
    return VmCallInFrameProtected(state, RunCommandCall, &call, &unused);
}

TEST(FailingAllocation, EngineCommandsFreeWhatTheyHoldOnEveryWayOut) {
    qztest::Commands vm{&qzSystemLibrary, &qzBrushLibrary, &qzTextLibrary, &qzVectorGraphicsLibrary, &qzNetworkLibrary};
    // Objects with data attached: a copy copies the data through the VM while it holds the
    // copied bitmaps or path records.
    vm.Ok("CreateBrush", {1, 8, 8, 0x336699});
    vm.Ok("SetObjectData", {QZ_TYPE_BRUSH_KIND, 1, "k", "brush data"});
    vm.Ok("CreateTextObject", {1, "one\ntwo"});
    vm.Ok("SetObjectData", {QZ_TYPE_TEXTOBJECT, 1, "k", "text data"});
    vm.Ok("StartPath", {1});
    vm.Ok("MoveTo", {1, 0, 0});
    vm.Ok("LineTo", {1, 5, 5});
    vm.Ok("SetObjectData", {QZ_TYPE_VECTORPATH, 1, "k", "path data"});
    const int closedPort = ClosedPort();
    ASSERT_GT(closedPort, 0);
    const struct {
        const char* command;
        std::vector<Arg> args;
        int failure;  // what the command answers when nothing runs out
    } rows[] = {
        {"CopyBrush", {1, 2}, 0},
        {"BrushToRGBArray", {1}, 0},
        {"CreateTextObject", {3, "one two three", Arg::Table({{"wordwrap", 20}})}, 0},
        {"CopyTextObject", {1, 2}, 0},
        {"CopyPath", {1, 2}, 0},
        {"CreateUDPObject", {1, 0, "localhost"}, 0},
        {"CreateServer", {1, 0, "localhost"}, 0},
        {"OpenConnection", {1, "localhost", closedPort}, ERR_SOCKET},
    };
    for (const auto& row : rows) {
        const size_t descriptors = OpenDescriptors();
        int result = 0;
        uint64_t count = ForEachFailingAllocation(
            [&] {
                try {
                    result = CallCommand(vm, row.command, row.args);
                } catch (const std::bad_alloc&) {
                    // The copy of the command's name ran out of memory.
                    result = ERR_MEM;
                }
            },
            [&](uint64_t n) {
                // A failing run may end in another error of the command's when a bitmap or a
                // block it asked for was refused.
                if (n == 0) {
                    EXPECT_EQ(result, row.failure) << row.command;
                }
                vm.CallErr("CloseUDPObject", {1});
                vm.CallErr("CloseServer", {1});
                EXPECT_EQ(OpenDescriptors(), descriptors) << row.command << ", allocation " << n;
            });
        EXPECT_GT(count, 0u) << row.command;
    }
}

TEST(FailingAllocation, OpenedFontsAndSoundFilesAreFreedOnEveryWayOut) {
    TempDir dir;
    // A short wave file: 16-bit mono PCM, four frames.
    std::string wave = std::string("RIFF") + std::string("\x2C\0\0\0", 4) + "WAVEfmt " + std::string("\x10\0\0\0", 4) +
                       std::string("\x01\0\x01\0\x44\xAC\0\0\x88\x58\x01\0\x02\0\x10\0", 16) + "data" +
                       std::string("\x08\0\0\0", 4) + std::string(8, '\x10');
    const std::string sound = dir / "short.wav";
    WriteFile(sound, wave);
    const size_t descriptors = OpenDescriptors();
    const struct {
        const char* name;
        std::function<int()> open;
    } rows[] = {
        {"embedded face",
         [] {
             qzFont* font = nullptr;
             return OpenFontWithDefaults(QZ_FONT_SANS, 18, FONTENGINE_INBUILT, 1, 0, &font);
         }},
        {"sound file",
         [&] {
             qzSoundSource* source = nullptr;
             int rc = OpenSoundSource(sound.c_str(), "inbuilt", nullptr, 0, 0, &source, nullptr);
             CloseSoundSource(source);
             return rc;
         }},
    };
    for (const auto& row : rows) {
        int result = 0;
        uint64_t count = ForEachFailingAllocation(
            [&] {
                try {
                    result = InitFontSystem(nullptr);
                    if (!result) result = row.open();
                } catch (const std::bad_alloc&) {
                    result = ERR_MEM;
                }
                FreeFontSystem(nullptr);
            },
            [&](uint64_t n) {
                // A failing run may also end in "cannot open" when a reader refused what it could
                // not allocate for.
                if (n == 0) {
                    EXPECT_EQ(result, 0) << row.name;
                }
                EXPECT_EQ(OpenDescriptors(), descriptors) << row.name << ", allocation " << n;
            });
        EXPECT_GT(count, 0u) << row.name;
    }
}

// Scanning a font folder at each failing allocation: the folder's lock and every font file are
// closed again, however far the scan got.
TEST(FailingAllocation, ScanningAFontFolderClosesEveryFileOnEveryWayOut) {
    TempDir dir;
    int faces = 0;
    const qzEmbeddedFace* face = GetEmbeddedFaces(&faces);
    WriteFile(dir / "Vera.ttf", std::string(reinterpret_cast<const char*>(face->data), face->size));
    // A bitmap font's contents file listing one size.
    WriteFile(dir / "Small.font", std::string("\x0F\0\0\x01", 4) + std::string(256, '\0') + std::string("\0\x08", 2) +
                                      std::string(2, '\0'));
    const size_t descriptors = OpenDescriptors();
    int result = 0;
    uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                result = ScanFontDirectory(dir.path().c_str());
            } catch (const std::bad_alloc&) {
                result = ERR_MEM;
            }
        },
        [&](uint64_t n) {
            if (n == 0) {
                EXPECT_EQ(result, 0);
                EXPECT_FALSE(GetFontFileList().empty());
            }
            FreeFontFileList();
            EXPECT_EQ(OpenDescriptors(), descriptors) << "allocation " << n;
        });
    EXPECT_GT(count, 0u);
}

// A font search whose scan of the font folders runs out of memory: the next search scans again
// and finds the fonts of every folder, not only those listed before memory ran out.
TEST(FailingAllocation, AFontScanCutShortIsMadeAgain) {
    TempDir dir;
    int faces = 0;
    const qzEmbeddedFace* face = GetEmbeddedFaces(&faces);
    WriteFile(dir / "Vera.ttf", std::string(reinterpret_cast<const char*>(face->data), face->size));
    AppendFontPath(dir.path());
    ScanFontDirectories();
    std::string name;
    for (const qzFontFileEntry& e : GetFontFileList())
        if (e.path.rfind(dir.path(), 0) == 0) name = e.fullName;
    FreeFontFileList();
    ASSERT_FALSE(name.empty());
    uint64_t count = ForEachFailingAllocation(
        [&] {
            qzFontLocation where;
            try {
                FindFontFile(name.c_str(), -1, 0, &where);
            } catch (const std::bad_alloc&) {
            }
        },
        [&](uint64_t n) {
            qzFontLocation where;
            EXPECT_TRUE(FindFontFile(name.c_str(), -1, 0, &where)) << "allocation " << n;
            FreeFontFileList();
        });
    EXPECT_GT(count, 0u);
    FreeFontPaths();
    OsResetSystemFonts();  // fontconfig's own records
}

// Opening the sound output at each failing allocation: a start cut short by running out of memory
// leaves its channel table behind, and the next start frees it instead of making another beside it.
TEST(FailingAllocation, SoundStartCutShortLeavesNoChannelTable) {
    ASSERT_TRUE(qztest::StartHeadlessDriver(true));
    ASSERT_EQ(InitSoundEventMutex(), 0);
    int result = 0;
    uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                result = InitSoundChannels(8, 30);
            } catch (const std::bad_alloc&) {
                result = -1;  // unwound as out of a command
            }
        },
        [&](uint64_t n) {
            if (n == 0) {
                EXPECT_EQ(result, 0);
            }
            // A whole start is closed again as the player closes it; a start cut short stays as
            // it was left.
            if (result == 0) FreeSoundChannels();
        });
    EXPECT_GT(count, 0u);
    FreeSoundEventsAtExit();
    HeadlessSetManualAudio(0);
    HostStopDriver();
}

}  // namespace

}  // namespace failing_engine_resource_test
