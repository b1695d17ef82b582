// End to end: an applet run by the real player downloads from python3's http.server into memory
// and into a file, sends itself a datagram between two UDP objects, asks IsOnline of the host
// that QUARNELIX_ONLINE_HOST names, fails silently against a closed port and is ended by a
// transfer with an unknown scheme.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "net/net_test_util.h"

namespace network_e2e_test {

namespace {

std::string Applet(const std::string& base, const std::string& copy, int closedPort) {
    return R"(.applet
.record 10 u8 6 u8 0
.record 27 i32 1 i32 1 i32 10 i32 0 cstr "network.qzs" cstr "@network.qzs"
.function main
  .source "@network.qzs"
  .line 1
    GETGLOBAL r0 "downloadfile"
    LOADK r1 ")" +
           base + R"(/hello.txt"
    CALL r0 2 3
    GETGLOBAL r2 "debugprint"
    MOVE r3 r0
    MOVE r4 r1
    CALL r2 3 1
  .line 2
    GETGLOBAL r0 "downloadfile"
    LOADK r1 ")" +
           base + R"(/hello.txt"
    NEWTABLE r2 0 0
    SETTABLE r2 "file" ")" +
           copy + R"("
    CALL r0 3 3
    GETGLOBAL r2 "debugprint"
    MOVE r3 r0
    MOVE r4 r1
    CALL r2 3 1
  .line 3
    GETGLOBAL r0 "createudpobject"
    LOADK r1 1
    CALL r0 2 1
    GETGLOBAL r0 "createudpobject"
    LOADK r1 2
    LOADK r2 0
    LOADK r3 "127.0.0.1"
    CALL r0 4 1
    GETGLOBAL r0 "getlocalport"
    LOADK r1 2
    LOADK r2 117
    CALL r0 3 2
    GETGLOBAL r1 "sendudpdata"
    LOADK r2 1
    LOADK r3 "datagram"
    LOADK r4 "127.0.0.1"
    MOVE r5 r0
    CALL r1 5 1
    GETGLOBAL r1 "receiveudpdata"
    LOADK r2 2
    CALL r1 2 4
    GETGLOBAL r4 "debugprint"
    MOVE r5 r1
    MOVE r6 r2
    CALL r4 3 1
  .line 4
    GETGLOBAL r0 "isonline"
    CALL r0 1 2
    GETGLOBAL r1 "debugprint"
    MOVE r2 r0
    CALL r1 2 1
  .line 5
    GETGLOBAL r0 "downloadfile"
    LOADK r1 "http://127.0.0.1:)" +
           std::to_string(closedPort) + R"(/"
    NEWTABLE r2 0 0
    SETTABLE r2 "silentfail" 1
    CALL r0 3 3
    GETGLOBAL r2 "debugprint"
    MOVE r3 r0
    MOVE r4 r1
    CALL r2 3 1
  .line 6
    GETGLOBAL r0 "downloadfile"
    LOADK r1 "gopher://example.org/"
    CALL r0 2 1
    RETURN r0 1
.end
)";
}

TEST(NetworkE2E, AppletDownloadsSendsDatagramsAndReportsErrors) {
    const std::string player = BinaryDir() + "/bin/qzplayer";
    if (access(player.c_str(), X_OK) != 0) GTEST_SKIP() << "no player binary";
    nettest::PythonHttpServer server;
    ASSERT_TRUE(server.Start());
    nettest::WriteFile(server.root.File("hello.txt"), "hello world");
    nettest::TempDir dir;
    int closedPort = nettest::FreePort();
    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(Applet(server.Url(""), dir.File("copy.txt"), closedPort), &error);
    ASSERT_FALSE(bytes.empty()) << error;
    WriteBytes(dir.File("network.qza"), bytes);
    std::string command = "QUARNELIX_ONLINE_HOST=127.0.0.1:" + std::to_string(server.port) + " '" + player +
                          "' -QUIET -DEBUGDEVICE stdout '" + dir.File("network.qza") + "' 2>&1";
    int status;
    std::string output = CaptureOutput(command, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(output,
              "hello world 11\n"
              " 11\n"
              "datagram 127.0.0.1\n"
              "1\n"
              "The following network error occurred:\n" +
                  std::string(strerror(ECONNREFUSED)) +
                  " -1\n"
                  "network.qzs:6: Unknown protocol in URL!\n");
    EXPECT_EQ(nettest::ReadFile(dir.File("copy.txt")), "hello world");
}

}  // namespace

}  // namespace network_e2e_test
