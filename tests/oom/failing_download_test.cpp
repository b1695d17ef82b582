// Running out of memory at each allocation of a download into a file: the download fails with
// ERR_MEM (or succeeds), the target keeps its old contents or gets the whole new ones, and no
// temporary file stays beside it.
#include <gtest/gtest.h>

#include <string>

#include "base/error_codes.h"
#include "net/net_test_util.h"
#include "oom/alloc_faults.h"

namespace {

using namespace nettest;

std::string downloadUrl, downloadTarget;

// DownloadFile(url, {file = target}), called from inside a protected call so that running out
// of memory while its arguments are made is an error of the call too.
int Download(VmState* L) {
    VmPushString(L, "downloadfile");
    VmGetTable(L, VM_GLOBALSINDEX);
    VmPushLString(L, downloadUrl.data(), downloadUrl.size());
    VmNewTable(L);
    VmPushString(L, "file");
    VmPushLString(L, downloadTarget.data(), downloadTarget.size());
    VmRawSet(L, -3);
    VmCall(L, 2, 0);
    return 0;
}

class FailingDownload : public NetFixture {};

TEST_F(FailingDownload, LeavesTheOldFileOrTheNewOneAndNothingBeside) {
    PythonHttpServer server;
    ASSERT_TRUE(server.Start());
    WriteFile(server.root.File("page.txt"), "the new contents\n");
    TempDir out;
    downloadUrl = server.Url("/page.txt");
    downloadTarget = out.File("target.txt");
    WriteFile(downloadTarget, "the old contents\n");
    VmSetTop(L, 0);
    VmPushCFunction(L, Download);
    int result = 0;
    uint64_t count = ForEachFailingAllocation(
        [&] {
            VmPushValue(L, 1);
            result = VmProtectedCall(L, 0, 0, 0);
            VmSetTop(L, 1);
        },
        [&](uint64_t n) {
            EXPECT_TRUE(result == 0 || result == ERR_MEM) << n << ": " << result;
            const std::string now = ReadFile(downloadTarget);
            EXPECT_EQ(now, result == 0 ? "the new contents\n" : "the old contents\n") << n;
            EXPECT_EQ(FilesIn(out.path), std::vector<std::string>{"target.txt"}) << n;
            WriteFile(downloadTarget, "the old contents\n");
        });
    EXPECT_GT(count, 3u);
}

}  // namespace
