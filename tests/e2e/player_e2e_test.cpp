// End to end: applets assembled in the test are run by the real player binary, headless; its
// standard output, standard error and exit status are compared with what a user must see.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "asm/asm.h"
#include "e2e/player_run.h"
#include "support/lang_scope.h"

namespace player_e2e_test {

namespace {

std::string Player() { return BinaryDir() + "/bin/qzplayer"; }

struct RunResult {
    std::string out, err;
    int status = -1;  // exit status, or -1 when the process did not exit normally
};

void WriteFile(const std::string& path, const std::string& data) {
    std::ofstream out(path, std::ios::binary);
    out << data;
}

// Banner and loading lines of a player that is not quiet.
const std::string kBanner = "QuarnelixPlayer 6.0 [MacOS]\nThe Cross-Platform Multimedia Application Layer\n\n";

// An applet that runs to its end without output.
const char* const kQuietApplet = R"(
.applet
.record 10 u8 6 u8 0
.function main
  .source "@ok.qzs"
  .line 1
    LOADK r0 1
  .line 2
    RETURN r0 1
.end
)";

// An applet that calls library commands; with the call trace on, each call is printed with its
// arguments, so the result of one call shows as the argument of the next.
const char* const kTracedApplet = R"(
.applet
.record 10 u8 6 u8 0
.function main
  .source "@trace.qzs"
  .line 1
    GETGLOBAL r0 "upperstr"
    LOADK r1 "Hello"
    CALL r0 2 2
    GETGLOBAL r1 "strlen"
    MOVE r2 r0
    CALL r1 2 2
    GETGLOBAL r2 "tostring"
    MOVE r3 r1
    CALL r2 2 1
    RETURN r0 1
.end
)";

// An applet that fails on its third source line: it calls a command that no library provides.
// The include range maps the chunk's lines 1 to 10 to the file "bad.qzs".
const char* const kFailingApplet = R"(
.applet
.record 10 u8 6 u8 0
.record 27 i32 1 i32 1 i32 10 i32 0 cstr "bad.qzs" cstr "@bad.qzs"
.function main
  .source "@bad.qzs"
  .line 1
    LOADK r0 1
  .line 3
    GETGLOBAL r0 "DebugPrint"
    LOADK r1 "Hello"
    CALL r0 2 1
  .line 4
    RETURN r0 1
.end
)";

// An applet that declares a brush to preload on its line 5 (the name "pic.png" lies in a skipped
// record). No such file exists, so loading it fails.
const char* const kBrushApplet = R"(
.applet
.record 0 i32 8 mark picname cstr "pic.png"
.record 10 u8 6 u8 0
.record 27 i32 1 i32 1 i32 10 i32 0 cstr "brush.qzs" cstr "@brush.qzs"
.record 2 i32 1 u8 1 i32 1 offset picname i32 8 i32 0 i32 0 i32 -1 i32 0 i32 5 str16 "" str16 "" i16 0 i16 0 i16 0 i16 0 i16 -1 u8 0 i32 0 i32 0 i32 0 i32 0
.function main
  .source "@brush.qzs"
  .line 6
    RETURN r0 1
.end
)";

// An applet with a linked file "data.txt" (inline data, tag 26) that it opens by its name and
// reads; with the call trace on, the line read shows as the argument of the last call.
const char* const kLinkedFileApplet = R"(
.applet
.record 10 u8 6 u8 0
.record 26 i32 1 i32 0 cstr "data.txt" i32 8 bytes "Linked!\n"
.function main
  .source "@linked.qzs"
  .line 1
    GETGLOBAL r0 "openfile"
    LOADK r1 1
    LOADK r2 "data.txt"
    CALL r0 3 1
    GETGLOBAL r0 "readline"
    LOADK r1 1
    CALL r0 2 2
    GETGLOBAL r1 "tostring"
    MOVE r2 r0
    CALL r1 2 1
    RETURN r0 1
.end
)";

// The packed form of an applet text: the assembler writes "QZZ\0", a zero word and the whole
// plain container as one zlib stream.
std::string Packed(const char* source) {
    std::string text = source;
    text.replace(text.find(".applet\n"), 8, ".applet packed\n");
    return text;
}

class PlayerE2E : public ::testing::Test {
protected:
    std::string dir;

