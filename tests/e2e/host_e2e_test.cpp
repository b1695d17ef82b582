// End to end: the real player, headless and with SDL's dummy video driver, ends a long wait through the quit path when
// its input script asks to quit and when it gets SIGINT or SIGTERM, with every shutdown step done (a file it wrote is
// complete); a bad input script stops it before the applet runs, naming the line.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

extern char** environ;

namespace host_e2e_test {

namespace {

// Opens out.txt, writes a line into its buffer, says so, then waits 60 seconds and says so.
const char* const kWaitingApplet = R"(
.applet
.record 10 u8 6 u8 0
.function main
  .source "@wait.qzs"
  .line 1
    GETGLOBAL r0 "openfile"
    LOADK r1 1
    LOADK r2 "out.txt"
    LOADK r3 1006
    CALL r0 4 1
    GETGLOBAL r0 "writeline"
    LOADK r1 1
    LOADK r2 "written before the wait"
    CALL r0 3 1
  .line 2
    GETGLOBAL r0 "debugprint"
    LOADK r1 "waiting"
    CALL r0 2 1
  .line 3
    GETGLOBAL r0 "wait"
    LOADK r1 60
    LOADK r2 0
    CALL r0 3 1
  .line 4
    GETGLOBAL r0 "debugprint"
    LOADK r1 "waited"
    CALL r0 2 1
    RETURN r0 1
.end
)";

class HostE2E : public ::testing::Test {
protected:
    std::string dir;
    pid_t pid = -1;

    void SetUp() override {
        char pattern[] = "/tmp/qzhoste2eXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(kWaitingApplet, &error);
        ASSERT_FALSE(bytes.empty()) << error;
        WriteBytes(dir + "/wait.qza", bytes);
    }
    void TearDown() override {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string Read(const std::string& name) const { return ReadAll(dir + "/" + name); }

    // Starts the player on the applet with the driver and the input script named (or none).
    void Start(const std::string& inputScript, const std::string& driver = "headless") {
        std::vector<std::string> env;
        for (char** e = environ; *e; e++) {
            std::string v = *e;
            if (v.rfind("QUARNELIX_", 0) != 0 && v.rfind("SDL_VIDEODRIVER=", 0) != 0) env.push_back(v);
        }
        env.push_back("QUARNELIX_DRIVER=" + driver);
        if (driver == "sdl") env.push_back("SDL_VIDEODRIVER=dummy");
        if (!inputScript.empty()) env.push_back("QUARNELIX_INPUT=" + inputScript);
        std::vector<char*> envp;
        for (std::string& v : env) envp.push_back(v.data());
        envp.push_back(nullptr);

        std::string player = BinaryDir() + "/bin/qzplayer", applet = dir + "/wait.qza";
        std::string outPath = dir + "/stdout", errPath = dir + "/stderr";
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
        char* argv[] = {player.data(), const_cast<char*>("-QUIET"), applet.data(), nullptr};
        // Signals the test runs with ignored (a background job's SIGINT) are not passed on.
        posix_spawnattr_t attr;
        posix_spawnattr_init(&attr);
        sigset_t defaults;
        sigemptyset(&defaults);
        sigaddset(&defaults, SIGINT);
        sigaddset(&defaults, SIGTERM);
        posix_spawnattr_setsigdefault(&attr, &defaults);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF);
        ASSERT_EQ(posix_spawn(&pid, player.c_str(), &actions, &attr, argv, envp.data()), 0);
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
    }

    // Waits for the player to end: its exit status, or -1 when it had to be killed or was ended
    // by a signal.
    int Finish(std::chrono::seconds limit) {
        auto deadline = std::chrono::steady_clock::now() + limit;
        int status = 0;
        while (std::chrono::steady_clock::now() < deadline) {
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        ADD_FAILURE() << "the player did not end";
        return -1;
    }

    // Waits until the applet has said that it waits.
    bool AppletWaiting() {
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        while (std::chrono::steady_clock::now() < deadline) {
            if (Read("stdout").find("waiting") != std::string::npos) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

TEST_F(HostE2E, InputScriptQuitEndsTheWait) {
    std::ofstream(dir + "/input.txt") << "# quit as a user would\n300 quit\n";
    Start(dir + "/input.txt");
    EXPECT_EQ(Finish(std::chrono::seconds(30)), 0);
    EXPECT_EQ(Read("stdout"), "waiting\n");
    EXPECT_EQ(Read("stderr"), "");
    EXPECT_EQ(Read("out.txt"), "written before the wait\n");
}

TEST_F(HostE2E, SignalsEndThePlayerThroughShutdown) {
    struct Case {
        const char* driver;
        int signal;
    };
    for (const Case& c : {Case{"headless", SIGINT}, Case{"headless", SIGTERM}, Case{"sdl", SIGTERM}}) {
        int signal = c.signal;
        Start("", c.driver);
        ASSERT_TRUE(AppletWaiting()) << c.driver << " " << signal;
        auto sent = std::chrono::steady_clock::now();
        kill(pid, signal);
        EXPECT_EQ(Finish(std::chrono::seconds(30)), 0) << c.driver << " " << signal;
        EXPECT_LT(std::chrono::steady_clock::now() - sent, std::chrono::seconds(5)) << c.driver << " " << signal;
        EXPECT_EQ(Read("stdout"), "waiting\n") << c.driver << " " << signal;
        EXPECT_EQ(Read("stderr"), "") << c.driver << " " << signal;
        EXPECT_EQ(Read("out.txt"), "written before the wait\n") << c.driver << " " << signal;
    }
}

TEST_F(HostE2E, BadDriverOrInputScriptStopsBeforeTheApplet) {
    Start("", "windows95");
    EXPECT_EQ(Finish(std::chrono::seconds(30)), 0);
    EXPECT_EQ(Read("stderr"),
              "QuarnelixPlayer: QUARNELIX_DRIVER: unknown driver \"windows95\" (use sdl or headless)\n");
    EXPECT_EQ(Read("stdout"), "");

    struct Case {
        std::string script;  // file content, or none for a missing file
        std::string message;
    };
    const Case cases[] = {
        {"100 key a\n200 jump\n", ":2: unknown event \"jump\""},
        {"100 move 1 two\n", ":1: bad number \"two\""},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string path = dir + "/input.txt";
        std::remove(path.c_str());
        if (!c.script.empty()) std::ofstream(path) << c.script;
        Start(path);
        EXPECT_EQ(Finish(std::chrono::seconds(30)), 0);
        std::string expected = c.script.empty()
                                   ? "QUARNELIX_INPUT: cannot read \"" + path + "\": No such file or directory"
                                   : path + c.message;
        EXPECT_EQ(Read("stderr"), "QuarnelixPlayer: " + expected + "\n");
        EXPECT_EQ(Read("stdout"), "");
        EXPECT_EQ(Read("out.txt"), "");
    }
}

}  // namespace

}  // namespace host_e2e_test
