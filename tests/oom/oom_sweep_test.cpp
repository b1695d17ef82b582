// The sweep itself: it must fail on every kind of unsound run (a crash, a hang, a sanitizer
// report, a half-written file, a failure nobody reports) and on nothing else, and leave the
// folders of the run as it found them.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "oom/oom_sweep.h"
#include "oom/sweep_files.h"
#include "support/lang_scope.h"

namespace oom_sweep_test {

namespace {

class TempRoot {
public:
    TempRoot() {
        char pattern[] = "/tmp/qzoomtest.XXXXXX";
        path = mkdtemp(pattern) ? pattern : "";
    }
    ~TempRoot() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// A stand-in for the player's test binary: twelve allocations, and for each failing one the
// behaviour of a run that handles it soundly or not. A whole run prints "hello" and the error
// report that ends it, with its script position and a message of two lines, and writes out.txt
// and a snapshot of its display; a run that ends early may leave another whole snapshot. Two
// fail while the player shuts down, where the report may lose its position but not its text. The
// last fails before the catalog of the run's language opens, so it reports in the player's own
// words although the catalog words that report otherwise.
const char* const kFakePlayer = R"(#!/bin/sh
echo "13 0 0" > "$QZ_ALLOC_COUNT"
case "$QZ_ALLOC_FAIL" in
1) echo "Out of memory!" ;;
2) kill -SEGV $$ ;;
3) sleep 30 ;;
4) echo "==1==ERROR: LeakSanitizer: detected memory leaks" >&2; exit 23 ;;
5) printf 'comp' > out.txt; echo "Out of memory!" ;;
6) echo "goodbye" ;;
7) echo "1000" ;;
8) printf '\211PNG\r\n\032\nan early frame\0\0\0\0IEND\256B`\202' > display-1.png; echo "Out of memory!" ;;
9) printf '\211PNG\r\n\032\nan early' > display-1.png; echo "Out of memory!" ;;
10) echo "12 0 1" > "$QZ_ALLOC_COUNT"; printf 'hello\nError: Bad value!\nRead on.\n' ;;
11) echo "12 0 1" > "$QZ_ALLOC_COUNT"; printf 'hello\nError: Other value!\nRead on.\n' ;;
12) echo "QuarnelixPlayer: Error allocating semaphore object!" >&2 ;;
*) printf 'hello\ntest.qzs:3: Bad value!\nRead on.\n'; echo "complete" > out.txt
   printf '\211PNG\r\n\032\nthe last frame\0\0\0\0IEND\256B`\202' > display-1.png ;;
esac
exit 0
)";

TEST(OomSweep, FailsOnEveryUnsoundRunAndOnNothingElse) {
    TempRoot temp;
    const std::string dir = temp.path + "/run";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    Write(dir + "/player.sh", kFakePlayer);
    ASSERT_EQ(chmod((dir + "/player.sh").c_str(), 0755), 0);
    Write(dir + "/kept.txt", "as before\n");
    std::vector<std::string> lines(404);
    lines[298] = "Kein Semaphor!";
    std::string catalog;
    for (const std::string& line : lines) catalog += line + "\n";
    std::filesystem::create_directories(dir + "/Catalogs/deutsch");
    Write(dir + "/Catalogs/deutsch/Quarnelix.catalog", catalog);
    LangScope lang("de_DE.ISO-8859-1");

    OomSweepOptions o;
    o.program = dir + "/player.sh";
    o.argv = {o.program};
    o.cwd = dir;
    o.env = {"PATH=/usr/bin:/bin"};
    o.pass = 1;
    o.passes = 1;
    o.timeoutSeconds = 5;  // whole runs of a sanitizer build on a busy machine take over a second
    o.tempRoot = temp.path;
    OomSweepResult r = RunOomSweep(o);

    EXPECT_EQ(r.count, 13u);
    EXPECT_EQ(r.runs, 13u);
    std::map<uint64_t, std::string> failed;
    for (const OomSweepFailure& f : r.failures) failed[f.n] = f.what;
    const std::map<uint64_t, std::string> expected = {
        {2, "killed by signal 11"},     {3, "did not end"},      {4, "sanitizer report"},
        {5, "left files half-written"}, {6, "neither reported"}, {9, "left files half-written"},
        {11, "neither reported"},
    };
    ASSERT_EQ(failed.size(), expected.size()) << ::testing::PrintToString(failed);
    for (const auto& [n, what] : expected) EXPECT_NE(failed[n].find(what), std::string::npos) << n << ": " << failed[n];
    // The folder is as the sweep found it, and the sweep's own folder is gone.
    EXPECT_EQ(Read(dir + "/kept.txt"), "as before\n");
    EXPECT_NE(access((dir + "/out.txt").c_str(), F_OK), 0);
    EXPECT_NE(access((dir + "/display-1.png").c_str(), F_OK), 0);
    int entries = 0;
    for (const auto& e : std::filesystem::directory_iterator(temp.path)) entries += e.path().filename() != "run";
    EXPECT_EQ(entries, 0);
}

// The same kinds of run as a function that the fork server runs in a fork of this process; its
// leak is a real one, which LeakSanitizer must find in the forked run.
void* volatile gLeakedBlock;

__attribute__((noinline)) void LeakABlock() {
    gLeakedBlock = std::malloc(1337);
    gLeakedBlock = nullptr;
}