    void SetUp() override {
        char pattern[] = "/tmp/qze2eXXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir = pattern;
    }
    void TearDown() override {
        std::string command = "rm -rf '" + dir + "'";
        EXPECT_EQ(std::system(command.c_str()), 0);
    }

    std::string Path(const std::string& name) const { return dir + "/" + name; }

    // Assembles an applet into the test folder and returns its path.
    std::string Applet(const std::string& name, const char* source) {
        std::string error;
        std::vector<uint8_t> bytes = QzAssemble(source, &error);
        EXPECT_FALSE(bytes.empty()) << error;
        std::string path = Path(name);
        WriteBytes(path, bytes);
        return path;
    }

    // Runs a program with arguments in the test folder, capturing its output.
    RunResult Run(const std::string& program, const std::vector<std::string>& args) {
        std::string outPath = Path(".stdout"), errPath = Path(".stderr");
        pid_t pid = fork();
        if (pid == 0) {
            int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            int in = open("/dev/null", O_RDONLY);
            if (out < 0 || err < 0 || in < 0 || chdir(dir.c_str()) != 0) _exit(127);
            dup2(in, 0);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv;
            argv.push_back(const_cast<char*>(program.c_str()));
            for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
            argv.push_back(nullptr);
            execv(program.c_str(), argv.data());
            _exit(127);
        }
        RunResult r;
        int status = 0;
        // A player that hangs is killed after its time limit and fails the test.
        bool exited = false;
        for (int waited = 0; pid > 0 && waited < PlayerTimeLimit() * 100; waited++) {
            pid_t done = waitpid(pid, &status, WNOHANG);
            if (done == pid) {
                exited = true;
                break;
            }
            if (done < 0) break;
            usleep(10000);
        }
        if (pid > 0 && !exited) {
            kill(pid, SIGKILL);
            waitpid(pid, &status, 0);
            ADD_FAILURE() << program << " did not end";
        } else if (exited && WIFEXITED(status)) {
            r.status = WEXITSTATUS(status);
        }
        r.out = ReadAll(outPath);
        r.err = ReadAll(errPath);
        return r;
    }
    RunResult Play(const std::vector<std::string>& args) { return Run(Player(), args); }
};

TEST_F(PlayerE2E, WorkingAppletRuns) {
    Applet("ok.qza", kQuietApplet);
    RunResult quiet = Play({"-QUIET", "ok.qza"});
    EXPECT_EQ(quiet.out, "");
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.status, 0);

    Applet("trace.qza", kTracedApplet);
    RunResult traced = Play({"-QUIET", "-DEBUGOUTPUT", "trace.qza"});
    EXPECT_EQ(traced.out,
              "Now calling upperstr() with arguments #1=(STRING)\"Hello\" \n"
              "Now calling strlen() with arguments #1=(STRING)\"HELLO\" \n"
              "Now calling tostring() with arguments #1=(NUMBER)5 \n");
    EXPECT_EQ(traced.err, "");
    EXPECT_EQ(traced.status, 0);

    RunResult loud = Play({"ok.qza"});
    EXPECT_EQ(loud.out, kBanner +
                            "Opening script ok.qza...done\nLoading script...done\nLoading applet ok.qza...done\n"
                            "Preparing display...done\nAnd Action!\n");
    EXPECT_EQ(loud.err, "");
    EXPECT_EQ(loud.status, 0);
}

TEST_F(PlayerE2E, ScriptErrorIsReportedWithFileAndLine) {
    Applet("bad.qza", kFailingApplet);
    // Console mode: one line on standard output.
    RunResult console = Play({"-QUIET", "-DEBUGDEVICE", "stdout", "bad.qza"});
    EXPECT_EQ(console.out, "bad.qzs:3: Function DebugPrint() not found!\n");
    EXPECT_EQ(console.err, "");
    EXPECT_EQ(console.status, 0);
    // The call trace covers the script's calls only, not start-up's own.
    RunResult traced = Play({"-QUIET", "-DEBUGOUTPUT", "-DEBUGDEVICE", "stdout", "bad.qza"});
    EXPECT_EQ(traced.out, console.out);
    // Otherwise the error requester, which without a display writes to standard error.
    RunResult requester = Play({"-QUIET", "bad.qza"});
    EXPECT_EQ(requester.out, "");
    EXPECT_EQ(requester.err, "QuarnelixPlayer: Function DebugPrint() not found!\nFile: bad.qzs (current line: 3)\n");
    EXPECT_EQ(requester.status, 0);
}

