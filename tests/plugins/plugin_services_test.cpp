// What plugins serve and what the host serves them: file and directory adapters in the
// virtual-file layer, image sources through image plugins and the built-in loader, a display
// adapter with video bitmaps, and the host tables in slot order.
#include <gtest/gtest.h>

#include <cstring>

#include "base/error_codes.h"
#include "gfx/bitmap.h"
#include "gfx/bitmap_pixels.h"
#include "gfx/image_source.h"
#include "gfx/plugin_gfx_services.h"
#include "platform/display_adapter.h"
#include "platform/os_alloc.h"
#include "platform/plugin_display_adapter.h"
#include "platform/vfs.h"
#include "plugins/plugin_fixture.h"
#include "runtime/plugin_services.h"

namespace plugin_services_test {

using namespace plugintest;

namespace {

std::string ReadWhole(qzVfsFile* file) {
    std::string text;
    char buffer[256];
    size_t n;
    while ((n = VfsRead(file, buffer, sizeof buffer)) > 0) text.append(buffer, n);
    return text;
}

std::string ReadName(const char* name, int mode, const char* list) {
    qzVfsFile* file = VfsOpen(name, mode, list);
    if (!file) return "<none>";
    std::string text = ReadWhole(file);
    VfsClose(file);
    return text;
}

}  // namespace

TEST_F(PluginTest, FileAndDirectoryAdaptersServeTheirNames) {
    qzPluginRecord* memfs = LoadAndInit("memfs", "memfs.qzp");
    ASSERT_NE(memfs, nullptr);
    const int read = QZ_VFS_READ | QZ_VFS_ADAPTERS;
    EXPECT_EQ(ReadName("mem:/hello.txt", read, nullptr), "Hello from memory\n");
    EXPECT_EQ(ReadName("mem:/hello.txt", read, "memfs"), "Hello from memory\n");
    EXPECT_EQ(ReadName("mem:/hello.txt", read, "inbuilt"), "<none>");
    EXPECT_EQ(ReadName("mem:/hello.txt", QZ_VFS_READ, nullptr), "<none>");  // adapters not allowed
    // With the list "plugin" a name that no adapter accepts is not opened at all.
    std::string disk = dir / "disk.txt";
    filetest::WriteFile(disk, "on disk");
    EXPECT_EQ(ReadName(disk.c_str(), read, "plugin"), "<none>");
    EXPECT_EQ(ReadName(disk.c_str(), read, nullptr), "on disk");

    // Writing a new file, then examining it.
    qzVfsFile* out = VfsOpen("mem:/new.txt", QZ_VFS_WRITE | QZ_VFS_ADAPTERS, nullptr);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(VfsWriteString(out, "written"), 7u);
    EXPECT_EQ(VfsClose(out), 1);
    qzVfsFile* in = VfsOpen("mem:/new.txt", read, nullptr);
    ASSERT_NE(in, nullptr);
    EXPECT_EQ(VfsGetFileSize(in), 7);
    qzFileInfo info;
    ASSERT_EQ(VfsExamine(in, &info), 1);
    EXPECT_STREQ(info.name, "mem:/new.txt");
    EXPECT_STREQ(VfsGetFileAdapterName(in), "memfs");
    VfsClose(in);

    // A directory of the adapter.
    qzVfsLock* lock = VfsLock("mem:/dir", QZ_VFS_LOCK_READ | QZ_VFS_LOCK_ADAPTERS, nullptr);
    ASSERT_NE(lock, nullptr);
    int isDirectory = 0;
    EXPECT_EQ(VfsCheckDirLock(lock, &isDirectory), 0);
    EXPECT_EQ(isDirectory, 1);
    std::string entries;
    const char* name = nullptr;
    while (VfsNextDirEntry(lock, nullptr, &name, &isDirectory, nullptr))
        entries += std::string(name) + (isDirectory ? "/ " : " ");
    EXPECT_EQ(entries, "a.txt b.txt sub/ ");
    VfsUnlock(lock);
    // A file of the adapter locks through its Stat and is no directory.
    lock = VfsLock("mem:/dir/b.txt", QZ_VFS_LOCK_READ | QZ_VFS_LOCK_ADAPTERS, nullptr);
    ASSERT_NE(lock, nullptr);
    EXPECT_EQ(VfsCheckDirLock(lock, &isDirectory), ERR_NOTADIR);
    VfsUnlock(lock);

    // The adapter argument of GetFileAttributes chooses who examines the name.
    ASSERT_EQ(vm.Call("GetFileAttributes", {"mem:/dir/b.txt", "memfs"}), 0);
    VmPushString(vm, "size");
    VmGetTable(vm, vm.Base() + 1);
    EXPECT_EQ(VmToNumber(vm, -1), 2);
    VmSetTop(vm, 0);
    EXPECT_EQ(vm.Call("GetFileAttributes", {"mem:/dir/b.txt", "inbuilt"}), ERR_STAT);

    // A disabled plugin serves nothing.
    SetPluginDisabled(memfs->handle->info, 1);
    EXPECT_EQ(ReadName("mem:/hello.txt", read, nullptr), "<none>");
    SetPluginDisabled(memfs->handle->info, 0);

    // Host file services: mode 8 keeps adapters out; the open-name override redirects every open
    // and lock to its name.
    qzHostApi* host = GetHostApi();
    qzVfsFile* f = host->dos->OpenFile("mem:/hello.txt", 0);
    ASSERT_NE(f, nullptr);
    VfsClose(f);
    EXPECT_EQ(host->dos->OpenFile("mem:/hello.txt", 8), nullptr);
    host->clib->openNameOverride = "mem:/hello.txt";
    f = host->dos->OpenFile(disk.c_str(), 0);
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(ReadWhole(f), "Hello from memory\n");
    VfsClose(f);
    qzVfsLock* l = host->dos->Lock("anything", 0);
    EXPECT_NE(l, nullptr);
    host->dos->Unlock(l);
    host->clib->openNameOverride = nullptr;
    EXPECT_EQ(host->dos->Lock("mem:/nothing", 0), nullptr);

    // Unloading takes the plugin out of the file layer.
    FreeAllPlugins();
    EXPECT_EQ(ReadName("mem:/hello.txt", read, nullptr), "<none>");
}

TEST_F(PluginTest, ImageSourcesThroughAnImagePlugin) {
    qzPluginRecord* record = LoadAndInit("basic", "pics.qzp");
    ASSERT_NE(record, nullptr);
    const qzPluginInfo* info = record->handle->info;
    auto expected = [](int x, int y) { return 0xFF000040u | (uint32_t)x << 16 | (uint32_t)y << 8; };

    int isVector = -1, width = 0, height = 0, depth = 0, alpha = -1;
    ASSERT_TRUE(ProbeImageFile("pattern:5x7:vector", nullptr, nullptr, 0, &isVector, &width, &height, &depth, &alpha));
    EXPECT_EQ(width * 100 + height, 507);
    EXPECT_EQ(isVector, 1);
    EXPECT_EQ(alpha, 0);

    // A raster image scaled to the size asked for, and to a percentage of its size.
    qzImageSourceRequest request;
    request.file = "pattern:4x3";
    request.width = 8;
    request.height = 6;
    qzImageSourceResult result;
    ASSERT_EQ(OpenImageSource(vm, &request, &result), 0);
    EXPECT_EQ(result.width * 100 + result.height, 806);
    const uint32_t* pixels = GetImageSourcePixels(result.source);
    EXPECT_EQ(pixels[5 * 8 + 7], expected(3, 2));
    EXPECT_EQ(info->userData, 1);
    // Shared: the plugin's image lives until the last reference goes.
    RetainImageSource(result.source);
    FreeImageSource(result.source);
    EXPECT_EQ(info->userData, 1);
    FreeImageSource(result.source);
    EXPECT_EQ(info->userData, 0);

    request.width = -50;
    request.height = -200;
    ASSERT_EQ(OpenImageSource(vm, &request, &result), 0);
    EXPECT_EQ(result.width * 100 + result.height, 206);
    FreeImageSource(result.source);

    // A vector image is rendered again at the new size.
    request.file = "pattern:4x3:vector";
    request.width = 40;
    request.height = 30;
    ASSERT_EQ(OpenImageSource(vm, &request, &result), 0);
    EXPECT_TRUE(result.isVector);
    EXPECT_EQ(GetImageSourcePixels(result.source)[29 * 40 + 39], expected(39, 29));
    FreeImageSource(result.source);

    // Alpha channel and transparent pen required.
    request = qzImageSourceRequest();
    request.file = "pattern:4x3";
    request.loadAlpha = 1;
    EXPECT_EQ(OpenImageSource(vm, &request, &result), ERR_NOALPHA);
    request.acceptMissingAlpha = 1;
    ASSERT_EQ(OpenImageSource(vm, &request, &result), 0);
    FreeImageSource(result.source);
    request.file = "pattern:4x3:alpha";
    request.acceptMissingAlpha = 0;
    ASSERT_EQ(OpenImageSource(vm, &request, &result), 0);
    EXPECT_TRUE(result.hasAlpha);
    FreeImageSource(result.source);
    request.loadAlpha = 0;
    request.loadTransparency = 1;
    EXPECT_EQ(OpenImageSource(vm, &request, &result), ERR_NOTRANSPARENCY);
    EXPECT_EQ(info->userData, 0);

    // "inbuilt" keeps plugins out; without a built-in loader nothing reads it.
    request = qzImageSourceRequest();
    request.file = "pattern:4x3";
    request.loaderList = "inbuilt";
    EXPECT_EQ(OpenImageSource(vm, &request, &result), ERR_LOADPICTURE2);
}

namespace {

// A built-in loader for the test: "green" is a 2x1 image, with alpha when asked for.
struct FakeImage {
    uint32_t pixels[2];
};
int FakeLoad(const char* name, const char*, const char*, const uint32_t*, int32_t, int mode, void** handle, uint32_t**,
             int32_t* transparent, int* width, int* height, int* alpha, int* native) {
    if (std::strcmp(name, "green") != 0) return ERR_LOADPICTURE2;
    *width = 2;
    *height = 1;
    *alpha = mode == 2;
    if (transparent) *transparent = -1;
    if (native) *native = 0;
    if (handle) *handle = new FakeImage{{0x8000FF00u, 0x12345678u}};
    return 0;
}
const uint32_t* FakePixels(void* handle) { return static_cast<FakeImage*>(handle)->pixels; }
void FakeFree(void* handle) { delete static_cast<FakeImage*>(handle); }

}  // namespace

TEST_F(PluginTest, BuiltInLoaderForSourcesAndForPlugins) {
    SetInbuiltImageLoader(FakeLoad, FakePixels, FakeFree);
    qzImageSourceRequest request;
    request.file = "green";
    qzImageSourceResult result;
    ASSERT_EQ(OpenImageSource(vm, &request, &result), 0);
    EXPECT_EQ(GetImageSourceFlag(result.source), 1);
    EXPECT_EQ(GetImageSourcePixels(result.source)[1], 0x12345678u);
    FreeImageSource(result.source);

    // Plugins read bytes red, green, blue, alpha: with alpha ARGB turns left by 8 bits, without
    // alpha the pixel is opaque.
    qzHostApi* host = GetHostApi();
    int width = 0, height = 0, alpha = 0;
    EXPECT_EQ(host->gfx->IsImage("green", &width, &height, &alpha), 1);
    EXPECT_EQ(host->gfx->IsImage("red", &width, &height, &alpha), 0);
    uint32_t* pixels = host->gfx->LoadImage("green", nullptr, &width, &height, &alpha);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(alpha, 1);
    EXPECT_EQ(pixels[0], 0x00FF0080u);
    EXPECT_EQ(pixels[1], 0x34567812u);
    host->gfx->FreeImage(pixels);
    SetInbuiltImageLoader(nullptr, nullptr, nullptr);
}

TEST_F(PluginTest, DisplayAdapterPluginWithVideoBitmaps) {
    // Outside the start-up phase the adapter cannot be installed.
    qzPluginRecord* early = LoadAndInit("adapter", "early.qzp");
    ASSERT_NE(early, nullptr);
    EXPECT_EQ(early->handle->info->userData, ERR_SETADAPTER);
    EXPECT_EQ(GetDisplayAdapter(), nullptr);

    SetPluginStartupPhase(1);
    qzPluginRecord* record = LoadAndInit("adapter", "video.qzp");
    SetPluginStartupPhase(0);
    ASSERT_NE(record, nullptr);
    EXPECT_EQ(record->handle->info->userData, 0);
    ASSERT_NE(GetDisplayAdapter(), nullptr);
    EXPECT_EQ(GetDisplayAdapter()->plugin, record->handle->info);
    EXPECT_EQ(QueryDisplayAdapterCaps(0xFF), 4u | 64u | 8u);
    EXPECT_EQ(QueryDisplayAdapterCaps(8), 8u);

    // A video bitmap made from ARGB pixels goes to the adapter, with alpha from the key colour,
    // and its pixels come back into an engine bitmap.
    const uint32_t pixels[4] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0x00FF0000};
    qzBitMap* video = nullptr;
    ASSERT_EQ(CreateBitMapFromARGB(pixels, 0xFF0000, 2, 2, 2, 1, 0, nullptr, &video, nullptr, nullptr), 0);
    ASSERT_NE(video, nullptr);
    EXPECT_EQ(video->video, 1);
    qzBitMap* target = CreateBitMap(2, 2, 0, nullptr);
    ASSERT_NE(target, nullptr);
    ASSERT_EQ(ReadVideoBitMapPixels(video, target), 0);
    EXPECT_EQ(ReadBitMapPixel(target, 1, 0, 0), 0x0000FF00u);
    EXPECT_EQ(ReadBitMapPixel(target, 1, 1, 0), 0x00FF0000u);
    uint32_t* back = ReadBitMapPixels(target, 0, 0, 2, 2, 0);
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(back[0] >> 24, 0u);  // the key colour's pixel is transparent
    EXPECT_EQ(back[1] >> 24, 0xFFu);
    OsFree(back);
    DeleteBitMap(target);
    DeleteBitMap(video);

    // Unloading the plugins removes the adapter.
    FreeAllPlugins();
    EXPECT_EQ(GetDisplayAdapter(), nullptr);
}

TEST_F(PluginTest, HostTablesAnswerInSlotOrder) {
    ASSERT_NE(LoadAndInit("conform", "conform.qzp"), nullptr);
    ASSERT_EQ(vm.Call("Conform"), 0);
    EXPECT_EQ(vm.Str(), "ok");

    // The date services of the system table: the start date that start-up recorded, and the
    // current date as "dd-Mon-yyyy hh:mm:ss".
    qzHostApi* host = GetHostApi();
    char date[32];
    ASSERT_EQ(host->sys->FormatCurrentDate(date, sizeof date), 1);
    EXPECT_EQ(std::strlen(date), 20u);
    host->sys->RecordStartDate();
    qzDateStamp start = GetStartDate();
    EXPECT_EQ(std::atoi(date + 7), start.year);
    char small[10];
    EXPECT_EQ(host->sys->FormatCurrentDate(small, sizeof small), 0);
    EXPECT_GE(start.day, 1);
}

}  // namespace plugin_services_test
