// The services plugins call from C at each failing allocation: each answers its result or its
// failure result, and no exception ever leaves a service (it would unwind through a plugin's
// frames).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <new>
#include <string>
#include <vector>

#include "base/charset.h"
#include "base/error_codes.h"
#include "base/out_of_memory.h"
#include "oom/alloc_faults.h"
#include "platform/file_test_util.h"
#include "platform/plugin_api.h"
#include "platform/vfs.h"
#include "player/host_api.h"

namespace failing_host_service_test {

namespace {

int FailingCount() { throw std::bad_alloc(); }
char* FailingText(int) { throw std::bad_alloc(); }
void FailingStep(int* reached) {
    *reached = 1;
    throw std::bad_alloc();
}
int Passing(int x) { return x + 1; }

TEST(FailingAllocation, GuardedServicesAnswerTheirFailureResult) {
    EXPECT_EQ((CatchingOutOfMemory<FailingCount, ERR_MEM>())(), ERR_MEM);
    EXPECT_EQ((CatchingOutOfMemory<FailingCount>())(), 0);
    EXPECT_EQ((CatchingOutOfMemory<FailingCount, -1>())(), -1);
    EXPECT_EQ((CatchingOutOfMemory<FailingText>())(3), nullptr);
    int reached = 0;
    (CatchingOutOfMemory<FailingStep>())(&reached);
    EXPECT_EQ(reached, 1);
    EXPECT_EQ((CatchingOutOfMemory<Passing, ERR_MEM>())(41), 42);
}

TEST(FailingAllocation, HostServicesNeverThrow) {
    filetest::TempDir dir;
    const std::string file = dir / "data.txt";
    filetest::WriteFile(file, "some bytes\n");
    qzHostApi* host = GetHostApi();
    const char* bytes = "hello, world";
    // Each call allocates only inside the services, so that every failing allocation is theirs.
    const struct {
        const char* name;
        std::function<bool()> call;  // true when the service answered success
    } rows[] = {
        {"dos ExamineName",
         [&] {
             qzPluginExamine out;
             return host->dos->ExamineName(file.c_str(), &out) == 1 && out.size == 11;
         }},
        {"dos GetDisplayFileName",
         [&] {
             char buffer[1024];
             return host->dos->GetDisplayFileName(file.c_str(), buffer, sizeof buffer) == 1;
         }},
        {"dos OpenFile, Read, Close",
         [&] {
             qzVfsFile* f = host->dos->OpenFile(file.c_str(), 0);
             if (!f) return false;
             char buffer[16];
             const bool read = host->dos->Read(f, buffer, sizeof buffer) == 11;
             return host->dos->Close(f) == 1 && read;
         }},
        {"clib Stat",
         [&] {
             qzPluginStat st;
             return host->clib->Stat(file.c_str(), &st) == 0 && st.sizeLow == 11;
         }},
        {"encode EncodeBase64",
         [&] {
             char* text = host->encode->EncodeBase64(bytes, std::strlen(bytes));
             const bool ok = text && std::strcmp(text, "aGVsbG8sIHdvcmxk") == 0;
             host->plugin->Free(text);
             return ok;
         }},
        {"encode Md5Hex",
         [&] {
             char out[33] = "unchanged";
             host->encode->Md5Hex(bytes, std::strlen(bytes), out);
             EXPECT_TRUE(out[0] == '\0' || std::strlen(out) == 32) << out;
             return out[0] != '\0';
         }},
        {"sys ConvertCharset",
         [&] {
             char* text = host->sys->ConvertCharset("caf\xe9", QZ_CHARSET_LATIN1, QZ_CHARSET_UTF8);
             const bool ok = text && std::strcmp(text, "caf\xc3\xa9") == 0;
             host->sys->FreeConverted(text);
             return ok;
         }},
    };
    for (const auto& row : rows) {
        bool answered = false;
        ForEachFailingAllocation(
            [&] {
                try {
                    answered = row.call();
                } catch (...) {
                    ADD_FAILURE() << row.name << " let an exception out";
                }
            },
            [&](uint64_t n) {
                if (n == 0) {
                    EXPECT_TRUE(answered) << row.name;
                }
            });
    }
}

// An adapter plugin joins its list whole or not at all: memory running out for its record or for
// the list's growth answers ERR_MEM (never an exception through the plugin's frames) and leaves
// nothing allocated behind; a later try joins it.
TEST(FailingAllocation, AdapterPluginJoinsItsListOrAnswersOutOfMemory) {
    for (uint32_t capability : {uint32_t(QZ_PLUGINCAPS_FILEADAPTER), uint32_t(QZ_PLUGINCAPS_DIRADAPTER)}) {
        // Enough plugins that the list grows several times while they join.
        std::vector<qzPluginInfo> plugins(40);
        int outOfMemory = 0;
        for (qzPluginInfo& plugin : plugins) {
            for (uint64_t n = 1; n <= 3; n++) {
                int result = -1;
                {
                    AllocFaultScope scope(QZ_ALLOC_FAULT_ONCE, n);
                    try {
                        result = VfsAddPluginAdapter(&plugin, capability);
                    } catch (const std::bad_alloc&) {
                        result = -2;
                    }
                }
                ASSERT_TRUE(result == 0 || result == ERR_MEM) << capability << " " << n << ": " << result;
                outOfMemory += result == ERR_MEM;
            }
        }
        EXPECT_GT(outOfMemory, 0) << capability;
        for (qzPluginInfo& plugin : plugins) VfsRemovePluginAdapter(&plugin, capability);
    }
}

}  // namespace

}  // namespace failing_host_service_test
