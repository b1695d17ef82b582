// Loading a plugin at each failing allocation: the load succeeds or fails for want of memory (a
// plugin that refuses because its registration ran out of memory included, never as a plugin
// that cannot be loaded), and a failed load leaves no adapter and nothing the plugin allocated.
#include <gtest/gtest.h>

#include <cstring>
#include <new>
#include <string>

#include "base/error_codes.h"
#include "oom/alloc_faults.h"
#include "platform/vfs.h"
#include "plugins/plugin_fixture.h"

namespace failing_plugin_load_test {

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

// The scan of the plugins beside the player at each failing allocation: memory running out ends
// the scan with ERR_MEM (never "going on" without a plugin, never a success that lost one), and a
// scan that answers 0 loaded every plugin and registered the "_" one.
TEST_F(FailingPluginLoad, FolderScanLoadsEveryPluginOrEndsWithOutOfMemory) {
    const char* loaded[] = {"library.qzp", "memfs.qzp", "vectorengine.qzp"};
    for (const char* name : loaded) Copy(std::string(name, std::strlen(name) - 4), name);
    Copy("basic", "_extra.qzp");
    const std::string folder = dir / "player";
    auto find = [](const char* fileName) -> qzPluginRecord* {
        for (qzPluginRecord* r = GetPluginRecords(); r; r = r->next)
            if (std::strcmp(r->fileName, fileName) == 0) return r;
        return nullptr;
    };
    int result = 0;
    uint64_t count = ForEachFailingAllocation(
        [&] {
            try {
                result = LoadPluginsFromDir(folder.c_str(), nullptr, nullptr, nullptr);
            } catch (const std::bad_alloc&) {
                result = -1;
            }
        },
        [&](uint64_t n) {
            EXPECT_TRUE(result == 0 || result == ERR_MEM || result == -1) << n << ": " << result;
            if (result == 0) {
                for (const char* name : loaded) {
                    qzPluginRecord* record = find(name);
                    EXPECT_TRUE(record && record->handle) << n << ": " << name;
                }
                EXPECT_NE(find("extra.qzp"), nullptr) << n;
            }
            // The file adapter serves its files exactly while its plugin is loaded.
            qzPluginRecord* memfs = find("memfs.qzp");
            qzVfsFile* file = VfsOpen("mem:/hello.txt", QZ_VFS_READ | QZ_VFS_ADAPTERS, nullptr);
            EXPECT_EQ(file != nullptr, memfs && memfs->handle) << n;
            if (file) VfsClose(file);
            FreeAllPlugins();
            EXPECT_EQ(GetAdapterList(QZ_PLUGINCAPS_FILEADAPTER), nullptr) << n;
        });
    EXPECT_GT(count, 10u);
}

}  // namespace

}  // namespace failing_plugin_load_test
