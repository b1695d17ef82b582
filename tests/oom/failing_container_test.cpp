// Running out of memory at each allocation while the applet's container is read: every file the
// reader opened (the applet, a packed applet's unpacked copy) is closed again, and an unpacked
// copy that exists is in the list of files deleted at shutdown.
#include <gtest/gtest.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <vector>

#include "base/error_codes.h"
#include "oom/alloc_faults.h"
#include "platform/file_test_util.h"
#include "platform/os_env.h"
#include "player/applet_container.h"
#include "player/container_builder.h"

namespace failing_container_test {

namespace {

using filetest::TempDir;

size_t OpenDescriptors() {
    size_t n = 0;
    for (const auto& e : std::filesystem::directory_iterator("/proc/self/fd")) n += !e.path().empty();
    return n;
}

std::vector<uint8_t> Container() {
    ByteBuilder b;
    b.raw(std::string("QZA\0", 4));
    b.u8(10).u8(6).u8(0).u8(11).cstr("Title").u8(12).cstr("1.0");
    b.u8(26).i32(1).i32(0).cstr("Data\\File.txt").i32(4).raw("DATA");
    b.u8(1).i32(4).raw("CODE");
    return b.bytes;
}

std::vector<uint8_t> Packed(const std::vector<uint8_t>& plain) {
    uLongf size = compressBound(plain.size());
    std::vector<uint8_t> out(8 + size);
    std::memcpy(out.data(), "QZZ\0\0\0\0\0", 8);
    EXPECT_EQ(compress2(out.data() + 8, &size, plain.data(), plain.size(), Z_DEFAULT_COMPRESSION), Z_OK);
    out.resize(8 + size);
    return out;
}

TEST(FailingAllocation, AppletContainerFilesAreClosedOnEveryWayOut) {
    TempDir dir;
    const std::string here = std::filesystem::current_path().string();
    const std::string temp = OsGetTempDir();
    // Unpacked copies are made beside the applets, where the check below sees them.
    OsSetTempDir(dir.path().c_str());
    for (bool packed : {false, true}) {
        const std::string path = dir / (packed ? "packed.qza" : "plain.qza");
        std::vector<uint8_t> bytes = packed ? Packed(Container()) : Container();
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(bytes.data(), 1, bytes.size(), f);
            std::fclose(f);
        }
        const size_t descriptors = OpenDescriptors();
        int result = 0;
        qzPlayerContext context;
        uint64_t count = ForEachFailingAllocation(
            [&] {
                context = qzPlayerContext();
                context.appletPath = path;
                qzAppletDescriptor applet;
                try {
                    result = ReadAppletContainer(&context, &applet);
                } catch (const std::bad_alloc&) {
                    result = ERR_MEM;
                }
            },
            [&](uint64_t n) {
                std::filesystem::current_path(here);
                EXPECT_TRUE(result == 0 || result == ERR_MEM) << packed << " " << n << ": " << result;
                EXPECT_EQ(OpenDescriptors(), descriptors) << packed << " " << n;
                // Every file in the folder besides the applets is a listed unpacked copy.
                for (const auto& e : std::filesystem::directory_iterator(dir.path())) {
                    if (e.path().extension() == ".qza") continue;
                    EXPECT_NE(std::find(context.tempFiles.begin(), context.tempFiles.end(), e.path().string()),
                              context.tempFiles.end())
                        << packed << " " << n << ": " << e.path();
                }
                for (const std::string& t : context.tempFiles) std::remove(t.c_str());
            });
        EXPECT_GT(count, 5u) << packed;
    }
    OsSetTempDir(temp.c_str());
}

}  // namespace

}  // namespace failing_container_test
