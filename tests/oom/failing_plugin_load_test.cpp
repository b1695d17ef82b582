// Loading a plugin at each failing allocation: the load succeeds or fails for want of memory (a
// plugin that refuses because its registration ran out of memory included, never as a plugin
// that cannot be loaded), and a failed load leaves no adapter and nothing the plugin allocated.
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "base/error_codes.h"
#include "oom/alloc_faults.h"
#include "platform/vfs.h"
#include "plugins/plugin_fixture.h"

namespace {

using FailingPluginLoad = plugintest::PluginTest;

TEST_F(FailingPluginLoad, AdapterPluginLoadsOrFailsWithOutOfMemory) {
    const std::string path = Copy("memfs", "memfs.qzp");
    int result = 0;
    uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                result = LoadPluginFile(path.c_str(), 0, nullptr);
            } catch (const std::bad_alloc&) {
                result = -1;
            }
        },
        [&](uint64_t n) {
            // -1: out of memory in the loader's own bookkeeping, which its protected call reports.
            EXPECT_TRUE(result == 0 || result == ERR_MEM || result == -1) << n << ": " << result;
            if (!GetPluginRecords()) {
                EXPECT_EQ(GetAdapterList(QZ_PLUGINCAPS_FILEADAPTER), nullptr) << n;
                EXPECT_EQ(VfsOpen("mem:/hello.txt", QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr), nullptr) << n;
            }
            FreeAllPlugins();
        });
    EXPECT_GT(count, 3u);
}

}  // namespace
