// End to end: the real player with plugins beside it. It loads a library plugin and a file
// adapter from its folder, registers a "_" plugin without loading it until the REQUIREPLUGINS
// option requires it, reports a broken plugin file and goes on; the applet calls a plugin's command,
// reads a file through the adapter and lists the plugins.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"

namespace plugin_e2e_test {

namespace {

const char* kApplet = R"(.applet
.record 10 u8 6 u8 0
.function main
    GETGLOBAL r0 "debugprint"
    GETGLOBAL r1 "pluginadd"
    LOADK r2 2
    LOADK r3 40
    CALL r1 3 2
    CALL r0 2 1
    GETGLOBAL r0 "openfile"
    LOADK r1 1
    LOADK r2 "mem:/hello.txt"
    CALL r0 3 1
    GETGLOBAL r0 "debugprint"
    GETGLOBAL r1 "readline"
    LOADK r2 1
    CALL r1 2 2
    CALL r0 2 1
    GETGLOBAL r0 "closefile"
    LOADK r1 1
    CALL r0 2 1
    GETGLOBAL r0 "debugprint"
    GETGLOBAL r1 "listitems"
    GETGLOBAL r2 "getplugins"
    CALL r2 1 2
    CALL r1 2 2
    GETGLOBAL r2 "haveplugin"
    LOADK r3 "extra"
    CALL r2 2 3
    CALL r0 4 1
    RETURN r0 1
.end
)";

void CopyFile(const std::string& from, const std::string& to, mode_t mode) {
    std::ofstream out(to, std::ios::binary);
    out << ReadAll(from);
    out.close();
    chmod(to.c_str(), mode);
}

}  // namespace

TEST(PluginE2E, PlayerLoadsPluginsBesideItAndTheAppletUsesThem) {
    const std::string player = BinaryDir() + "/bin/qzplayer";
    if (access(player.c_str(), X_OK) != 0) GTEST_SKIP() << "no player binary";
    char dirTemplate[] = "/tmp/qzpluginse2eXXXXXX";
    ASSERT_NE(mkdtemp(dirTemplate), nullptr);
    std::string dir = dirTemplate;
    // The player looks for plugins in its own folder: it runs from a copy beside them.
    CopyFile(player, dir + "/qzplayer", 0755);
    const std::string plugins = BinaryDir() + "/test-plugins/";
    CopyFile(plugins + "library.qzp", dir + "/library.qzp", 0644);
    CopyFile(plugins + "memfs.qzp", dir + "/memfs.qzp", 0644);
    CopyFile(plugins + "basic.qzp", dir + "/_extra.qzp", 0644);
    std::ofstream(dir + "/broken.qzp") << "not a plugin\n";

    std::string error;
    std::vector<uint8_t> bytes = QzAssemble(kApplet, &error);
    ASSERT_FALSE(bytes.empty()) << error;
    WriteBytes(dir + "/plugins.qza", bytes);

    std::string command =
        "'" + dir + "/qzplayer' -DEBUGDEVICE stdout -REQUIREPLUGINS extra '" + dir + "/plugins.qza' 2>&1";
    int status;
    std::string output = CaptureOutput(command, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    // The broken file is reported and loading goes on.
    EXPECT_NE(output.find("Loading plugin broken.qzp...failed\n(Reason: Cannot load plugin: "), std::string::npos)
        << output;
    EXPECT_NE(output.find("Loading plugin library.qzp...done\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Loading plugin memfs.qzp...done\n"), std::string::npos) << output;
    // The plugin that the option requires is loaded on demand, on a line of its own.
    EXPECT_NE(output.find("Loading applet plugins.qza...\nLoading plugin _extra.qzp...done\n"), std::string::npos)
        << output;
    // The applet's own lines.
    EXPECT_NE(output.find("42\n"), std::string::npos) << output;
    EXPECT_NE(output.find("Hello from memory\n3 1 1\n"), std::string::npos) << output;

    // Quiet, with every plugin skipped: the command is missing and the script stops there.
    command = "'" + dir + "/qzplayer' -QUIET -DEBUGDEVICE stdout -SKIPPLUGINS '*' '" + dir + "/plugins.qza' 2>&1";
    output = CaptureOutput(command, &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(output.find("42"), std::string::npos) << output;
    EXPECT_EQ(output.find("Loading"), std::string::npos) << output;
    EXPECT_EQ(std::system(("rm -rf '" + dir + "'").c_str()), 0);
}

}  // namespace plugin_e2e_test