TEST_F(PlayerE2E, StartupFailuresAreReportedOnce) {
    Applet("ok.qza", kQuietApplet);
    WriteFile(Path("text.qza"), "Hello, this is no applet.\n");
    WriteFile(Path("tag99.qza"), std::string("QZA\0\x63", 5));
    WriteFile(Path("short.qza"), std::string("QZA\0\x01\0\0\0\x50hello", 14));
    WriteFile(Path("noend.qza"), std::string("QZA\0\x0B"
                                             "title\0",
                                             11));
    WriteFile(Path("badcode.qza"), std::string("QZA\0\x01\0\0\0\x05hello", 14));
    Applet("brush.qza", kBrushApplet);
    struct Case {
        std::vector<std::string> args;
        std::string out;
    };
    const Case cases[] = {
        {{"nothere.qza"}, "Error: File nothere.qza does not exist!\n"},
        {{"text.qza"}, "Error: File text.qza is not a Quarnelix applet!\n"},
        {{"tag99.qza"}, "Error: Unknown section in applet!\n"},
        {{"short.qza"}, "Error: Could not read all characters from file!\nCheck if it is read protected!\n"},
        {{"noend.qza"}, "Error: Unexpected end of file!\n"},
        {{"badcode.qza"}, "Error: Bad bytecode signature!\n"},
        {{"-WINDOW", "-FULLSCREEN", "ok.qza"}, "Error: Invalid value for command line argument!\n"},
        {{"-REQUIREPLUGINS", "parser", "ok.qza"}, "Error: This program requires parser.qzp!\n"},
        {{"-REQUIRETAGS", "[x=1]", "-REQUIREPLUGINS", "parser", "ok.qza"},
         "Error: Syntax error in plugin requirement tag!\n"},
        {{"brush.qza"}, "brush.qzs:5: Cannot read file pic.png !\n"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> args = {"-QUIET", "-DEBUGDEVICE", "x"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        SCOPED_TRACE(c.args.back());
        RunResult r = Play(args);
        EXPECT_EQ(r.out, c.out);
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.status, 0);
    }
    // Before the options are read there is no console mode: the requester reports.
    RunResult args = Play({"-QUIET", "-DEBUGDEVICE", "x", "ok.qza", "-SCRWIDTH"});
    EXPECT_EQ(args.out, "");
    EXPECT_EQ(args.err, "QuarnelixPlayer: Error in command line arguments!\n");
    // The requester of a failing directive names the command.
    RunResult r = Play({"-QUIET", "brush.qza"});
    EXPECT_EQ(
        r.err,
        "QuarnelixPlayer: Cannot read file pic.png !\nFile: brush.qzs (current line: 5 - In function: LoadBrush)\n");
}

TEST_F(PlayerE2E, LoadingLineEndsWithFailedInConsoleMode) {
    WriteFile(Path("tag99.qza"), std::string("QZA\0\x63", 5));
    Applet("brush.qza", kBrushApplet);
    RunResult r = Play({"-DEBUGDEVICE", "x", "brush.qza"});
    EXPECT_EQ(r.out, kBanner +
                         "Opening script brush.qza...done\nLoading script...done\n"
                         "Loading applet brush.qza...failed\n"
                         "brush.qzs:5: Cannot read file pic.png !\n");
    // A damaged container ends the line that opened it.
    r = Play({"-DEBUGDEVICE", "x", "tag99.qza"});
    EXPECT_EQ(r.out, kBanner + "Opening script tag99.qza...failed\nError: Unknown section in applet!\n");
}

// With a locale catalog, the loading lines, their end words, the error words and the error
// messages all come from it by their ids.
TEST_F(PlayerE2E, PlayerTextsComeFromTheLocaleCatalog) {
    Applet("ok.qza", kQuietApplet);
    Applet("brush.qza", kBrushApplet);
    std::vector<std::string> lines(404);
    lines[45] = "Kann Datei %s nicht lesen!";
    lines[92] = "aktuelle Zeile";
    lines[95] = "fertig";
    lines[97] = "Oeffne Skript %s";
    lines[106] = "Lade Skript";
    lines[108] = "gescheitert";
    lines[133] = "Funktion %s fehlt!";
    lines[194] = "Datei";
    lines[213] = "Datei %s fehlt!";
    lines[280] = "In Funktion";
    lines[287] = "Lade Applet %s";
    lines[99] = "Bereite Anzeige vor";
    lines[372] = "Los geht's!";
    lines[402] = "Fehler";
    std::string catalog;
    for (const std::string& line : lines) catalog += line + "\n";
    ASSERT_EQ(std::system(("mkdir -p '" + Path("Catalogs/deutsch") + "'").c_str()), 0);
    WriteFile(Path("Catalogs/deutsch/Quarnelix.catalog"), catalog);

    LangScope lang("de_DE.ISO-8859-1");
    RunResult loud = Play({"ok.qza"});
    RunResult missing = Play({"-QUIET", "-DEBUGDEVICE", "x", "nothere.qza"});
    RunResult failed = Play({"-DEBUGDEVICE", "x", "brush.qza"});
    RunResult requester = Play({"-QUIET", "brush.qza"});

    EXPECT_EQ(loud.out, kBanner +
                            "Oeffne Skript ok.qza...fertig\nLade Skript...fertig\nLade Applet ok.qza...fertig\n"
                            "Bereite Anzeige vor...fertig\nLos geht's!\n");
    EXPECT_EQ(missing.out, "Fehler: Datei nothere.qza fehlt!\n");
    EXPECT_EQ(failed.out,
              kBanner +
                  "Oeffne Skript brush.qza...fertig\nLade Skript...fertig\nLade Applet brush.qza...gescheitert\n"
                  "brush.qzs:5: Kann Datei pic.png nicht lesen!\n");
    EXPECT_EQ(requester.err,
              "QuarnelixPlayer: Kann Datei pic.png nicht lesen!\n"
              "Datei: brush.qzs (aktuelle Zeile: 5 - In Funktion: LoadBrush)\n");
}

TEST_F(PlayerE2E, NoAppletEndsSilently) {
    // Headless, the file requester that asks for an applet shows its title on standard error; with
    // nothing answering it the player says how to name one and ends without an error.
    RunResult r = Play({});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "Select applet\nNo applet named. Start the player as: qzplayer [options] APPLET\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(PlayerE2E, IniFileBesideTheApplet) {
    Applet("bad.qza", kFailingApplet);
    // The .ini entries switch console mode on and QUIET, given on the command line, off again.
    WriteFile(Path("bad.ini"), "# settings\n[player]\nDEBUGDEVICE = \"stdout\"\nQUIET=no\nmykey = 1\n");
    RunResult r = Play({"-QUIET", "bad.qza"});
    EXPECT_EQ(r.out, kBanner +
                         "Opening script bad.qza...done\nLoading script...done\nLoading applet bad.qza...done\n"
                         "Preparing display...done\nAnd Action!\nbad.qzs:3: Function DebugPrint() not found!\n");
    EXPECT_EQ(r.err, "");

    WriteFile(Path("bad.ini"), "QUIET = yes\n1DEBUGDEVICE = x\n");
    r = Play({"bad.qza"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "QuarnelixPlayer: Syntax error in ini file!\n");
    EXPECT_EQ(r.status, 0);
}

TEST_F(PlayerE2E, AppendedAppletRunsFromTheExecutable) {
    std::string applet = Applet("bad.qza", kFailingApplet);
    std::string linked = Path("game");
    RunResult link = Run(BinaryDir() + "/bin/qzlink", {Player(), applet, "-o", linked});
    ASSERT_EQ(link.status, 0) << link.err;
    ASSERT_EQ(chmod(linked.c_str(), 0755), 0);
    unlink(applet.c_str());

    // Quiet always: no banner and no loading lines; a file argument does not replace the applet.
    RunResult r = Run(linked, {"other.qza"});
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err, "QuarnelixPlayer: Function DebugPrint() not found!\nFile: bad.qzs (current line: 3)\n");
    EXPECT_EQ(r.status, 0);

    // Its .ini file is the executable's name plus ".ini".
    WriteFile(linked + ".ini", "DEBUGDEVICE = x\n");
    r = Run(linked, {});
    EXPECT_EQ(r.out, "bad.qzs:3: Function DebugPrint() not found!\n");
    EXPECT_EQ(r.err, "");
}

TEST_F(PlayerE2E, PackedAppletLeavesNoTemporaryCopy) {
    std::string packed = ReadAll(Applet("packed.qza", Packed(kFailingApplet).c_str()));
    ASSERT_EQ(packed.substr(0, 8), std::string("QZZ\0\0\0\0\0", 8));
    ASSERT_EQ(mkdir(Path("tmp").c_str(), 0700), 0);

    RunResult r = Play({"-QUIET", "-DEBUGDEVICE", "x", "-TEMPDIR", Path("tmp"), "packed.qza"});
    EXPECT_EQ(r.out, "bad.qzs:3: Function DebugPrint() not found!\n");
    EXPECT_EQ(r.status, 0);
    // The loading lines name the packed file, not its unpacked copy.
    r = Play({"-DEBUGDEVICE", "x", "-TEMPDIR", Path("tmp"), "packed.qza"});
    EXPECT_EQ(r.out, kBanner +
                         "Opening script packed.qza...done\nLoading script...done\n"
                         "Loading applet packed.qza...done\nPreparing display...done\nAnd Action!\n"
                         "bad.qzs:3: Function DebugPrint() not found!\n");
    // The unpacked copy was made in the temporary folder and is gone again.
    int entries = 0;
    if (DIR* d = opendir(Path("tmp").c_str())) {
        while (dirent* e = readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") entries++;
        closedir(d);
    }
    EXPECT_EQ(entries, 0);
}

// A linked file is read by its name from the container it lies in: a separate applet, a plain
// applet appended to the player, and a packed one appended to the player, whose data lies in
// the unpacked copy (at offsets of that copy, not of the executable).
TEST_F(PlayerE2E, LinkedFileIsReadByItsName) {
    Applet("linked.qza", kLinkedFileApplet);
    Applet("packed.qza", Packed(kLinkedFileApplet).c_str());
    const std::string expected =
        "Now calling openfile() with arguments #1=(NUMBER)1 #2=(STRING)\"data.txt\" \n"
        "Now calling readline() with arguments #1=(NUMBER)1 \n"
        "Now calling tostring() with arguments #1=(STRING)\"Linked!\" \n";

    RunResult separate = Play({"-QUIET", "-DEBUGOUTPUT", "-DEBUGDEVICE", "x", "linked.qza"});
    EXPECT_EQ(separate.out, expected);
    for (const char* applet : {"linked.qza", "packed.qza"}) {
        SCOPED_TRACE(applet);
        std::string linked = Path("game");
        unlink(linked.c_str());
        RunResult link = Run(BinaryDir() + "/bin/qzlink", {Player(), Path(applet), "-o", linked});
        ASSERT_EQ(link.status, 0) << link.err;
        RunResult r = Run(linked, {"-DEBUGOUTPUT", "-DEBUGDEVICE", "x"});
        EXPECT_EQ(r.out, expected);
        EXPECT_EQ(r.err, "");
    }
}

// The icons an applet declares are read at start-up by the player's own image loader: a PNG icon
// of its slot's size lets the applet run; one of another size stops it with the slot's size.
TEST_F(PlayerE2E, ApplicationIconsAreReadAtStartup) {
    ASSERT_EQ(std::system(("convert -size 16x16 xc:red '" + Path("i16.png") + "' && convert -size 24x24 xc:blue '" +
                           Path("i24.png") + "'")
                              .c_str()),
              0);
    auto withIcon = [&](const std::string& png) {
        std::string data = ReadAll(Path(png)), hex;
        char byte[3];
        for (unsigned char c : data) {
            std::snprintf(byte, sizeof byte, "%02X", c);
            hex += byte;
        }
        return std::string(kQuietApplet) + ".after hex 0000\n.after bytes \"I\" u16 0\n.after i16 16 i16 16 u8 0 u32 " +
               std::to_string(data.size()) + "\n.after hex " + hex + "\n.after i16 0\n";
    };
    Applet("icon.qza", withIcon("i16.png").c_str());
    RunResult good = Play({"-QUIET", "-DEBUGDEVICE", "x", "icon.qza"});
    EXPECT_EQ(good.out, "");
    EXPECT_EQ(good.err, "");
    EXPECT_EQ(good.status, 0);
    Applet("wrong.qza", withIcon("i24.png").c_str());
    RunResult wrong = Play({"-QUIET", "-DEBUGDEVICE", "x", "wrong.qza"});
    EXPECT_EQ(wrong.out, "Error: Specified image does not match required icon dimensions (16x16)!\n");
    EXPECT_EQ(wrong.status, 0);
}

}  // namespace

}  // namespace player_e2e_test
