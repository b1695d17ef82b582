// Running out of memory at each allocation of a download: the download fails with ERR_MEM (or
// succeeds), a target file keeps its old contents or gets the whole new ones, no temporary file
// stays beside it, and nothing leaks (the leak checker runs at exit), with and without a
// progress callback whose own allocations unwind the transfer mid-body.
#include <gtest/gtest.h>

#include <string>

#include "base/error_codes.h"
#include "net/net_test_util.h"
#include "oom/alloc_faults.h"

namespace failing_download_test {

namespace {

using namespace nettest;

std::string downloadUrl, downloadTarget;
bool toFile = true, withCallback = false;

// A progress callback that makes a string, so that memory runs out inside it too, and asks the
// transfer to go on.
int Progress(VmState* L) {
    VmPushString(L, "progress reported");
    VmPushNumber(L, 0);
    return 1;
}

// DownloadFile(url[, {file = target}[, callback]]), called from inside a protected call so that
// running out of memory while its arguments are made is an error of the call too.
int Download(VmState* L) {
    VmPushString(L, "downloadfile");
    VmGetTable(L, VM_GLOBALSINDEX);
    VmPushLString(L, downloadUrl.data(), downloadUrl.size());
    int args = 1;
    if (toFile || withCallback) {
        VmNewTable(L);
        if (toFile) {
            VmPushString(L, "file");
            VmPushLString(L, downloadTarget.data(), downloadTarget.size());
            VmRawSet(L, -3);
        }
        args++;
    }
    if (withCallback) {
        VmPushCFunction(L, Progress);
        args++;
    }
    VmCall(L, args, 2);
    return 0;
}

class FailingDownload : public NetFixture {};

TEST_F(FailingDownload, LeavesTheOldFileOrTheNewOneAndNothingBeside) {
    PythonHttpServer server;
    ASSERT_TRUE(server.Start());
    WriteFile(server.root.File("page.txt"), "the new contents\n");
    downloadUrl = server.Url("/page.txt");
    const struct { bool file, callback; } cases[] = {{true, false}, {true, true}, {false, false}, {false, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.file ? "into a file" : "into memory") +
                     (c.callback ? ", with a progress callback" : ""));
        toFile = c.file;
        withCallback = c.callback;
        TempDir out;
        downloadTarget = out.File("target.txt");
        if (toFile) WriteFile(downloadTarget, "the old contents\n");
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
                if (!toFile) {
                    EXPECT_TRUE(FilesIn(out.path).empty()) << n;
                    return;
                }
                const std::string now = ReadFile(downloadTarget);
                EXPECT_EQ(now, result == 0 ? "the new contents\n" : "the old contents\n") << n;
                EXPECT_EQ(FilesIn(out.path), std::vector<std::string>{"target.txt"}) << n;
                WriteFile(downloadTarget, "the old contents\n");
            });
        EXPECT_GT(count, 3u);
    }
}

}  // namespace

}  // namespace failing_download_test