int ForkedPlayer(int, char**) {
    std::ofstream(std::getenv("QZ_ALLOC_COUNT")) << "8 0 0\n";
    const char* fail = std::getenv("QZ_ALLOC_FAIL");
    switch (fail ? std::atoi(fail) : 0) {
    case 1: std::puts("Out of memory!"); break;
    case 2: std::abort();
    case 3: sleep(30); break;
    case 4:
        LeakABlock();
        std::puts("Out of memory!");
        break;
    case 5:
        Write("out.txt", "comp");
        std::puts("Out of memory!");
        break;
    case 6: std::puts("goodbye"); break;
    default:
        // The sweep's own variables never reach a run.
        if (std::getenv("QZ_OOM_PASS")) std::abort();
        std::puts("hello");
        Write("out.txt", "complete\n");
    }
    return 0;
}

TEST(OomSweep, RunsForkedByTheServerAreJudgedAsStartedOnes) {
    TempRoot temp;
    const std::string dir = temp.path + "/run";
    ASSERT_EQ(mkdir(dir.c_str(), 0755), 0);
    std::error_code ec;
    const std::filesystem::path here = std::filesystem::current_path();
    std::filesystem::current_path(dir);
    setenv("QZ_OOM_PASS", "1/1", 1);
    char name[] = "player";
    char* argv[] = {name, nullptr};
    OomForkServer server;
    ASSERT_TRUE(StartOomForkServer(&server, ForkedPlayer, 1, argv));
    unsetenv("QZ_OOM_PASS");
    std::filesystem::current_path(here);

    OomSweepOptions o;
    o.program = dir + "/player";
    o.argv = {o.program};
    o.cwd = dir;
    o.pass = 1;
    o.passes = 1;
    // A forked run of this sanitized test binary ends with a leak check over the whole process,
    // which takes more than a second on a loaded machine; the run that sleeps still overruns.
    o.timeoutSeconds = 10;
    o.tempRoot = temp.path;
    o.server = &server;
    OomSweepResult r = RunOomSweep(o);
    StopOomForkServer(&server);

    EXPECT_EQ(r.count, 8u);
    EXPECT_EQ(r.runs, 8u);
    std::map<uint64_t, std::string> failed;
    for (const OomSweepFailure& f : r.failures) failed[f.n] = f.what;
    std::map<uint64_t, std::string> expected = {
        {2, "killed by signal 6"},
        {3, "did not end"},
        {5, "left files half-written"},
        {6, "neither reported"},
    };
#if defined(__SANITIZE_ADDRESS__)
    expected[4] = "sanitizer report";
#endif
    ASSERT_EQ(failed.size(), expected.size()) << ::testing::PrintToString(failed);
    for (const auto& [n, what] : expected) EXPECT_NE(failed[n].find(what), std::string::npos) << n << ": " << failed[n];
    EXPECT_NE(access((dir + "/out.txt").c_str(), F_OK), 0);
}

TEST(OomSweep, PassesTakeEveryAllocationOnceAndTheSmallSetSpreadsOverThem) {
    for (uint64_t count : {1u, 3u, 4u, 5u, 1500u}) {
        std::set<uint64_t> all;
        size_t total = 0;
        for (uint64_t pass = 1; pass <= 7; pass++) {
            std::vector<uint64_t> points = SweepPoints(count, pass, 7);
            total += points.size();
            all.insert(points.begin(), points.end());
        }
        EXPECT_EQ(total, count);
        EXPECT_EQ(all.size(), count);
        EXPECT_EQ(*all.begin(), 1u);
        EXPECT_EQ(*all.rbegin(), count);

        std::vector<uint64_t> small = SweepPoints(count, 0, 0);
        EXPECT_EQ(small.size(), std::min<uint64_t>(count, kSmallSetRuns));
        EXPECT_EQ(small.front(), 1u);
        EXPECT_EQ(small.back(), count);
        EXPECT_TRUE(std::is_sorted(small.begin(), small.end()) &&
                    std::adjacent_find(small.begin(), small.end()) == small.end());
    }
    EXPECT_TRUE(SweepPoints(0, 0, 0).empty());
}

TEST(OomSweep, RestoreUndoesChangedAddedAndRemovedEntries) {
    TempRoot temp;
    const std::string root = temp.path + "/tree", store = temp.path + "/store";
    ASSERT_EQ(mkdir(root.c_str(), 0755), 0);
    ASSERT_EQ(mkdir((root + "/sub").c_str(), 0755), 0);
    ASSERT_EQ(mkdir(store.c_str(), 0755), 0);
    Write(root + "/a.txt", "alpha");
    Write(root + "/sub/b.txt", "beta");
    ASSERT_EQ(symlink("a.txt", (root + "/link").c_str()), 0);
    std::string error;
    ASSERT_TRUE(SaveTrees({root}, store, &error)) << error;
    SweepTree saved = ListTrees({root}, {});

    Write(root + "/a.txt", "ALPHA!");
    std::filesystem::remove_all(root + "/sub");
    Write(root + "/sub", "a file where the folder was");
    Write(root + "/new.txt", "new");
    ASSERT_EQ(mkdir((root + "/newdir").c_str(), 0755), 0);
    std::filesystem::remove(root + "/link");
    ASSERT_EQ(symlink("elsewhere", (root + "/link").c_str()), 0);

    ASSERT_TRUE(RestoreTrees({root}, store, saved, {}, &error)) << error;
    SweepTree now = ListTrees({root}, {});
    ASSERT_EQ(now.size(), saved.size());
    for (const auto& [path, entry] : saved) {
        ASSERT_TRUE(now.count(path)) << path;
        EXPECT_TRUE(now[path].SameContent(entry)) << path;
    }
    EXPECT_EQ(Read(root + "/sub/b.txt"), "beta");
}

}  // namespace

}  // namespace oom_sweep_test
